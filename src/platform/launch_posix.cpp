#include <spawn.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/launch.h"
#include "platform/paths.h"
#include "platform/text.h"

extern char** environ;

namespace platform {
namespace {

uint32_t Spawn(const std::vector<std::wstring>& args, const std::wstring& workingFolder,
               bool ownSession) {
  if (args.empty()) return ErrnoToWinError(ENOENT);
  std::vector<std::string> bytes;
  for (const std::wstring& a : args) bytes.push_back(WideToUtf8(a));
  bytes[0] = WideToUtf8(NativePath(args[0]));
  std::vector<char*> argv;
  for (std::string& b : bytes) argv.push_back(&b[0]);
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!workingFolder.empty())
    posix_spawn_file_actions_addchdir_np(&actions, WideToUtf8(NativePath(workingFolder)).c_str());
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  if (ownSession) posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  // glibc reports a failed exec here, so a started child is a running program. A missing
  // program reads as the system's "file not found", as creating a process from one does there.
  if (rc == ENOENT) return 2;
  return rc == 0 ? 0 : ErrnoToWinError(rc);
}

}  // namespace

uint32_t StartProcess(const std::wstring& commandLine, const std::wstring& workingFolder) {
  return Spawn(SplitCommandLine(commandLine), workingFolder, false);
}

uint32_t StartThroughShell(const std::wstring& quotedPath) {
  const std::vector<std::wstring> args = SplitCommandLine(quotedPath);
  if (args.empty()) return ErrnoToWinError(ENOENT);
  return Spawn({args[0]}, std::wstring(), true);
}

}  // namespace platform
