#include "platform/paths.h"

#include <windows.h>

#include <vector>

namespace platform {

std::wstring GetModulePath() {
  // Long paths: grow the buffer until the whole path fits.
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return std::wstring();
    if (n < buf.size()) return std::wstring(buf.data(), n);
    if (buf.size() >= 32768) return std::wstring();
    buf.resize(buf.size() * 2);
  }
}

std::wstring GetModuleDir() {
  std::wstring path = GetModulePath();
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring GetEnvVar(const std::wstring& name) {
  DWORD n = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (n == 0) return std::wstring();
  std::wstring value(n, L'\0');
  n = GetEnvironmentVariableW(name.c_str(), &value[0], n);
  value.resize(n);
  return value;
}

bool SetEnvVar(const std::wstring& name, const std::wstring& value) {
  return SetEnvironmentVariableW(name.c_str(), value.empty() ? nullptr : value.c_str()) != 0;
}

std::wstring GetAppDataDir() { return GetEnvVar(L"APPDATA"); }

std::wstring GetWindowsDir() {
  wchar_t buf[MAX_PATH] = {0};
  UINT n = GetWindowsDirectoryW(buf, MAX_PATH);
  return (n == 0 || n >= MAX_PATH) ? std::wstring() : std::wstring(buf, n);
}

std::wstring NativePath(const std::wstring& path) { return path; }

std::string NativePathBytes(const std::wstring& path) {
  int n = WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

}  // namespace platform
