// CSingleUserLog: the process-wide user event log. It holds this run's working paths, the
// process-wide download settings published from the server description and a memo of content
// lengths by URL. The event operations (GA4 hits, funnel events) join it with the report
// interface.
//
// Threading: GetInstance is safe from any thread (one-time creation). The paths are written once
// by start-up on the main thread before any other thread runs and only read afterwards. The
// content-length memo and the published settings are guarded by one lock.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

namespace analytics {

class CSingleUserLog {
 public:
  static CSingleUserLog& GetInstance();

  // Fills the run timestamp, log folder, log file and work folder for the installer base name
  // and creates both folders. Returns true.
  bool SetupWorkPaths(const std::wstring& name);

  // Start-up's one call with the values of configure.xml (texts in UTF-8).
  void Init(int downloaderId, int siteId, const std::string& softwareVersion,
            const std::string& softwareName, const std::string& downloadUrl, bool kitBuild,
            int mainPid);

  // Logs its line and returns true; the log owns no thread to wait for.
  bool WaitThreadForExit();

  // Memo of download sizes by URL: a zero length or empty URL stores nothing.
  void SetContentLength(const std::string& url, int64_t length);
  int64_t GetContentLength(const std::string& url);

  std::wstring GetLogFile() const;
  std::wstring GetLogFolder() const;
  std::wstring GetWorkFolder() const;
  std::wstring GetRunTimestamp() const;

  // Process-wide download settings from the server description.
  struct DownloadSettings {
    int32_t downloaderConfig = 0;
    int32_t sliceNum = 0;
    int32_t sliceSize = 0;
    int32_t additionalTime = 0;
    int32_t backRunning = 0;
    int32_t connectTimeout = 3;    // TimeoutCfg, first number
    int32_t transferTimeout = 20;  // TimeoutCfg, second number
  };
  DownloadSettings GetDownloadSettings() const;
  void SetDownloadSettings(const DownloadSettings& settings);

  // Values given to Init.
  int GetDownloaderId() const { return downloaderId_; }
  int GetSiteId() const { return siteId_; }
  int GetMainPid() const { return mainPid_; }
  bool IsKitBuild() const { return kitBuild_; }
  const std::string& GetSoftwareName() const { return softwareName_; }
  const std::string& GetSoftwareVersion() const { return softwareVersion_; }
  const std::string& GetDownloadUrl() const { return downloadUrl_; }

 private:
  CSingleUserLog() = default;

  mutable std::mutex lock_;
  std::wstring logFile_;
  std::wstring logFolder_;
  std::wstring workFolder_;
  std::wstring runTimestamp_;
  std::map<std::string, int64_t> contentLengths_;
  DownloadSettings settings_;

  int downloaderId_ = 0;
  int siteId_ = 0;
  int mainPid_ = 0;
  bool kitBuild_ = false;
  std::string softwareName_;
  std::string softwareVersion_;
  std::string downloadUrl_;
};

}  // namespace analytics
