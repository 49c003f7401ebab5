// Host names ("host" or "host:port") of the outside services the installer talks to.
// Defaults come from the build configuration; an optional "endpoints.ini" beside the executable
// (section [Endpoints]) overrides them, which is how tests and the demo point every service at
// the local simulator.
//
// Threading: GetEndpoints() loads once, on first use, thread-safely, and afterwards hands out
// the same immutable record; LoadEndpoints() reads afresh and touches no shared state.
// Ownership: plain values; the process-wide record lives until the process ends.
#pragma once

#include <string>

struct Endpoints {
  std::string configService;       // ConfigService
  std::string configServiceChina;  // ConfigServiceChina
  std::string dataService;         // DataService
  std::string dataServiceTest;     // DataServiceTest
  std::string alertService;        // AlertService
  std::string alertServiceTest;    // AlertServiceTest
  std::string collector;           // Collector
  std::string collectorTest;       // CollectorTest
  std::string ga4;                 // Ga4
  std::string logUpload;           // LogUpload
  std::string logUploadTest;       // LogUploadTest
};

// The build's defaults.
Endpoints DefaultEndpoints();

// The defaults overlaid with the plausible values of the INI file at iniPath. A missing file
// gives the defaults silently; an implausible value is logged and its default kept; an empty or
// missing key keeps its default. An inline comment after the value (" ; text") is dropped.
Endpoints LoadEndpoints(const std::wstring& iniPath);

// LoadEndpoints, except in a shipping build (KERFO_SHIPPING_BUILD), which keeps the defaults
// and logs that the file was ignored when there is one.
Endpoints EndpointsForBuild(const std::wstring& iniPath, bool shippingBuild);

// The process's endpoints: EndpointsForBuild on "endpoints.ini" beside the executable with this
// build's shipping switch, done once.
const Endpoints& GetEndpoints();

// "host" or "host:port": letters, digits, "." and "-" in non-empty labels of at most 63
// characters, or an IPv6 address in brackets; port 1-65535; at most 253 characters in all.
bool IsPlausibleHost(const std::string& value);
