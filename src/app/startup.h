// The process entry's whole sequence: skin package, start-up values, working paths and logger,
// the log-upload command-line modes, the single instance, the event log, the 32-bit refusal,
// COM and firewall, the window and its loop, and the ordered exit. Runs on the main thread and
// starts no thread of its own. Returns 0 on every path.
//
// The parts that belong to other subsystems (log upload, events, message boxes, firewall, the
// window) are reached through IStartupHooks, so each decision here can be tested with fakes.
#pragma once

#include <cstddef>
#include <string>

namespace app {

class IStartupHooks {
 public:
  virtual ~IStartupHooks() = default;

  // The skin package bytes (resource "ZIPRES" 138 of the own module); they must stay valid for
  // the life of the process. False when the resource is missing or empty.
  virtual bool LoadSkinResource(const void** data, size_t* size) = 0;

  // Log archive upload for the "-dmp " and "-close" modes; returns when it has finished.
  virtual void UploadLogArchive(const std::string& reportType, const std::wstring& logName,
                                const std::wstring& extraFile) = 0;
  virtual bool IsAutoRunMode() = 0;
  virtual bool IsWow64() = 0;
  // AddUserLog of the event log.
  virtual void AddUserLog(const char* category, const char* action, const char* label,
                          bool wait) = 0;
  virtual int GetLanguageByLocalSystem() = 0;
  // A modal message box of the given type; returns when it is closed.
  virtual void ShowMessageBox(int type, int language, const std::wstring& text) = 0;
  virtual bool InitializeCom() = 0;
  virtual void UninitializeCom() = 0;
  virtual void AuthorizeSelfInFirewall(const std::wstring& programPath) = 0;
  // Creates the installer window and runs the message loop until it ends. False when the
  // window could not be created.
  virtual bool RunWindow() = 0;
  virtual void WaitForAllThreadExit() = 0;
};

// What a run did, for tests and for the entry's own log.
enum class StartupOutcome {
  kRanWindow,           // went through the loop and the exit sequence
  kLogUpload,           // "-dmp " or "-close" mode
  kOtherInstanceWindow, // a running instance's window was activated
  kOtherInstanceMutex,  // the single-instance lock was held elsewhere
  kRefused32Bit,
  kComFailed,
};

StartupOutcome RunStartup(const std::wstring& commandLine, IStartupHooks& hooks);

// wWinMain's body: the real hooks, always 0.
int RunInstaller(const std::wstring& commandLine);

}  // namespace app
