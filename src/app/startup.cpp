#include "app/startup.h"

#include <curl/curl.h>
#include <easylogging++.h>

#include "analytics/single_user_log.h"
#include "app/default_hooks.h"
#include "app/logging_setup.h"
#include "app/process_state.h"
#include "app/startup_values.h"
#include "platform/dll_loader.h"
#include "platform/paths.h"
#include "platform/single_instance.h"
#include "platform/text.h"
#include "uikit/resource_package.h"

namespace app {
namespace {

// Steps 1 and 2: open the skin package and read the start-up values from configure.xml.
StartupValues ReadStartupValues(IStartupHooks& hooks) {
  const void* data = nullptr;
  size_t size = 0;
  if (!hooks.LoadSkinResource(&data, &size) || data == nullptr || size == 0) {
    LOG(INFO) << " Skin package resource missing or empty; starting without start-up values";
    return StartupValues();
  }
  uikit::ResourcePackage& package = uikit::ResourcePackage::Global();
  std::string xml;
  if (!package.SetFromMemory(data, size) || !package.ReadFile(L"configure\\configure.xml", &xml)) {
    LOG(INFO) << " configure.xml unreadable in the skin package; starting without start-up values";
    return StartupValues();
  }
  return ScanStartupValues(xml);
}

// Step 13.
void ExitSequence(IStartupHooks& hooks, bool comInitialised) {
  ProcessState::Get().ReleaseInstanceLock();
  LOG(INFO) << " Wait exit 1";
  hooks.WaitForAllThreadExit();
  LOG(INFO) << " Wait exit 2";
  analytics::CSingleUserLog::GetInstance().WaitThreadForExit();
  LOG(INFO) << " Wait exit 3";
  curl_global_cleanup();
  if (comInitialised) hooks.UninitializeCom();
}

}  // namespace

StartupOutcome RunStartup(const std::wstring& commandLine, IStartupHooks& hooks) {
  const StartupValues values = ReadStartupValues(hooks);

  curl_global_init(CURL_GLOBAL_ALL);

  // The run's logger comes first: creating the event log also creates the report interface,
  // and whatever either logs while it is built belongs in this run's log. So the log file's
  // path is planned, the logger pointed at it, and only then the event log created and handed
  // its paths (moving the download folder to the best drive logs too).
  const std::wstring baseName = InstallerBaseName(values.downloadUrl);
  analytics::WorkPaths paths;
  if (!baseName.empty()) {
    paths = analytics::CSingleUserLog::PlanLogPaths(baseName);
    ConfigureRunLogger(paths.logFile);
  } else {
    LOG(INFO) << " No usable download URL in configure.xml; no working paths for this run";
  }
  if (!platform::DllSearchRestricted()) {
    LOG(INFO) << " DLL search not restricted to System32 (no SetDefaultDllDirectories); "
                 "system DLLs are still loaded from System32 by name";
  }
  analytics::CSingleUserLog& userLog = analytics::CSingleUserLog::GetInstance();
  if (!baseName.empty()) userLog.AdoptWorkPaths(paths);

  const CommandLineMode mode = ParseCommandLineMode(commandLine);
  if (mode.mode != CommandMode::kNormal) {
    hooks.UploadLogArchive(mode.reportType, mode.logName, std::wstring());
    return StartupOutcome::kLogUpload;
  }

  ProcessState& state = ProcessState::Get();
  if (!values.downloaderIdText.empty()) {
    const std::wstring className = WindowClassNameFor(values.downloaderIdText);
    state.SetWindowClassName(className);
    if (!hooks.IsAutoRunMode() && platform::ActivateWindowByClass(className)) {
      LOG(INFO) << " Another instance is running; its window was activated";
      return StartupOutcome::kOtherInstanceWindow;
    }
  }

  bool alreadyExisted = false;
  std::unique_ptr<platform::NamedMutex> lock =
      platform::CreateNamedMutex(MutexNameFor(values.downloaderId), &alreadyExisted);
  if (alreadyExisted && !hooks.IsAutoRunMode()) {
    lock.reset();
    LOG(INFO) << " Another instance holds the single-instance lock; leaving";
    return StartupOutcome::kOtherInstanceMutex;
  }
  state.HoldInstanceLock(std::move(lock));

  userLog.Init(values.downloaderId, values.siteId, platform::WideToUtf8(values.softwareVersion),
               platform::WideToUtf8(values.softwareName), platform::WideToUtf8(values.downloadUrl),
               IsKitBuild(values.downloaderId), values.mainPid);

  if (ShouldRefuse32Bit(values.support32System, hooks.IsWow64())) {
    hooks.AddUserLog("Other", "32bitStartupForbided", "", true);
    hooks.ShowMessageBox(13, hooks.GetLanguageByLocalSystem(), std::wstring());
    return StartupOutcome::kRefused32Bit;
  }

  if (!hooks.InitializeCom()) {
    LOG(INFO) << " COM initialisation failed; leaving";
    return StartupOutcome::kComFailed;
  }
  hooks.AuthorizeSelfInFirewall(platform::GetModulePath());

  if (!hooks.RunWindow()) LOG(INFO) << " The installer window could not be created";

  ExitSequence(hooks, true);
  return StartupOutcome::kRanWindow;
}

int RunInstaller(const std::wstring& commandLine) {
  DefaultStartupHooks hooks;
  RunStartup(commandLine, hooks);
  return 0;
}

}  // namespace app
