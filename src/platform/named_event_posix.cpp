#include <easylogging++.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/named_event.h"
#include "platform/paths.h"
#include "platform/runtime_path_posix.h"
#include "platform/text.h"

namespace platform {
namespace {

class FileEvent : public NamedEvent {
 public:
  explicit FileEvent(int fd) : fd_(fd) {}
  ~FileEvent() override { ::close(fd_); }  // drops this handle's shared lock
  bool Set() override { return Write('1'); }
  bool Reset() override { return Write('0'); }
  bool IsSignalled() override {
    char state = 0;
    return ::pread(fd_, &state, 1, 0) == 1 && state == '1';
  }

 private:
  bool Write(char state) { return ::pwrite(fd_, &state, 1, 0) == 1; }
  int fd_;
};

}  // namespace

std::unique_ptr<NamedEvent> CreateNamedEvent(const std::wstring& name, bool initialState,
                                             bool* alreadyExisted) {
  *alreadyExisted = false;
  const std::string path = RuntimeObjectPath(L"event", name);
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    LOG(INFO) << " Cannot open event file " << path << ": " << std::strerror(errno);
    return nullptr;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
    // Nobody holds it: a file left by an earlier run is stale, so this is a new event.
    const char state = initialState ? '1' : '0';
    if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, &state, 1, 0) != 1) {
      LOG(INFO) << " Cannot write event file " << path << ": " << std::strerror(errno);
      ::close(fd);
      return nullptr;
    }
  } else if (errno == EWOULDBLOCK) {
    *alreadyExisted = true;
  } else {
    LOG(INFO) << " Cannot lock event file " << path << ": " << std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  // Converting to a shared lock can wait only for a creator between its two steps above. The
  // conversion is not atomic, so two creators in the same instant may both start it afresh;
  // with the same initial state that is harmless.
  if (::flock(fd, LOCK_SH) != 0) {
    LOG(INFO) << " Cannot share event file " << path << ": " << std::strerror(errno);
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<FileEvent>(fd);
}

}  // namespace platform
