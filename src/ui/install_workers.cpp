#include "ui/install_workers.h"

#include <easylogging++.h>

#include <exception>

#include "analytics/single_user_log.h"
#include "config/configure.h"
#include "config/download_description.h"
#include "system/language.h"
#include "flow/flow_window.h"
#include "flow/install_checks.h"
#include "flow/language_handover.h"

namespace ui {

InstallWorkers::InstallWorkers(flow::InstallFlowDeps deps) : flow_(std::move(deps)) {}

void InstallWorkers::ConfigureCreated(CConfigure& configure) {
  configure.setServerEnvironment(flow::LiveServerDescriptionEnv());
}

void InstallWorkers::DownloadInfoPrefetch(InstallUIMainWnd& window) {
  CConfigure* configure = window.GetConfigure();
  if (!configure) return;
  PrefetchDownloadDescription(*configure, window.installThreadStarted, [&window] {
    return static_cast<int>(
        FuntionImpl::GetLanguageWindowsId(FuntionImpl::LanguageFromIndex(window.GetLanguage())));
  });
}

void InstallWorkers::Install(InstallUIMainWnd& window) {
  // A flow that cannot go on (no memory, say) still ends on the failure view with its retry.
  try {
    const int result = flow_.InstallThreadFunc(window);
    LOG(INFO) << " Install thread ended: " << result;
    return;
  } catch (const std::exception& e) {
    LOG(INFO) << " Install thread failed: " << e.what();
  } catch (...) {
    LOG(INFO) << " Install thread failed: an unknown exception";
  }
  window.PostFlowMessage(flow::WM_INSTALL_FAIL, flow::kInstallFailOther);
}

bool InstallWorkers::ProductIsRunning(InstallUIMainWnd& window) {
  // AppIsRunning answers "may install": true when the product is not running.
  return !flow::CInstallChecks(window, analytics::CSingleUserLog::GetInstance()).AppIsRunning();
}

bool InstallWorkers::InstallPathAccepted(InstallUIMainWnd& window) {
  return flow::CInstallChecks(window, analytics::CSingleUserLog::GetInstance())
      .IsCorrectInstallPath();
}

std::wstring InstallWorkers::InstallFolder(InstallUIMainWnd& window) {
  return flow::CInstallChecks(window, analytics::CSingleUserLog::GetInstance()).InstallFolder();
}

std::wstring InstallWorkers::DownloadedFile(InstallUIMainWnd& window) {
  flow::InstallerPaths paths;
  return flow_.GetPaths(window, &paths) ? paths.installer : std::wstring();
}

void InstallWorkers::HandOverLanguage(InstallUIMainWnd& window) {
  flow::HandOverLanguage(static_cast<flow::ICheckWindow&>(window));
}

void InstallWorkers::ClearAppData(InstallUIMainWnd& window) { flow_.ClearAPPData(window); }

}  // namespace ui
