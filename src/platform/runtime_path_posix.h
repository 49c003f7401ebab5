// Where named system-wide objects (locks, events) live as files on POSIX: the user's runtime
// folder ($XDG_RUNTIME_DIR), else /tmp. Used only by the POSIX implementations.
#pragma once

#include <string>

#include "platform/paths.h"
#include "platform/text.h"

namespace platform {

// "<runtime dir>/kerfo-<kind>-<name>", with path separators in the name made harmless.
inline std::string RuntimeObjectPath(const std::wstring& kind, const std::wstring& name) {
  std::wstring dir = GetEnvVar(L"XDG_RUNTIME_DIR");
  if (dir.empty()) dir = L"/tmp";
  std::wstring safe;
  for (wchar_t c : name) safe.push_back((c == L'/' || c == L'\\') ? L'_' : c);
  return WideToAnsi(dir + L"/kerfo-" + kind + L"-" + safe);
}

}  // namespace platform
