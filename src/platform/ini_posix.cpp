#include <cwctype>

#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace platform {
namespace {

std::wstring Trim(const std::wstring& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::iswspace(static_cast<wint_t>(s[b]))) ++b;
  while (e > b && std::iswspace(static_cast<wint_t>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool SameName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(static_cast<wint_t>(a[i])) != std::towlower(static_cast<wint_t>(b[i])))
      return false;
  }
  return true;
}

}  // namespace

std::wstring ReadIniString(const std::wstring& path, const std::wstring& section,
                           const std::wstring& key, const std::wstring& defaultValue) {
  if (!IniFileSizeAcceptable(path)) return defaultValue;
  std::string bytes;
  if (!ReadWholeFile(path, &bytes)) return defaultValue;
  if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
  std::wstring text = Utf8ToWide(bytes);

  bool inSection = false;
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t eol = text.find(L'\n', pos);
    if (eol == std::wstring::npos) eol = text.size();
    std::wstring line = Trim(text.substr(pos, eol - pos));
    pos = eol + 1;
    if (line.empty() || line[0] == L';') continue;
    if (line[0] == L'[') {
      size_t close = line.find(L']');
      inSection = close != std::wstring::npos && SameName(Trim(line.substr(1, close - 1)), section);
      continue;
    }
    if (!inSection) continue;
    size_t eq = line.find(L'=');
    if (eq == std::wstring::npos || !SameName(Trim(line.substr(0, eq)), key)) continue;
    std::wstring value = Trim(line.substr(eq + 1));
    // GetPrivateProfileString drops one pair of surrounding quotes.
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    if (value.size() > 4095) value.resize(4095);
    return value;
  }
  return defaultValue;
}

}  // namespace platform
