#include <windows.h>

#include "platform/append_file.h"
#include "platform/files.h"

namespace platform {
namespace {

HANDLE H(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

AppendFile::~AppendFile() { Close(); }

uint32_t AppendFile::Open(const std::wstring& path) {
  Close();
  // Append-only access: the system puts every write at the current end of the file.
  HANDLE h = CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return GetLastError();
  handle_ = reinterpret_cast<intptr_t>(h);
  return kErrSuccess;
}

bool AppendFile::IsOpen() const { return handle_ != -1; }

uint32_t AppendFile::Append(const std::string& bytes) {
  if (handle_ == -1) return ERROR_INVALID_HANDLE;
  const char* data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(H(handle_), data, chunk, &written, nullptr)) return GetLastError();
    if (written == 0) return kErrDiskFull;
    data += written;
    left -= written;
  }
  return kErrSuccess;
}

void AppendFile::Close() {
  if (handle_ != -1) CloseHandle(H(handle_));
  handle_ = -1;
}

}  // namespace platform
