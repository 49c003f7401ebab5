// Files and folders. Results use the Windows system error numbering on every platform,
// converted from errno in exactly one place on POSIX (files_posix.cpp).
// Thread-safe: each call is one system call or a few.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

enum : uint32_t {
  kErrSuccess = 0,
  kErrFileNotFound = 2,
  kErrPathNotFound = 3,
  kErrAccessDenied = 5,
  kErrSharingViolation = 32,
  kErrHandleDiskFull = 39,
  kErrDiskFull = 112,
  kErrAlreadyExists = 183,
  kErrFilenameExcedRange = 206,
};

bool PathExists(const std::wstring& path);      // file or folder (PathFileExistsW)
bool IsDirectory(const std::wstring& path);

// CreateDirectoryW: creates one folder. Returns kErrSuccess, or the error of the attempt
// (kErrAlreadyExists when it is already there, kErrDiskFull when the disk is full, ...).
uint32_t CreateOneDirectory(const std::wstring& path);

// Last error code of the calling thread in Windows numbering (GetLastError / errno mapped).
uint32_t LastErrorCode();
// Converts an errno value to the Windows numbering (identity on Windows for GetLastError).
uint32_t ErrnoToWinError(int err);

bool ReadWholeFile(const std::wstring& path, std::string* bytes);
// Writes to a temporary file beside the target, flushes it and replaces the target, so the
// target is either the old or the new content, never a torn one.
bool WriteFileAtomically(const std::wstring& path, const std::string& bytes);
bool RemoveFile(const std::wstring& path);
bool CopyOneFile(const std::wstring& from, const std::wstring& to, bool failIfExists);
// Size in bytes, or -1 when the file cannot be examined.
int64_t FileSize(const std::wstring& path);

}  // namespace platform
