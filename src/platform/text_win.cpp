#include "platform/text.h"

#include <windows.h>

namespace platform {
namespace {

std::string FromWide(const std::wstring& text, UINT codePage) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, nullptr);
  if (n <= 0) return std::string();
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr,
                      nullptr);
  return out;
}

std::wstring ToWide(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return std::wstring();
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
  return out;
}

}  // namespace

std::string WideToUtf8(const std::wstring& text) { return FromWide(text, CP_UTF8); }
std::wstring Utf8ToWide(const std::string& text) { return ToWide(text, CP_UTF8); }
std::string WideToAnsi(const std::wstring& text) { return FromWide(text, CP_ACP); }
std::wstring AnsiToWide(const std::string& text) { return ToWide(text, CP_ACP); }

}  // namespace platform
