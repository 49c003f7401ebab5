// The simulator as a process: it comes up on free loopback ports, writes where it listens,
// prints the endpoints.ini, and stops cleanly when asked or when its lifetime ends.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "sim_test_util.h"

extern char** environ;

namespace {

// Sends one plain GET and reads until the connection ends: true when it ended with a reset
// (ECONNRESET) after some bytes, false for an orderly close.
bool ResetSeen(int port, const std::string& path) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    if (fd >= 0) ::close(fd);
    return false;
  }
  const std::string request = "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  timeval limit{10, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
  char buffer[4096];
  size_t total = 0;
  bool reset = false;
  for (;;) {
    const ssize_t n = ::recv(fd, buffer, sizeof(buffer), 0);
    if (n > 0) {
      total += static_cast<size_t>(n);
      continue;
    }
    reset = n < 0 && errno == ECONNRESET;
    break;
  }
  ::close(fd);
  return reset && total > 0;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

pid_t Spawn(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  // The "ready" line goes nowhere; the tests read the state folder instead.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// Waits up to ms for the child to end and reaps it; its exit status, or -1 while it runs.
// The pid is cleared once reaped, so it is never signalled after it could have been reused.
int WaitExit(pid_t* pid, int ms) {
  for (int waited = 0; *pid > 0; waited += 20) {
    int status = 0;
    const pid_t done = ::waitpid(*pid, &status, WNOHANG);
    if (done == *pid || (done < 0 && errno == ECHILD)) {
      *pid = -1;
      return done == -1 ? 128 : WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    }
    if (waited >= ms) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

class SimProcess : public testing::Test {
 protected:
  void TearDown() override {
    if (pid_ > 0 && WaitExit(&pid_, 0) == -1) {
      ::kill(pid_, SIGKILL);  // only our own unreaped child, and only when a check failed
      WaitExit(&pid_, 5000);
    }
  }

  // Starts the simulator and waits (bounded) until it says where it listens.
  Json::Value Start(const std::string& lifetime) {
    state_ = dir_.path() + "/state";
    pid_ = Spawn({KERFO_SIM_BINARY, "--state", state_, "--lifetime", lifetime, "--quiet"});
    EXPECT_GT(pid_, 0);
    for (int i = 0; i < 300; ++i) {
      const Json::Value endpoints = simtest::ParseJson(ReadFile(state_ + "/endpoints.json"));
      if (endpoints.isObject()) return endpoints;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "the simulator did not come up";
    return Json::Value();
  }

  simtest::ScratchDir dir_;
  std::string state_;
  pid_t pid_ = -1;
};

TEST_F(SimProcess, PrintsEndpointsAndStopsWhenAsked) {
  const Json::Value endpoints = Start("120");
  ASSERT_TRUE(endpoints["ports"].isObject());
  const std::string ini = dir_.path() + "/endpoints.ini";
  const pid_t printer = Spawn({KERFO_SIM_BINARY, "--print-endpoints", "--state", state_, "--out", ini});
  pid_t printerPid = printer;
  ASSERT_EQ(WaitExit(&printerPid, 10000), 0);
  const std::string text = ReadFile(ini);
  EXPECT_NE(text.find("[Endpoints]\r\n"), std::string::npos);
  for (const char* key : {"ConfigService", "ConfigServiceChina", "DataService", "DataServiceTest",
                          "AlertService", "AlertServiceTest", "Collector", "CollectorTest", "Ga4",
                          "LogUpload", "LogUploadTest"}) {
    const std::string line = std::string("\n") + key + "=127.0.0.1:" +
                             std::to_string(endpoints["ports"][key].asInt()) + "\r\n";
    EXPECT_NE(text.find(line), std::string::npos) << key;
  }
  // Every port answers, and only on the loopback address.
  const std::string config = "/queryDownloaderV2?LanguageId=1&SoftWareID=1&SiteID=1";
  EXPECT_EQ(simtest::Fetch("https://127.0.0.1:" +
                           std::to_string(endpoints["ports"]["ConfigService"].asInt()) + config)
                .status,
            200);
  // Each of our listening sockets (state 0A) is bound to 127.0.0.1 (0100007F), none elsewhere.
  std::istringstream rows(ReadFile("/proc/net/tcp") + ReadFile("/proc/net/tcp6"));
  std::string row;
  int listening = 0;
  while (std::getline(rows, row)) {
    std::istringstream fields(row);
    std::string slot, local, remote, state;
    if (!(fields >> slot >> local >> remote >> state) || state != "0A") continue;
    const size_t colon = local.rfind(':');
    if (colon == std::string::npos) continue;
    const int port = static_cast<int>(std::strtol(local.c_str() + colon + 1, nullptr, 16));
    for (const auto& name : endpoints["ports"].getMemberNames()) {
      if (endpoints["ports"][name].asInt() != port) continue;
      ++listening;
      EXPECT_EQ(local.substr(0, colon), "0100007F") << name;
    }
  }
  EXPECT_EQ(listening, static_cast<int>(endpoints["ports"].size()));

  simtest::Request stop;
  stop.method = "POST";
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(simtest::Fetch("http://127.0.0.1:" + std::to_string(endpoints["ports"]["Admin"].asInt()) +
                           "/stop", stop)
                .status,
            200);
  EXPECT_EQ(WaitExit(&pid_, 10000), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
  EXPECT_TRUE(ReadFile(state_ + "/endpoints.json").empty());
  const pid_t late = Spawn({KERFO_SIM_BINARY, "--print-endpoints", "--state", state_});
  pid_t latePid = late;
  EXPECT_EQ(WaitExit(&latePid, 10000), 1);
}

TEST_F(SimProcess, EndsWithItsLifetimeAndOnSigterm) {
  Start("1");
  EXPECT_EQ(WaitExit(&pid_, 10000), 0);
  Start("120");
  ASSERT_EQ(::kill(pid_, SIGTERM), 0);
  EXPECT_EQ(WaitExit(&pid_, 10000), 0);
}

}  // namespace

#include "signature.h"
#include "sim_client.h"

namespace {

std::string Between(const std::string& text, const std::string& open, const std::string& close) {
  const size_t start = text.find(open);
  if (start == std::string::npos) return "";
  const size_t end = text.find(close, start + open.size());
  return end == std::string::npos ? "" : text.substr(start + open.size(), end - start - open.size());
}

// What a later test does with the client: start on the built fixtures, read the configuration
// answer, download what it names, script a fault, read what arrived, stop.
TEST(SimClient, ServesTheFixtureItAdvertises) {
  simtest::ScratchDir dir;
  vendorsim::SimProcess sim;
  vendorsim::SimProcess::Options options;
  options.stateDir = dir.path() + "/state";
  options.filesDir = vendorsim::DefaultFixtureDir();
  options.scenarioPath = std::string(KERFO_SOURCE_DIR) + "/tools/vendor-sim/scenarios/unsigned.json";
  std::string error;
  ASSERT_TRUE(sim.Start(options, &error)) << error;

  const simtest::Reply config = simtest::Fetch(
      sim.Url("ConfigService", "/queryDownloaderV2?LanguageId=1&SoftWareID=101&SiteID=1"));
  const std::string url = Between(config.body, "<Download_url>", "</Download_url>");
  const std::string md5 = Between(config.body, "<Md5>", "</Md5>");
  ASSERT_EQ(url, sim.Url("Download", "/kerfo-fixture-setup.exe", false)) << config.body;
  ASSERT_EQ(md5.size(), 32u);
  const simtest::Reply setup = simtest::Fetch(url);
  EXPECT_EQ(vendorsim::Md5Hex(setup.body), md5);
  EXPECT_EQ(Between(config.body, "<Filesize>", "</Filesize>"), std::to_string(setup.body.size()));

  ASSERT_TRUE(sim.AddRule(R"({"id":"cut","endpoint":"Download","count":1,"drop_after":100})"));
  EXPECT_EQ(simtest::Fetch(url).body.size(), 100u);
  std::string answer;
  EXPECT_FALSE(sim.AddRule(R"({"drop_afterr":1})", &answer));
  EXPECT_NE(answer.find("drop_afterr"), std::string::npos);
  const Json::Value downloads = sim.Requests("Download");
  ASSERT_EQ(downloads.size(), 2u);
  EXPECT_EQ(downloads[1]["rules"][0].asString(), "cut");
  EXPECT_TRUE(downloads[1]["aborted"].asBool());
  EXPECT_EQ(sim.Requests("Download", downloads[0]["seq"].asUInt64()).size(), 1u);

  // reset_after ends the answer with a reset, which a client sees as an error, not as an end.
  ASSERT_TRUE(sim.AddRule(R"({"id":"rst","endpoint":"Download","count":1,"reset_after":100})"));
  EXPECT_TRUE(ResetSeen(sim.Port("Download"), "/kerfo-fixture-setup.exe"));

  const std::string ini = dir.path() + "/endpoints.ini";
  ASSERT_TRUE(sim.WriteEndpointsIni(ini));
  EXPECT_NE(ReadFile(ini).find("ConfigService=127.0.0.1:" + std::to_string(sim.Port("ConfigService"))),
            std::string::npos);
  sim.Stop();
  EXPECT_FALSE(sim.running());
}

}  // namespace
