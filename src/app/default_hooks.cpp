#include "app/default_hooks.h"

#include <easylogging++.h>

#include "analytics/log_upload.h"
#include "analytics/single_user_log.h"
#include "config/configure.h"
#include "download/libcurl_tool.h"
#include "platform/com.h"
#include "platform/firewall.h"
#include "platform/resource.h"
#include "platform/sysinfo.h"
#include "platform/text.h"
#include "system/language.h"
#include "app/process_state.h"
#include "ui/install_ui_main_wnd.h"
#include "ui/message_box_wnd.h"
#include "ui/install_workers.h"
#include "ui/window_styles.h"
#include "ui/platform_backend.h"
#include "uikit/resource_package.h"
#include "uikit/toolkit.h"

namespace app {
namespace {

// The toolkit is installed on first use, over the package that step 1 filled. An AutoRun
// run has nobody at the controls: the window drives itself until it closes.
void EnsureToolkit() {
  if (!uikit::Toolkit::IsInstalled()) {
    uikit::Toolkit::Install(ui::CreatePlatformBackend(CConfigure::IsAutoRunMode()),
                            uikit::ResourcePackage::Global());
  }
}

}  // namespace

bool DefaultStartupHooks::LoadSkinResource(const void** data, size_t* size) {
  return platform::LoadOwnResource(L"ZIPRES", platform::kSkinResourceId, data, size);
}

void DefaultStartupHooks::UploadLogArchive(const std::string& reportType,
                                           const std::wstring& logName,
                                           const std::wstring& extraFile) {
  analytics::UploadLogArchive(
      logName, reportType, extraFile,
      [](const std::string& path, const std::string& uploadName, const std::string& productId,
         const std::string& version, const std::string& catalogue) {
        download::CLibcurlTool tool;
        return tool.UploadLogFile(path, uploadName, productId, version, catalogue);
      });
}

bool DefaultStartupHooks::IsAutoRunMode() { return CConfigure::IsAutoRunMode(); }

// The refusal asks whether Windows itself is 32-bit. For this 32-bit program that is exactly
// "not under WOW64"; a native 64-bit build asks the same question of its own system.
bool DefaultStartupHooks::IsWow64() { return platform::IsOperatingSystem64Bit(); }

void DefaultStartupHooks::AddUserLog(const char* category, const char* action, const char* label,
                                     bool wait) {
  analytics::CSingleUserLog::GetInstance().AddUserLog(category, action, label, wait);
}

int DefaultStartupHooks::GetLanguageByLocalSystem() {
  return static_cast<int>(FuntionImpl::GetLanguageByLocalSystem());
}

void DefaultStartupHooks::ShowMessageBox(int type, int language, const std::wstring& text) {
  EnsureToolkit();
  ui::MessageBoxWnd box(type, language, text);
  const int result = box.ShowModal(nullptr);
  LOG(INFO) << " Message box " << type << " closed with " << result;
}

bool DefaultStartupHooks::InitializeCom() { return platform::InitializeComApartment(); }

void DefaultStartupHooks::UninitializeCom() { platform::UninitializeCom(); }

void DefaultStartupHooks::AuthorizeSelfInFirewall(const std::wstring& programPath) {
  // Failures of this step go to standard output and are otherwise ignored.
  platform::AuthorizeSelfInFirewall(programPath);
}

bool DefaultStartupHooks::RunWindow() {
  EnsureToolkit();
  ui::InstallUIMainWnd::SetWindowClassName(ProcessState::Get().WindowClassName());
  // The window lives until the process ends: worker threads that outlive the exit wait may
  // still read it.
  static ui::InstallWorkers workers([] {
    flow::InstallFlowDeps deps = flow::InstallFlowDeps::Live();
    deps.releaseSingleInstance = [] { ProcessState::Get().ReleaseInstanceLock(); };
    return deps;
  }());
  window_ = new ui::InstallUIMainWnd(workers, analytics::CSingleUserLog::GetInstance());
  if (!window_->Create(L"Brindlecot Kerfo", ui::kWsPopup | ui::kWsSysMenu | ui::kWsMinimizeBox,
                       0, 0, 0, 600, 400)) {
    return false;
  }
  window_->InitWindow();
  window_->ShowCentred();
  uikit::Toolkit::Global().RunMessageLoop();
  return true;
}

void DefaultStartupHooks::WaitForAllThreadExit() {
  if (window_) window_->WaitForAllThreadExit();
}

}  // namespace app
