// An exclusive lock held on a file, shared by every process of this machine: flock on POSIX,
// LockFileEx on Windows (on one byte far past any content, so the file stays readable). The
// system drops the lock when its holder dies, so a lock file left behind blocks nobody.
//
// The file may carry a short text of its owner (WriteContent / ReadWholeFile of files.h).
// Threading: one object belongs to one thread at a time; two objects on the same file exclude
// each other also inside one process.
// Ownership: the object owns its handle; destroying it releases the lock and closes the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class FileLock {
 public:
  FileLock() = default;
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Opens the file, creating it when missing. kErrSuccess or the error (files.h numbering).
  uint32_t Open(const std::wstring& path);
  bool IsOpen() const;
  // Takes the lock if nobody holds it; never waits.
  bool TryLock();
  // Takes the lock, waiting for at most timeoutMs. False on time-out or error.
  bool Lock(uint32_t timeoutMs);
  void Unlock();
  bool IsLocked() const { return locked_; }
  // Writes the bytes at the start of the file in one write and cuts the file after them (a
  // content of fixed width is therefore never seen half-replaced by a reader).
  bool WriteContent(const std::string& bytes);
  // Reads up to maxBytes from the start of the file.
  bool ReadContent(std::string* bytes, size_t maxBytes);
  void Close();

 private:
  intptr_t handle_ = -1;
  bool locked_ = false;
};

}  // namespace platform
