// A file held open for checking and running: from Hold until Release nobody can swap the bytes
// that were checked for other bytes before they run.
//
// Windows opens the file with read sharing only, so while it is held every attempt to open it
// for writing, to delete it or to rename it fails with a sharing violation, and a file that
// someone already has open for writing cannot be held at all. The digest and the signature are
// read through the held handle and ChildProcess starts the same path while the handle is open.
//
// POSIX has no sharing modes: a writer with permission on the file can still open it while it
// is held. What the POSIX side does instead: it holds the open descriptor, so a rename or a
// replacement of the path no longer matters (the descriptor keeps the checked file, and the
// child is started from the descriptor itself); it takes the write bits of group and others
// away (our own download), so other users cannot open it for writing from then on; and it
// remembers size and modification time, so an in-place rewrite by anyone is detected
// (Unchanged) before the start and right after it, and such a file is not run. Once the child
// runs, the kernel refuses writes to its image (ETXTBSY).
//
// Threading: one owner thread. Ownership: the object owns the handle and closes it in Release
// or when destroyed.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The held file changed after it was checked (POSIX detection); Windows numbering of
// ERROR_INVALID_DATA.
constexpr uint32_t kErrHeldFileChanged = 13;

class HeldFile {
 public:
  HeldFile() = default;
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  // Opens the file for reading and running and holds it (see above). kErrSuccess, or the error
  // (kErrSharingViolation when someone has it open for writing on Windows; kErrAccessDenied for
  // something that is not a regular file).
  uint32_t Hold(const std::wstring& path);
  bool IsHeld() const { return handle_ != -1; }
  const std::wstring& Path() const { return path_; }

  // Size of the held file in bytes; -1 when unknown.
  int64_t Size() const;
  // MD5 of the held bytes, read from the start through the held handle, as 32 lower-case
  // hexadecimal characters. False (and *hex empty) when it could not be read to its end.
  bool Md5Hex(std::string* hex);
  // True while the held bytes are the ones seen at Hold (always true on Windows while held,
  // where nobody can write them; POSIX compares size and modification time).
  bool Unchanged() const;

  // HANDLE on Windows, file descriptor on POSIX; -1 when not held.
  intptr_t NativeHandle() const { return handle_; }
  void Release();

 private:
  intptr_t handle_ = -1;
  std::wstring path_;
  // Size and modification time seen at Hold (POSIX; Windows keeps the size).
  int64_t size_ = -1;
  int64_t modified_ = 0;
};

}  // namespace platform
