#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <easylogging++.h>

#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/text.h"

namespace platform {
namespace {

bool Execute(const wchar_t* file, const wchar_t* parameters, int show) {
  const HINSTANCE rc = ShellExecuteW(nullptr, L"open", file, parameters, nullptr, show);
  const INT_PTR code = reinterpret_cast<INT_PTR>(rc);
  if (code > 32) return true;
  LOG(INFO) << " ShellExecute failed (" << code << ") for " << WideToUtf8(file);
  return false;
}

}  // namespace

bool ShellOpen(const std::wstring& target) {
  return Execute(target.c_str(), nullptr, SW_SHOWNORMAL);
}

bool ShowInFileManager(const std::wstring& file) {
  const std::wstring parameters = L"/select, " + file;
  return Execute(L"explorer.exe", parameters.c_str(), SW_SHOWNORMAL);
}

bool StartSelfHidden(const std::wstring& arguments) {
  const std::wstring self = GetModulePath();
  return Execute(self.c_str(), arguments.c_str(), SW_HIDE);
}

bool BrowseForFolder(unsigned flags, std::wstring* folder) {
  BROWSEINFOW info = {};
  info.hwndOwner = GetForegroundWindow();
  info.ulFlags = flags;
  PIDLIST_ABSOLUTE item = SHBrowseForFolderW(&info);
  if (!item) return false;
  wchar_t path[MAX_PATH] = {};
  const bool ok = SHGetPathFromIDListW(item, path) != FALSE;
  CoTaskMemFree(item);
  if (!ok || !path[0]) {
    LOG(INFO) << " The chosen folder has no file-system path";
    return false;
  }
  *folder = path;
  return true;
}

void ShowPlainMessageBox(void* ownerHandle, const std::wstring& text,
                         const std::wstring& caption) {
  MessageBoxW(static_cast<HWND>(ownerHandle), text.c_str(), caption.c_str(), MB_OK);
}

std::wstring ProgramFilesFolder() {
  wchar_t path[MAX_PATH] = {};
  if (SHGetSpecialFolderPathW(nullptr, path, CSIDL_PROGRAM_FILES, FALSE)) return path;
  return L"C:\\Program Files";
}

}  // namespace platform
