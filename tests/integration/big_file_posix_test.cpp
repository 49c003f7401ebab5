// A download larger than 4 GiB from the vendor simulator: 64-bit slice arithmetic, seeks and
// sizes, checked byte for byte. Labelled "slow"; bounded by the loopback speed.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "download/download_impl.h"
#include "download/engine_env.h"
#include "platform/files.h"
#include "platform/text.h"
#include "sim_client.h"
#include "support/temp_dir.h"
#include "tests/download/engine_test_support.h"
#include "tests/download/pattern_bytes.h"

namespace {

// The served file is sparse: patterned blocks where a wrong 32-bit offset would land (the
// start, both sides of 2 GiB and 4 GiB, the end) and zeros between, so the source costs a few
// MiB of disk while the download is a real 4 GiB.
bool MakeSparseSource(const std::string& path, int64_t size, uint32_t seed) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  bool ok = ::ftruncate(fd, size) == 0;
  const int64_t block = 1 << 20;
  for (int64_t at : {int64_t(0), (int64_t(2) << 30) - block / 2, (int64_t(4) << 30) - block / 2,
                     size - block}) {
    std::vector<char> bytes(static_cast<size_t>(block));
    testsupport::FillPattern(seed, at, bytes.data(), bytes.size());
    ok = ok && ::pwrite(fd, bytes.data(), bytes.size(), at) == static_cast<ssize_t>(block);
  }
  return ::close(fd) == 0 && ok;
}

TEST(BigFileTest, SlowDownloadAboveFourGigabytesIsExact) {
  testsupport::TempDir dir;
  testsupport::TempDir files;
  testsupport::TempDir state;
  const int64_t size = (int64_t(4) << 30) + 4194304 + 4097;  // a remainder in the last slice
  const std::string source = enginetest::Narrow(files.File(L"big.bin"));
  ASSERT_TRUE(MakeSparseSource(source, size, 99));
  vendorsim::SimProcess sim;
  vendorsim::SimProcess::Options options;
  options.stateDir = enginetest::Narrow(state.path());
  options.filesDir = enginetest::Narrow(files.path());
  std::string error;
  if (!sim.Start(options, &error)) GTEST_SKIP() << "simulator did not start: " << error;
  download::EngineEnv env;
  env.networkAlive = [] { return true; };
  enginetest::ScopedEngineEnv scoped(env);
  enginetest::ScopedSettings settings(0, 0);

  const std::wstring local = dir.File(L"big.bin");
  const std::string url = sim.Url("Download", "/big.bin", false);
  download::CDownLoadImpl engine;
  std::string cdn;
  ASSERT_EQ(engine.SuperDownloadFile(platform::AnsiToWide(url), local, &cdn, true),
            download::ErrSuccess);
  ASSERT_EQ(platform::FileSize(local), size);

  std::ifstream in(platform::WideToAnsi(local), std::ios::binary);
  std::ifstream want(source, std::ios::binary);
  std::vector<char> got(1 << 20), expected(1 << 20);
  int64_t offset = 0;
  while (offset < size) {
    const size_t n = static_cast<size_t>(std::min<int64_t>(got.size(), size - offset));
    in.read(got.data(), static_cast<std::streamsize>(n));
    want.read(expected.data(), static_cast<std::streamsize>(n));
    ASSERT_EQ(static_cast<size_t>(in.gcount()), n);
    ASSERT_EQ(static_cast<size_t>(want.gcount()), n);
    ASSERT_EQ(0, std::memcmp(got.data(), expected.data(), n)) << "at " << offset;
    offset += static_cast<int64_t>(n);
  }
  const std::string plan = enginetest::ReadFile(local + L".xml");
  EXPECT_NE(plan.find("<ContentLength>" + std::to_string(size) + "</ContentLength>"),
            std::string::npos);
  EXPECT_NE(plan.find("<EndPos>" + std::to_string(size) + "</EndPos>"), std::string::npos);
  EXPECT_NE(plan.find("<TasksCount>1025</TasksCount>"), std::string::npos);
  // Every byte came exactly once: 1025 ranged requests and the size probe.
  int gets = 0;
  for (const auto& r : sim.Requests("Download")) gets += r["method"].asString() == "GET";
  EXPECT_EQ(gets, 1025);
}

}  // namespace
