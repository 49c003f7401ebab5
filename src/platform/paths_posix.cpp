#include "platform/paths.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/text.h"

namespace platform {

std::wstring GetModulePath() {
  char buf[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0) return std::wstring();
  return AnsiToWide(std::string(buf, static_cast<size_t>(n)));
}

std::wstring GetModuleDir() {
  std::wstring path = GetModulePath();
  size_t slash = path.find_last_of(L"/\\");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

std::wstring GetEnvVar(const std::wstring& name) {
  const char* value = std::getenv(WideToAnsi(name).c_str());
  return value ? AnsiToWide(value) : std::wstring();
}

bool SetEnvVar(const std::wstring& name, const std::wstring& value) {
  if (value.empty()) return ::unsetenv(WideToAnsi(name).c_str()) == 0;
  return ::setenv(WideToAnsi(name).c_str(), WideToAnsi(value).c_str(), 1) == 0;
}

std::wstring GetAppDataDir() {
  std::wstring dir = GetEnvVar(L"APPDATA");
  if (!dir.empty()) return dir;
  dir = GetEnvVar(L"XDG_CONFIG_HOME");
  if (!dir.empty()) return dir;
  std::wstring home = GetEnvVar(L"HOME");
  return home.empty() ? std::wstring() : home + L"/.config";
}

std::wstring GetWindowsDir() { return L"/"; }

std::wstring NativePath(const std::wstring& path) {
  std::wstring out = path;
  for (wchar_t& c : out) {
    if (c == L'\\') c = L'/';
  }
  return out;
}

std::string NativePathBytes(const std::wstring& path) { return WideToAnsi(NativePath(path)); }

}  // namespace platform
