// The window's workers until the install flow is wired in: the window runs in full, the
// install page shows with its animation and the first progress step, the privacy links and
// banners come from the data service, and every part that is not there yet says so in the log
// instead of pretending.
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
