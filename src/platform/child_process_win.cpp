#include <windows.h>

#include <vector>

#include "platform/child_process.h"
#include "platform/files.h"

namespace platform {

ChildProcess::~ChildProcess() {
  if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

uint32_t ChildProcess::StartHeld(HeldFile& image, const std::wstring& commandLine) {
  if (started_) return kErrAccessDenied;
  if (!image.IsHeld()) return kErrFileNotFound;
  if (!image.Unchanged()) return kErrHeldFileChanged;
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');  // CreateProcessW may write into the command line
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  SECURITY_ATTRIBUTES inherit = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  // The held handle itself is not inheritable, so the installer does not keep our hold.
  if (!::CreateProcessW(image.Path().c_str(), line.data(), &inherit, &inherit, TRUE,
                        CREATE_DEFAULT_ERROR_MODE, nullptr, nullptr, &startup, &process)) {
    return ::GetLastError();
  }
  ::CloseHandle(process.hThread);
  handle_ = reinterpret_cast<intptr_t>(process.hProcess);
  id_ = process.dwProcessId;
  started_ = true;
  return kErrSuccess;
}

ChildProcess::WaitResult ChildProcess::Wait(uint32_t ms) {
  if (!started_) return WaitResult::kFailed;
  if (ended_) return WaitResult::kEnded;
  const DWORD rc = ::WaitForSingleObject(reinterpret_cast<HANDLE>(handle_), ms);
  if (rc == WAIT_TIMEOUT) return WaitResult::kStillRunning;
  if (rc != WAIT_OBJECT_0) return WaitResult::kFailed;
  DWORD code = 0;
  if (!::GetExitCodeProcess(reinterpret_cast<HANDLE>(handle_), &code)) code = 0xFFFFFFFFu;
  exitCode_ = code;
  ended_ = true;
  return WaitResult::kEnded;
}

bool ChildProcess::ExitCode(uint32_t* code) const {
  if (!ended_) return false;
  *code = exitCode_;
  return true;
}

}  // namespace platform
