#include "config/server_description.h"

#include <cstdio>
#include <limits>

#include "config/configure.h"
#include "platform/clock.h"
#include "system/os_info.h"

ServerDescriptionEnv ServerDescriptionEnv::Live() {
  ServerDescriptionEnv env;
  env.osName = [](double* generation) { return FuntionImpl::GetOsName(generation); };
  env.isTestEnvironment = [] { return CConfigure::IsTestEnvironment(); };
  env.endpoints = [] { return GetEndpoints(); };
  env.tickCount = [] { return platform::TickCount(); };
  return env;
}

namespace serverdesc {

namespace {

const char kOpenTag[] = "<Downloader>";
const char kCloseTag[] = "</Downloader>";
constexpr size_t kOpenTagLength = sizeof(kOpenTag) - 1;
constexpr size_t kCloseTagLength = sizeof(kCloseTag) - 1;
// The closing tag is looked for only this far past the opening tag.
constexpr size_t kMinElementBody = 12;
constexpr size_t kQueryBufferSize = 512;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A decimal number as "%d" reads it from text at *pos: blanks, optional sign, digits. Moves
// *pos past it. False when no digit follows or the value leaves [minValue, maxValue].
bool ReadNumber(const std::string& text, size_t* pos, int64_t minValue, int64_t maxValue,
                int64_t* value) {
  size_t p = *pos;
  while (p < text.size() && IsBlank(text[p])) ++p;
  bool negative = false;
  if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
    negative = text[p] == '-';
    ++p;
  }
  if (p >= text.size() || !IsDigit(text[p])) return false;
  // The magnitude is accumulated unsigned so that the most negative value still fits.
  const uint64_t limit =
      negative ? static_cast<uint64_t>(-(minValue + 1)) + 1u : static_cast<uint64_t>(maxValue);
  uint64_t magnitude = 0;
  for (; p < text.size() && IsDigit(text[p]); ++p) {
    const uint64_t digit = static_cast<uint64_t>(text[p] - '0');
    if (magnitude > (limit - digit) / 10u) return false;
    magnitude = magnitude * 10u + digit;
  }
  if (negative) {
    *value = magnitude == 0 ? 0 : -static_cast<int64_t>(magnitude - 1u) - 1;
  } else {
    *value = static_cast<int64_t>(magnitude);
  }
  *pos = p;
  return true;
}

bool ParseWhole(const std::string& text, int64_t minValue, int64_t maxValue, int64_t* value) {
  size_t pos = 0;
  int64_t parsed = 0;
  if (!ReadNumber(text, &pos, minValue, maxValue, &parsed)) return false;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  if (pos != text.size()) return false;
  *value = parsed;
  return true;
}

}  // namespace

QueryTarget ChooseQueryTarget(bool testEnvironment, bool china, const Endpoints& endpoints) {
  if (testEnvironment) return {"http", endpoints.configService, "test"};
  if (china) return {"https", endpoints.configServiceChina, "cn"};
  return {"https", endpoints.configService, "com"};
}

std::string BuildQueryUrl(const QueryTarget& target, int languageId, int downloaderId, int siteId,
                          double generation) {
  char buffer[kQueryBufferSize];
  const char* suffix = generation < 10 ? "&package_type=5" : "";
  const int n = std::snprintf(
      buffer, sizeof(buffer), "%s://%s/queryDownloaderV2?LanguageId=%d&SoftWareID=%d&SiteID=%d%s",
      target.scheme, target.host.c_str(), languageId, downloaderId, siteId, suffix);
  // A cut-off URL would ask for something else; refuse it rather than send it.
  if (n < 0 || static_cast<size_t>(n) >= sizeof(buffer)) return std::string();
  return std::string(buffer, static_cast<size_t>(n));
}

bool FindDownloaderElement(const std::string& reply, std::string* element) {
  const size_t open = reply.find(kOpenTag);
  if (open == std::string::npos) return false;
  const size_t close = reply.find(kCloseTag, open + kOpenTagLength + kMinElementBody);
  if (close == std::string::npos) return false;
  *element = reply.substr(open, close + kCloseTagLength - open);
  return true;
}

bool ScanTimeoutCfg(const std::string& text, int* connect, int* transfer) {
  if (text.size() <= 2) return false;
  if (text.find(',', 1) == std::string::npos) return false;
  size_t pos = 0;
  int64_t first = 0;
  int64_t second = 0;
  const int64_t lo = std::numeric_limits<int>::min();
  const int64_t hi = std::numeric_limits<int>::max();
  if (!ReadNumber(text, &pos, lo, hi, &first)) return false;
  // At least one character that is not a digit separates the two numbers.
  const size_t gap = pos;
  while (pos < text.size() && !IsDigit(text[pos])) ++pos;
  if (pos == gap) return false;
  // The separator may have swallowed the sign of the second number; "%d" then reads it unsigned.
  if (!ReadNumber(text, &pos, lo, hi, &second)) return false;
  *connect = static_cast<int>(first);
  *transfer = static_cast<int>(second);
  return true;
}

bool ParseIntText(const std::string& text, int32_t* value) {
  int64_t parsed = 0;
  if (!ParseWhole(text, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(),
                  &parsed)) {
    return false;
  }
  *value = static_cast<int32_t>(parsed);
  return true;
}

bool ParseInt64Text(const std::string& text, int64_t* value) {
  return ParseWhole(text, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(),
                    value);
}

bool IsSafeVersionText(const std::wstring& version) {
  if (version.empty() || version.size() > kMaxVersionLength) return false;
  if (version.find(L"..") != std::wstring::npos) return false;
  for (const wchar_t c : version) {
    if (c < 0x20 || c == 0x7f) return false;
    if (c >= 0x80 && c < 0xa0) return false;  // C1 controls
    switch (c) {
      case L'<':
      case L'>':
      case L':':
      case L'"':
      case L'/':
      case L'\\':
      case L'|':
      case L'?':
      case L'*':
        return false;
      default:
        break;
    }
  }
  // Windows drops trailing blanks and dots of a name part; a leading blank hides in listings.
  if (version.front() == L' ' || version.back() == L' ' || version.back() == L'.') return false;
  return true;
}

bool IsHttpUrl(const std::wstring& url) {
  size_t schemeEnd = 0;
  auto startsWithNoCase = [&url](const wchar_t* prefix) {
    size_t i = 0;
    for (; prefix[i] != 0; ++i) {
      if (i >= url.size()) return false;
      wchar_t c = url[i];
      if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
      if (c != prefix[i]) return false;
    }
    return true;
  };
  if (startsWithNoCase(L"https://")) {
    schemeEnd = 8;
  } else if (startsWithNoCase(L"http://")) {
    schemeEnd = 7;
  } else {
    return false;
  }
  if (url.size() == schemeEnd || url[schemeEnd] == L'/') return false;  // no host
  for (const wchar_t c : url) {
    if (c <= 0x20 || c == 0x7f || (c >= 0x80 && c < 0xa0)) return false;
  }
  return true;
}

std::string StripLineBreaks(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c != '\r' && c != '\n') out.push_back(c);
  }
  return out;
}

std::string LogSafe(const std::string& text) {
  constexpr size_t kMaxLogged = 160;
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < text.size() && i < kMaxLogged; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7f) {
      out += "\\x";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xf]);
    } else {
      out.push_back(static_cast<char>(c));
    }
  }
  if (text.size() > kMaxLogged) out += "...";
  return out;
}

}  // namespace serverdesc
