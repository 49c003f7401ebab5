// Named manual-reset events: a system-wide flag that separate processes open by name.
// On Windows this is a kernel event (CreateEventW, manual reset). On POSIX it is a file named
// after the event in the runtime folder ($XDG_RUNTIME_DIR, else /tmp) holding one state byte
// ('1' signalled, '0' not); every open handle keeps a shared flock on it, so a creator that can
// take the exclusive lock knows nobody else holds the event and starts it afresh. The POSIX side
// has no waiting: a caller that needs to block on an event has no equivalent there.
// Thread-safety: one object may be used from several threads; the state lives in the system.
// Ownership: the returned object owns the handle and closes it when destroyed.
#pragma once

#include <memory>
#include <string>

namespace platform {

class NamedEvent {
 public:
  virtual ~NamedEvent() = default;  // closes the handle
  virtual bool Set() = 0;
  virtual bool Reset() = 0;
  // The current state, read without changing it; false also when it cannot be read.
  virtual bool IsSignalled() = 0;
};

// Creates (or opens) a manual-reset event. When another holder had already created it,
// *alreadyExisted is true and initialState is ignored, as the system does. Null when the system
// refused (the reason is logged).
std::unique_ptr<NamedEvent> CreateNamedEvent(const std::wstring& name, bool initialState,
                                             bool* alreadyExisted);

}  // namespace platform
