// INI files in the GetPrivateProfile* manner: section and key names match case-insensitively,
// blanks around names and values are ignored, the first matching section and key win.
// The files are read afresh on every call. Thread-safe.
#pragma once

#include <string>

namespace platform {

// GetPrivateProfileIntW semantics: the default when the file, section or key is missing or the
// value is empty; otherwise the decimal number at the start of the value (optional sign), 0 when
// it starts with no digit. Values beyond the range of int read as the default rather than wrapping.
int ReadIniInt(const std::wstring& path, const std::wstring& section, const std::wstring& key,
               int defaultValue);

// GetPrivateProfileStringW: the value text (blanks trimmed, at most 4095 characters), or
// defaultValue when the file, section or key is missing.
std::wstring ReadIniString(const std::wstring& path, const std::wstring& section,
                           const std::wstring& key, const std::wstring& defaultValue);

// Settings files are a few lines; one above 4 MiB is damage or mischief and reads as missing
// (with a log line). False for such a file.
bool IniFileSizeAcceptable(const std::wstring& path);

// Parses an integer the way ReadIniInt does; false when the text holds no usable value.
bool ParseIniInt(const std::wstring& text, int* value);

}  // namespace platform
