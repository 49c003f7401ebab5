// Small checks around starting the installed product: whether a name is an executable's,
// and whether the product's folder asks for a newer .NET Framework 4 than the one installed
// (then the launch splash is skipped, because the product first shows its own check).
// Thread-safe: pure functions, plus reads of one file and one registry value.
#pragma once

#include <string>

namespace FuntionImpl {

// True when text ends with ".exe" (case-sensitive) or is shorter than 4 characters.
bool EndsWithExe(const std::wstring& text);
bool EndsWithExe(const std::string& text);

// The required version from the text of a NetFrameCheck.db file: the value of
// "NetFrameworkVersion" in its [Settings] section (search ends at "[Text]"). Empty when absent.
std::string ReadRequiredNetFrameVersion(const std::string& fileText);

// Compares dotted versions by their first four decimal parts (missing parts are 0): true
// when installed is lower than required at the first part that differs.
bool IsNetFrameOlder(const std::string& installed, const std::string& required);

// The check on a folder: reads folder\NetFrameCheck.db and the installed version of
// .NET Framework 4 ("Version" under SOFTWARE\Microsoft\NET Framework Setup\NDP\v4\Client),
// logs both, and tells whether the installed one is older. False when the file or key is
// missing.
bool WillShowNetFrameCheck(const std::wstring& folder);

}  // namespace FuntionImpl
