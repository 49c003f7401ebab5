// The window's workers: Install runs the install thread (flow::CInstallFlow), the checks before
// it and the language hand-over are flow::CInstallChecks', the downloaded file and ClearAPPData
// come from the same flow, and the splash and the product start are PendingInstallWorkers'.
// Threading: Install runs on the window's install thread; the rest on the window thread. The
// flow object is shared: each call of it works on its own data.
#pragma once

#include "flow/install_flow.h"
#include "ui/pending_workers.h"

namespace ui {

class InstallWorkers : public PendingInstallWorkers {
 public:
  explicit InstallWorkers(flow::InstallFlowDeps deps = flow::InstallFlowDeps::Live());

  void ConfigureCreated(CConfigure& configure) override;
  void DownloadInfoPrefetch(InstallUIMainWnd& window) override;
  void Install(InstallUIMainWnd& window) override;
  bool ProductIsRunning(InstallUIMainWnd& window) override;
  bool InstallPathAccepted(InstallUIMainWnd& window) override;
  std::wstring InstallFolder(InstallUIMainWnd& window) override;
  std::wstring DownloadedFile(InstallUIMainWnd& window) override;
  void HandOverLanguage(InstallUIMainWnd& window) override;
  void ClearAppData(InstallUIMainWnd& window) override;

 private:
  flow::CInstallFlow flow_;
};

}  // namespace ui
