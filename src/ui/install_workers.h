// The window's workers with the install flow in place: Install runs the install thread
// (flow::CInstallFlow), and the install folder, the downloaded file and ClearAPPData come from
// the same flow. The download-description prefetch, the privacy links, the banners and the
// install-path checks keep the behaviour of PendingInstallWorkers until those subsystems are
// wired in; their seams in flow::InstallFlowDeps (description, request counter, language
// hand-over) are where they join the flow.
// Threading: Install runs on the window's install thread; the rest on the window thread. The
// flow object is shared: each call of it works on its own data.
#pragma once

#include "flow/install_flow.h"
#include "ui/pending_workers.h"

namespace ui {

class InstallWorkers : public PendingInstallWorkers {
 public:
  explicit InstallWorkers(flow::InstallFlowDeps deps = flow::InstallFlowDeps::Live());

  void Install(InstallUIMainWnd& window) override;
  std::wstring InstallFolder(InstallUIMainWnd& window) override;
  std::wstring DownloadedFile(InstallUIMainWnd& window) override;
  void HandOverLanguage(InstallUIMainWnd& window) override;
  void ClearAppData(InstallUIMainWnd& window) override;

 private:
  flow::InstallFlowDeps deps_;
  flow::CInstallFlow flow_;
};

}  // namespace ui
