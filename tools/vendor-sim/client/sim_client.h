// For tests and benchmarks: runs kerfo-vendor-sim as a child process on free loopback ports
// and scripts it through its admin API (rules, scenario, recorded requests).
// Threading: one SimProcess belongs to one test thread. Ownership: it owns the child process
// and stops it (admin stop, then SIGTERM, then SIGKILL, only ever its own unreaped child) in
// Stop() and in its destructor.
#pragma once

#include <json/json.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

namespace vendorsim {

// The simulator binary and fixture folder of this build tree.
std::string DefaultSimBinary();
std::string DefaultFixtureDir();

class SimProcess {
 public:
  struct Options {
    std::string binary;        // empty: DefaultSimBinary()
    std::string stateDir;      // required: a scratch folder of the test
    std::string scenarioPath;  // optional
    std::string filesDir;      // optional: served by the download host
    int lifetimeSeconds = 900;  // the child ends by itself even if the test dies
  };

  SimProcess() = default;
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Starts the child and waits (at most 20 s) until it serves. False with a reason.
  bool Start(const Options& options, std::string* error);
  // Stops the child and waits for it (bounded). Safe to call twice.
  void Stop();
  bool running() const { return pid_ > 0; }

  int Port(const std::string& endpoint) const;  // 0 when unknown
  // "https://127.0.0.1:<port><path>" (or http).
  std::string Url(const std::string& endpoint, const std::string& path, bool https = true) const;
  std::string EndpointsIni() const;
  bool WriteEndpointsIni(const std::string& path) const;

  // Admin API; false (with the answer) when the simulator refused.
  bool AddRule(const std::string& ruleJson, std::string* answer = nullptr);
  bool ClearRules();
  bool PatchScenario(const std::string& json, std::string* answer = nullptr);
  bool ReplaceScenario(const std::string& json, std::string* answer = nullptr);
  // Recorded requests, oldest first; endpoint "" for all, only those after seq "since".
  Json::Value Requests(const std::string& endpoint = "", uint64_t since = 0) const;
  bool ClearRequests();

 private:
  bool Admin(const std::string& method, const std::string& path, const std::string& body,
             std::string* answer, long* status) const;
  int WaitExit(int ms);

  pid_t pid_ = -1;
  Json::Value endpoints_;
  std::string stateDir_;
};

}  // namespace vendorsim
