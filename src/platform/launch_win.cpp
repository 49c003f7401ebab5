#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "platform/launch.h"

namespace platform {

uint32_t StartProcess(const std::wstring& commandLine, const std::wstring& workingFolder) {
  std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
  line.push_back(L'\0');  // CreateProcessW may write into the command line
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_DEFAULT_ERROR_MODE,
                      nullptr, workingFolder.empty() ? nullptr : workingFolder.c_str(), &si,
                      &pi)) {
    return GetLastError();
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return 0;
}

uint32_t StartThroughShell(const std::wstring& quotedPath) {
  const std::wstring parameters = L"/e, " + quotedPath;
  // A stale error of an earlier call must not read as this request's failure.
  SetLastError(0);
  ShellExecuteW(nullptr, L"open", L"explorer.exe", parameters.c_str(), nullptr, SW_SHOWNORMAL);
  return GetLastError();
}

}  // namespace platform
