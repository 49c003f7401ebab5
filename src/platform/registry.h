// A registry-like store of named string values under hierarchical keys ("SOFTWARE\Vendor\App").
// On Windows it is the registry itself (HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER). On POSIX each
// root is one text file, rewritten atomically (temporary file + rename) under an flock on a
// side file, so concurrent writers from several processes never lose each other's values:
//   machine root: $KERFO_MACHINE_STORE, else /var/lib/kerfo/machine-store.ini
//   user root:    $KERFO_USER_STORE, else $XDG_CONFIG_HOME/kerfo/user-store.ini
//                 (XDG_CONFIG_HOME defaults to $HOME/.config)
// Key paths and value names match case-insensitively (ASCII letters), as registry names do;
// "\" and "/" are both key separators on POSIX, and leading/trailing separators are ignored.
// Thread-safe: every call opens, reads or writes and closes on its own; nothing is cached.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

enum class RegistryRoot { kLocalMachine, kCurrentUser };

// Reads a string value (REG_SZ or REG_EXPAND_SZ, unexpanded). Values of other types, values
// longer than maxChars characters and missing keys or values give false and leave *value empty.
bool ReadRegistryString(RegistryRoot root, const std::wstring& keyPath,
                        const std::wstring& valueName, size_t maxChars, std::wstring* value);

// Reads a multi-string value (REG_MULTI_SZ) as its list of strings; false when missing or of
// another type.
bool ReadRegistryMultiString(RegistryRoot root, const std::wstring& keyPath,
                             const std::wstring& valueName, std::vector<std::wstring>* values);

// Creates the key (with its parents) when needed and stores the text as a REG_SZ value.
bool WriteRegistryString(RegistryRoot root, const std::wstring& keyPath,
                         const std::wstring& valueName, const std::wstring& text);

// Stores a list of strings as a REG_MULTI_SZ value (the strings must not contain NUL).
bool WriteRegistryMultiString(RegistryRoot root, const std::wstring& keyPath,
                              const std::wstring& valueName,
                              const std::vector<std::wstring>& values);

// True when the key can be opened for reading.
bool RegistryKeyExists(RegistryRoot root, const std::wstring& keyPath);

}  // namespace platform
