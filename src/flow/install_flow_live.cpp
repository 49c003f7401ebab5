// The real machine, engine and event log behind the install flow.
#include <easylogging++.h>

#include "analytics/description_events.h"
#include "analytics/single_user_log.h"
#include "config/configure.h"
#include "config/download_description.h"
#include "download/config_fetch.h"
#include "download/downloader.h"
#include "download/engine_env.h"
#include "download/libcurl_tool.h"
#include "flow/install_flow.h"
#include "flow/language_handover.h"
#include "flow/request_counter.h"
#include "platform/child_process.h"
#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/held_file.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/text.h"
#include "system/os_info.h"
#include "system/signature.h"

namespace flow {
namespace {

class LiveTrial : public ITrialDownload {
 public:
  explicit LiveTrial(std::unique_ptr<download::CDownloader> downloader)
      : downloader_(std::move(downloader)) {}
  ~LiveTrial() override { Finish(); }

  int64_t Downloaded() override {
    return downloader_ ? downloader_->downloadInfo().downloaded : 0;
  }
  void Finish() override {
    if (!downloader_) return;
    downloader_->stop();
    const bool ended = downloader_->waitDriver(download::EngineDriverWaitMs()) &&
                       downloader_->threadsEnded();
    download::CDownLoadImpl::releaseDownloader(std::move(downloader_), ended);
  }

 private:
  std::unique_ptr<download::CDownloader> downloader_;
};

std::unique_ptr<ITrialDownload> StartTrial(const std::wstring& url, const std::wstring& file,
                                           const std::string& tag) {
  auto downloader = std::make_unique<download::CDownloader>(
      platform::WideToAnsi(url), platform::WideToAnsi(file), platform::WideToAnsi(file + L".xml"),
      kTrialThreads);
  const download::EnumErrorCode init = downloader->downloadInit(tag, 0);
  if (init != download::ErrSuccess) {
    LOG(INFO) << " Trial download of " << platform::WideToUtf8(url) << " not started: " << init;
    LiveTrial ended(std::move(downloader));  // stops it and waits for it
    return nullptr;
  }
  downloader->setState(download::CDownloader::kRun);
  return std::make_unique<LiveTrial>(std::move(downloader));
}

class LiveHeldInstaller : public IHeldInstaller {
 public:
  uint32_t Hold(const std::wstring& path) { return file_.Hold(path); }

  bool Md5Hex(std::string* hex) override { return file_.Md5Hex(hex); }
  bool VerifySignature() override { return FuntionImpl::VerifyEmbeddedSignature(file_); }
  uint32_t Start(const std::wstring& commandLine) override {
    const uint32_t result = child_.StartHeld(file_, commandLine);
    file_.Release();
    return result;
  }
  platform::ChildProcess::WaitResult Wait(uint32_t ms) override { return child_.Wait(ms); }
  bool ExitCode(uint32_t* code) override { return child_.ExitCode(code); }

 private:
  platform::HeldFile file_;
  platform::ChildProcess child_;
};

// Free bytes of the drive holding the folder, asked of its nearest existing parent (an install
// folder the installer could not create does not exist yet).
bool FreeBytesOf(const std::wstring& folder, uint64_t* freeBytes) {
  std::wstring path = folder;
  while (!path.empty() && !platform::PathExists(path)) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return false;
    std::wstring parent = path.substr(0, slash);
    if (parent.size() == 2 && parent[1] == L':') parent += L'\\';
    if (parent.empty()) parent = L"/";
    if (parent == path) return false;  // a root that does not exist
    path = parent;
  }
  return !path.empty() && platform::GetFreeBytesAvailable(path, freeBytes);
}

}  // namespace

std::unique_ptr<IHeldInstaller> HoldInstallerFile(const std::wstring& path, uint32_t* error) {
  auto held = std::make_unique<LiveHeldInstaller>();
  *error = held->Hold(path);
  if (*error != 0) return nullptr;
  return held;
}

ServerDescriptionEnv LiveServerDescriptionEnv() {
  static analytics::CUserLogDescriptionEvents events(analytics::CSingleUserLog::GetInstance());
  ServerDescriptionEnv env = ServerDescriptionEnv::Live();
  env.httpGet = &download::FetchConfigurationText;
  env.events = &events;
  return env;
}

InstallFlowDeps InstallFlowDeps::Live() {
  InstallFlowDeps deps;
  deps.log = &analytics::CSingleUserLog::GetInstance();
  deps.completeDescription = [](CConfigure& configure, const IControlTextSource& skin,
                                int languageId) {
    CompleteDownloadDescription(configure, skin, [languageId] { return languageId; });
  };
  deps.downloadRound = [](const std::wstring& url, const std::wstring& path, std::string* cdn,
                          const download::CDownLoadImpl::ProgressCallback& progress) {
    download::CDownLoadImpl impl;
    impl.setProgressCallback(progress);
    return static_cast<int>(impl.SuperDownloadFile(url, path, cdn, true));
  };
  deps.startTrial = StartTrial;
  deps.holdInstaller = HoldInstallerFile;
  deps.osGeneration = [] {
    double generation = 0;
    FuntionImpl::GetOsName(&generation);
    return generation;
  };
  deps.probeAddress = [](const std::wstring& url, int* transfer) {
    download::CLibcurlTool tool;
    std::string headers;
    long status = 0;
    *transfer = static_cast<int>(tool.httpGet(platform::WideToAnsi(url), &headers, &status));
    return status;
  };
  deps.requestCounter = ReadRequestTooMuchTimes;
  deps.handOverLanguage = [](IFlowWindow& window) {
    const CConfigure* configure = window.GetConfigure();
    std::wstring nsisKey;
    if (!window.GetSkinValues().GetControlText(L"NsisLanguageKey", &nsisKey)) nsisKey.clear();
    HandOverLanguage(window.GetLanguage(), configure ? configure->content().downloaderId : 0,
                     nsisKey);
  };
  deps.openUrl = [](const std::wstring& url) { return platform::ShellOpen(url); };
  deps.freeBytes = FreeBytesOf;
  deps.isAutoRunMode = [] { return CConfigure::IsAutoRunMode(); };
  deps.isBackgroundMode = [] {
    return analytics::CSingleUserLog::GetInstance().IsClosedToBackground();
  };
  deps.sleep = [](uint32_t ms) { platform::SleepMs(ms); };
  deps.tick = [] { return platform::TickCount(); };
  deps.localTime = [] { return platform::GetLocalTimeNow(); };
  deps.relaunchSelf = [](uint32_t* result, uint32_t* lastError) {
    *result = platform::ShellOpen(platform::GetModulePath()) ? 1 : 0;
    *lastError = platform::LastErrorCode();
  };
  return deps;
}

}  // namespace flow
