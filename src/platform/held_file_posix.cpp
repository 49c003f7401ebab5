#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "platform/files.h"
#include "platform/held_file.h"
#include "platform/md5.h"
#include "platform/paths.h"

namespace platform {
namespace {

int64_t Nanoseconds(const struct timespec& t) {
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

}  // namespace

HeldFile::~HeldFile() { Release(); }

uint32_t HeldFile::Hold(const std::wstring& path) {
  Release();
  const int fd = ::open(NativePathBytes(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return ErrnoToWinError(errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return kErrAccessDenied;
  }
  // Our own download: runnable by its owner, writable by nobody else from now on.
  if (st.st_uid == ::geteuid()) {
    const mode_t wanted = (st.st_mode & 07777 & ~static_cast<mode_t>(S_IWGRP | S_IWOTH)) | S_IXUSR;
    if (wanted != (st.st_mode & 07777) && ::fchmod(fd, wanted) != 0) {
      const int err = errno;
      ::close(fd);
      return ErrnoToWinError(err);
    }
    if (::fstat(fd, &st) != 0) {
      ::close(fd);
      return ErrnoToWinError(errno);
    }
  }
  handle_ = fd;
  path_ = path;
  size_ = static_cast<int64_t>(st.st_size);
  modified_ = Nanoseconds(st.st_mtim);
  return kErrSuccess;
}

int64_t HeldFile::Size() const {
  struct stat st;
  if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &st) != 0) return -1;
  return static_cast<int64_t>(st.st_size);
}

bool HeldFile::Md5Hex(std::string* hex) {
  hex->clear();
  if (handle_ < 0) return false;
  Md5 md5;
  std::vector<char> chunk(1u << 20);
  bool ok = md5.ok();
  off_t offset = 0;
  while (ok) {
    const ssize_t n = ::pread(static_cast<int>(handle_), chunk.data(), chunk.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    offset += n;
    ok = md5.Update(chunk.data(), static_cast<size_t>(n));
  }
  uint8_t digest[16];
  if (!ok || !md5.Finish(digest)) return false;
  *hex = DigestToHex(digest);
  return true;
}

bool HeldFile::Unchanged() const {
  struct stat st;
  if (handle_ < 0 || ::fstat(static_cast<int>(handle_), &st) != 0) return false;
  // Size and modification time move with every write. The change time is no guide: it also
  // moves when the path is renamed away or unlinked, which leaves the held bytes alone. Setting
  // the modification time back takes the owner, whom nothing on this system can stop anyway.
  return static_cast<int64_t>(st.st_size) == size_ && Nanoseconds(st.st_mtim) == modified_;
}

void HeldFile::Release() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
  path_.clear();
  size_ = -1;
}

}  // namespace platform
