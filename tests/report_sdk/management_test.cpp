// The report context end to end inside the process: Init, the SDK log, PostEvent's checks and
// keys, extra common, PostGA4, TestEnv, the repeat check on an injected clock, -sendrestlogs.
#include "report_sdk/management.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "analytics/single_user_log.h"
#include "analytics/test_log_env.h"
#include "platform/files.h"
#include "report_sdk/report_format.h"
#include "report_sdk/web_log.h"
#include "support/report_wire.h"
#include "support/temp_dir.h"

namespace reportsdk {
namespace {

const char kFunnel[] =
    "{\"actions\":{\"event_category\":\"Download\",\"event_action\":\"Start\"},\"is_new\":1}";

class Context : public testing::Test {
 protected:
  ManagementEnv Env() {
    ManagementEnv env;
    env.exeFolder = dir_.File(L"exe\\");
    env.modulePath = env.exeFolder + L"BrindlecotKerfoSetup.exe";
    env.appDataDir = dir_.File(L"appdata");
    env.now = [this] {
      std::lock_guard<std::mutex> guard(lock_);
      return now_;
    };
    env.gatherFacts = [] {
      MachineFacts f;
      f.sessionId = "5F3A1C2B-0D4E-4F60-8A7B-9C0D1E2F3A4B";
      f.uid = "0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9";
      f.os = "Windows 10";
      f.osVersion = "22H2(19045)";
      f.mac = "02:FC:00:00:00:01";
      f.brand = "Board Maker";
      f.model = "B-1";
      return f;
    };
    env.volumeSerialText = [] { return std::string("1A2B3C"); };
    env.commandLine = [this] { return commandLine_; };
    env.exitProcess = [this](int code) { exitCodes_.push_back(code); };
    env.post = [this](const std::string& url, const std::string& body) -> long {
      std::lock_guard<std::mutex> guard(lock_);
      posts_.push_back({url, body});
      if (url.find("/g/collect") != std::string::npos) return ga4Status_.load();
      return collectorStatus_.load();
    };
    env.retryPause = [](uint32_t) { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
    env.idlePollMs = 5;
    env.collectorBase = "https://collector.test";
    env.collectorTestBase = "https://collector-test.test";
    env.ga4Base = "https://ga4.test";
    env.restLogsPollMs = 5;
    env.restLogsLimitMs = 300;
    return env;
  }
  void SetUp() override {
    now_.year = 2026;
    now_.month = 3;
    now_.day = 14;
    now_.hour = 10;
    platform::CreateOneDirectory(dir_.File(L"exe"));
  }
  std::string SdkLog(CManagement& m) {
    std::string text;
    platform::ReadWholeFile(m.LogPath(), &text);
    return text;
  }
  void Advance(int seconds) {
    std::lock_guard<std::mutex> guard(lock_);
    now_.second += seconds;
    while (now_.second >= 60) {
      now_.second -= 60;
      ++now_.minute;
    }
  }
  static bool WaitIdle(CManagement& m) {
    for (int i = 0; i < 5000 && !m.network().Idle(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return m.network().Idle();
  }

  testsupport::TempDir dir_;
  std::mutex lock_;
  platform::LocalTime now_;
  std::wstring commandLine_ = L"BrindlecotKerfoSetup.exe";
  std::vector<int> exitCodes_;
  std::vector<std::pair<std::string, std::string>> posts_;
  std::atomic<long> ga4Status_{204};
  std::atomic<long> collectorStatus_{200};
};

TEST_F(Context, InitOpensTheDailyLogAndPostEventDelivers) {
  CManagement m(Env());
  EXPECT_EQ(m.Init(2, 8841, 8841, "", "", "Brindlecot Kerfo", "1.0.0.0", ""), 0);
  EXPECT_EQ(m.SetClientInfo(673, 0, "en", "1.0.0.1"), 0);
  EXPECT_EQ(m.LogPath(), dir_.File(L"appdata") + L"\\VUDedaRavavoDAZ\\8841\\logs\\20260314.log");
  EXPECT_EQ(m.StorePath(), dir_.File(L"appdata") + L"\\VUDedaRavavoDAZ\\8841\\backup\\tempga.wk");
  const std::string log = SdkLog(m);
  EXPECT_NE(log.find("SDK init ok, version 1.0.0.13, type 2, main_pid 8841, Brindlecot Kerfo "
                     "1.0.0.0, with curl "),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("Read history: 0/0"), std::string::npos);

  EXPECT_EQ(m.PostEvent(kFunnel, false), 0);
  ASSERT_TRUE(WaitIdle(m));
  std::lock_guard<std::mutex> guard(lock_);
  ASSERT_EQ(posts_.size(), 1u);
  EXPECT_EQ(posts_[0].first, "https://collector.test/collect");
  Json::Value doc;
  std::string errors;
  ASSERT_TRUE(ParseJson(posts_[0].second, &doc, &errors));
  EXPECT_EQ(doc["common"]["downloader_id"].asInt(), 673);
  EXPECT_EQ(doc["common"]["is_new"].asInt(), 1);
  EXPECT_EQ(doc["common"]["uid"].asString(), "0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9");
  EXPECT_EQ(std::to_string(doc["ts"].asInt64()).size(), 13u);
  // The styled document as built, with the id its collector counts it by in front.
  const testsupport::ReportWire wire = testsupport::SplitTaskId(posts_[0].second);
  EXPECT_EQ(wire.taskId, doc["task_id"].asString());
  EXPECT_FALSE(wire.taskId.empty());
  doc.removeMember("task_id");
  EXPECT_EQ(wire.report, StyledJson(doc));
}

TEST_F(Context, PostEventChecksThroughTheContext) {
  {
    CManagement m(Env());
    EXPECT_EQ(m.PostEvent(kFunnel, false), -99);  // before Init: no session
    m.Init(2, 1000, 1000, "", "", "K", "1", "");
    EXPECT_EQ(m.PostEvent(kFunnel, false), -97);
  }
  {
    CManagement m(Env());
    m.Init(2, 8841, 8841, "", "", "K", "", "");
    EXPECT_EQ(m.PostEvent(kFunnel, false), -96);
  }
  {
    ManagementEnv env = Env();
    env.modulePath = env.exeFolder + L"setup_x7Qa9.exe";  // an install-source id of 5
    CManagement m(env);
    m.Init(2, 8841, 8841, "", "", "K", "1", "");
    EXPECT_EQ(m.PostEvent(kFunnel, false), -95);
  }
  {
    ManagementEnv env = Env();
    env.modulePath = env.exeFolder + L"setup_123456789012345678.exe";
    CManagement m(env);
    m.Init(2, 8841, 8841, "", "", "K", "1", "");
    EXPECT_EQ(m.PostEvent(kFunnel, false), 0);
    EXPECT_EQ(m.PostEvent("not json at all", false), -93);
    EXPECT_EQ(m.PostEvent(nullptr, false), -93);
    EXPECT_EQ(m.Snapshot().installSourceId, "123456789012345678");
  }
}

TEST_F(Context, ExtraCommonReplacesOnlyWhatItMay) {
  CManagement m(Env());
  m.Init(2, 8841, 8841, "", "", "K", "1", "");
  m.SetClientInfo(673, 0, "en", "1.0.0.1");
  EXPECT_EQ(m.SetExtraCommon("{\"brand\":\"x\",\"tools_lang\":\"de\"}"), 0);
  EXPECT_EQ(m.SetExtraCommon("{x"), 0);
  EXPECT_EQ(m.SetExtraCommon("x"), -1);
  EXPECT_EQ(m.SetExtraCommon(nullptr), -1);
  EXPECT_EQ(m.SetExtraCommon("[1,2]"), 0);
  EXPECT_NE(SdkLog(m).find("Extra common parse failed: "), std::string::npos);
  const Json::Value doc = BuildReportDocument(m.Snapshot(), Json::Value(), 0);
  EXPECT_EQ(doc["common"]["brand"].asString(), "Board Maker");
  EXPECT_EQ(doc["common"]["tools_lang"].asString(), "de");
}

TEST_F(Context, Ga4HitsCarryTheClientIdAndEncodedTail) {
  CManagement m(Env());
  EXPECT_EQ(m.PostGA4("&tid=x&en=y", false), -1);  // before Init nothing is kept or sent
  m.Init(2, 8841, 8841, "", "", "K", "1", "");
  const std::string tail =
      "&tid=G-R8KQ2W7NXD&ep.qd_category=Other&ep.qd_action=Click&ep.qd_label=a b/c&en=Click";
  EXPECT_EQ(m.PostGA4(tail.c_str(), true), 0);
  std::lock_guard<std::mutex> guard(lock_);
  ASSERT_EQ(posts_.size(), 1u);
  // The hit as built, with the id its collector counts it by after it.
  const testsupport::ReportWire wire = testsupport::SplitTaskId(posts_[0].first);
  EXPECT_EQ(wire.report,
            "https://ga4.test/g/collect?v=2&cid=1A2B3C02FC00000001" + PercentEncode(tail));
  EXPECT_FALSE(wire.taskId.empty());
  EXPECT_TRUE(posts_[0].second.empty());
}

TEST_F(Context, TestEnvSelectsTheTestCollector) {
  struct Case {
    const char* file;
    bool testEnv;
  };
  const Case cases[] = {{nullptr, false},
                        {"[Configs]\nTestEnv=1\n", true},
                        {"[configs]\r\ntestenv = 7\r\n", true},
                        {"[Configs]\nTestEnv=0\n", false},
                        {"[Configs]\nTestEnv=abc\n", false},
                        {"[Other]\nTestEnv=1\n", false},
                        {"\x00\x01garbage", false}};
  for (const Case& c : cases) {
    platform::RemoveFile(dir_.File(L"exe\\test.wk"));
    if (c.file) dir_.Write(L"exe/test.wk", c.file);
    CManagement m(Env());
    EXPECT_EQ(m.testEnv(), c.testEnv) << (c.file ? c.file : "(none)");
    EXPECT_EQ(m.CollectorUrl(), c.testEnv ? "https://collector-test.test/collector"
                                          : "https://collector.test/collect");
  }
}

TEST_F(Context, RepeatCheckFollowsTheInjectedClock) {
  CManagement m(Env());
  m.Init(2, 8841, 8841, "", "", "K", "1", "");
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(m.PostEvent(kFunnel, false), 0) << i;
    Advance(1);
  }
  EXPECT_EQ(m.PostEvent(kFunnel, false), -1);
  EXPECT_NE(SdkLog(m).find("Detect repeat 11, more than 10 within 60 seconds"), std::string::npos);
  Advance(1);  // refused keys enter the history too, so a steady repetition stays refused
  EXPECT_EQ(m.PostEvent(kFunnel, false), -1);
  Advance(61);
  EXPECT_EQ(m.PostEvent(kFunnel, false), 0);
}

TEST_F(Context, SendRestLogsDrainsAndEnds) {
  commandLine_ = L"C:\\x\\BrindlecotKerfoSetup.exe -sendrestlogs";
  CManagement m(Env());
  m.Init(2, 8841, 8841, "", "", "K", "1", "");
  EXPECT_EQ(exitCodes_, std::vector<int>{0});
  const std::string log = SdkLog(m);
  const size_t begin = log.find("Send rest logs, wait begin");
  ASSERT_NE(begin, std::string::npos);
  EXPECT_NE(log.find("Send rest logs, wait end", begin), std::string::npos);
}

TEST_F(Context, SendRestLogsDeliversStoredItemsAndGivesUpOnFailures) {
  {
    CManagement first(Env());
    collectorStatus_ = 500;
    first.Init(2, 8841, 8841, "", "", "K", "1", "");
    EXPECT_EQ(first.PostEvent(kFunnel, false), 0);
  }
  // A later run with -sendrestlogs: the collector still fails, so the wait ends at its limit.
  commandLine_ = L"x -sendrestlogs";
  {
    CManagement second(Env());
    second.Init(2, 8841, 8841, "", "", "K", "1", "");
    EXPECT_EQ(exitCodes_, std::vector<int>{0});
    EXPECT_NE(SdkLog(second).find("Send rest logs, gave up after"), std::string::npos);
    EXPECT_EQ(second.network().store().CountEntries(), 1);
  }
  // The collector is back: the item goes out and the store empties before the process ends.
  collectorStatus_ = 200;
  {
    CManagement third(Env());
    third.Init(2, 8841, 8841, "", "", "K", "1", "");
    EXPECT_EQ(exitCodes_, (std::vector<int>{0, 0}));
    EXPECT_EQ(third.network().store().CountEntries(), 0);
    EXPECT_NE(SdkLog(third).find("Read history: 1/1"), std::string::npos);
  }
}

// The event log over this context: a synchronous event the collector does not take at once is
// stored once and delivered once, under one id, however the log's tries go.
TEST_F(Context, SynchronousEventThatFailsIsOneItemDeliveredOnce) {
  CManagement m(Env());
  m.Init(2, 8841, 8841, "", "", "Brindlecot Kerfo", "1.0.0.0", "");
  m.SetClientInfo(673, 0, "en", "1.0.0.1");
  WebLog web(&m);
  analytics::CSingleUserLog::Environment env = testsupport::TestLogEnvironment(nullptr);
  env.report = &web;
  analytics::CSingleUserLog log(env);
  ASSERT_TRUE(WaitIdle(m));
  const int storedBefore = m.network().store().CountEntries();
  const uint64_t deliveredBefore = m.network().DeliveredCount();
  ga4Status_ = 500;
  collectorStatus_ = 500;
  EXPECT_EQ(log.AddUserLog("Download", "6.ProgramFinsh", "First", true), -2);
  EXPECT_EQ(log.AddUserLog_funnel("CoreFuncEvent", "Installing", 2, "Download", "ProgramFinsh",
                                  "null", true),
            -2);
  // One item each, the one the sender keeps trying.
  EXPECT_EQ(m.network().store().CountEntries(), storedBefore + 2);
  ga4Status_ = 204;
  collectorStatus_ = 200;
  ASSERT_TRUE(WaitIdle(m));
  EXPECT_EQ(m.network().store().CountEntries(), storedBefore);
  EXPECT_EQ(m.network().DeliveredCount(), deliveredBefore + 2);
  // Every attempt at either, immediate or the sender's, carried the item's one id.
  std::lock_guard<std::mutex> guard(lock_);
  std::set<std::string> hitIds, docIds;
  for (const auto& post : posts_) {
    if (post.first.find("6.ProgramFinsh") != std::string::npos) {
      hitIds.insert(testsupport::SplitTaskId(post.first).taskId);
    } else if (post.second.find("ProgramFinsh") != std::string::npos) {
      docIds.insert(testsupport::SplitTaskId(post.second).taskId);
    }
  }
  EXPECT_EQ(hitIds.size(), 1u);
  EXPECT_EQ(docIds.size(), 1u);
}

}  // namespace
}  // namespace reportsdk
