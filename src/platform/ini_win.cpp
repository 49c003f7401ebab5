#include <windows.h>

#include "platform/ini.h"

namespace platform {

std::wstring ReadIniString(const std::wstring& path, const std::wstring& section,
                           const std::wstring& key, const std::wstring& defaultValue) {
  if (!IniFileSizeAcceptable(path)) return defaultValue;
  wchar_t buf[4096] = {0};
  DWORD n = GetPrivateProfileStringW(section.c_str(), key.c_str(), defaultValue.c_str(), buf,
                                     4096, path.c_str());
  return std::wstring(buf, n);
}

}  // namespace platform
