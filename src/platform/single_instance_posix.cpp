#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/paths.h"
#include "platform/runtime_path_posix.h"
#include "platform/single_instance.h"
#include "platform/text.h"

namespace platform {
namespace {

// An flock is released by the kernel when the holder dies, like a named mutex whose last
// handle closes; a lock file left behind by a dead holder therefore does not block anyone.
class FlockMutex : public NamedMutex {
 public:
  explicit FlockMutex(int fd) : fd_(fd) {}
  ~FlockMutex() override { Release(); }
  void Release() override {
    if (fd_ >= 0) {
      ::close(fd_);  // drops the lock with the descriptor
      fd_ = -1;
    }
  }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<NamedMutex> CreateNamedMutex(const std::wstring& name, bool* alreadyExisted) {
  *alreadyExisted = false;
  const std::string path = RuntimeObjectPath(L"lock", name);
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    // Held by another process: the object "already exists" and ownership was not taken.
    *alreadyExisted = (errno == EWOULDBLOCK);
    if (!*alreadyExisted) {
      ::close(fd);
      return nullptr;
    }
  }
  return std::make_unique<FlockMutex>(fd);
}

bool ActivateWindowByClass(const std::wstring& /*className*/) {
  // No window system lookup natively: a running instance is found through the lock alone.
  return false;
}

}  // namespace platform
