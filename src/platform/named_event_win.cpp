#include <easylogging++.h>
#include <windows.h>

#include "platform/named_event.h"

namespace platform {
namespace {

class Win32Event : public NamedEvent {
 public:
  explicit Win32Event(HANDLE h) : handle_(h) {}
  ~Win32Event() override { CloseHandle(handle_); }
  bool Set() override { return SetEvent(handle_) != FALSE; }
  bool Reset() override { return ResetEvent(handle_) != FALSE; }
  // A zero-time wait on a manual-reset event reads its state and leaves it as it is.
  bool IsSignalled() override { return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }

 private:
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<NamedEvent> CreateNamedEvent(const std::wstring& name, bool initialState,
                                             bool* alreadyExisted) {
  HANDLE h = CreateEventW(nullptr, TRUE, initialState ? TRUE : FALSE, name.c_str());
  const DWORD error = GetLastError();
  *alreadyExisted = (h != nullptr && error == ERROR_ALREADY_EXISTS);
  if (h == nullptr) {
    LOG(INFO) << " CreateEvent failed, error " << error;
    return nullptr;
  }
  return std::make_unique<Win32Event>(h);
}

}  // namespace platform
