#include "sim_client.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "scenario.h"
#include "vendor_sim.h"

extern char** environ;

namespace vendorsim {
namespace {

size_t Collect(char* data, size_t size, size_t count, void* user) {
  static_cast<std::string*>(user)->append(data, size * count);
  return size * count;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

std::string DefaultSimBinary() { return KERFO_VENDOR_SIM_BINARY; }
std::string DefaultFixtureDir() { return KERFO_VENDOR_SIM_FIXTURES; }

SimProcess::~SimProcess() { Stop(); }

bool SimProcess::Start(const Options& options, std::string* error) {
  if (pid_ > 0) {
    *error = "already started";
    return false;
  }
  if (options.stateDir.empty()) {
    *error = "a state folder is required";
    return false;
  }
  stateDir_ = options.stateDir;
  std::remove((stateDir_ + "/endpoints.json").c_str());
  std::vector<std::string> args = {options.binary.empty() ? DefaultSimBinary() : options.binary,
                                   "--state", stateDir_, "--quiet", "--lifetime",
                                   std::to_string(options.lifetimeSeconds)};
  if (!options.scenarioPath.empty()) {
    args.push_back("--scenario");
    args.push_back(options.scenarioPath);
  }
  if (!options.filesDir.empty()) {
    args.push_back("--files");
    args.push_back(options.filesDir);
  }
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(&arg[0]);
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    pid_ = -1;
    *error = "cannot start " + args[0];
    return false;
  }
  for (int i = 0; i < 400; ++i) {
    std::string parseError;
    Json::Value endpoints;
    if (ParseJsonText(ReadFile(stateDir_ + "/endpoints.json"), &endpoints, &parseError) &&
        endpoints.isObject() && endpoints["ports"].isObject()) {
      endpoints_ = endpoints;
      return true;
    }
    if (WaitExit(0) != -1) {
      *error = "the simulator ended at start; see " + stateDir_ + "/vendor-sim.log";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  *error = "the simulator did not come up within 20 s";
  Stop();
  return false;
}

int SimProcess::WaitExit(int ms) {
  for (int waited = 0; pid_ > 0; waited += 20) {
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_ || (done < 0 && errno == ECHILD)) {
      pid_ = -1;
      return done == -1 ? 128 : WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    }
    if (waited >= ms) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return -1;
}

void SimProcess::Stop() {
  if (pid_ <= 0) return;
  std::string answer;
  long status = 0;
  Admin("POST", "/stop", "", &answer, &status);
  if (WaitExit(10000) != -1) return;
  ::kill(pid_, SIGTERM);  // our own child, not yet reaped
  if (WaitExit(5000) != -1) return;
  ::kill(pid_, SIGKILL);
  WaitExit(5000);
}

int SimProcess::Port(const std::string& endpoint) const {
  const Json::Value& ports = endpoints_["ports"];
  return ports.isObject() && ports[endpoint].isInt() ? ports[endpoint].asInt() : 0;
}

std::string SimProcess::Url(const std::string& endpoint, const std::string& path,
                            bool https) const {
  return std::string(https ? "https" : "http") + "://127.0.0.1:" +
         std::to_string(Port(endpoint)) + path;
}

std::string SimProcess::EndpointsIni() const { return EndpointsIniFromJson(endpoints_); }

bool SimProcess::WriteEndpointsIni(const std::string& path) const {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  return static_cast<bool>(out << EndpointsIni()) && static_cast<bool>(out.flush());
}

bool SimProcess::Admin(const std::string& method, const std::string& path,
                       const std::string& body, std::string* answer, long* status) const {
  const int port = Port("Admin");
  if (port <= 0) return false;
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return false;
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + path;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
  if (method != "GET") {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  }
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, answer);
  const CURLcode code = curl_easy_perform(curl);
  *status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, status);
  curl_easy_cleanup(curl);
  return code == CURLE_OK && *status == 200;
}

bool SimProcess::AddRule(const std::string& ruleJson, std::string* answer) {
  std::string text;
  long status = 0;
  const bool ok = Admin("POST", "/rules", ruleJson, &text, &status);
  if (answer != nullptr) *answer = text;
  return ok;
}

bool SimProcess::ClearRules() {
  std::string text;
  long status = 0;
  return Admin("DELETE", "/rules", "", &text, &status);
}

bool SimProcess::PatchScenario(const std::string& json, std::string* answer) {
  std::string text;
  long status = 0;
  const bool ok = Admin("PATCH", "/scenario", json, &text, &status);
  if (answer != nullptr) *answer = text;
  return ok;
}

bool SimProcess::ReplaceScenario(const std::string& json, std::string* answer) {
  std::string text;
  long status = 0;
  const bool ok = Admin("PUT", "/scenario", json, &text, &status);
  if (answer != nullptr) *answer = text;
  return ok;
}

Json::Value SimProcess::Requests(const std::string& endpoint, uint64_t since) const {
  std::string text;
  long status = 0;
  Json::Value list(Json::arrayValue);
  std::string error;
  if (Admin("GET", "/requests?endpoint=" + endpoint + "&since=" + std::to_string(since), "",
            &text, &status)) {
    ParseJsonText(text, &list, &error);
  }
  return list;
}

bool SimProcess::ClearRequests() {
  std::string text;
  long status = 0;
  return Admin("DELETE", "/requests", "", &text, &status);
}

}  // namespace vendorsim
