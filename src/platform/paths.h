// Where the program lives and where the user's folders are.
// Thread-safe: each call asks the system afresh.
//
// Paths are written with "\" as the separator everywhere in the program; the POSIX side of the
// platform layer accepts both "\" and "/" and maps "\" to "/" before it touches the file system.
#pragma once

#include <string>

namespace platform {

// Full path of the running executable (GetModuleFileNameW; /proc/self/exe on Linux).
std::wstring GetModulePath();
// Drive and directory of the module path, with a trailing separator.
std::wstring GetModuleDir();

// Value of an environment variable; empty when unset.
std::wstring GetEnvVar(const std::wstring& name);
// Sets (or, with an empty value, removes) an environment variable of this process.
bool SetEnvVar(const std::wstring& name, const std::wstring& value);

// The user's application-data folder: APPDATA. On POSIX, when APPDATA is unset, the XDG
// configuration folder ($XDG_CONFIG_HOME, else $HOME/.config), which holds the same kind of data.
std::wstring GetAppDataDir();

// The Windows folder (GetWindowsDirectoryW); "/" on POSIX.
std::wstring GetWindowsDir();

// The path as the file system wants it: unchanged on Windows, "\" -> "/" on POSIX.
std::wstring NativePath(const std::wstring& path);
std::string NativePathBytes(const std::wstring& path);  // in the file system's byte encoding

}  // namespace platform
