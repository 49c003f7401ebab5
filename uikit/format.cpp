#include "uikit/format.h"

#include <cstdio>
#include <cwchar>

namespace uikit {
namespace {

struct Conversion {
  std::wstring flags;
  int width = -1;
  int precision = -1;
  bool longFlag = false;
  wchar_t type = 0;
};

// Reads up to two digits; false when there are more (a width of 100 or more is no
// translator's intent and would only make huge texts).
bool ReadNumber(const std::wstring& fmt, size_t* i, int* value) {
  int digits = 0;
  int v = 0;
  while (*i < fmt.size() && fmt[*i] >= L'0' && fmt[*i] <= L'9') {
    if (++digits > 2) return false;
    v = v * 10 + (fmt[*i] - L'0');
    ++*i;
  }
  *value = digits ? v : -1;
  return true;
}

// Splits fmt into literal text (with "%%" already folded) around exactly one conversion.
bool Split(const std::wstring& fmt, const std::wstring& allowedFlags, std::wstring* before,
           Conversion* conv, std::wstring* after) {
  bool seen = false;
  std::wstring* literal = before;
  for (size_t i = 0; i < fmt.size(); ++i) {
    if (fmt[i] != L'%') {
      literal->push_back(fmt[i]);
      continue;
    }
    if (i + 1 < fmt.size() && fmt[i + 1] == L'%') {
      literal->push_back(L'%');
      ++i;
      continue;
    }
    if (seen) return false;  // a second conversion, or a lost "%"
    seen = true;
    Conversion c;
    ++i;
    while (i < fmt.size() && std::wcschr(L"-+ #0", fmt[i]) && fmt[i] != 0) {
      if (allowedFlags.find(fmt[i]) == std::wstring::npos) return false;
      c.flags.push_back(fmt[i]);
      ++i;
    }
    if (!ReadNumber(fmt, &i, &c.width)) return false;
    if (i < fmt.size() && fmt[i] == L'.') {
      ++i;
      if (!ReadNumber(fmt, &i, &c.precision)) return false;
      if (c.precision < 0) c.precision = 0;  // "%.f" means precision 0
    }
    if (i < fmt.size() && fmt[i] == L'l') {
      c.longFlag = true;
      ++i;
    }
    if (i >= fmt.size()) return false;
    c.type = fmt[i];
    *conv = c;
    literal = after;
  }
  return seen;
}

}  // namespace

bool FormatWithNumber(const std::wstring& fmt, double value, std::wstring* out) {
  std::wstring before, after;
  Conversion c;
  if (!Split(fmt, L"-+ #0", &before, &c, &after)) return false;
  if (!std::wcschr(L"fFeEgG", c.type) || c.type == 0) return false;
  std::string spec = "%";
  for (wchar_t f : c.flags) spec.push_back(static_cast<char>(f));
  if (c.width >= 0) spec += std::to_string(c.width);
  if (c.precision >= 0) spec += "." + std::to_string(c.precision);
  spec.push_back(static_cast<char>(c.type));
  // At most 99 of width and precision: 309 integer digits of DBL_MAX + 99 fit in 512.
  char buffer[512];
  int n = std::snprintf(buffer, sizeof buffer, spec.c_str(), value);
  if (n < 0 || static_cast<size_t>(n) >= sizeof buffer) return false;
  std::wstring number(buffer, buffer + n);
  *out = before + number + after;
  return true;
}

bool FormatWithText(const std::wstring& fmt, const std::wstring& text, std::wstring* out) {
  std::wstring before, after;
  Conversion c;
  if (!Split(fmt, L"-", &before, &c, &after)) return false;
  if (c.type != L's') return false;
  std::wstring value = text;
  if (c.precision >= 0 && value.size() > static_cast<size_t>(c.precision)) {
    value.resize(static_cast<size_t>(c.precision));
  }
  if (c.width > 0 && value.size() < static_cast<size_t>(c.width)) {
    std::wstring pad(static_cast<size_t>(c.width) - value.size(), L' ');
    value = c.flags.find(L'-') != std::wstring::npos ? value + pad : pad + value;
  }
  *out = before + value + after;
  return true;
}

}  // namespace uikit
