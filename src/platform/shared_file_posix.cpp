#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shared_file.h"

namespace platform {

SharedFile::~SharedFile() { Close(); }

uint32_t SharedFile::Open(const std::wstring& path, bool keepExisting) {
  Close();
  int flags = O_RDWR | O_CLOEXEC | O_CREAT;
  if (!keepExisting) flags |= O_TRUNC;
  int fd;
  do {
    fd = ::open(NativePathBytes(path).c_str(), flags, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return ErrnoToWinError(errno);
  handle_ = fd;
  return kErrSuccess;
}

bool SharedFile::IsOpen() const { return handle_ >= 0; }

size_t SharedFile::WriteAt(int64_t offset, const void* data, size_t size, uint32_t* error) {
  *error = kErrSuccess;
  if (handle_ < 0 || offset < 0) {
    *error = 6;  // ERROR_INVALID_HANDLE
    return 0;
  }
  const char* p = static_cast<const char*>(data);
  size_t done = 0;
  while (done < size) {
    ssize_t n = ::pwrite(static_cast<int>(handle_), p + done, size - done,
                         static_cast<off_t>(offset + static_cast<int64_t>(done)));
    if (n < 0) {
      if (errno == EINTR) continue;
      *error = ErrnoToWinError(errno);
      break;
    }
    if (n == 0) {
      *error = kErrDiskFull;
      break;
    }
    done += static_cast<size_t>(n);
  }
  return done;
}

int64_t SharedFile::Size() const {
  struct stat st;
  if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

uint32_t SharedFile::Truncate(int64_t size) {
  if (handle_ < 0 || size < 0) return 6;  // ERROR_INVALID_HANDLE
  int rc;
  do {
    rc = ::ftruncate(static_cast<int>(handle_), static_cast<off_t>(size));
  } while (rc != 0 && errno == EINTR);
  return rc == 0 ? kErrSuccess : ErrnoToWinError(errno);
}

void SharedFile::Close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

bool CanOpenForReading(const std::wstring& path) {
  int fd = ::open(NativePathBytes(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace platform
