// Text conversion used where a Part of the installer hands UTF-16 text to byte-text consumers
// (the event log's texts). Thread-safe: pure.
#pragma once

#include <string>

namespace FuntionImpl {

// The whole text in UTF-8; unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(const std::wstring& text);

}  // namespace FuntionImpl
