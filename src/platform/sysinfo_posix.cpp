#include <dirent.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/paths.h"
#include "platform/sysinfo.h"
#include "platform/text.h"

namespace platform {
namespace {

// The first of the variables that is set and not empty, as POSIX locale lookup does.
std::string FirstLocaleVar(const char* a, const char* b, const char* c) {
  for (const char* name : {a, b, c}) {
    const char* value = std::getenv(name);
    if (value && *value) return value;
  }
  return std::string();
}

std::string UiLocale() {
  return FirstLocaleVar("LC_ALL", "LC_MESSAGES", "LANG");
}
std::string FormatsLocale() {
  return FirstLocaleVar("LC_ALL", "LC_TIME", "LANG");
}

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  if (in) std::getline(in, line);
  return line;
}

// The root file system's device number from /proc/self/mountinfo (the last mount on "/").
bool RootDevice(unsigned* major, unsigned* minor, std::string* source, std::string* fsType) {
  std::ifstream in("/proc/self/mountinfo");
  std::string line;
  bool found = false;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, devno, root, target, options, word;
    if (!(fields >> id >> parent >> devno >> root >> target >> options)) continue;
    if (target != "/") continue;
    while (fields >> word && word != "-") {
    }
    std::string type, src;
    if (!(fields >> type >> src)) continue;
    unsigned ma = 0, mi = 0;
    if (std::sscanf(devno.c_str(), "%u:%u", &ma, &mi) != 2) continue;
    *major = ma;
    *minor = mi;
    *source = src;
    *fsType = type;
    found = true;
  }
  return found;
}

bool ReadAtOffset(int fd, uint64_t offset, size_t size, void* out) {
  size_t done = 0;
  while (done < size) {
    ssize_t n =
        ::pread(fd, static_cast<char*>(out) + done, size - done, static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string FormatUuid(const unsigned char* u) {
  char buf[40];
  std::snprintf(buf, sizeof(buf),
                "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", u[0], u[1],
                u[2], u[3], u[4], u[5], u[6], u[7], u[8], u[9], u[10], u[11], u[12], u[13], u[14],
                u[15]);
  return buf;
}

struct ReadContext {
  int fd;
};

bool ReadAtFd(void* context, uint64_t offset, size_t size, void* out) {
  return ReadAtOffset(static_cast<ReadContext*>(context)->fd, offset, size, out);
}

std::string UuidFromSuperblock(const std::string& device) {
  int fd = ::open(device.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::string();
  ReadContext context{fd};
  std::string uuid = ReadFileSystemUuid(&ReadAtFd, &context);
  ::close(fd);
  return uuid;
}

// Newer kernels hand out a file system's UUID to any process that can open a file on it
// (FS_IOC_GETFSUUID, Linux 6.5); older headers do not name the call yet.
struct FsUuid {
  unsigned char len;
  unsigned char uuid[16];
};
constexpr unsigned long kGetFsUuid = _IOR(0x15, 0, FsUuid);

std::string UuidFromKernel(const char* path) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_DIRECTORY);
  if (fd < 0) return std::string();
  FsUuid answer = {};
  answer.len = 16;
  int rc = ::ioctl(fd, kGetFsUuid, &answer);
  ::close(fd);
  if (rc != 0 || answer.len != 16) return std::string();
  return FormatUuid(answer.uuid);
}

// The root file system's UUID: from /dev/disk/by-uuid, the kernel, or its superblock.
std::string FindRootFileSystemUuid() {
  unsigned major = 0, minor = 0;
  std::string source, fsType;
  if (!RootDevice(&major, &minor, &source, &fsType)) return std::string();
  dev_t wanted = makedev(major, minor);
  if (DIR* dir = ::opendir("/dev/disk/by-uuid")) {
    std::string found;
    while (struct dirent* e = ::readdir(dir)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      struct stat st;
      if (::stat(("/dev/disk/by-uuid/" + name).c_str(), &st) == 0 && S_ISBLK(st.st_mode) &&
          st.st_rdev == wanted) {
        found = name;
        break;
      }
    }
    ::closedir(dir);
    if (!found.empty()) return found;
  }
  std::string fromKernel = UuidFromKernel("/");
  if (!fromKernel.empty()) return fromKernel;
  // No udev links (containers, minimal systems): the block device itself, when readable.
  for (const std::string& device :
       {std::string("/dev/block/") + std::to_string(major) + ":" + std::to_string(minor), source}) {
    struct stat st;
    if (::stat(device.c_str(), &st) != 0 || !S_ISBLK(st.st_mode) || st.st_rdev != wanted) {
      continue;
    }
    std::string uuid = UuidFromSuperblock(device);
    if (!uuid.empty()) return uuid;
  }
  return std::string();
}

// A file system made without a UUID reports zeros; that names no volume, and as a machine id
// it would be shared by every such machine.
std::string RootFileSystemUuid() {
  std::string uuid = FindRootFileSystemUuid();
  if (uuid.find_first_not_of("0-") == std::string::npos) return std::string();
  return uuid;
}

}  // namespace

uint16_t GetUserUiLanguageId() {
  return LanguageIdFromLocaleName(UiLocale());
}

uint32_t GetUserLocaleId() {
  return LanguageIdFromLocaleName(FormatsLocale());
}

std::wstring GetUserNationIso2() {
  std::string region = RegionFromLocaleName(FormatsLocale());
  if (region.empty()) region = RegionFromLocaleName(UiLocale());
  return AnsiToWide(region);
}

bool GetNtVersionNumbers(uint32_t* major, uint32_t* minor) {
  *major = 0;
  *minor = 0;
  return false;  // no Windows kernel here
}

bool QueryClassicVersion(ClassicVersion* version) {
  *version = ClassicVersion();
  return false;  // no Windows version to report
}

std::string DescribeOperatingSystem() {
  std::string text;
  struct utsname u;
  if (::uname(&u) == 0) text = std::string(u.sysname) + " " + u.release + " " + u.machine;
  std::ifstream in("/etc/os-release");
  std::string line;
  while (std::getline(in, line)) {
    if (line.compare(0, 12, "PRETTY_NAME=") != 0) continue;
    std::string name = line.substr(12);
    if (name.size() >= 2 && (name[0] == '"' || name[0] == '\'') && name.back() == name[0]) {
      name = name.substr(1, name.size() - 2);
    }
    text += " (" + name + ")";
    break;
  }
  return text;
}

bool IsOperatingSystem64Bit() {
  if (sizeof(void*) == 8) return true;
  struct utsname u;
  if (::uname(&u) != 0) return false;
  std::string m = u.machine;
  return m == "x86_64" || m == "aarch64" || m == "arm64" || m == "ppc64" || m == "ppc64le" ||
         m == "s390x" || m == "riscv64" || m == "mips64" || m == "sparc64" || m == "loongarch64";
}

bool IsWow64Process() {
  return sizeof(void*) == 4 && IsOperatingSystem64Bit();
}

bool QueryScreenFacts(ScreenFacts* facts) {
  *facts = ScreenFacts();
  DIR* dir = ::opendir("/sys/class/drm");
  if (!dir) return false;
  std::vector<std::string> connectors;
  while (struct dirent* e = ::readdir(dir)) {
    std::string name = e->d_name;
    // Connectors are named like card0-HDMI-A-1.
    if (name.compare(0, 4, "card") == 0 && name.find('-') != std::string::npos) {
      connectors.push_back(name);
    }
  }
  ::closedir(dir);
  std::sort(connectors.begin(), connectors.end());
  for (const std::string& c : connectors) {
    std::string base = "/sys/class/drm/" + c;
    if (ReadFirstLine(base + "/status") != "connected") continue;
    // The first listed mode is the preferred one, which is what the console runs.
    std::string mode = ReadFirstLine(base + "/modes");
    int w = 0, h = 0;
    if (std::sscanf(mode.c_str(), "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0) continue;
    facts->modeWidth = w;
    facts->modeHeight = h;
    facts->monitorWidth = w;  // no desktop scaling is known at this level
    return true;
  }
  return false;
}

bool GetSystemVolumeName(std::wstring* volumeName) {
  volumeName->clear();
  std::string uuid = RootFileSystemUuid();
  if (uuid.empty()) return false;
  *volumeName = L"\\\\?\\Volume{" + AnsiToWide(uuid) + L"}\\";
  return true;
}

bool GetSystemVolumeSerial(uint32_t* serial) {
  *serial = 0;
  std::string uuid = RootFileSystemUuid();
  std::string hex;
  for (char c : uuid) {
    if (std::isxdigit(static_cast<unsigned char>(c))) hex.push_back(c);
    if (hex.size() == 8) break;
  }
  if (hex.size() != 8) return false;
  *serial = static_cast<uint32_t>(std::strtoul(hex.c_str(), nullptr, 16));
  return true;
}

bool ReadFileVersionInfo(const std::wstring& path, FileVersionInfo* info) {
  *info = FileVersionInfo();
  int fd = ::open(NativePathBytes(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  ReadContext context{fd};
  std::string block;
  bool found = FindPeVersionResource(&ReadAtFd, &context, &block);
  ::close(fd);
  return found && ParseVersionBlock(block, info);
}

}  // namespace platform
