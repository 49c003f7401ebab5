#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/paths.h"

namespace platform {
namespace {

thread_local uint32_t g_lastError = 0;

uint32_t Fail(int err) {
  g_lastError = ErrnoToWinError(err);
  return g_lastError;
}

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

uint32_t ErrnoToWinError(int err) {
  switch (err) {
    case 0: return kErrSuccess;
    case ENOENT: return kErrPathNotFound;
    case ENOTDIR: return kErrPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS: return kErrAccessDenied;
    case EEXIST: return kErrAlreadyExists;
    case ENOSPC:
    case EDQUOT: return kErrDiskFull;
    case ENAMETOOLONG: return kErrFilenameExcedRange;
    case EBUSY:
    case ETXTBSY: return kErrSharingViolation;
    default: return 31;  // ERROR_GEN_FAILURE
  }
}

uint32_t LastErrorCode() { return g_lastError; }

bool PathExists(const std::wstring& path) {
  struct stat st;
  return ::stat(NativePathBytes(path).c_str(), &st) == 0;
}

bool IsDirectory(const std::wstring& path) {
  struct stat st;
  return ::stat(NativePathBytes(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

uint32_t CreateOneDirectory(const std::wstring& path) {
  std::string native = NativePathBytes(path);
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  if (::mkdir(native.c_str(), 0755) == 0) {
    g_lastError = kErrSuccess;
    return kErrSuccess;
  }
  return Fail(errno);
}

bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
  bytes->clear();
  int fd = ::open(NativePathBytes(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    Fail(errno);
    return false;
  }
  char buf[65536];
  for (;;) {
    ssize_t n = ::read(fd, buf, sizeof(buf));
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    bytes->append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  return true;
}

bool WriteFileAtomically(const std::wstring& path, const std::string& bytes) {
  std::string target = NativePathBytes(path);
  std::string temp = target + ".tmp" + std::to_string(::getpid());
  int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    Fail(errno);
    return false;
  }
  bool ok = WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
  int err = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(temp.c_str(), target.c_str()) == 0) {
    g_lastError = kErrSuccess;
    return true;
  }
  if (ok) err = errno;
  ::unlink(temp.c_str());
  Fail(err);
  return false;
}

bool RemoveFile(const std::wstring& path) {
  if (::unlink(NativePathBytes(path).c_str()) == 0) return true;
  Fail(errno);
  return false;
}

bool CopyOneFile(const std::wstring& from, const std::wstring& to, bool failIfExists) {
  int in = ::open(NativePathBytes(from).c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    Fail(errno);
    return false;
  }
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (failIfExists ? O_EXCL : O_TRUNC);
  int out = ::open(NativePathBytes(to).c_str(), flags, 0644);
  if (out < 0) {
    Fail(errno);
    ::close(in);
    return false;
  }
  char buf[65536];
  bool ok = true;
  for (;;) {
    ssize_t n = ::read(in, buf, sizeof(buf));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || (n > 0 && !WriteAll(out, buf, static_cast<size_t>(n)))) {
      Fail(errno);
      ok = false;
      break;
    }
    if (n == 0) break;
  }
  ::close(in);
  if (::close(out) != 0 && ok) {
    Fail(errno);
    ok = false;
  }
  return ok;
}

int64_t FileSize(const std::wstring& path) {
  struct stat st;
  if (::stat(NativePathBytes(path).c_str(), &st) != 0) {
    Fail(errno);
    return -1;
  }
  return static_cast<int64_t>(st.st_size);
}

}  // namespace platform
