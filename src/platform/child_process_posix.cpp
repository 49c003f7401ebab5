#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/child_process.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"

extern char** environ;

namespace platform {

ChildProcess::~ChildProcess() = default;

uint32_t ChildProcess::StartHeld(HeldFile& image, const std::wstring& commandLine) {
  if (started_) return kErrAccessDenied;
  if (!image.IsHeld()) return kErrFileNotFound;
  if (!image.Unchanged()) return kErrHeldFileChanged;
  std::vector<std::string> bytes;
  bytes.push_back(NativePathBytes(image.Path()));
  for (const std::wstring& arg : SplitCommandLineVerbatim(commandLine)) {
    // Arguments leave with the file system's separators, as every path does on this side.
    bytes.push_back(WideToUtf8(NativePath(arg)));
  }
  std::vector<char*> argv;
  for (std::string& b : bytes) argv.push_back(&b[0]);
  argv.push_back(nullptr);
  // The descriptor itself is the program: the path may name another file by now. Its
  // close-on-exec flag keeps it out of the child once the image is loaded.
  const std::string program = "/proc/self/fd/" + std::to_string(image.NativeHandle());
  pid_t pid = 0;
  const int rc = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (rc != 0) return ErrnoToWinError(rc);
  if (!image.Unchanged()) {
    // Rewritten between the last look and the start: the running image is not the checked one.
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return kErrHeldFileChanged;
  }
  started_ = true;
  id_ = static_cast<uint32_t>(pid);
  return kErrSuccess;
}

ChildProcess::WaitResult ChildProcess::Wait(uint32_t ms) {
  if (!started_) return WaitResult::kFailed;
  if (ended_) return WaitResult::kEnded;
  const uint32_t start = TickCount();
  for (;;) {
    int status = 0;
    const pid_t got = ::waitpid(static_cast<pid_t>(id_), &status, WNOHANG);
    if (got == static_cast<pid_t>(id_)) {
      ended_ = true;
      exitCode_ = WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status))
                                    : 128u + static_cast<uint32_t>(WTERMSIG(status));
      return WaitResult::kEnded;
    }
    if (got < 0 && errno != EINTR) return WaitResult::kFailed;
    const uint32_t waited = TickCount() - start;
    if (waited >= ms) return WaitResult::kStillRunning;
    const uint32_t left = ms - waited;
    SleepMs(left < 10 ? left : 10);
  }
}

bool ChildProcess::ExitCode(uint32_t* code) const {
  if (!ended_) return false;
  *code = exitCode_;
  return true;
}

}  // namespace platform
