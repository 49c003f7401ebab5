#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_lock.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace platform {

FileLock::~FileLock() { Close(); }

uint32_t FileLock::Open(const std::wstring& path) {
  Close();
  int fd;
  do {
    fd = ::open(NativePathBytes(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return ErrnoToWinError(errno);
  handle_ = fd;
  return kErrSuccess;
}

bool FileLock::IsOpen() const { return handle_ >= 0; }

bool FileLock::TryLock() {
  if (handle_ < 0) return false;
  if (locked_) return true;
  int rc;
  do {
    rc = ::flock(static_cast<int>(handle_), LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  locked_ = rc == 0;
  return locked_;
}

void FileLock::Unlock() {
  if (handle_ >= 0 && locked_) ::flock(static_cast<int>(handle_), LOCK_UN);
  locked_ = false;
}

bool FileLock::WriteContent(const std::string& bytes) {
  if (handle_ < 0) return false;
  const int fd = static_cast<int>(handle_);
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
}

bool FileLock::ReadContent(std::string* bytes, size_t maxBytes) {
  bytes->clear();
  if (handle_ < 0) return false;
  bytes->resize(maxBytes);
  ssize_t n;
  do {
    n = ::pread(static_cast<int>(handle_), &(*bytes)[0], maxBytes, 0);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    bytes->clear();
    return false;
  }
  bytes->resize(static_cast<size_t>(n));
  return true;
}

void FileLock::Close() {
  Unlock();
  if (handle_ >= 0) ::close(static_cast<int>(handle_));  // drops the lock with the descriptor
  handle_ = -1;
}

}  // namespace platform
