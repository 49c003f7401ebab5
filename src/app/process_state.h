// Process-wide values that start-up sets and later parts read: the window class name and the
// single-instance lock. Written on the main thread before the window exists; the install flow
// may release the lock copy from its own thread when it forces the process to end.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/single_instance.h"

namespace app {

class ProcessState {
 public:
  static ProcessState& Get();

  // The window class name; the window answers "QD_UI_Frame" while it is empty.
  std::wstring WindowClassName() const;
  void SetWindowClassName(const std::wstring& name);

  // Holds the single-instance lock until ReleaseInstanceLock (idempotent, any thread).
  void HoldInstanceLock(std::unique_ptr<platform::NamedMutex> lock);
  void ReleaseInstanceLock();
  bool HoldsInstanceLock() const;

 private:
  mutable std::mutex mutex_;
  std::wstring windowClassName_;
  std::unique_ptr<platform::NamedMutex> instanceLock_;
};

}  // namespace app
