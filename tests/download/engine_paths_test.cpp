// The results of a download round reached without a server: failures staged through the file
// system, through plans left by earlier rounds, and through the engine's injection points for
// what a test machine cannot do (network state, thread start, time).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <vector>

#include "analytics/single_user_log.h"
#include "config/log_capture.h"
#include "download/download_impl.h"
#include "download/downloader.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/md5.h"
#include "support/temp_dir.h"
#include "tests/download/engine_test_support.h"

namespace download {
namespace {

using enginetest::ScopedEngineEnv;
using enginetest::ScopedSettings;

// A clock that runs a thousand times faster than the real one: 60 s pass in 60 ms.
uint32_t FastTick() { return platform::TickCount() * 1000u; }

struct Round {
  EnumErrorCode result;
  std::vector<std::pair<int64_t, int64_t>> progress;
  std::string cdn;
};

Round RunRound(const std::string& url, const std::wstring& local, bool main = true) {
  CDownLoadImpl engine;
  Round round;
  engine.setProgressCallback(
      [&](int64_t done, int64_t total) { round.progress.emplace_back(done, total); });
  round.result =
      engine.SuperDownloadFile(platform::AnsiToWide(url), local, &round.cdn, main);
  return round;
}

// Leaves a finished earlier round of `length` bytes: the file and a plan with every slice done.
std::string LeaveFinishedRound(testsupport::TempDir& dir, const std::wstring& name, int64_t length,
                               int64_t fileSize) {
  const std::string url = enginetest::UniqueUrl();
  const std::string local = enginetest::Narrow(dir.File(name));
  std::vector<enginetest::TaskRow> rows;
  int id = 1;
  for (int64_t start = 0; start < length || id == 1; start += 4194304, ++id) {
    const bool last = start + 2 * 4194304 > length;
    const int64_t end = last ? length : start + 4194303;
    rows.push_back({start, end, end, 1, id});
    if (last) break;
  }
  dir.Write(name + L".xml",
            enginetest::TaskFileText(static_cast<int>(rows.size()), length, url, local, rows));
  dir.Write(name, std::string(static_cast<size_t>(fileSize), 'k'));
  return url;
}

TEST(EnginePathsTest, NoRemoteSizeGivesSix) {
  testsupport::TempDir dir;
  const Round r = RunRound(enginetest::UniqueUrl(), dir.File(L"a.bin"));
  EXPECT_EQ(r.result, ErrContentLength);
  EXPECT_TRUE(r.progress.empty());
  // No plan, so no task file for the next round to trip over.
  EXPECT_FALSE(platform::PathExists(dir.File(L"a.bin.xml")));
}

TEST(EnginePathsTest, UnopenableLocalFileGivesSeven) {
  testsupport::TempDir dir;
  const std::string url = enginetest::UniqueUrl();
  analytics::CSingleUserLog::GetInstance().SetContentLength(url, 5000000);
  const Round r = RunRound(url, dir.File(L"no-such-folder/a.bin"));
  EXPECT_EQ(r.result, ErrOpenLocalFile);
}

TEST(EnginePathsTest, NoWorkerThreadGivesEight) {
  testsupport::TempDir dir;
  testsupport::LogCapture log(dir.File(L"log.txt"));
  const std::string url = enginetest::UniqueUrl();
  analytics::CSingleUserLog::GetInstance().SetContentLength(url, 5000000);
  EngineEnv env;
  env.threadStartFails = [] { return true; };
  ScopedEngineEnv scoped(env);
  EXPECT_EQ(RunRound(url, dir.File(L"a.bin")).result, ErrNoWorkerThreads);
  EXPECT_TRUE(log.Contains(" [Error]:  createThreads is empty"));
}

TEST(EnginePathsTest, NetworkDownAtStartOrLaterGivesNine) {
  for (int aliveChecks : {0, 3}) {
    SCOPED_TRACE(aliveChecks);
    testsupport::TempDir dir;
    testsupport::LogCapture log(dir.File(L"log.txt"));
    const std::string url = enginetest::UniqueUrl();
    analytics::CSingleUserLog::GetInstance().SetContentLength(url, 5000000);
    std::atomic<int> checks{0};
    EngineEnv env;
    env.networkAlive = [&] { return checks.fetch_add(1) < aliveChecks; };
    ScopedEngineEnv scoped(env);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunRound(url, dir.File(L"a.bin")).result, ErrNetworkDown);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1100));
    EXPECT_TRUE(log.Contains("network is  no  alive"));
    // The plan stays for the next round.
    EXPECT_TRUE(platform::PathExists(dir.File(L"a.bin.xml")));
  }
}

TEST(EnginePathsTest, NoProgressForSixtySecondsGivesTen) {
  testsupport::TempDir dir;
  testsupport::LogCapture log(dir.File(L"log.txt"));
  const std::string url = enginetest::UniqueUrl();  // nothing listens: every slice fails
  analytics::CSingleUserLog::GetInstance().SetContentLength(url, 9000000);
  EngineEnv env;
  env.tickCount = FastTick;
  env.networkAlive = [] { return true; };
  ScopedEngineEnv scoped(env);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunRound(url, dir.File(L"a.bin")).result, ErrNoProgress);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_TRUE(log.Contains("too long no speed:"));
}

TEST(EnginePathsTest, CdnAddressWithTooManyFailedRequestsGivesEleven) {
  // Slices are not retried within a round, so a round counts at most one failure per slice;
  // the counts of a long round are staged here.
  for (const char* host : {"http://cdn.localhost:1/f", "http://127.0.0.1:1/f"}) {
    SCOPED_TRACE(host);
    testsupport::TempDir dir;
    testsupport::LogCapture log(dir.File(L"log.txt"));
    const std::string url = enginetest::UniqueUrl(host);
    analytics::CSingleUserLog::GetInstance().SetContentLength(url, 3 * 4194304 + 10);
    EngineEnv env;
    env.tickCount = FastTick;  // the non-CDN round then ends through the stall rule
    env.networkAlive = [] { return true; };
    env.roundStarted = [](CDownloader& d) {
      for (CTask* t : d.plan().allTasks()) static_cast<CDownloadTask*>(t)->RequestTimes.store(3);
      static_cast<CDownloadTask*>(d.plan().allTasks()[0])->RequestTimes.store(4);
    };
    ScopedEngineEnv scoped(env);
    const Round r = RunRound(url, dir.File(L"a.bin"));
    if (std::string(host).find("cdn.") != std::string::npos) {
      EXPECT_EQ(r.result, ErrCdnFailure);
      EXPECT_TRUE(log.Contains(" ---cdn fail:"));
      EXPECT_TRUE(log.Contains(" > 3 * 3"));
    } else {
      EXPECT_EQ(r.result, ErrNoProgress);
    }
  }
}

TEST(EnginePathsTest, FinishedPlanReturnsOneAndReportsProgressOnce) {
  testsupport::TempDir dir;
  const std::string url = LeaveFinishedRound(dir, L"done.bin", 5000000, 5000000);
  const Round r = RunRound(url, dir.File(L"done.bin"));
  EXPECT_EQ(r.result, ErrSuccess);
  ASSERT_EQ(r.progress.size(), 1u);
  EXPECT_EQ(r.progress[0].first, 5000000);
  EXPECT_EQ(r.progress[0].second, 5000000);
  EXPECT_TRUE(enginetest::ReadFile(dir.File(L"done.bin")) == std::string(5000000, 'k'));
}

TEST(EnginePathsTest, SmallMainDownloadGivesFifteenButASideDownloadIsFine) {
  testsupport::TempDir dir;
  const std::string url = LeaveFinishedRound(dir, L"s.bin", 1048575, 1048575);
  EXPECT_EQ(RunRound(url, dir.File(L"s.bin"), true).result, ErrFileTooSmall);
  const std::string url2 = LeaveFinishedRound(dir, L"t.bin", 1048575, 1048575);
  const Round side = RunRound(url2, dir.File(L"t.bin"), false);
  EXPECT_EQ(side.result, ErrSuccess);
  EXPECT_TRUE(side.progress.empty());  // only main downloads report progress
}

TEST(EnginePathsTest, FileLongerThanItsPlanIsCutToThePlan) {
  testsupport::TempDir dir;
  testsupport::LogCapture log(dir.File(L"log.txt"));
  const std::string url = LeaveFinishedRound(dir, L"l.bin", 5000000, 5000100);
  EXPECT_EQ(RunRound(url, dir.File(L"l.bin")).result, ErrSuccess);
  EXPECT_EQ(platform::FileSize(dir.File(L"l.bin")), 5000000);
  EXPECT_TRUE(enginetest::ReadFile(dir.File(L"l.bin")) == std::string(5000000, 'k'));
  EXPECT_TRUE(log.Contains(" local file of 5000100 bytes cut to the plan's 5000000"));
  EXPECT_FALSE(log.Contains(" lenth is error, less than remote file."));
}

TEST(EnginePathsTest, SavedPlanWhoseSizeCannotBeAskedIsKept) {
  // An earlier round's plan, its slices on the address a redirect led to; this round's address
  // differs, so the size is asked again, and nothing answers.
  testsupport::TempDir dir;
  testsupport::LogCapture log(dir.File(L"log.txt"));
  const std::string finalUrl = enginetest::UniqueUrl();
  const std::string local = enginetest::Narrow(dir.File(L"k.bin"));
  const int64_t L = 10485760;
  const std::string plan = enginetest::TaskFileText(
      2, L, finalUrl, local, {{0, 4194303, 4194303, 1, 1}, {4194304, L, 6000000, 2, 2}});
  dir.Write(L"k.bin.xml", plan);
  dir.Write(L"k.bin", std::string(6000000, 'p'));
  analytics::CSingleUserLog::GetInstance().ClearRecordedEvents();
  const Round r = RunRound(enginetest::UniqueUrl(), dir.File(L"k.bin"));
  EXPECT_EQ(r.result, ErrContentLength);
  EXPECT_EQ(enginetest::ReadFile(dir.File(L"k.bin.xml")), plan);
  EXPECT_TRUE(enginetest::ReadFile(dir.File(L"k.bin")) == std::string(6000000, 'p'));
  EXPECT_TRUE(log.Contains(" taskinfo file kept, the remote size could not be asked"));
  EXPECT_FALSE(enginetest::HasEvent("Other", "FlowError", "DL025"));
}

TEST(EnginePathsTest, LongPathsAreAccepted) {
  testsupport::TempDir dir;
  std::wstring folder = dir.path();
  for (int i = 0; i < 3; ++i) {
    folder += std::wstring(90, static_cast<wchar_t>(L'a' + i)) + L"/";
    platform::CreateOneDirectory(folder);
  }
  const std::wstring local = folder + L"long.bin";
  ASSERT_GT(local.size(), 260u);
  const std::string url = enginetest::UniqueUrl("http://127.0.0.1:1/" + std::string(300, 'p'));
  analytics::CSingleUserLog::GetInstance().SetContentLength(url, 4000000);
  EngineEnv env;
  env.tickCount = FastTick;
  env.networkAlive = [] { return true; };
  ScopedEngineEnv scoped(env);
  // The round gets as far as the requests (which fail: nothing listens).
  EXPECT_EQ(RunRound(url, local).result, ErrNoProgress);
  EXPECT_TRUE(platform::PathExists(local + L".xml"));
  EXPECT_NE(enginetest::ReadFile(local + L".xml").find(std::string(300, 'p')), std::string::npos);
}

TEST(CheckMd5Test, ComparesAndRecordsTheDigest) {
  testsupport::TempDir dir;
  const std::wstring empty = dir.Write(L"empty.bin", "");
  const std::wstring emptyMd5 = L"d41d8cd98f00b204e9800998ecf8427e";
  CDownLoadImpl engine;
  EXPECT_TRUE(engine.checkMD5(empty, emptyMd5, L"", L"1.2.3"));
  EXPECT_EQ(enginetest::ReadFile(empty + L".db"), "1.2.3###d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_FALSE(engine.checkMD5(empty, L"D41D8CD98F00B204E9800998ECF8427E", L"x", L"v"));

  const std::wstring abc = dir.Write(L"abc.bin", "abc");
  EXPECT_TRUE(engine.checkMD5(abc, L"nope", L"900150983cd24fb0d6963f7d28e17f72", L"v"));
  // A file that cannot be read is the digest of nothing.
  EXPECT_TRUE(engine.checkMD5(dir.File(L"missing.bin"), emptyMd5, L"", L"v"));
}

}  // namespace
}  // namespace download
