#include <windows.h>

#include "platform/single_instance.h"

namespace platform {
namespace {

class Win32Mutex : public NamedMutex {
 public:
  explicit Win32Mutex(HANDLE h) : handle_(h) {}
  ~Win32Mutex() override { Release(); }
  void Release() override {
    if (handle_ != nullptr) {
      ReleaseMutex(handle_);
      CloseHandle(handle_);
      handle_ = nullptr;
    }
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::unique_ptr<NamedMutex> CreateNamedMutex(const std::wstring& name, bool* alreadyExisted) {
  HANDLE h = CreateMutexW(nullptr, TRUE, name.c_str());
  *alreadyExisted = (GetLastError() == ERROR_ALREADY_EXISTS);
  if (h == nullptr) return nullptr;
  return std::make_unique<Win32Mutex>(h);
}

bool ActivateWindowByClass(const std::wstring& className) {
  HWND wnd = FindWindowW(className.c_str(), nullptr);
  if (wnd == nullptr) return false;
  ShowWindow(wnd, SW_SHOWNORMAL);
  SwitchToThisWindow(wnd, TRUE);
  return true;
}

}  // namespace platform
