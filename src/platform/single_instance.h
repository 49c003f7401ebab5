// Single-instance support: a named system-wide lock and lookup of a running instance's window.
// On Windows the lock is a named mutex created with initial ownership; on POSIX it is an flock
// on a file named after the lock in the runtime folder ($XDG_RUNTIME_DIR, else /tmp), held for as
// long as the handle lives. Window lookup has no POSIX equivalent and finds nothing there.
#pragma once

#include <memory>
#include <string>

namespace platform {

class NamedMutex {
 public:
  virtual ~NamedMutex() = default;  // releases and closes
  // Releases ownership and closes the handle now (idempotent).
  virtual void Release() = 0;
};

// Creates (or opens) the named lock, trying to take it. *alreadyExisted tells whether another
// process had created it before (ERROR_ALREADY_EXISTS). Null only when the system refused.
std::unique_ptr<NamedMutex> CreateNamedMutex(const std::wstring& name, bool* alreadyExisted);

// FindWindowW by class name; when found, shows it normally and switches to it. True if found.
bool ActivateWindowByClass(const std::wstring& className);

}  // namespace platform
