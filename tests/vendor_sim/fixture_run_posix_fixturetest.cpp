// The installer fixture run as a native process, with its arguments split the two ways a
// POSIX parent may split the silent command line.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Runs a program and waits (bounded) for it; its exit code, or -1.
int RunProgram(const std::vector<std::string>& args, int timeoutMs = 20000) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
  for (int waited = 0; waited <= timeoutMs; waited += 20) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid, SIGKILL);  // our own child, still unreaped
  ::waitpid(pid, nullptr, 0);
  return -1;
}

class FixtureRun : public testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("kerfo-fixture-" + std::to_string(::getpid()) + "-" +
                                         testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_ / "download");
    setup_ = root_ / "download" / "KerfoSetup_1.0.0.1.exe";
    fs::copy_file(KERFO_FIXTURE_SETUP, setup_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  fs::path root_;
  fs::path setup_;
};

TEST_F(FixtureRun, InstallsTheProductWhichRecordsItsStarts) {
  const fs::path dir = root_ / "Kerfo PDF";
  const fs::path log = root_ / "logs" / "Kerfo_Setup_20240131235959.log";
  // Split on blanks only, quotes kept, as a naive parent would split the line.
  const int code = RunProgram({setup_.string(), "/VERYSILENT", "/SP-", "/NORESTART",
                        "/DIR=\"" + (root_ / "Kerfo").string(), "PDF\\\"", "/LANG=de",
                        "/LOG=\"" + log.string() + "\"null"});
  ASSERT_EQ(code, 0) << Read(log);
  const fs::path product = dir / "Kerfo PDF Editor.exe";
  ASSERT_TRUE(fs::exists(product));
  EXPECT_NE(fs::status(product).permissions() & fs::perms::owner_exec, fs::perms::none);
  const std::string record = Read(dir / "kerfo-fixture-install.txt");
  EXPECT_NE(record.find("lang=de\r\n"), std::string::npos) << record;
  EXPECT_NE(record.find("trailing=null\r\n"), std::string::npos);
  EXPECT_NE(Read(log).find("Setup fixture finished"), std::string::npos);

  EXPECT_EQ(RunProgram({product.string(), "--from-installer", "x y"}), 0);
  const std::string started = Read(dir / "kerfo-product-started.log");
  EXPECT_NE(started.find(" args=--from-installer \"x y\"\r\n"), std::string::npos) << started;

  // Split like a shell, quotes removed: the same result.
  fs::remove_all(dir);
  ASSERT_EQ(RunProgram({setup_.string(), "/VERYSILENT", "/DIR=" + dir.string() + "\\", "/LANG=fr"}), 0);
  EXPECT_TRUE(fs::exists(product));
}

TEST_F(FixtureRun, FailsOrRunsLongWhenTold) {
  const fs::path dir = root_ / "target";
  const fs::path log = root_ / "setup.log";
  const std::string dirSwitch = "/DIR=\"" + dir.string() + "\\\"";
  const std::string logSwitch = "/LOG=\"" + log.string() + "\"";

  std::ofstream(setup_.string() + ".behaviour") << "exit_code=9\n";
  EXPECT_EQ(RunProgram({setup_.string(), "/VERYSILENT", dirSwitch, logSwitch}), 9);
  EXPECT_FALSE(fs::exists(dir / "Kerfo PDF Editor.exe"));
  EXPECT_NE(Read(log).find("Failing as asked, exit code 9"), std::string::npos);

  std::ofstream(setup_.string() + ".behaviour") << "sleep_seconds=2\n";
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(RunProgram({setup_.string(), "/VERYSILENT", dirSwitch, logSwitch}), 0);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_TRUE(fs::exists(dir / "Kerfo PDF Editor.exe"));

  fs::remove(setup_.string() + ".behaviour");
  const fs::path named = root_ / "download" / "KerfoSetup_1.0-fail4.exe";
  fs::copy_file(setup_, named);
  EXPECT_EQ(RunProgram({named.string(), "/VERYSILENT", dirSwitch}), 4);
  EXPECT_EQ(RunProgram({setup_.string(), dirSwitch}), 2);  // not silent: refuses
  EXPECT_EQ(RunProgram({setup_.string(), "/VERYSILENT"}), 3);  // no folder
}

}  // namespace
