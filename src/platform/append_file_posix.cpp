#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/append_file.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace platform {

AppendFile::~AppendFile() { Close(); }

uint32_t AppendFile::Open(const std::wstring& path) {
  Close();
  int fd;
  do {
    fd = ::open(NativePathBytes(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return ErrnoToWinError(errno);
  handle_ = fd;
  return kErrSuccess;
}

bool AppendFile::IsOpen() const { return handle_ >= 0; }

uint32_t AppendFile::Append(const std::string& bytes) {
  if (handle_ < 0) return 6;  // ERROR_INVALID_HANDLE
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(static_cast<int>(handle_), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    // A zero-length write counts as a full disk; EFBIG (a size limit) as well.
    if (n == 0 || (n < 0 && errno == EFBIG)) return kErrDiskFull;
    if (n < 0) return ErrnoToWinError(errno);
    done += static_cast<size_t>(n);
  }
  return kErrSuccess;
}

void AppendFile::Close() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

}  // namespace platform
