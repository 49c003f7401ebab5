#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <easylogging++.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"

namespace platform {
namespace {

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return s;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The executable of a process, as its /proc link shows it (" (deleted)" removed); empty when
// the process is gone or not ours to look at.
std::string ExecutableOf(const std::string& pid) {
  std::string link = "/proc/" + pid + "/exe";
  char buf[4096];
  ssize_t n = ::readlink(link.c_str(), buf, sizeof(buf) - 1);
  if (n <= 0) return std::string();
  std::string path(buf, static_cast<size_t>(n));
  const std::string deleted = " (deleted)";
  if (path.size() > deleted.size() &&
      path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0) {
    path.resize(path.size() - deleted.size());
  }
  return path;
}

// False once the process has ended (gone, or a zombie waiting for its parent).
bool IsRunning(const std::string& pid) {
  std::ifstream stat("/proc/" + pid + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return false;
  const size_t paren = line.rfind(')');
  return paren == std::string::npos || paren + 2 >= line.size() || line[paren + 2] != 'Z';
}

// The first argument of a process (its program as started); empty when unreadable.
std::string FirstArgumentOf(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/cmdline", std::ios::binary);
  std::string first;
  std::getline(in, first, '\0');
  return first;
}

}  // namespace

uint32_t CurrentProcessId() { return static_cast<uint32_t>(::getpid()); }

bool ListProcesses(std::vector<ProcessEntry>* processes) {
  processes->clear();
  DIR* dir = ::opendir("/proc");
  if (dir == nullptr) return false;
  while (struct dirent* entry = ::readdir(dir)) {
    const char* id = entry->d_name;
    if (!std::isdigit(static_cast<unsigned char>(id[0]))) continue;
    std::string exe = ExecutableOf(id);
    if (exe.empty()) exe = FirstArgumentOf(id);
    if (exe.empty()) continue;  // a kernel thread, or gone meanwhile
    processes->push_back(
        {static_cast<uint32_t>(std::strtoul(id, nullptr, 10)), AnsiToWide(BaseName(exe))});
  }
  ::closedir(dir);
  return true;
}

int FindProcessByFullPath(const std::wstring& fullPath, bool terminateMatches,
                          bool includeTemporary) {
  const std::string full = Lower(NativePathBytes(fullPath));
  const std::string name = BaseName(full);
  std::string tmpName;
  if (includeTemporary && name.size() >= 3) tmpName = name.substr(0, name.size() - 3) + "tmp";

  DIR* dir = ::opendir("/proc");
  if (dir == nullptr) return -2;
  const pid_t self = ::getpid();
  int found = -1;
  while (struct dirent* entry = ::readdir(dir)) {
    const char* id = entry->d_name;
    if (!std::isdigit(static_cast<unsigned char>(id[0]))) continue;
    const std::string exe = ExecutableOf(id);
    if (exe.empty()) continue;
    const std::string exeName = Lower(BaseName(exe));
    if (exeName != name && (tmpName.empty() || exeName != tmpName)) continue;
    const int pid = std::atoi(id);
    LOG(INFO) << " Find proc: " << pid;
    if (pid == self) continue;
    const std::string module = Lower(exe);
    LOG(INFO) << " Get proc info: " << module.size() << ", " << 260;
    const bool match =
        module == full || (includeTemporary && module.find(".tmp") != std::string::npos);
    if (!match) continue;
    found = pid;
    if (terminateMatches) {
      const int rc = ::kill(pid, SIGKILL);
      LOG(INFO) << " Kill proc: " << (rc == 0 ? 1 : 0) << (rc == 0 ? 0 : errno);
      // Give the system a moment to release the image, as TerminateProcess does before the
      // handle is signalled.
      for (int i = 0; rc == 0 && i < 200 && IsRunning(id); ++i) ::usleep(5000);
    }
    if (!includeTemporary) break;
  }
  ::closedir(dir);
  return found;
}

}  // namespace platform
