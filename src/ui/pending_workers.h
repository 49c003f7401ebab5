// The window's workers without an install flow (ui::InstallWorkers adds it): the window runs in
// full, the privacy links and banners come from the data service and the product start and
// splash are real; the download, the checks and the install only say in the log that this
// object does not do them. The preview tool and window tests use it as it is.
// Threading: the thread bodies run on the window's worker threads.
#pragma once

#include "ui/install_ui_main_wnd.h"

namespace ui {

class PendingInstallWorkers : public IInstallWorkers {
 public:
  void DownloadInfoPrefetch(InstallUIMainWnd& window) override;
  void PrivacyLinks(InstallUIMainWnd& window) override;
  void Banner(InstallUIMainWnd& window) override;
  void Install(InstallUIMainWnd& window) override;
  bool ProductIsRunning(InstallUIMainWnd& window) override;
  bool InstallPathAccepted(InstallUIMainWnd& window) override;
  std::wstring InstallFolder(InstallUIMainWnd& window) override;
  std::wstring DownloadedFile(InstallUIMainWnd& window) override;
  void HandOverLanguage(InstallUIMainWnd& window) override;
  void ClearAppData(InstallUIMainWnd& window) override;
  int StartProduct(const std::wstring& quotedPath, int adminFlag) override;
  void RunLaunchSplash(InstallUIMainWnd& window, const std::wstring& quotedPath) override;
};

}  // namespace ui
