#include <windows.h>

#include "platform/files.h"
#include "platform/shared_file.h"

namespace platform {
namespace {

HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

}  // namespace

SharedFile::~SharedFile() { Close(); }

uint32_t SharedFile::Open(const std::wstring& path, bool keepExisting) {
  Close();
  // Same sharing as the C runtime's fopen: others may read and write alongside us, so only a
  // holder that denies write sharing (a running image, an exclusive open) stops us.
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           keepExisting ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
  if (h == INVALID_HANDLE_VALUE) return ::GetLastError();
  handle_ = reinterpret_cast<intptr_t>(h);
  return kErrSuccess;
}

bool SharedFile::IsOpen() const { return handle_ != -1; }

size_t SharedFile::WriteAt(int64_t offset, const void* data, size_t size, uint32_t* error) {
  *error = kErrSuccess;
  if (handle_ == -1 || offset < 0) {
    *error = ERROR_INVALID_HANDLE;
    return 0;
  }
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    OVERLAPPED ov = {};
    const uint64_t at = static_cast<uint64_t>(offset) + done;
    ov.Offset = static_cast<DWORD>(at & 0xFFFFFFFFu);
    ov.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD want = static_cast<DWORD>(size - done > 0x40000000u ? 0x40000000u : size - done);
    DWORD written = 0;
    if (!::WriteFile(H(handle_), p + done, want, &written, &ov)) {
      *error = ::GetLastError();
      break;
    }
    if (written == 0) {
      *error = ERROR_DISK_FULL;
      break;
    }
    done += written;
  }
  return done;
}

int64_t SharedFile::Size() const {
  LARGE_INTEGER size;
  if (handle_ == -1 || !::GetFileSizeEx(H(handle_), &size)) return -1;
  return static_cast<int64_t>(size.QuadPart);
}

uint32_t SharedFile::Truncate(int64_t size) {
  if (handle_ == -1 || size < 0) return ERROR_INVALID_HANDLE;
  LARGE_INTEGER at;
  at.QuadPart = size;
  if (!::SetFilePointerEx(H(handle_), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(H(handle_))) {
    return ::GetLastError();
  }
  return kErrSuccess;
}

void SharedFile::Close() {
  if (handle_ != -1) ::CloseHandle(H(handle_));
  handle_ = -1;
}

bool CanOpenForReading(const std::wstring& path) {
  HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

}  // namespace platform
