// CManagement: the report SDK's process-wide context — who reports (type, pids, product,
// client info), facts about the machine, the extra common members — plus the SDK's daily log
// and its store and sender (CNetworkCommunicate). WebLog forwards every IWebLogNew slot here.
//
// Threading: Init runs once on the start-up thread; SetClientInfo and SetExtraCommon may come
// from the window and flow threads while others post, so the context is guarded by one lock and
// every document is built from a snapshot of it. Posting is safe from any thread.
// Ownership: the process-wide instance (Instance) is created on first use and deliberately never
// destroyed, because its sender thread runs until the process ends. Tests build their own
// instances over a ManagementEnv; those stop and join their sender when destroyed.
#pragma once

#include <json/json.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/clock.h"
#include "report_sdk/network_communicate.h"
#include "report_sdk/report_format.h"
#include "report_sdk/sdk_log.h"

namespace reportsdk {

struct MachineFacts {
  std::string sessionId;
  std::string uid;
  std::string os;
  std::string osVersion;
  std::string mac;
  std::string brand;
  std::string model;
};

// Everything the context takes from the machine, so tests can replace any of it.
struct ManagementEnv {
  std::wstring exeFolder;   // with a trailing separator: "test.wk", "proxy.txt", "SP.dat"
  std::wstring modulePath;  // the running executable
  std::wstring appDataDir;  // the SDK folders go under it
  std::function<platform::LocalTime()> now;
  std::function<MachineFacts()> gatherFacts;
  std::function<std::string()> volumeSerialText;  // "%X" of the system volume, or empty
  std::function<std::wstring()> commandLine;
  std::function<void(int)> exitProcess;  // ends the process ("-sendrestlogs")
  std::function<long(const std::string& url, const std::string& body)> post;
  std::function<void(uint32_t)> retryPause;  // null: the sender's own interruptible wait
  uint32_t retryPauseMs = 2000;
  uint32_t idlePollMs = 500;
  std::string collectorBase;      // "https://host"; documents go to + "/collect"
  std::string collectorTestBase;  // with TestEnv: + "/collector"
  std::string ga4Base;            // GA4 hits: + "/g/collect?v=2&cid=..."
  // The "-sendrestlogs" wait: how often to look, and the most it waits while items keep failing.
  uint32_t restLogsPollMs = 5000;
  uint32_t restLogsLimitMs = 300000;

  // The live machine: endpoints from the endpoint configuration, libcurl transport.
  static ManagementEnv Live();
};

class CManagement {
 public:
  static constexpr const char* kSdkVersion = "1.0.0.13";

  // The process-wide context, created on first use with ManagementEnv::Live().
  static CManagement& Instance();

  explicit CManagement(ManagementEnv env);
  ~CManagement();
  CManagement(const CManagement&) = delete;
  CManagement& operator=(const CManagement&) = delete;

  // The IWebLogNew slots.
  int Init(int type, int mainPid, int subPid, const char* email, const char* phone,
           const char* product, const char* productVersion, const char* userId);
  int SetClientInfo(int downloaderId, int kitType, const char* toolsLang, const char* toolsVersion);
  int SetExtraCommon(const char* json);
  int PostEvent(const char* json, bool bWait);
  int PostGA4(const char* tail, bool bWait);

  // Writes one line to the SDK's daily log (dropped while no log is open).
  void Log(const std::string& message);

  bool testEnv() const { return testEnv_; }
  std::string CollectorUrl() const;
  // The per-pid SDK folder ("...\VUDedaRavavoDAZ\<main pid>"), empty before Init.
  std::wstring SdkFolder() const;
  std::wstring StorePath() const;
  std::wstring LogPath() const;
  ReportContext Snapshot();
  CNetworkCommunicate& network() { return *network_; }

 private:
  std::string InstallSourceIdLocked();
  void SendRestLogs();

  ManagementEnv env_;
  bool testEnv_ = false;
  CSdkLog log_;

  mutable std::mutex lock_;
  bool initialised_ = false;
  ReportContext context_;
  bool installSourceKnown_ = false;
  std::wstring sdkFolder_;
  std::wstring logPath_;
  std::string volumeSerial_;  // the GA4 client id's first part, read once by Init

  std::once_flag curlOnce_;
  bool curlInitialised_ = false;  // this context's share of libcurl's global set-up
  std::unique_ptr<CNetworkCommunicate> network_;
};

}  // namespace reportsdk
