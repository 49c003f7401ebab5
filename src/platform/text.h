// Text conversions between the wide text of the UI, paths and configuration and the byte
// text of HTTP, XML and JSON. The one place where code pages are handled.
// Thread-safe: pure functions.
#pragma once

#include <string>

namespace platform {

// Full UTF-8 <-> wide conversion. Invalid input sequences become U+FFFD.
std::string WideToUtf8(const std::wstring& text);
std::wstring Utf8ToWide(const std::string& text);

// The system ANSI code page (CP_ACP on Windows; UTF-8 on POSIX, the locale's charset there).
std::string WideToAnsi(const std::wstring& text);
std::wstring AnsiToWide(const std::string& text);

}  // namespace platform
