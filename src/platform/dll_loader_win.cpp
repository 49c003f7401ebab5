#include <windows.h>
#include <delayimp.h>

#include <atomic>
#include <string>

#include "platform/dll_loader.h"

namespace platform {
namespace {

std::atomic<bool> restricted{false};

// Loads by full System32 path; for systems whose LoadLibraryExW does not know the search flags.
HMODULE LoadByFullPath(const wchar_t* fileName) {
  wchar_t dir[MAX_PATH] = {};
  const UINT n = ::GetSystemDirectoryW(dir, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  std::wstring path(dir, n);
  path += L'\\';
  path += fileName;
  return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC WINAPI DelayLoadHook(unsigned notify, PDelayLoadInfo info) {
  if (notify != dliNotePreLoadLibrary || info == nullptr || info->szDll == nullptr) return nullptr;
  wchar_t name[MAX_PATH] = {};
  if (::MultiByteToWideChar(CP_ACP, 0, info->szDll, -1, name, MAX_PATH) == 0) return nullptr;
  return reinterpret_cast<FARPROC>(LoadSystemLibrary(name));
}

}  // namespace

bool HardenDllSearch() {
  __pfnDliNotifyHook2 = DelayLoadHook;
  // The current folder leaves the search order as well (SetDllDirectory with an empty text).
  ::SetDllDirectoryW(L"");
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  auto setDefault = kernel ? reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                                 ::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                           : nullptr;
  const bool ok = setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
  restricted = ok;
  return ok;
}

bool DllSearchRestricted() { return restricted; }

void* LoadSystemLibrary(const wchar_t* fileName) {
  if (fileName == nullptr || *fileName == 0) return nullptr;
  HMODULE module = ::LoadLibraryExW(fileName, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  // Windows 7 without the loader update rejects the flag as an invalid parameter.
  if (module == nullptr && ::GetLastError() == ERROR_INVALID_PARAMETER) {
    module = LoadByFullPath(fileName);
  }
  return module;
}

void* SystemLibrarySymbol(void* module, const char* name) {
  if (module == nullptr || name == nullptr) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

}  // namespace platform
