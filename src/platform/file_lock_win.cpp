#include <windows.h>

#include "platform/file_lock.h"
#include "platform/files.h"

namespace platform {
namespace {

// The locked byte lies far beyond any content, so readers of the file never meet the lock.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

HANDLE H(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

FileLock::~FileLock() { Close(); }

uint32_t FileLock::Open(const std::wstring& path) {
  Close();
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError();
  handle_ = reinterpret_cast<intptr_t>(h);
  return kErrSuccess;
}

bool FileLock::IsOpen() const { return handle_ != -1; }

bool FileLock::TryLock() {
  if (handle_ == -1) return false;
  if (locked_) return true;
  OVERLAPPED at = {};
  at.OffsetHigh = kLockOffsetHigh;
  locked_ = LockFileEx(H(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                       &at) != 0;
  return locked_;
}

void FileLock::Unlock() {
  if (handle_ != -1 && locked_) {
    OVERLAPPED at = {};
    at.OffsetHigh = kLockOffsetHigh;
    UnlockFileEx(H(handle_), 0, 1, 0, &at);
  }
  locked_ = false;
}

bool FileLock::WriteContent(const std::string& bytes) {
  if (handle_ == -1) return false;
  if (SetFilePointer(H(handle_), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  DWORD written = 0;
  if (!bytes.empty() && (!WriteFile(H(handle_), bytes.data(), static_cast<DWORD>(bytes.size()),
                                    &written, nullptr) ||
                         written != bytes.size())) {
    return false;
  }
  return SetEndOfFile(H(handle_)) != 0;
}

bool FileLock::ReadContent(std::string* bytes, size_t maxBytes) {
  bytes->clear();
  if (handle_ == -1) return false;
  if (SetFilePointer(H(handle_), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
  bytes->resize(maxBytes);
  DWORD got = 0;
  if (!ReadFile(H(handle_), &(*bytes)[0], static_cast<DWORD>(maxBytes), &got, nullptr)) {
    bytes->clear();
    return false;
  }
  bytes->resize(got);
  return true;
}

void FileLock::Close() {
  Unlock();
  if (handle_ != -1) CloseHandle(H(handle_));
  handle_ = -1;
}

}  // namespace platform
