// Whole download rounds against a local HTTP server: sizes around the slice boundaries, plans
// of the published slice settings, resumption, redirects and hostile replies.
#include <gtest/gtest.h>

#include <chrono>

#include "analytics/single_user_log.h"
#include "config/log_capture.h"
#include "download/download_impl.h"
#include "download/downloader.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/md5.h"
#include "support/temp_dir.h"
#include "tests/download/engine_test_support.h"
#include "tests/download/mini_http_server.h"

namespace download {
namespace {

using enginetest::ScopedEngineEnv;
using enginetest::ScopedSettings;
using testsupport::MiniHttpServer;
using testsupport::ServedFile;

uint32_t FastTick() { return platform::TickCount() * 1000u; }

class HttpDownloadTest : public testing::Test {
 protected:
  HttpDownloadTest() {
    EngineEnv env;
    env.networkAlive = [] { return true; };  // a loopback-only test host is fine too
    env_ = std::make_unique<ScopedEngineEnv>(env);
  }

  // Serves `file` under a path no other test has used (the size memo is process-wide).
  std::string Serve(const std::string& name, const ServedFile& file) {
    static int counter = 0;
    const std::string path = "/" + std::to_string(++counter) + "/" + name;
    server_.AddFile(path, file);
    return path;
  }
  EnumErrorCode Round(const std::string& path, const std::wstring& local, bool main = true) {
    CDownLoadImpl engine;
    std::string cdn;
    return engine.SuperDownloadFile(platform::AnsiToWide(server_.Url(path)), local, &cdn, main);
  }
  static bool SameAsServed(const std::wstring& local, const ServedFile& f) {
    const std::string bytes = enginetest::ReadFile(local);
    return bytes.size() == static_cast<size_t>(f.size) &&
           bytes == testsupport::PatternBytes(f.seed, f.size);
  }
  int RangedRequests(const std::string& path) {
    int n = 0;
    for (const auto& r : server_.Requests()) n += (r.path == path && r.method == "GET");
    return n;
  }

  std::unique_ptr<ScopedEngineEnv> env_;
  testsupport::TempDir dir_;
  MiniHttpServer server_;
};

TEST_F(HttpDownloadTest, SizesAroundSliceBoundariesArriveWhole) {
  ScopedSettings settings(0, 0);
  for (int64_t size : {int64_t(1), int64_t(1048575), int64_t(1048576), int64_t(4194304),
                       int64_t(4194305), int64_t(10485760), int64_t(3 * 4194304 - 1)}) {
    SCOPED_TRACE(size);
    ServedFile f;
    f.size = size;
    f.seed = static_cast<uint32_t>(size);
    const std::string path = Serve("f.bin", f);
    const std::wstring local = dir_.File(L"f" + std::to_wstring(size) + L".bin");
    const bool main = size >= 1048576;
    ASSERT_EQ(Round(path, local, main), ErrSuccess);
    EXPECT_TRUE(SameAsServed(local, f));
    // Done slices are recorded the way older task files have them.
    const std::string plan = enginetest::ReadFile(local + L".xml");
    EXPECT_EQ(plan.find("<TaskStatus>0</TaskStatus>"), std::string::npos);
    // A second round finds the plan complete and downloads nothing.
    const int before = RangedRequests(path);
    EXPECT_EQ(Round(path, local, main), ErrSuccess);
    EXPECT_EQ(RangedRequests(path), before);
  }
}

TEST_F(HttpDownloadTest, OldLongerFileWithoutAPlanLeavesNoTail) {
  ScopedSettings settings(0, 0);
  ServedFile f;
  f.size = 5000000;
  const std::string path = Serve("o.bin", f);
  const std::wstring local = dir_.File(L"o.bin");
  dir_.Write(L"o.bin", std::string(7000000, 'o'));
  ASSERT_EQ(Round(path, local), ErrSuccess);
  EXPECT_TRUE(SameAsServed(local, f));
}

TEST_F(HttpDownloadTest, PublishedSliceSettingsCutThePlan) {
  struct Case {
    int32_t num, size;
    int64_t length;
    int slices;
  } cases[] = {{3, 0, 10, 3}, {0, 100000, 1000000, 10}, {7, 0, 5000000, 7}, {0, 1, 200, 200}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.num << "/" << c.size);
    ScopedSettings settings(c.num, c.size);
    ServedFile f;
    f.size = c.length;
    const std::string path = Serve("s.bin", f);
    const std::wstring local = dir_.File(L"s" + std::to_wstring(c.num) + L"_" +
                                         std::to_wstring(c.size) + L".bin");
    ASSERT_EQ(Round(path, local, false), ErrSuccess);
    EXPECT_TRUE(SameAsServed(local, f));
    EXPECT_EQ(RangedRequests(path), c.slices);
  }
}

TEST_F(HttpDownloadTest, SavedMidSlicePositionResumesThere) {
  ScopedSettings settings(0, 0);
  ServedFile f;
  f.size = 10485760;
  f.seed = 77;
  const std::string path = Serve("r.bin", f);
  const std::string url = server_.Url(path);
  const std::wstring local = dir_.File(L"r.bin");
  const std::string all = testsupport::PatternBytes(f.seed, f.size);
  // An earlier round: slice 1 done, slice 2 failed at 6000000 with its bytes so far on disk.
  std::string partial = all.substr(0, 6000000);
  dir_.Write(L"r.bin", partial);
  dir_.Write(L"r.bin.xml",
             enginetest::TaskFileText(2, f.size, url, enginetest::Narrow(local),
                                      {{0, 4194303, 4194303, 1, 1},
                                       {4194304, 10485760, 6000000, 2, 2}}));
  ASSERT_EQ(Round(path, local), ErrSuccess);
  EXPECT_TRUE(SameAsServed(local, f));
  const auto requests = server_.Requests();
  ASSERT_EQ(RangedRequests(path), 1);
  bool sawResume = false;
  for (const auto& r : requests) sawResume |= r.range == "bytes=6000000-10485760";
  EXPECT_TRUE(sawResume);
  EXPECT_EQ(server_.BodyBytesSent(), f.size - 6000000);
}

TEST_F(HttpDownloadTest, DroppedConnectionsResumeInTheNextRound) {
  ScopedSettings settings(0, 0, 3, 20);
  EngineEnv env;
  env.networkAlive = [] { return true; };
  env.tickCount = FastTick;
  ScopedEngineEnv fast(env);
  ServedFile f;
  f.size = 3 * 4194304 + 5;
  f.dropAfter = 1000000;  // every response breaks off after 1 MB
  const std::string path = Serve("d.bin", f);
  const std::wstring local = dir_.File(L"d.bin");
  int rounds = 0;
  EnumErrorCode result = ErrNoProgress;
  while (result != ErrSuccess && rounds < 12) {
    result = Round(path, local);
    ++rounds;
  }
  EXPECT_EQ(result, ErrSuccess);
  EXPECT_GE(rounds, 4);  // 4 MiB slices at 1 MB per round
  EXPECT_TRUE(SameAsServed(local, f));
  // Nothing was fetched twice.
  EXPECT_EQ(server_.BodyBytesSent(), f.size);
}

TEST_F(HttpDownloadTest, WholeFileRepliesAbortOnlyForExeDownloads) {
  EngineEnv env;
  env.networkAlive = [] { return true; };
  env.tickCount = FastTick;
  ScopedEngineEnv fast(env);
  ScopedSettings settings(0, 0);
  ServedFile f;
  f.size = 9000000;
  f.ignoreRange = true;
  const std::string bin = Serve("a.bin", f);
  EXPECT_EQ(Round(bin, dir_.File(L"a.bin")), ErrSuccess);
  EXPECT_TRUE(SameAsServed(dir_.File(L"a.bin"), f));

  testsupport::LogCapture log(dir_.File(L"log.txt"));
  const std::string exe = Serve("a.exe", f);
  EXPECT_EQ(Round(exe, dir_.File(L"a.exe")), ErrNoProgress);
  EXPECT_TRUE(log.Contains(" HeaderCallback error0: http_code is 200"));
  EXPECT_EQ(platform::FileSize(dir_.File(L"a.exe")), 0);
}

TEST_F(HttpDownloadTest, HostileRepliesFailCleanly) {
  EngineEnv env;
  env.networkAlive = [] { return true; };
  env.tickCount = FastTick;
  ScopedEngineEnv fast(env);
  ScopedSettings settings(0, 0, 3, 2);
  struct Case {
    const char* name;
    std::function<void(ServedFile&)> fault;
    EnumErrorCode expected;
  } cases[] = {
      {"wrong total", [](ServedFile& f) { f.wrongTotal = f.size - 1; }, ErrNoProgress},
      {"garbage range", [](ServedFile& f) { f.garbageRange = true; }, ErrNoProgress},
      {"no length", [](ServedFile& f) { f.noContentLength = true; }, ErrContentLength},
      {"negative size", [](ServedFile& f) { f.headSize = "-5"; }, ErrContentLength},
      {"absurd size", [](ServedFile& f) { f.headSize = "99999999999999999999999"; },
       ErrContentLength},
      {"huge size", [](ServedFile& f) { f.headSize = "4611686018427387904"; }, ErrContentLength},
      {"lower-case names", [](ServedFile& f) { f.lowerCaseHeaders = true; }, ErrContentLength},
      {"header of megabytes", [](ServedFile& f) { f.hugeHeader = 2 * 1024 * 1024; },
       ErrContentLength},
      {"not found", [](ServedFile& f) { f.status = 404; }, ErrContentLength},
      {"stall", [](ServedFile& f) { f.stallAfter = 100000; }, ErrNoProgress},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ServedFile f;
    f.size = 5000000;
    c.fault(f);
    const std::string path = Serve("h.bin", f);
    const std::wstring local = dir_.File(L"h.bin");
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Round(path, local), c.expected);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
    // Never a file that looks complete.
    EXPECT_FALSE(enginetest::ReadFile(local) == testsupport::PatternBytes(f.seed, f.size));
    platform::RemoveFile(local);
    platform::RemoveFile(local + L".xml");
  }
}

TEST_F(HttpDownloadTest, SurplusBodyIsCutAtTheSliceEnd) {
  ScopedSettings settings(0, 0);
  ServedFile f;
  f.size = 9000000;
  f.surplus = 5000;
  const std::string path = Serve("p.bin", f);
  EXPECT_EQ(Round(path, dir_.File(L"p.bin")), ErrSuccess);
  EXPECT_TRUE(SameAsServed(dir_.File(L"p.bin"), f));
}

TEST_F(HttpDownloadTest, ErrorStatusOfASliceIsNotWritten) {
  EngineEnv env;
  env.networkAlive = [] { return true; };
  env.tickCount = FastTick;
  ScopedEngineEnv fast(env);
  ScopedSettings settings(0, 0);
  ServedFile f;
  f.size = 9000000;
  const std::string path = Serve("e.bin", f);
  // The size probe succeeds, then the host starts failing every request.
  const std::string url = server_.Url(path);
  analytics::CSingleUserLog::GetInstance().SetContentLength(url, f.size);
  server_.Update(path, [](ServedFile& s) { s.status = 503; });
  EXPECT_EQ(Round(path, dir_.File(L"e.bin")), ErrNoProgress);
  EXPECT_EQ(platform::FileSize(dir_.File(L"e.bin")), 0);
}

TEST_F(HttpDownloadTest, RedirectsLeadTheSlicesToTheFinalAddress) {
  ScopedSettings settings(0, 0);
  ServedFile f;
  f.size = 9000000;
  const std::string target = Serve("final.bin", f);
  ServedFile hop2;
  hop2.redirectTo = server_.Url(target);
  const std::string second = Serve("hop2", hop2);
  ServedFile hop1;
  hop1.redirectTo = second;  // relative
  const std::string first = Serve("hop1", hop1);
  const std::wstring local = dir_.File(L"final.bin");
  EXPECT_EQ(Round(first, local), ErrSuccess);
  EXPECT_TRUE(SameAsServed(local, f));
  EXPECT_EQ(RangedRequests(target), 2);
  EXPECT_EQ(RangedRequests(first), 0);
  EXPECT_NE(enginetest::ReadFile(local + L".xml").find(server_.Url(target)), std::string::npos);
}

TEST_F(HttpDownloadTest, EndlessRedirectsGiveThirteen) {
  ServedFile loop;
  const std::string path = Serve("loop", loop);
  server_.Update(path, [&](ServedFile& s) { s.redirectTo = path; });
  EXPECT_EQ(Round(path, dir_.File(L"loop.bin")), ErrTooManyRedirects);
}

TEST_F(HttpDownloadTest, CdnHeadersOfTheSlicesComeBackAsText) {
  ScopedSettings settings(0, 0);
  ServedFile f;
  f.size = 5000000;
  f.extraHeaders = "CF-Cache-Status: HIT\r\nCF-RAY: 8a9b-LAX\r\n";
  const std::string path = Serve("c.bin", f);
  CDownLoadImpl engine;
  std::string cdn;
  analytics::CSingleUserLog::GetInstance().ClearRecordedEvents();
  ASSERT_EQ(engine.SuperDownloadFile(platform::AnsiToWide(server_.Url(path)), dir_.File(L"c.bin"),
                                     &cdn, true),
            ErrSuccess);
  EXPECT_EQ(cdn, "T();C(LAX/HIT;)");
  EXPECT_TRUE(enginetest::HasEvent("Download", "3.CDNStatus", "LAX/ HIT"));
}

TEST_F(HttpDownloadTest, ProgressOnlyMovesForward) {
  ScopedSettings settings(0, 0);
  ServedFile f;
  f.size = 6 * 1048576;
  f.bytesPerSecond = 24 * 1048576;
  const std::string path = Serve("g.bin", f);
  CDownLoadImpl engine;
  std::vector<std::pair<int64_t, int64_t>> seen;
  engine.setProgressCallback([&](int64_t d, int64_t t) { seen.emplace_back(d, t); });
  std::string cdn;
  ASSERT_EQ(engine.SuperDownloadFile(platform::AnsiToWide(server_.Url(path)), dir_.File(L"g.bin"),
                                     &cdn, true),
            ErrSuccess);
  ASSERT_GT(seen.size(), 3u);
  for (size_t i = 1; i < seen.size(); ++i) {
    EXPECT_GE(seen[i].first, seen[i - 1].first);
    EXPECT_EQ(seen[i].second, f.size);
    EXPECT_LE(seen[i].first, f.size);
  }
}

}  // namespace
}  // namespace download
