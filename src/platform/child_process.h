// A started program that is waited for with a time-out and whose exit code is read: the silent
// product installer. The image is a held file (held_file.h), started while it is held, so what
// runs is what was checked.
//
// Windows: CreateProcessW with the held path as image name and the given command line,
// inheritable process and thread attributes, handle inheritance on, CREATE_DEFAULT_ERROR_MODE.
// POSIX: the command line is split into arguments (blanks separate, double quotes group and are
// dropped, backslashes are plain characters, as the installer reads its own line; then "\" becomes
// "/" as in every path handed to this system), argument 0 is the held path, and the program is started from the held descriptor (/proc/self/fd), so a
// rename or replacement of the path cannot change what runs; a file whose bytes changed while
// held is refused, and a start that raced with such a change is ended at once.
//
// Threading: one owner thread. Ownership: the object owns the process handle (closed when
// destroyed); destroying it never ends the program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/held_file.h"

namespace platform {

class ChildProcess {
 public:
  enum class WaitResult { kEnded, kStillRunning, kFailed };

  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts the held file with the command line (which, as on Windows, may start with a blank
  // for an empty program name). kErrSuccess, or the system error; kErrHeldFileChanged when the
  // held bytes changed.
  uint32_t StartHeld(HeldFile& image, const std::wstring& commandLine);
  bool IsStarted() const { return started_; }
  uint32_t Id() const { return id_; }

  // Waits at most ms for the program to end.
  WaitResult Wait(uint32_t ms);
  // The exit code once it ended (POSIX: 128 + the signal for a program ended by a signal).
  bool ExitCode(uint32_t* code) const;

 private:
  bool started_ = false;
  bool ended_ = false;
  uint32_t id_ = 0;
  uint32_t exitCode_ = 0;
  intptr_t handle_ = -1;  // process handle (Windows)
};

// The arguments of a command line the way a raw reader sees them: blanks separate outside
// double quotes, double quotes group and are dropped, backslashes are plain characters.
std::vector<std::wstring> SplitCommandLineVerbatim(const std::wstring& commandLine);

}  // namespace platform
