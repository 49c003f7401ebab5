// A download larger than 4 GiB: 64-bit slice arithmetic, seeks and sizes, checked byte for
// byte. Labelled "slow"; bounded by the loopback speed.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "download/download_impl.h"
#include "download/engine_env.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/temp_dir.h"
#include "tests/download/engine_test_support.h"
#include "tests/download/mini_http_server.h"

namespace {

TEST(BigFileTest, SlowDownloadAboveFourGigabytesIsExact) {
  testsupport::TempDir dir;
  testsupport::MiniHttpServer server;
  testsupport::ServedFile f;
  f.size = (int64_t(4) << 30) + 4194304 + 4097;  // past 4 GiB, a remainder in the last slice
  f.seed = 99;
  server.AddFile("/big.bin", f);
  download::EngineEnv env;
  env.networkAlive = [] { return true; };
  enginetest::ScopedEngineEnv scoped(env);
  enginetest::ScopedSettings settings(0, 0);

  const std::wstring local = dir.File(L"big.bin");
  download::CDownLoadImpl engine;
  std::string cdn;
  ASSERT_EQ(engine.SuperDownloadFile(platform::AnsiToWide(server.Url("/big.bin")), local, &cdn,
                                     true),
            download::ErrSuccess);
  ASSERT_EQ(platform::FileSize(local), f.size);
  EXPECT_EQ(server.BodyBytesSent(), f.size);

  std::ifstream in(platform::WideToAnsi(local), std::ios::binary);
  std::vector<char> got(1 << 20), want(1 << 20);
  int64_t offset = 0;
  while (offset < f.size) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(got.size(), f.size - offset));
    in.read(got.data(), static_cast<std::streamsize>(n));
    ASSERT_EQ(static_cast<size_t>(in.gcount()), n);
    testsupport::FillPattern(f.seed, offset, want.data(), n);
    ASSERT_EQ(0, std::memcmp(got.data(), want.data(), n)) << "at " << offset;
    offset += static_cast<int64_t>(n);
  }
  const std::string plan = enginetest::ReadFile(local + L".xml");
  EXPECT_NE(plan.find("<ContentLength>" + std::to_string(f.size) + "</ContentLength>"),
            std::string::npos);
  EXPECT_NE(plan.find("<EndPos>" + std::to_string(f.size) + "</EndPos>"), std::string::npos);
  EXPECT_NE(plan.find("<TasksCount>1025</TasksCount>"), std::string::npos);
}

}  // namespace
