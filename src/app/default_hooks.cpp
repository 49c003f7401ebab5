#include "app/default_hooks.h"

#include <easylogging++.h>

#include <cstdio>

#include "analytics/log_upload.h"
#include "analytics/single_user_log.h"
#include "config/configure.h"
#include "download/libcurl_tool.h"
#include "platform/com.h"
#include "platform/resource.h"
#include "platform/sysinfo.h"
#include "platform/text.h"
#include "system/language.h"

namespace app {

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

void DefaultStartupHooks::ShowMessageBox(int type, int language, const std::wstring& /*text*/) {
  LOG(INFO) << " Message box " << type << " in language " << language
            << ": no window toolkit in this build";
}

bool DefaultStartupHooks::InitializeCom() { return platform::InitializeComApartment(); }

void DefaultStartupHooks::UninitializeCom() { platform::UninitializeCom(); }

void DefaultStartupHooks::AuthorizeSelfInFirewall(const std::wstring& programPath) {
  // Failures of this step go to standard output and are otherwise ignored.
  std::printf("Firewall authorisation of %s: not available in this build\n",
              platform::WideToUtf8(programPath).c_str());
}

bool DefaultStartupHooks::RunWindow() {
  LOG(INFO) << " No installer window in this build; the message loop ends at once";
  return true;
}

void DefaultStartupHooks::WaitForAllThreadExit() {}

}  // namespace app
