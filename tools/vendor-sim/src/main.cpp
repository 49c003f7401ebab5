// Command line of the vendor services simulator: run it, or print the endpoints.ini of a
// running one. See tools/vendor-sim/README.md.
#include <easylogging++.h>
#include <json/json.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "scenario.h"
#include "vendor_sim.h"

namespace {

std::atomic<bool> g_signalled{false};

void OnSignal(int) { g_signalled = true; }

void Usage() {
  std::cerr
      << "usage: kerfo-vendor-sim --state DIR [--scenario FILE] [--files DIR] [--lifetime SEC]\n"
         "                        [--quiet]\n"
         "       kerfo-vendor-sim --print-endpoints --state DIR [--out FILE]\n";
}

void ConfigureLog(const std::string& file, bool quiet) {
  el::Configurations conf;
  conf.setToDefault();
  conf.set(el::Level::Global, el::ConfigurationType::Format, "%datetime--[Thread](%thread) %msg");
  conf.set(el::Level::Global, el::ConfigurationType::Filename, file);
  conf.set(el::Level::Global, el::ConfigurationType::ToFile, "true");
  conf.set(el::Level::Global, el::ConfigurationType::ToStandardOutput, quiet ? "false" : "true");
  el::Loggers::reconfigureLogger("default", conf);
}

int PrintEndpoints(const std::string& stateDir, const std::string& out) {
  std::ifstream in(stateDir + "/endpoints.json", std::ios::binary);
  if (!in) {
    std::cerr << "kerfo-vendor-sim: no running simulator in " << stateDir << "\n";
    return 1;
  }
  std::ostringstream text;
  text << in.rdbuf();
  Json::Value endpoints;
  std::string error;
  if (!vendorsim::ParseJsonText(text.str(), &endpoints, &error) || !endpoints.isObject()) {
    std::cerr << "kerfo-vendor-sim: unreadable endpoints.json: " << error << "\n";
    return 1;
  }
  const std::string ini = vendorsim::EndpointsIniFromJson(endpoints);
  if (out.empty()) {
    std::cout << ini;
    return 0;
  }
  std::ofstream file(out, std::ios::binary | std::ios::trunc);
  if (!(file << ini) || !file.flush()) {
    std::cerr << "kerfo-vendor-sim: cannot write " << out << "\n";
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  vendorsim::SimOptions options;
  bool print = false;
  bool quiet = false;
  std::string out;
  long lifetime = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](std::string* target) {
      if (i + 1 >= argc) return false;
      *target = argv[++i];
      return true;
    };
    std::string number;
    if (arg == "--state" && value(&options.stateDir)) continue;
    if (arg == "--scenario" && value(&options.scenarioPath)) continue;
    if (arg == "--files" && value(&options.filesDir)) continue;
    if (arg == "--out" && value(&out)) continue;
    if (arg == "--print-endpoints") {
      print = true;
      continue;
    }
    if (arg == "--quiet") {
      quiet = true;
      continue;
    }
    if (arg == "--lifetime" && value(&number)) {
      char* end = nullptr;
      lifetime = std::strtol(number.c_str(), &end, 10);
      if (end != nullptr && *end == '\0' && lifetime >= 0) continue;
    }
    std::cerr << "kerfo-vendor-sim: bad argument " << arg << "\n";
    Usage();
    return 2;
  }
  if (options.stateDir.empty()) {
    Usage();
    return 2;
  }
  while (options.stateDir.size() > 1 && options.stateDir.back() == '/') options.stateDir.pop_back();
  if (print) return PrintEndpoints(options.stateDir, out);

  ConfigureLog(options.stateDir + "/vendor-sim.log", quiet);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);
  vendorsim::VendorSim sim;
  std::string error;
  if (!sim.Start(options, &error)) {
    LOG(INFO) << " Vendor simulator failed to start: " << error;
    std::cerr << "kerfo-vendor-sim: " << error << "\n";
    return 1;
  }
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  std::cout << "vendor-sim ready " << Json::writeString(builder, sim.EndpointsJson()) << std::endl;

  const auto started = std::chrono::steady_clock::now();
  while (!g_signalled) {
    if (sim.WaitForStopRequest(200)) break;
    if (lifetime > 0 && std::chrono::steady_clock::now() - started > std::chrono::seconds(lifetime)) {
      LOG(INFO) << " Vendor simulator lifetime of " << lifetime << " s is over";
      break;
    }
  }
  sim.Stop();
  return 0;
}
