// The vendor services simulator: every outside service of the installer on its own loopback
// port (HTTPS and plain HTTP on the same port), plus an admin port to script and inspect it.
// Threading: Start, Stop and the destructor belong to one controlling thread; RequestStop and
// the read-only accessors may be called from any thread (the admin API calls RequestStop from a
// connection thread). Ownership: the simulator owns its servers, threads, TLS context and the
// files it writes into the state folder.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vendorsim {

struct SimOptions {
  std::string stateDir;      // created when missing; certificate, endpoints, uploads go here
  std::string scenarioPath;  // optional JSON scenario
  std::string filesDir;      // optional: overrides the scenario's download folder
};

class VendorSim {
 public:
  VendorSim();
  ~VendorSim();
  VendorSim(const VendorSim&) = delete;
  VendorSim& operator=(const VendorSim&) = delete;

  // Binds every service to a free port on 127.0.0.1 and starts serving. False with a reason.
  bool Start(const SimOptions& options, std::string* error);
  // Asks the controlling thread to stop (admin "POST /stop"); does not wait.
  void RequestStop();
  // Waits up to ms for a stop request; true when one arrived.
  bool WaitForStopRequest(int64_t ms);
  // Stops every server and joins every thread; safe to call twice.
  void Stop();

  int Port(const std::string& endpoint) const;  // 0 when unknown
  Json::Value EndpointsJson() const;
  std::string EndpointsIni() const;
  const std::string& stateDir() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Endpoint names in the installer's endpoints.ini, in the order they are written.
const std::vector<std::string>& IniEndpointNames();

// The endpoints.ini text for the endpoints JSON a running simulator wrote (its "ports" member).
std::string EndpointsIniFromJson(const Json::Value& endpoints);

}  // namespace vendorsim
