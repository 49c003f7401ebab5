#include "platform/files.h"

#include <windows.h>

namespace platform {

uint32_t ErrnoToWinError(int err) {
  switch (err) {
    case 0: return kErrSuccess;
    case 2: return kErrPathNotFound;    // ENOENT
    case 13: return kErrAccessDenied;   // EACCES
    case 17: return kErrAlreadyExists;  // EEXIST
    case 28: return kErrDiskFull;       // ENOSPC
    default: return 31;
  }
}

uint32_t LastErrorCode() { return GetLastError(); }

bool PathExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::wstring& path) {
  DWORD attrs = GetFileAttributesW(path.c_str());
  return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

uint32_t CreateOneDirectory(const std::wstring& path) {
  if (CreateDirectoryW(path.c_str(), nullptr)) {
    SetLastError(ERROR_SUCCESS);
    return kErrSuccess;
  }
  return GetLastError();
}

bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
  bytes->clear();
  HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char buf[65536];
  DWORD got = 0;
  bool ok = true;
  for (;;) {
    if (!ReadFile(h, buf, sizeof(buf), &got, nullptr)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    bytes->append(buf, got);
  }
  CloseHandle(h);
  return ok;
}

bool WriteFileAtomically(const std::wstring& path, const std::string& bytes) {
  std::wstring temp = path + L".tmp" + std::to_wstring(GetCurrentProcessId());
  HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const char* data = bytes.data();
  size_t left = bytes.size();
  bool ok = true;
  while (left > 0) {
    DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(h, data, chunk, &written, nullptr) || written == 0) {
      ok = false;
      break;
    }
    data += written;
    left -= written;
  }
  if (ok) ok = FlushFileBuffers(h) != 0;
  DWORD err = GetLastError();
  CloseHandle(h);
  if (ok && MoveFileExW(temp.c_str(), path.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  if (ok) err = GetLastError();
  DeleteFileW(temp.c_str());
  SetLastError(err);
  return false;
}

bool RemoveFile(const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }

bool CopyOneFile(const std::wstring& from, const std::wstring& to, bool failIfExists) {
  return CopyFileW(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE) != 0;
}

int64_t FileSize(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return (static_cast<int64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace platform
