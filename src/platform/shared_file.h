// A file that several threads of one download write into at their own offsets, with the
// open errors of the Windows numbering (a file held by a running program reports
// kErrSharingViolation on both systems: Windows for a file another process opened without
// write sharing, POSIX for an executable that is running, ETXTBSY). Offsets are 64-bit.
//
// Threading: WriteAt may be called from several threads at once (positional writes, no shared
// file pointer); Open and Close belong to one owner thread while no writer runs.
// Ownership: the object owns its descriptor and closes it when destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class SharedFile {
 public:
  SharedFile() = default;
  ~SharedFile();
  SharedFile(const SharedFile&) = delete;
  SharedFile& operator=(const SharedFile&) = delete;

  // Opens for reading and writing; keepExisting keeps the bytes of an existing file ("rb+"),
  // otherwise the file is created or truncated ("wb+"). Returns kErrSuccess or the error.
  uint32_t Open(const std::wstring& path, bool keepExisting);
  bool IsOpen() const;
  // Writes size bytes at offset. Returns the count written (short on a full disk or an I/O
  // error, with *error set to its code; *error is kErrSuccess otherwise).
  size_t WriteAt(int64_t offset, const void* data, size_t size, uint32_t* error);
  // Size in bytes of the open file, -1 when unknown.
  int64_t Size() const;
  // Cuts (or extends) the open file to size bytes. kErrSuccess or the error.
  uint32_t Truncate(int64_t size);
  void Close();

 private:
  intptr_t handle_ = -1;
};

// True when the file can be opened for reading (the "rb" probe before choosing a mode).
bool CanOpenForReading(const std::wstring& path);

}  // namespace platform
