// The download file held by a running program: the engine ends the holder and opens the file.
// On POSIX a running executable cannot be opened for writing (ETXTBSY), the same situation as a
// running installer image on Windows.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "config/log_capture.h"
#include "download/download_thread.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/shared_file.h"
#include "support/temp_dir.h"
#include "tests/download/engine_test_support.h"

extern char** environ;

namespace download {
namespace {

// Starts a copy of sleep(1) under `path`; returns its pid.
pid_t StartHolder(const std::string& path) {
  std::filesystem::copy_file("/bin/sleep", path, std::filesystem::copy_options::overwrite_existing);
  ::chmod(path.c_str(), 0755);
  char arg0[] = "holder";
  char arg1[] = "30";
  char* argv[] = {arg0, arg1, nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
  // Wait until the process runs the image.
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  for (int i = 0; i < 500; ++i) {
    char buf[4096];
    const ssize_t n = ::readlink(link.c_str(), buf, sizeof(buf) - 1);
    if (n > 0 && std::string(buf, static_cast<size_t>(n)).find(".exe") != std::string::npos) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return pid;
}

TEST(SharedFileTest, FileOfARunningProgramIsASharingViolation) {
  testsupport::TempDir dir;
  const std::string path = enginetest::Narrow(dir.File(L"busy.exe"));
  const pid_t pid = StartHolder(path);
  ASSERT_GT(pid, 0);
  platform::SharedFile file;
  EXPECT_EQ(file.Open(dir.File(L"busy.exe"), true), platform::kErrSharingViolation);
  ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

TEST(SharedFileTest, EngineEndsTheHolderAndRetriesOnce) {
  testsupport::TempDir dir;
  testsupport::LogCapture log(dir.File(L"log.txt"));
  const std::string path = enginetest::Narrow(dir.File(L"setup.exe"));
  const pid_t pid = StartHolder(path);
  ASSERT_GT(pid, 0);
  CDownloadThreadManager pool(path);
  EXPECT_EQ(pool.createThreads(2), 2);
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_TRUE(log.Contains("local file is NULL error code = 32"));
  EXPECT_TRUE(log.Contains(" Find proc: " + std::to_string(pid)));
  EXPECT_TRUE(log.Contains(" Kill proc: 1"));
  EXPECT_FALSE(log.Contains("after kill"));
  pool.stopThreads();
}

TEST(SharedFileTest, FindProcessReportsNoneAndSparesItself) {
  testsupport::TempDir dir;
  EXPECT_EQ(platform::FindProcessByFullPath(dir.File(L"nobody-runs-this.exe"), true, true), -1);
  // The test binary itself matches only itself, which is never touched.
  EXPECT_EQ(platform::FindProcessByFullPath(platform::GetModulePath(), true, false), -1);
}

TEST(SharedFileTest, PositionalWritesBeyondFourGigabytes) {
  testsupport::TempDir dir;
  platform::SharedFile file;
  ASSERT_EQ(file.Open(dir.File(L"sparse.bin"), false), platform::kErrSuccess);
  const int64_t at = (int64_t(1) << 32) + 12345;
  uint32_t error = 0;
  EXPECT_EQ(file.WriteAt(at, "abc", 3, &error), 3u);
  EXPECT_EQ(error, platform::kErrSuccess);
  EXPECT_EQ(file.Size(), at + 3);
}

}  // namespace
}  // namespace download
