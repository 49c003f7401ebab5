#include "ui/pending_workers.h"

#include <easylogging++.h>

#include "analytics/single_user_log.h"
#include "platform/shell.h"
#include "remote/cbs_services.h"
#include "system/launch.h"
#include "ui/alient_wnd.h"
#include "ui/language_texts.h"

namespace ui {

void PendingInstallWorkers::DownloadInfoPrefetch(InstallUIMainWnd&) {
  LOG(INFO) << " Download description prefetch: not part of this build yet";
}

void PendingInstallWorkers::PrivacyLinks(InstallUIMainWnd& window) {
  if (CConfigure* configure = window.GetConfigure())
    remote::GetCbsPrivacy(*configure, window.BannerProductId());
}

void PendingInstallWorkers::Banner(InstallUIMainWnd& window) { remote::GetCbsBanner(window); }

void PendingInstallWorkers::Install(InstallUIMainWnd&) {
  LOG(INFO) << " Install flow: not part of this build yet; nothing is downloaded";
}

bool PendingInstallWorkers::ProductIsRunning(InstallUIMainWnd&) { return false; }

bool PendingInstallWorkers::InstallPathAccepted(InstallUIMainWnd&) { return true; }

std::wstring PendingInstallWorkers::InstallFolder(InstallUIMainWnd& window) {
  return window.GetInstallPathText();
}

std::wstring PendingInstallWorkers::DownloadedFile(InstallUIMainWnd&) { return std::wstring(); }

void PendingInstallWorkers::HandOverLanguage(InstallUIMainWnd&) {}

void PendingInstallWorkers::ClearAppData(InstallUIMainWnd&) {
  LOG(INFO) << " ClearAPPData: nothing downloaded in this build";
}

int PendingInstallWorkers::StartProduct(const std::wstring& quotedPath, int adminFlag) {
  return FuntionImpl::StartTargetMainExe(
      quotedPath, adminFlag,
      [](const char* category, const char* action, const std::string& label) {
        analytics::CSingleUserLog::GetInstance().AddUserLog(category, action, label.c_str());
      });
}

void PendingInstallWorkers::RunLaunchSplash(InstallUIMainWnd& window,
                                            const std::wstring& quotedPath) {
  CAlientWnd::Launch launch;
  launch.quotedPath = quotedPath;
  std::wstring name, version;
  window.GetControlText(L"Software_name", &name);
  window.GetControlText(L"Software_version", &version);
  launch.productName = name;
  launch.version = version;
  launch.gifDuration = window.GifDuration();
  launch.adminFlag = window.AdminFlag();
  launch.language = window.GetLanguage();
  launch.start = [this](const std::wstring& path, int admin) { return StartProduct(path, admin); };
  const int language = window.GetLanguage();
  launch.onStartFailed = [language] {
    analytics::CSingleUserLog::GetInstance().AddUserLog("Other", "FlowError", "DL019");
    platform::ShowPlainMessageBox(
        nullptr,
        GetLanguageText(L"message_page", L"ClickShortcutToLaunchText",
                        FuntionImpl::LanguageFromIndex(language)),
        std::wstring());
  };
  CAlientWnd splash(launch);
  splash.ShowModal();
}

}  // namespace ui
