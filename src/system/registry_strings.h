// String values under HKEY_LOCAL_MACHINE (on POSIX the machine store of platform/registry.h).
// Thread-safe: each call opens, reads or writes and closes on its own.
#pragma once

#include <string>

namespace FuntionImpl {

// The value's text (at most 260 characters); empty when the key or value is missing, is no
// string, or is longer.
std::wstring ReadMachineRegistryString(const std::wstring& keyPath, const std::wstring& valueName);

// Creates the key when needed and stores the text as a string value; true when written.
bool WriteMachineRegistryString(const std::wstring& keyPath, const std::wstring& valueName,
                                const std::wstring& text);

}  // namespace FuntionImpl
