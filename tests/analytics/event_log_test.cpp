// The user event log: GA4 tails and funnel documents as exact text, the error funnel chains,
// suppression, the daily marker file and the channel table.
#include <gtest/gtest.h>
#include <json/json.h>

#include <atomic>
#include <cstdio>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "analytics/event_format.h"
#include "analytics/single_user_log.h"
#include "fake_report.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "report_sdk/report_format.h"
#include "support/temp_dir.h"

namespace analytics {
namespace {

using testsupport::FakeReport;

// An encoder written independently of the product's: the same safe set, upper-case-insensitive
// comparison is not allowed, so it writes lower-case hex as the wire form requires.
std::string ReferenceEncode(const std::string& text) {
  static const std::set<char> safe = {'-', '_', '.', '!', '~', '&', '=', '*', '\'', '(', ')'};
  std::string out;
  for (unsigned char ch : text) {
    if (std::isalnum(ch) && ch < 0x80) {
      out += static_cast<char>(ch);
    } else if (safe.count(static_cast<char>(ch))) {
      out += static_cast<char>(ch);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof(hex), "%%%02x", ch);
      out += hex;
    }
  }
  return out;
}

class FakeWindow : public IUserLogWindow {
 public:
  uint32_t language = 1033;
  std::wstring version = L"2.1.0";
  uint32_t GetCurrentLanguageId() const override { return language; }
  std::wstring GetConfiguredSoftwareVersion() const override { return version; }
};

CSingleUserLog::Environment TestEnv(FakeReport* report, std::atomic<bool>* autoRun = nullptr) {
  CSingleUserLog::Environment env;
  env.report = report;
  env.isAutoRunMode = [autoRun] { return autoRun != nullptr && autoRun->load(); };
  env.modulePath = L"C:\\Users\\x\\Downloads\\BrindlecotKerfoSetup.exe";
  env.toolsVersion = "1.0.0.1";
  env.osLabel = "Windows 10 64bit";
  env.localeName = "English_United States";
  env.now = [] {
    platform::LocalTime t;
    t.year = 2026;
    t.month = 3;
    t.day = 14;
    return t;
  };
  env.languageName = [](uint32_t id) {
    return id == 1033 ? std::string("English_United States") : "lang" + std::to_string(id);
  };
  return env;
}

const char kCustomDims[] =
    "&ep.cd1=1.0.0.1&ep.cd2=PPC&ep.cd3=Kerfo-PPC-Generic-Bing&ep.cd4=Brindlecot Kerfo"
    "&ep.cd5=United States&ep.cd6=English&ep.cd7=Windows 10 64bit&ep.cd8=1";

class EventLog : public testing::Test {
 protected:
  EventLog() : log_(TestEnv(&report_)) {
    log_.Init(673, 84, "1.0.0.0", "Brindlecot Kerfo",
              "https://dl.example/kerfo/BrindlecotKerfo_Bing_setup.exe", false, 8841);
    report_.Clear();
  }

  std::vector<int> FunnelSteps(const std::string& coreFunc) {
    std::vector<int> steps;
    for (const auto& call : report_.Calls("PostEvent")) {
      Json::Value doc;
      std::string errors;
      EXPECT_TRUE(reportsdk::ParseJson(call.text, &doc, &errors)) << errors;
      if (doc["actions"]["core_func_name"].asString() == coreFunc) {
        steps.push_back(doc["actions"]["func_step"].asInt());
      }
    }
    return steps;
  }

  FakeReport report_;
  CSingleUserLog log_;
};

TEST_F(EventLog, InitHandsTheIdentityToTheReportInterface) {
  FakeReport report;
  CSingleUserLog log(TestEnv(&report));
  log.Init(277, 2, "3.4.5", "Kerfo", "https://x/a.exe", true, 9000);
  const auto calls = report.Calls();
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].slot, "Init");
  EXPECT_EQ(calls[0].args,
            (std::vector<std::string>{"2", "9000", "9000", "", "", "Kerfo", "3.4.5", ""}));
  EXPECT_EQ(calls[1].slot, "SetClientInfo");
  EXPECT_EQ(calls[1].args, (std::vector<std::string>{"277", "1", "en", "1.0.0.1"}));
}

TEST_F(EventLog, Ga4TailIsExactAndEncodesAsTheReferenceDoes) {
  struct Case {
    const char* category;
    const char* action;
    const char* label;
  };
  const Case cases[] = {
      {"Download", "3.Downloading...", "First"},
      {"Other", "InstallClick", "path/with space"},
      {"Download", "3.CDNStatus", "a&b=c"},
      {"Other", "Lang", "Z\xC3\xBCrich \xE6\x9D\xB1\xE4\xBA\xAC"},
  };
  for (const Case& c : cases) {
    report_.Clear();
    EXPECT_EQ(log_.AddUserLog(c.category, c.action, c.label, false), 0);
    const auto hits = report_.Calls("PostGA4");
    ASSERT_EQ(hits.size(), 1u) << c.label;
    const std::string expected =
        std::string(
            "&tid=G-R8KQ2W7NXD&ep.qd_productname=Downloader&ep.qd_productversion=1.0.0.1"
            "&ep.qd_category=") +
        c.category + "&ep.qd_action=" + c.action + "&ep.qd_label=" + c.label + "&en=" + c.action +
        kCustomDims;
    EXPECT_EQ(hits[0].text, expected);
    const std::string url = reportsdk::Ga4Url("https://ga4.test", "ABCD1234", hits[0].text);
    EXPECT_EQ(url, "https://ga4.test/g/collect?v=2&cid=ABCD1234" + ReferenceEncode(expected));
  }
  // The wire forms the edge cases name.
  EXPECT_NE(reportsdk::PercentEncode("&ep.qd_label=path/with space").find("path%2fwith%20space"),
            std::string::npos);
  EXPECT_EQ(reportsdk::PercentEncode("a&b=c"), "a&b=c");
  EXPECT_EQ(reportsdk::PercentEncode("\xC3\xBC"), "%c3%bc");
}

TEST_F(EventLog, RefusedHitsAreTriedThreeTimesAndReported) {
  report_.Script({-1, -1, -1});
  EXPECT_EQ(log_.AddUserLog("Download", "Start", "First", true), -1);
  const auto hits = report_.Calls("PostGA4");
  ASSERT_EQ(hits.size(), 3u);
  EXPECT_TRUE(hits[2].wait);
  // A send that did not get through at once is kept by the report interface: never posted
  // again, or it would be stored and counted twice.
  report_.Clear();
  report_.Script({-2, 0});
  EXPECT_EQ(log_.AddUserLog("Download", "Start", "First", true), -2);
  EXPECT_EQ(report_.Calls("PostGA4").size(), 1u);
  report_.Clear();
  report_.Script({-1, 0});
  EXPECT_EQ(log_.AddUserLog("Download", "Start", "First", true), 0);
  EXPECT_EQ(report_.Calls("PostGA4").size(), 2u);
}

TEST_F(EventLog, FunnelDocumentIsTheStyledTextWithItsNewline) {
  FakeWindow window;
  log_.SetWindow(&window);
  EXPECT_EQ(log_.AddUserLog_funnel("CoreFuncEvent", "FlowError", 1, "Download", "DL013", "null"),
            0);
  log_.SetWindow(nullptr);
  const auto docs = report_.Calls("PostEvent");
  ASSERT_EQ(docs.size(), 1u);
  const std::string expected =
      "{\n"
      "\t\"actions\" : \n"
      "\t{\n"
      "\t\t\"core_func_name\" : \"FlowError\",\n"
      "\t\t\"event_action\" : \"DL013\",\n"
      "\t\t\"event_category\" : \"Download\",\n"
      "\t\t\"event_label\" : \"null\",\n"
      "\t\t\"event_type\" : \"CoreFuncEvent\",\n"
      "\t\t\"func_step\" : 1\n"
      "\t},\n"
      "\t\"brand\" : \"PC\",\n"
      "\t\"cross_end_id\" : \"\",\n"
      "\t\"email\" : \"\",\n"
      "\t\"is_new\" : 1,\n"
      "\t\"kit_type\" : 0,\n"
      "\t\"model\" : \"PC\",\n"
      "\t\"phone\" : \"\",\n"
      "\t\"pid\" : 8841,\n"
      "\t\"product\" : \"Brindlecot Kerfo\",\n"
      "\t\"product_version\" : \"2.1.0\",\n"
      "\t\"rnclid\" : \"\",\n"
      "\t\"source_type\" : \"downloader\",\n"
      "\t\"tools_lang\" : \"English_United States\",\n"
      "\t\"tools_version\" : \"1.0.0.1\"\n"
      "}\n";
  EXPECT_EQ(docs[0].text, expected);
}

TEST_F(EventLog, FunnelActionMembersFollowTheirRules) {
  // Empty event type reads "event"; an empty core function leaves out both chain members.
  const Json::Value plain = FunnelActions("", "", 5, "Install", "Click", "First");
  EXPECT_EQ(plain["event_type"].asString(), "event");
  EXPECT_FALSE(plain.isMember("core_func_name"));
  EXPECT_FALSE(plain.isMember("func_step"));
  // Map entries join the fixed members; an empty key is dropped; a fixed name is replaced.
  const Json::Value ex = FunnelActionsEx("RunningTime", "Download",
                                         {{"", "x"}, {"seconds", "12"}, {"event_type", "t"}});
  EXPECT_EQ(ex["seconds"].asString(), "12");
  EXPECT_EQ(ex["event_type"].asString(), "t");
  EXPECT_EQ(ex.size(), 4u);
  // The ChToolKit argument wins over the kit build for kit_type.
  EXPECT_EQ(log_.AddFunnelEvent("Download", "SliceDownloading", "", "", false, true), 0);
  Json::Value doc;
  std::string errors;
  ASSERT_TRUE(reportsdk::ParseJson(report_.Calls("PostEvent").back().text, &doc, &errors));
  EXPECT_EQ(doc["kit_type"].asInt(), 2);
  EXPECT_EQ(doc["actions"].size(), 3u);
}

TEST_F(EventLog, FlowErrorChainsNumberTheirStepsAndCloseAtTheEnd) {
  log_.AddUserLog("Other", "FlowError", "DL013");
  EXPECT_EQ(FunnelSteps("FlowError"), (std::vector<int>{0, 1}));
  // The "Other"/"FlowError" report also carries its error type.
  const auto first = report_.Calls("PostEvent");
  ASSERT_EQ(first.size(), 3u);
  EXPECT_NE(first[0].text.find("\"MainErrorType\" : \"DL013\""), std::string::npos);
  EXPECT_NE(first[1].text.find("\"event_action\" : \"CoreFuncStart\""), std::string::npos);
  EXPECT_NE(first[2].text.find("\"event_action\" : \"DL013\""), std::string::npos);
  EXPECT_EQ(report_.Calls("PostGA4").size(), 1u);

  log_.AddUserLog("Other", "FlowError", "DL017");
  EXPECT_EQ(FunnelSteps("FlowError"), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(report_.Calls("PostGA4").size(), 2u);

  // The tool-kit chain keeps its own counter and marks its documents kit_type 2.
  log_.AddUserLog("Download", "FlowErrorIsChToolKitErrorCode", "7");
  log_.AddUserLog("Download", "FlowErrorIsChToolKitErrorCode", "8");
  EXPECT_EQ(FunnelSteps("FlowIsChToolKitError"), (std::vector<int>{0, 1, 2}));
  EXPECT_NE(report_.Calls("PostEvent").back().text.find("\"kit_type\" : 2"), std::string::npos);

  report_.Clear();
  log_.AddUserLog("CrashRate", "Close", "");
  const auto ends = report_.Calls("PostEvent");
  ASSERT_EQ(ends.size(), 2u);
  EXPECT_NE(ends[0].text.find("\"core_func_name\" : \"FlowError\""), std::string::npos);
  EXPECT_NE(ends[1].text.find("\"core_func_name\" : \"FlowIsChToolKitError\""), std::string::npos);
  for (const auto& end : ends) {
    EXPECT_NE(end.text.find("\"event_action\" : \"CoreFuncEnd\""), std::string::npos);
    EXPECT_NE(end.text.find("\"func_step\" : 0"), std::string::npos);
    EXPECT_NE(end.text.find("\"kit_type\" : 0"), std::string::npos);
  }
  EXPECT_EQ(report_.Calls("PostGA4").size(), 1u);
}

TEST_F(EventLog, CloseWithoutChainsSendsOnlyTheHit) {
  log_.AddUserLog("CrashRate", "Close", "");
  EXPECT_TRUE(report_.Calls("PostEvent").empty());
  EXPECT_EQ(report_.Calls("PostGA4").size(), 1u);
}

TEST_F(EventLog, RacingFlowErrorsGetDistinctSteps) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this] {
      for (int i = 0; i < 10; ++i) log_.AddUserLog("Other", "FlowError", "DL010");
    });
  }
  for (auto& thread : threads) thread.join();
  std::vector<int> steps = FunnelSteps("FlowError");
  std::multiset<int> seen(steps.begin(), steps.end());
  EXPECT_EQ(seen.count(0), 1u);
  for (int step = 1; step <= 40; ++step) EXPECT_EQ(seen.count(step), 1u) << step;
}

TEST(EventLogSuppression, AutoRunSuppressesEveryEventAndRecordsNothing) {
  FakeReport report;
  std::atomic<bool> autoRun{true};
  CSingleUserLog log(TestEnv(&report, &autoRun));
  log.Init(673, 84, "1", "K", "https://x/a.exe", false, 8841);
  report.Clear();
  EXPECT_EQ(log.AddUserLog("Other", "FlowError", "DL013"), -99);
  EXPECT_EQ(log.AddUserLog_funnel("e", "c", 1, "a", "b", "c"), -99);
  EXPECT_EQ(log.AddUserLog_funnelEx("a", "b", {}), -99);
  EXPECT_EQ(log.AddFunnelEvent("a", "b", "k", "v"), -99);
  EXPECT_TRUE(report.Calls().empty());
  EXPECT_TRUE(log.RecordedEvents().empty());
  // The switch is read afresh on every call.
  autoRun = false;
  EXPECT_EQ(log.AddUserLog("Other", "FlowError", "DL013"), 0);
  EXPECT_FALSE(report.Calls("PostGA4").empty());
  // Extra common members are not subject to suppression.
  autoRun = true;
  report.Clear();
  log.SetExtraCommon(1031, "9.9");
  ASSERT_EQ(report.Calls("SetExtraCommon").size(), 1u);
  EXPECT_EQ(report.Calls("SetExtraCommon")[0].text,
            "{\n\t\"product_version\" : \"9.9\",\n\t\"tools_lang\" : \"lang1031\"\n}");
}

TEST(EventLogNoReport, WithoutAReportObjectEventsAreRecordedAndNotSent) {
  CSingleUserLog log(TestEnv(nullptr));
  EXPECT_EQ(log.AddUserLog("Other", "FlowError", "DL026"), -1);
  bool found = false;
  for (const auto& e : log.RecordedEvents()) {
    found |=
        e.kind == "ga4" && e.category == "Other" && e.action == "FlowError" && e.label == "DL026";
  }
  EXPECT_TRUE(found);
  // The chain still advances without a report object.
  log.AddUserLog("Other", "FlowError", "DL025");
  int stepTwo = 0;
  for (const auto& e : log.RecordedEvents()) {
    if (e.kind == "funnel" && e.fields.count("func_step") && e.fields.at("func_step") == "2") {
      ++stepTwo;
    }
  }
  EXPECT_EQ(stepTwo, 1);
}

TEST(EventFormat, SiteClassAndChannelNames) {
  struct Case {
    int site;
    const char* url;
    const char* cls;
    const char* channel;
  };
  const Case cases[] = {
      {2, "https://x/k_setup.exe", "PPC", "Kerfo-PPC-Search"},
      {2, "https://x/K_BING_setup.exe", "PPC", "Kerfo-PPC-Search-Bing"},
      {2, "https://x/k_setup_bing.exe", "PPC", "Kerfo-PPC-Search-Bing"},
      {2, "https://x/k_yahoo_setup.exe", "PPC", "Kerfo-PPC-Search-Yahoo"},
      {84, "https://x/k_bing_yahoo_online_x.exe", "PPC", "Kerfo-PPC-Generic-Bing"},
      {84, "https://x/k_online_setup.exe", "PPC", "Kerfo-PPC-GenericOnline"},
      {8, "https://x/k_yahoo_setup.exe", "PPC", "Kerfo-PPC-Display"},
      {54, "https://x/k.exe", "CN", "Kerfo-CN-Direct"},
      {354, "", "CN", "Kerfo-CN-Search"},
      {611, "https://x/BrindlecotKerfo_Online.exe", "SEO", "Kerfo-WebOnline"},
      {4242, "https://x/k_bing_.exe", "SEO", "4242"},
      {-7, "", "SEO", "-7"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SiteClass(c.site), c.cls) << c.site;
    EXPECT_EQ(ChannelName(c.site, c.url), c.channel) << c.site << " " << c.url;
  }
}

TEST(EventFormat, OverlongTextsAreShortenedNeverOverflowed) {
  Ga4Identity id;
  id.toolsVersion = "1.0.0.1";
  id.softwareName = std::string(5000, 'n');
  id.osLabel = "Windows 10 64bit";
  const std::string dims = CustomDimensions(id);
  EXPECT_EQ(dims.size(), kMaxGa4Text);
  EXPECT_EQ(dims.substr(dims.size() - 9), "&ep.cd8=1");

  const std::string ordinary = Ga4Tail("1", "Download", "Start", "First", "&ep.cd1=1");
  EXPECT_EQ(ordinary.find("&ep.qd_label=First&en=Start&ep.cd1=1"), ordinary.size() - 36);
  // A huge label is cut (on a character boundary) so the whole tail fits.
  std::string label;
  for (int i = 0; i < 3000; ++i) label += "\xC3\xBC";
  const std::string tail = Ga4Tail("1", "Download", "Start", label, dims.substr(0, 100));
  EXPECT_LE(tail.size(), kMaxGa4Text);
  EXPECT_NE(tail.find("&en=Start"), std::string::npos);
  EXPECT_EQ(tail.find("&en=Start") % 1, 0u);
  const size_t labelStart = tail.find("&ep.qd_label=") + 13;
  EXPECT_EQ((tail.find("&en=") - labelStart) % 2, 0u);  // whole two-byte characters only
  // When even an empty label cannot make it fit, nothing is sent.
  EXPECT_EQ(Ga4Tail("1", std::string(5000, 'c'), "a", "l", ""), "");
}

TEST(EventFormat, LocaleAndInstallSource) {
  std::string language, country;
  SplitLocaleName("English_United States", &language, &country);
  EXPECT_EQ(language, "English");
  EXPECT_EQ(country, "United States");
  SplitLocaleName("0x0c1a", &language, &country);
  EXPECT_EQ(language, "Unknown");
  EXPECT_EQ(country, "Unknown");
  EXPECT_EQ(InstallSourceIdOfPath(L"C:\\a_b\\setup_x7Qa9.exe"), "x7Qa9");
  EXPECT_EQ(InstallSourceIdOfPath(L"C:\\a_b\\setup.exe"), "");
  EXPECT_EQ(InstallSourceIdOfPath(L"/opt/kerfo_x/kerfo-installer"), "");
  EXPECT_EQ(InstallSourceIdOfPath(L"C:\\a\\my.setup_1"), "");
  EXPECT_EQ(OsLabel("Windows 11", false), "Windows 11 32bit");
}

class MarkerFile : public testing::Test {
 protected:
  platform::LocalTime Day(int day) {
    platform::LocalTime t;
    t.year = 2026;
    t.month = 2;
    t.day = day;
    return t;
  }
  Json::Value Read() {
    std::string text;
    Json::Value root;
    std::string errors;
    EXPECT_TRUE(platform::ReadWholeFile(path_, &text));
    EXPECT_TRUE(reportsdk::ParseJson(text, &root, &errors)) << text;
    return root;
  }
  testsupport::TempDir dir_;
  std::wstring path_ = dir_.File(L"galog.json");
};

TEST_F(MarkerFile, FirstRunOfTheDayAcrossDaysKeepsOtherMembers) {
  EXPECT_TRUE(IsFirstRunToday(path_, Day(3)));
  EXPECT_FALSE(IsFirstRunToday(path_, Day(3)));
  StampToolsVersion(path_, "1.0.0.1");
  // Members another version wrote survive the date rewrite.
  Json::Value root = Read();
  root["future"] = "kept";
  std::string text = root.toStyledString();
  ASSERT_TRUE(platform::WriteFileAtomically(path_, text));
  EXPECT_TRUE(IsFirstRunToday(path_, Day(4)));
  root = Read();
  EXPECT_EQ(root["day"].asInt(), 4);
  EXPECT_EQ(root["version"].asString(), "1.0.0.1");
  EXPECT_EQ(root["future"].asString(), "kept");
  // Same day, new version: only the version changes.
  StampToolsVersion(path_, "1.0.0.2");
  EXPECT_FALSE(IsFirstRunToday(path_, Day(4)));
  EXPECT_EQ(Read()["version"].asString(), "1.0.0.2");
}

TEST_F(MarkerFile, DamagedFilesCountAsANewDayAndAreRewritten) {
  const std::string bad[] = {"", "{\"year\":", "[1,2,3]", "\"text\"",
                             "{\"year\":\"2026\",\"month\":2,\"day\":3}", std::string(3, '\0'),
                             // Too large to be read at all, even though it names today.
                             "{\"year\":2026,\"month\":2,\"day\":3}" + std::string(2 << 20, ' ')};
  for (const std::string& text : bad) {
    ASSERT_TRUE(platform::WriteFileAtomically(path_, text));
    EXPECT_TRUE(IsFirstRunToday(path_, Day(3))) << text;
    EXPECT_EQ(Read()["day"].asInt(), 3);
    EXPECT_FALSE(IsFirstRunToday(path_, Day(3)));
  }
  ASSERT_TRUE(platform::WriteFileAtomically(path_, "{oops"));
  StampToolsVersion(path_, "7");
  EXPECT_EQ(Read()["version"].asString(), "7");
}

TEST_F(MarkerFile, InitDecidesIsNewAndTheFirstFunnelStampsTheVersion) {
  FakeReport report;
  CSingleUserLog orphan(TestEnv(&report));
  EXPECT_TRUE(orphan.MarkerFilePath().empty());
  orphan.Init(1, 1, "1", "K", "u", false, 1001);
  EXPECT_TRUE(orphan.IsNewToday());  // no log folder: new, and no file is made anywhere

  const std::wstring oldAppData = platform::GetEnvVar(L"APPDATA");
  std::wstring appData = dir_.path();
  appData.pop_back();
  platform::SetEnvVar(L"APPDATA", appData);
  CSingleUserLog first(TestEnv(&report));
  first.SetupWorkPaths(L"KerfoMarkerTest");
  CSingleUserLog second(TestEnv(&report));
  second.SetupWorkPaths(L"KerfoMarkerTest");
  platform::SetEnvVar(L"APPDATA", oldAppData);

  first.Init(1, 1, "1", "K", "u", false, 1001);
  second.Init(1, 1, "1", "K", "u", false, 1001);
  EXPECT_TRUE(first.IsNewToday());
  EXPECT_FALSE(second.IsNewToday());
  path_ = first.MarkerFilePath();
  EXPECT_FALSE(Read().isMember("version"));
  first.AddFunnelEvent("Install", "Click", "", "");
  EXPECT_EQ(Read()["version"].asString(), "1.0.0.1");
  EXPECT_EQ(Read()["day"].asInt(), 14);
}

}  // namespace
}  // namespace analytics
