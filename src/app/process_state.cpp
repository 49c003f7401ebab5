#include "app/process_state.h"

namespace app {

ProcessState& ProcessState::Get() {
  static ProcessState state;
  return state;
}

std::wstring ProcessState::WindowClassName() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return windowClassName_.empty() ? L"QD_UI_Frame" : windowClassName_;
}

void ProcessState::SetWindowClassName(const std::wstring& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  windowClassName_ = name;
}

void ProcessState::HoldInstanceLock(std::unique_ptr<platform::NamedMutex> lock) {
  std::lock_guard<std::mutex> guard(mutex_);
  instanceLock_ = std::move(lock);
}

void ProcessState::ReleaseInstanceLock() {
  std::unique_ptr<platform::NamedMutex> lock;
  {
    std::lock_guard<std::mutex> guard(mutex_);
    lock = std::move(instanceLock_);
  }
  if (lock) lock->Release();
}

bool ProcessState::HoldsInstanceLock() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return instanceLock_ != nullptr;
}

}  // namespace app
