#include "analytics/single_user_log.h"

#include <easylogging++.h>

#include "analytics/work_paths.h"
#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "system/storage.h"

namespace analytics {

CSingleUserLog& CSingleUserLog::GetInstance() {
  static CSingleUserLog instance;
  return instance;
}

bool CSingleUserLog::SetupWorkPaths(const std::wstring& name) {
  const std::wstring appData = platform::GetAppDataDir();
  auto relocate = [](const std::wstring& path) {
    return FuntionImpl::RelocateToLargestFreeDrive(path);
  };
  WorkPaths paths =
      ComputeWorkPaths(name, appData, platform::GetLocalTimeNow(), platform::DriveRootOf, relocate);
  // Every run gets a file of its own: two runs that meet in the same millisecond must not
  // share (and interleave) one log, so the later one takes the next free millisecond.
  for (int tries = 0; tries < 50 && platform::PathExists(paths.logFile); ++tries) {
    platform::SleepMs(1);
    paths = ComputeWorkPaths(name, appData, platform::GetLocalTimeNow(), platform::DriveRootOf,
                             relocate);
  }
  FuntionImpl::CreateDirectoryTree(paths.logFolder);
  FuntionImpl::CreateDirectoryTree(paths.workFolder);

  std::lock_guard<std::mutex> guard(lock_);
  logFile_ = paths.logFile;
  logFolder_ = paths.logFolder;
  workFolder_ = paths.workFolder;
  runTimestamp_ = paths.runTimestamp;
  return true;
}

void CSingleUserLog::Init(int downloaderId, int siteId, const std::string& softwareVersion,
                          const std::string& softwareName, const std::string& downloadUrl,
                          bool kitBuild, int mainPid) {
  downloaderId_ = downloaderId;
  siteId_ = siteId;
  softwareVersion_ = softwareVersion;
  softwareName_ = softwareName;
  downloadUrl_ = downloadUrl;
  kitBuild_ = kitBuild;
  mainPid_ = mainPid;
}

bool CSingleUserLog::WaitThreadForExit() {
  LOG(INFO) << "CSingleUserLog WaitThreadForExit";
  return true;
}

void CSingleUserLog::SetContentLength(const std::string& url, int64_t length) {
  if (url.empty() || length == 0) return;
  std::lock_guard<std::mutex> guard(lock_);
  contentLengths_[url] = length;
}

int64_t CSingleUserLog::GetContentLength(const std::string& url) {
  if (url.empty()) return 0;
  std::lock_guard<std::mutex> guard(lock_);
  auto it = contentLengths_.find(url);
  return it == contentLengths_.end() ? 0 : it->second;
}

std::wstring CSingleUserLog::GetLogFile() const {
  std::lock_guard<std::mutex> guard(lock_);
  return logFile_;
}

std::wstring CSingleUserLog::GetLogFolder() const {
  std::lock_guard<std::mutex> guard(lock_);
  return logFolder_;
}

std::wstring CSingleUserLog::GetWorkFolder() const {
  std::lock_guard<std::mutex> guard(lock_);
  return workFolder_;
}

std::wstring CSingleUserLog::GetRunTimestamp() const {
  std::lock_guard<std::mutex> guard(lock_);
  return runTimestamp_;
}

CSingleUserLog::DownloadSettings CSingleUserLog::GetDownloadSettings() const {
  std::lock_guard<std::mutex> guard(lock_);
  return settings_;
}

void CSingleUserLog::SetDownloadSettings(const DownloadSettings& settings) {
  std::lock_guard<std::mutex> guard(lock_);
  settings_ = settings;
}

}  // namespace analytics
