// Download rounds against replies the vendor simulator cannot produce: a Content-Range that is
// not one, a size probe answering a negative, absurd or out-of-range Content-Length, a header of
// megabytes and a body longer than the range asked for. These need a hand-rolled server; every
// other reply (sizes, plans, resumption, redirects, CDN headers, rate limits, drops, stalls, 200
// instead of 206, wrong totals, missing lengths, lower-case names, error statuses) is tested
// against the simulator in tests/integration/vendor_sim_download_posix_test.cpp.
#include <gtest/gtest.h>

#include <chrono>

#include "download/download_impl.h"
#include "download/downloader.h"
#include "platform/clock.h"
#include "platform/files.h"
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

  std::unique_ptr<ScopedEngineEnv> env_;
  testsupport::TempDir dir_;
  MiniHttpServer server_;
};

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
      {"garbage range", [](ServedFile& f) { f.garbageRange = true; }, ErrNoProgress},
      {"negative size", [](ServedFile& f) { f.headSize = "-5"; }, ErrContentLength},
      {"absurd size", [](ServedFile& f) { f.headSize = "99999999999999999999999"; },
       ErrContentLength},
      {"huge size", [](ServedFile& f) { f.headSize = "4611686018427387904"; }, ErrContentLength},
      {"header of megabytes", [](ServedFile& f) { f.hugeHeader = 2 * 1024 * 1024; },
       ErrContentLength},
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

TEST_F(HttpDownloadTest, ThreadsThatOutliveTheWaitsAreLeftBehindNotJoined) {
  // The workers block on the file lock the test holds, so neither they nor the driver end: the
  // round returns after its bounded waits, reads no CDN text, and frees the downloader only
  // once its threads have ended.
  ScopedSettings settings(0, 0);
  ServedFile f;
  f.size = 9000000;
  const std::string path = Serve("w.bin", f);
  const std::wstring local = dir_.File(L"w.bin");
  std::mutex* held = nullptr;
  EngineEnv env;
  env.networkAlive = [] { return true; };
  env.tickCount = FastTick;
  env.driverWaitMs = 300;
  env.threadWaitMs = 100;
  env.roundStarted = [&](CDownloader& d) {
    held = d.pool().sharedMutex();
    held->lock();
  };
  ScopedEngineEnv scoped(env);
  CDownLoadImpl engine;
  std::string cdn = "stale";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(engine.SuperDownloadFile(platform::AnsiToWide(server_.Url(path)), local, &cdn, true),
            ErrNoProgress);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(cdn, "");
  EXPECT_EQ(CDownLoadImpl::abandonedRounds(), 1);
  ASSERT_NE(held, nullptr);
  platform::RemoveFile(local + L".xml");
  held->unlock();
  for (int i = 0; i < 600 && CDownLoadImpl::abandonedRounds() != 0; ++i) platform::SleepMs(50);
  EXPECT_EQ(CDownLoadImpl::abandonedRounds(), 0);
  // The abandoned round did not write over the task file a later round owns.
  EXPECT_FALSE(platform::PathExists(local + L".xml"));
}

}  // namespace
}  // namespace download
