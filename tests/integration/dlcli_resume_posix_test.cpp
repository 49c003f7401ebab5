// dlcli as a support engineer runs it: a download killed with SIGKILL in the middle resumes
// from its task file and fetches only what was missing at the last save.
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/md5.h"
#include "support/temp_dir.h"
#include "tests/download/engine_test_support.h"
#include "tests/download/mini_http_server.h"

extern char** environ;

namespace {

pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int Wait(pid_t pid, int seconds) {
  for (int i = 0; i < seconds * 100; ++i) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  return -1;
}

// Bytes the saved plan counts as on disk, or -1 while there is no readable plan.
int64_t SavedBytes(const std::wstring& taskFile) {
  std::string text = enginetest::ReadFile(taskFile);
  tinyxml2::XMLDocument doc;
  if (text.empty() || doc.Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) return -1;
  const tinyxml2::XMLElement* root = doc.FirstChildElement("TaskInfo");
  if (root == nullptr) return -1;
  int64_t length = 0;
  root->FirstChildElement("ContentLength")->QueryInt64Text(&length);
  int64_t total = 0;
  for (auto* t = root->FirstChildElement("Task"); t; t = t->NextSiblingElement("Task")) {
    int64_t start = 0, end = 0, pos = 0;
    int status = 0;
    t->FirstChildElement("StartPos")->QueryInt64Text(&start);
    t->FirstChildElement("EndPos")->QueryInt64Text(&end);
    t->FirstChildElement("DownloadedPos")->QueryInt64Text(&pos);
    t->FirstChildElement("TaskStatus")->QueryIntText(&status);
    const int64_t last = end >= length ? length - 1 : end;
    total += status == 1 ? last - start + 1 : pos - start;
  }
  return total;
}

TEST(DlcliResumeTest, KilledMidDownloadResumesWithTheRightDigest) {
  testsupport::TempDir dir;
  testsupport::MiniHttpServer server;
  testsupport::ServedFile f;
  f.size = 6 * 4194304 + 333;
  f.seed = 4242;
  f.bytesPerSecond = 2 * 1048576;  // per connection: the kill lands mid-download
  server.AddFile("/setup.bin", f);
  const std::string content = testsupport::PatternBytes(f.seed, f.size);
  const std::string md5 = platform::Md5HexOfBytes(content.data(), content.size());
  const std::string local = enginetest::Narrow(dir.File(L"setup.bin"));
  const std::string url = server.Url("/setup.bin");

  const pid_t first = Spawn({KERFO_DLCLI_PATH, url, local, "--rounds", "1"});
  ASSERT_GT(first, 0);
  // Wait for a saved plan with progress, then a little longer so bytes arrive after the save.
  int64_t saved = -1;
  for (int i = 0; i < 3000 && saved <= 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    saved = SavedBytes(dir.File(L"setup.bin.xml"));
  }
  ASSERT_GT(saved, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  ::kill(first, SIGKILL);
  ::waitpid(first, nullptr, 0);

  const int64_t atKill = SavedBytes(dir.File(L"setup.bin.xml"));
  ASSERT_GT(atKill, 0);
  ASSERT_LT(atKill, f.size);
  const int64_t missing = f.size - atKill;
  // The server's threads may still be inside a throttled send to the dead process: count from
  // the moment its total stops moving.
  int64_t sentBefore = server.BodyBytesSent();
  for (int i = 0; i < 50; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int64_t now = server.BodyBytesSent();
    if (now == sentBefore) break;
    sentBefore = now;
  }
  server.Update("/setup.bin", [](testsupport::ServedFile& s) { s.bytesPerSecond = 0; });

  const pid_t second = Spawn({KERFO_DLCLI_PATH, url, local, "--md5", md5});
  ASSERT_EQ(Wait(second, 120), 0);
  EXPECT_TRUE(enginetest::ReadFile(dir.File(L"setup.bin")) == content);
  const int64_t refetched = server.BodyBytesSent() - sentBefore;
  EXPECT_LE(refetched, missing);
  EXPECT_GT(refetched, 0);
  EXPECT_EQ(enginetest::ReadFile(dir.File(L"setup.bin.db")), "dlcli###" + md5);
}

TEST(DlcliResumeTest, ExitStatusIsTheLastErrorCode) {
  testsupport::TempDir dir;
  testsupport::MiniHttpServer server;
  const std::string local = enginetest::Narrow(dir.File(L"x.bin"));
  // Nothing is served: the size probe fails in every round.
  const pid_t pid = Spawn({KERFO_DLCLI_PATH, server.Url("/missing.bin"), local, "--rounds", "2"});
  EXPECT_EQ(Wait(pid, 60), 6);
  // A wrong digest is its own status.
  testsupport::ServedFile f;
  f.size = 2 * 1048576;
  server.AddFile("/ok.bin", f);
  const pid_t bad = Spawn({KERFO_DLCLI_PATH, server.Url("/ok.bin"), local, "--md5",
                           "00000000000000000000000000000000"});
  EXPECT_EQ(Wait(bad, 60), 20);
  const pid_t usage = Spawn({KERFO_DLCLI_PATH, "--rounds", "0", "a", "b"});
  EXPECT_EQ(Wait(usage, 10), 2);
}

}  // namespace
