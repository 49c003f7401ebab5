#include <easylogging++.h>

#include <cstdint>
#include <cwctype>

#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"

namespace platform {

bool IniFileSizeAcceptable(const std::wstring& path) {
  constexpr int64_t kMaxIniBytes = 4 << 20;
  const int64_t size = FileSize(path);
  if (size <= kMaxIniBytes) return true;
  LOG(INFO) << " Settings file too large (" << size << " bytes), ignored: " << WideToUtf8(path);
  return false;
}

bool ParseIniInt(const std::wstring& text, int* value) {
  size_t i = 0;
  while (i < text.size() && std::iswspace(static_cast<wint_t>(text[i]))) ++i;
  if (i == text.size()) return false;  // empty: the caller's default applies
  bool negative = false;
  if (text[i] == L'+' || text[i] == L'-') {
    negative = text[i] == L'-';
    ++i;
  }
  long long acc = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    acc = acc * 10 + (text[i] - L'0');
    // A value out of int range must not wrap around to something meaningful such as 1.
    if (acc > 2147483648LL) return false;
  }
  if (negative) acc = -acc;
  if (acc > 2147483647LL || acc < -2147483648LL) return false;
  *value = static_cast<int>(acc);
  return true;
}

int ReadIniInt(const std::wstring& path, const std::wstring& section, const std::wstring& key,
               int defaultValue) {
  // A sentinel that no real value can take tells "missing" from "present".
  static const wchar_t kMissing[] = L"\x1\x2missing\x2\x1";
  std::wstring text = ReadIniString(path, section, key, kMissing);
  if (text == kMissing) return defaultValue;
  int value = 0;
  return ParseIniInt(text, &value) ? value : defaultValue;
}

}  // namespace platform
