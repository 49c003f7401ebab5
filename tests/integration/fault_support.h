// What the fault tables share: the saved plan of a task file as the next round will see it,
// the ranges a round asked for that such a plan already holds, a disk that fills up, and a
// running program that holds the download file. POSIX only; one test thread at a time.
#pragma once

#include <fcntl.h>
#include <json/json.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "tests/download/engine_test_support.h"

extern char** environ;

namespace faulttest {

// One slice of a saved plan: where its next byte goes (one past its end when done).
struct SavedSlice {
  int64_t start, end, next;
};

inline int64_t Element(const std::string& text, const std::string& name, size_t from, size_t to) {
  const std::string open = "<" + name + ">";
  const size_t at = text.find(open, from);
  if (at == std::string::npos || at > to) return -1;
  return std::atoll(text.c_str() + at + open.size());
}

inline std::vector<SavedSlice> SavedPlan(const std::wstring& taskFile) {
  const std::string text = enginetest::ReadFile(taskFile);
  std::vector<SavedSlice> slices;
  size_t at = 0;
  while ((at = text.find("<Task>", at)) != std::string::npos) {
    const size_t end = text.find("</Task>", at);
    if (end == std::string::npos) break;
    SavedSlice s{Element(text, "StartPos", at, end), Element(text, "EndPos", at, end),
                 Element(text, "DownloadedPos", at, end)};
    if (Element(text, "TaskStatus", at, end) == 1) s.next = s.end + 1;
    slices.push_back(s);
    at = end;
  }
  return slices;
}

inline int64_t HeldBytes(const std::vector<SavedSlice>& plan) {
  int64_t held = 0;
  for (const SavedSlice& s : plan) held += s.next - s.start;
  return held;
}

// The Range headers of the GETs of `path` among the simulator's recorded requests that start
// inside bytes the saved plan already holds.
inline std::vector<std::string> RangesAskedAgain(const Json::Value& requests,
                                                 const std::string& path,
                                                 const std::vector<SavedSlice>& saved) {
  std::vector<std::string> again;
  for (const auto& request : requests) {
    if (request["method"].asString() != "GET" || request["path"].asString() != path) continue;
    std::string range;
    for (const auto& h : request["headers"]) {
      if (h[0].asString() == "Range") range = h[1].asString();
    }
    long long first = -1;
    if (std::sscanf(range.c_str(), "bytes=%lld-", &first) != 1) continue;
    for (const SavedSlice& s : saved) {
      if (first >= s.start && first <= s.end && first < s.next) again.push_back(range);
    }
  }
  return again;
}

// A disk that fills up after `room` bytes of the folder: a tmpfs of that size where mounting
// is allowed (CI runs as root), else a file size limit on this process.
class FullDisk {
 public:
  FullDisk(const std::string& folder, int64_t room) : folder_(folder) {
    std::filesystem::create_directories(folder_);
    const std::string size = "size=" + std::to_string(room);
    mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, size.c_str()) == 0;
    if (!mounted_) {
      oldXfsz_ = ::signal(SIGXFSZ, SIG_IGN);
      ::getrlimit(RLIMIT_FSIZE, &saved_);
      rlimit limit = saved_;
      limit.rlim_cur = static_cast<rlim_t>(room);
      limited_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
  }
  ~FullDisk() {
    Free();
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool ok() const { return mounted_ || limited_; }
  // True when the drive itself is full (free space shows it), not only this process's limit.
  bool mounted() const { return mounted_; }
  // Makes room for the whole download again.
  void Free() {
    if (mounted_) ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT, "size=64m");
    if (limited_) {
      ::setrlimit(RLIMIT_FSIZE, &saved_);
      ::signal(SIGXFSZ, oldXfsz_);
      limited_ = false;
    }
  }

 private:
  std::string folder_;
  bool mounted_ = false;
  bool limited_ = false;
  rlimit saved_{};
  void (*oldXfsz_)(int) = SIG_DFL;
};

// A running program whose image is `path` (a copy of sleep): opening the file for writing
// fails (ETXTBSY) until that program has ended. -1 when it could not be started.
inline pid_t RunProgramFrom(const std::string& path) {
  std::filesystem::copy_file("/bin/sleep", std::filesystem::path(path),
                             std::filesystem::copy_options::overwrite_existing);
  ::chmod(path.c_str(), 0755);
  char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>("30"), nullptr};
  pid_t pid = -1;
  if (::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0) return -1;
  for (int i = 0; i < 100; ++i) {
    std::error_code ec;
    if (std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec) ==
        std::filesystem::path(path)) {
      break;
    }
    platform::SleepMs(10);
  }
  return pid;
}

// Ends a program RunProgramFrom started if it still runs.
inline void EndProgram(pid_t* pid) {
  if (*pid <= 0) return;
  ::kill(*pid, SIGKILL);
  ::waitpid(*pid, nullptr, 0);
  *pid = -1;
}

}  // namespace faulttest
