#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <easylogging++.h>

#include <string>
#include <vector>

#include "platform/launch.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/text.h"

extern char** environ;

namespace platform {
namespace {

// Starts the program (searched on PATH when it has no slash) in a session of its own,
// detached from this process. The spawn error, 0 when it started.
int SpawnDetached(const std::string& program, std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(&a[0]);
  argv.push_back(nullptr);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  return rc;
}

// The desktop's opener, when one is installed.
bool XdgOpen(const std::string& target) {
  const int rc = SpawnDetached("xdg-open", {"xdg-open", target});
  if (rc != 0) LOG(INFO) << " No desktop opener (xdg-open) for " << target;
  return rc == 0;
}

bool IsExecutableFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

}  // namespace

bool ShellOpen(const std::wstring& target) {
  const bool looksLikePath = !target.empty() && (target[0] == L'/' || target[0] == L'\\');
  if (!looksLikePath) return XdgOpen(WideToUtf8(target));
  // Opening a program runs it, as the Windows shell does; no desktop opener is needed.
  const std::string path = WideToUtf8(NativePath(target));
  if (!IsExecutableFile(path)) return XdgOpen(path);
  const int rc = SpawnDetached(path, {path});
  if (rc != 0) LOG(INFO) << " Could not start " << path << ", error " << rc;
  return rc == 0;
}

bool ShowInFileManager(const std::wstring& file) {
  // Open the folder; file managers have no common way to select one file.
  std::string path = WideToUtf8(NativePath(file));
  const size_t slash = path.rfind('/');
  return XdgOpen(slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1));
}

bool StartSelfHidden(const std::wstring& arguments) {
  // No windows to hide here: a plain child in a session of its own.
  return StartProcess(L"\"" + GetModulePath() + L"\" " + arguments, std::wstring()) == 0;
}

bool BrowseForFolder(unsigned /*flags*/, std::wstring* /*folder*/) {
  LOG(INFO) << " No folder chooser on this system";
  return false;
}

void ShowPlainMessageBox(void* /*ownerHandle*/, const std::wstring& text,
                         const std::wstring& caption) {
  LOG(INFO) << " Message box (no window system): " << WideToUtf8(caption) << " "
            << WideToUtf8(text);
}

// The Windows environment name of that folder, as APPDATA is honoured for the data folder;
// /opt, the home of add-on software packages, otherwise.
std::wstring ProgramFilesFolder() {
  std::wstring dir = GetEnvVar(L"ProgramFiles");
  while (dir.size() > 1 && (dir.back() == L'/' || dir.back() == L'\\')) dir.pop_back();
  return dir.empty() ? L"/opt" : dir;
}

}  // namespace platform
