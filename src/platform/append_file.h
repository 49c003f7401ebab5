// A file that grows only at its end: every Append lands after whatever is there at that moment,
// also when other processes append to it too (O_APPEND on POSIX, FILE_APPEND_DATA on Windows).
// Other processes may read, append to or delete it meanwhile.
// Threading: one object belongs to one thread at a time (callers serialise their appends).
// Ownership: the object owns its handle and closes it when destroyed.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile();
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens the file for appending, creating it when missing. kErrSuccess or the error.
  uint32_t Open(const std::wstring& path);
  bool IsOpen() const;
  // Writes all bytes at the end: kErrSuccess, or the error (kErrDiskFull, ...), after which the
  // end of the file may hold part of the bytes.
  uint32_t Append(const std::string& bytes);
  void Close();

 private:
  intptr_t handle_ = -1;
};

}  // namespace platform
