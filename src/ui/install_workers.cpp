#include "ui/install_workers.h"

#include <easylogging++.h>

#include "config/configure.h"

namespace ui {

InstallWorkers::InstallWorkers(flow::InstallFlowDeps deps) : deps_(deps), flow_(std::move(deps)) {}

void InstallWorkers::Install(InstallUIMainWnd& window) {
  const int result = flow_.InstallThreadFunc(window);
  LOG(INFO) << " Install thread ended: " << result;
}

std::wstring InstallWorkers::InstallFolder(InstallUIMainWnd& window) {
  CConfigure* configure = window.GetConfigure();
  return flow::InstallFolderFor(window.GetInstallPathText(),
                                configure ? configure->content().softwareName : std::wstring());
}

std::wstring InstallWorkers::DownloadedFile(InstallUIMainWnd& window) {
  flow::InstallerPaths paths;
  return flow_.GetPaths(window, &paths) ? paths.installer : std::wstring();
}

void InstallWorkers::HandOverLanguage(InstallUIMainWnd& window) {
  if (deps_.handOverLanguage) deps_.handOverLanguage(window);
}

void InstallWorkers::ClearAppData(InstallUIMainWnd& window) { flow_.ClearAPPData(window); }

}  // namespace ui
