// The real start-up hooks: each reaches the subsystem that owns the step.
#pragma once

#include "app/startup.h"

namespace ui {
class InstallUIMainWnd;
}

namespace app {

class DefaultStartupHooks : public IStartupHooks {
 public:
  bool LoadSkinResource(const void** data, size_t* size) override;
  void UploadLogArchive(const std::string& reportType, const std::wstring& logName,
                        const std::wstring& extraFile) override;
  bool IsAutoRunMode() override;
  bool IsWow64() override;
  void AddUserLog(const char* category, const char* action, const char* label,
                  bool wait) override;
  int GetLanguageByLocalSystem() override;
  void ShowMessageBox(int type, int language, const std::wstring& text) override;
  bool InitializeCom() override;
  void UninitializeCom() override;
  void AuthorizeSelfInFirewall(const std::wstring& programPath) override;
  bool RunWindow() override;
  void WaitForAllThreadExit() override;

 private:
  ui::InstallUIMainWnd* window_ = nullptr;  // never destroyed (see RunWindow)
};

}  // namespace app
