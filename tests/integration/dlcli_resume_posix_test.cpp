// dlcli as a support engineer runs it, against the vendor simulator: a download killed with
// SIGKILL in the middle resumes from its task file and fetches only what was missing at the
// last save.
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/md5.h"
#include "platform/text.h"
#include "sim_client.h"
#include "support/temp_dir.h"
#include "tests/download/engine_test_support.h"
#include "tests/download/pattern_bytes.h"

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

// The simulator serving a folder of the test; skips the test when it cannot start.
class DlcliResumeTest : public testing::Test {
 protected:
  void SetUp() override {
    vendorsim::SimProcess::Options options;
    options.stateDir = enginetest::Narrow(state_.path());
    options.filesDir = enginetest::Narrow(files_.path());
    std::string error;
    if (!sim_.Start(options, &error)) GTEST_SKIP() << "simulator did not start: " << error;
  }
  void Serve(const std::string& name, const std::string& bytes) {
    std::ofstream out(enginetest::Narrow(files_.File(platform::AnsiToWide(name))),
                      std::ios::binary);
    out << bytes;
  }
  // Body bytes the GET requests for `path` after sequence number `since` asked for.
  int64_t RequestedBytes(const std::string& path, uint64_t since, int64_t size) {
    int64_t total = 0;
    for (const auto& r : sim_.Requests("Download", since)) {
      if (r["path"].asString() != path || r["method"].asString() != "GET") continue;
      for (const auto& h : r["headers"]) {
        long long first = 0, last = 0;
        if (h[0].asString() == "Range" &&
            std::sscanf(h[1].asCString(), "bytes=%lld-%lld", &first, &last) == 2) {
          total += std::min<int64_t>(last, size - 1) - first + 1;
        }
      }
    }
    return total;
  }
  uint64_t LastSeq() {
    uint64_t seq = 0;
    for (const auto& r : sim_.Requests()) seq = std::max<uint64_t>(seq, r["seq"].asUInt64());
    return seq;
  }

  testsupport::TempDir dir_;
  testsupport::TempDir files_;
  testsupport::TempDir state_;
  vendorsim::SimProcess sim_;
};

TEST_F(DlcliResumeTest, KilledMidDownloadResumesWithTheRightDigest) {
  const int64_t size = 6 * 4194304 + 333;
  const std::string content = testsupport::PatternBytes(4242, size);
  Serve("setup.bin", content);
  // Per connection: the kill lands mid-download.
  ASSERT_TRUE(sim_.AddRule(R"({"endpoint": "Download", "method": "GET", "path": "/setup.bin",
                               "count": 0, "rate_bps": 2097152})"));
  const std::string md5 = platform::Md5HexOfBytes(content.data(), content.size());
  const std::string local = enginetest::Narrow(dir_.File(L"setup.bin"));
  const std::string url = sim_.Url("Download", "/setup.bin", false);

  const pid_t first = Spawn({KERFO_DLCLI_PATH, url, local, "--rounds", "1"});
  ASSERT_GT(first, 0);
  // Wait for a saved plan with progress, then a little longer so bytes arrive after the save.
  int64_t saved = -1;
  for (int i = 0; i < 3000 && saved <= 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    saved = SavedBytes(dir_.File(L"setup.bin.xml"));
  }
  ASSERT_GT(saved, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  ::kill(first, SIGKILL);
  ::waitpid(first, nullptr, 0);

  const int64_t atKill = SavedBytes(dir_.File(L"setup.bin.xml"));
  ASSERT_GT(atKill, 0);
  ASSERT_LT(atKill, size);
  const int64_t missing = size - atKill;
  sim_.ClearRules();
  const uint64_t since = LastSeq();

  const pid_t second = Spawn({KERFO_DLCLI_PATH, url, local, "--md5", md5});
  ASSERT_EQ(Wait(second, 120), 0);
  EXPECT_TRUE(enginetest::ReadFile(dir_.File(L"setup.bin")) == content);
  const int64_t refetched = RequestedBytes("/setup.bin", since, size);
  EXPECT_LE(refetched, missing);
  EXPECT_GT(refetched, 0);
  EXPECT_EQ(enginetest::ReadFile(dir_.File(L"setup.bin.db")), "dlcli###" + md5);
}

TEST_F(DlcliResumeTest, ExitStatusIsTheLastErrorCode) {
  const std::string local = enginetest::Narrow(dir_.File(L"x.bin"));
  // Nothing is served: the size probe fails in every round.
  const pid_t pid = Spawn({KERFO_DLCLI_PATH, sim_.Url("Download", "/missing.bin", false), local,
                           "--rounds", "2"});
  EXPECT_EQ(Wait(pid, 60), 6);
  // A wrong digest is its own status.
  Serve("ok.bin", testsupport::PatternBytes(5, 2 * 1048576));
  const pid_t bad = Spawn({KERFO_DLCLI_PATH, sim_.Url("Download", "/ok.bin", false), local,
                           "--md5", "00000000000000000000000000000000"});
  EXPECT_EQ(Wait(bad, 60), 20);
  const pid_t usage = Spawn({KERFO_DLCLI_PATH, "--rounds", "0", "a", "b"});
  EXPECT_EQ(Wait(usage, 10), 2);
}

}  // namespace
