#include <dirent.h>
#include <easylogging++.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/drives.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace platform {
namespace {

struct Mount {
  unsigned major = 0;
  unsigned minor = 0;
  std::string target;  // decoded mount point, no trailing "/" except for "/" itself
  std::string fsType;
  std::string source;
};

// /proc/self/mountinfo writes blanks, tabs, newlines and backslashes in paths as \ooo.
std::string DecodeOctal(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '3' &&
        text[i + 2] >= '0' && text[i + 2] <= '7' && text[i + 3] >= '0' && text[i + 3] <= '7') {
      out.push_back(static_cast<char>((text[i + 1] - '0') * 64 + (text[i + 2] - '0') * 8 +
                                      (text[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

std::vector<Mount> ReadMounts() {
  std::vector<Mount> mounts;
  std::ifstream in("/proc/self/mountinfo");
  if (!in) {
    LOG(INFO) << " Cannot read /proc/self/mountinfo";
    return mounts;
  }
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string id, parent, devno, root, target, options;
    if (!(fields >> id >> parent >> devno >> root >> target >> options)) continue;
    std::string word;
    while (fields >> word && word != "-") {
    }
    Mount m;
    if (!(fields >> m.fsType >> m.source)) continue;
    if (std::sscanf(devno.c_str(), "%u:%u", &m.major, &m.minor) != 2) continue;
    m.target = DecodeOctal(target);
    m.source = DecodeOctal(m.source);
    mounts.push_back(m);
  }
  return mounts;
}

std::string RootOfTarget(const std::string& target) {
  return target == "/" ? target : target + "/";
}

std::string ReadFirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  if (in) std::getline(in, line);
  return line;
}

bool IsDir(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string RealPath(const std::string& path) {
  char buf[PATH_MAX];
  if (!::realpath(path.c_str(), buf)) return std::string();
  return buf;
}

// The sysfs folder of the whole disk behind a block device number, or empty when the number
// is no block device (virtual file systems have numbers without a sysfs entry).
std::string DiskDirOf(unsigned major, unsigned minor) {
  std::string dev =
      RealPath("/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
  if (dev.empty()) return std::string();
  if (::access((dev + "/partition").c_str(), F_OK) == 0) {
    size_t slash = dev.find_last_of('/');
    if (slash != std::string::npos) dev.resize(slash);
  }
  return dev;
}

std::string BaseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Name of the first entry of a folder other than "." and ".."; empty when there is none.
std::string FirstEntry(const std::string& dir) {
  DIR* d = ::opendir(dir.c_str());
  if (!d) return std::string();
  std::string found;
  while (struct dirent* e = ::readdir(d)) {
    std::string n = e->d_name;
    if (n != "." && n != "..") {
      found = n;
      break;
    }
  }
  ::closedir(d);
  return found;
}

uint32_t BusOfDiskDir(const std::string& diskDir, int depth) {
  std::string name = BaseName(diskDir);
  // Device-mapper volumes (LVM, dm-crypt) live on the bus of what they map; the first
  // underlying device answers, since a volume spread over several buses has no single one.
  if (name.compare(0, 3, "dm-") == 0) {
    if (depth >= 4) return kBusUnknown;
    std::string slave = FirstEntry(diskDir + "/slaves");
    if (slave.empty()) return kBusUnknown;
    std::string slaveDir = RealPath(diskDir + "/slaves/" + slave);
    if (slaveDir.empty()) return kBusUnknown;
    if (::access((slaveDir + "/partition").c_str(), F_OK) == 0) {
      slaveDir.resize(slaveDir.find_last_of('/'));
    }
    return BusOfDiskDir(slaveDir, depth + 1);
  }
  if (name.compare(0, 6, "mmcblk") == 0 && ReadFirstLine(diskDir + "/device/type") == "MMC") {
    return kBusMmc;  // soldered eMMC rather than an SD card
  }
  return BusTypeFromSysfsDiskPath(diskDir);
}

const Mount* FindMountAt(const std::vector<Mount>& mounts, const std::string& root) {
  std::string target = root;
  while (target.size() > 1 && target.back() == '/') target.pop_back();
  const Mount* found = nullptr;
  for (const Mount& m : mounts) {
    if (m.target == target) found = &m;  // a later mount on the same point hides the earlier
  }
  return found;
}

uint32_t KindOf(const Mount& m) {
  std::string disk = DiskDirOf(m.major, m.minor);
  if (!disk.empty()) {
    std::string name = BaseName(disk);
    if (name.compare(0, 2, "sr") == 0 || m.major == 11) return kDriveCdrom;
    if (ReadFirstLine(disk + "/removable") == "1") return kDriveRemovable;
    return kDriveFixed;
  }
  const std::string& t = m.fsType;
  if (t == "nfs" || t == "nfs4" || t == "cifs" || t == "smb3" || t == "smbfs" || t == "9p" ||
      t == "fuse.sshfs" || t == "afs" || t == "ceph" || t == "glusterfs") {
    return kDriveRemote;
  }
  if (t == "tmpfs" || t == "ramfs") return kDriveRamdisk;
  return kDriveUnknown;
}

std::string NativeRoot(const std::wstring& root) {
  return NativePathBytes(root);
}

}  // namespace

std::vector<std::wstring> ListDriveRoots() {
  std::vector<Mount> mounts = ReadMounts();
  std::vector<std::wstring> roots;
  for (size_t i = 0; i < mounts.size(); ++i) {
    const Mount& m = mounts[i];
    // Only the mount that is visible at a point counts; earlier ones are hidden by it.
    if (FindMountAt(mounts, m.target) != &m) continue;
    if (DiskDirOf(m.major, m.minor).empty()) continue;
    if (!IsDir(m.target)) continue;  // a file bind-mounted from a disk is no drive
    roots.push_back(AnsiToWide(RootOfTarget(m.target)));
  }
  return roots;
}

uint32_t GetDriveKind(const std::wstring& root) {
  std::vector<Mount> mounts = ReadMounts();
  const Mount* m = FindMountAt(mounts, NativeRoot(root));
  return m ? KindOf(*m) : kDriveNoRootDir;
}

uint32_t QueryStorageBusType(const std::wstring& root) {
  std::vector<Mount> mounts = ReadMounts();
  const Mount* m = FindMountAt(mounts, NativeRoot(root));
  if (!m) return kBusUnknown;
  std::string disk = DiskDirOf(m->major, m->minor);
  return disk.empty() ? kBusUnknown : BusOfDiskDir(disk, 0);
}

bool QuerySeekPenalty(const std::wstring& root, bool* seekPenalty) {
  *seekPenalty = false;
  std::vector<Mount> mounts = ReadMounts();
  const Mount* m = FindMountAt(mounts, NativeRoot(root));
  if (!m) return false;
  std::string disk = DiskDirOf(m->major, m->minor);
  if (disk.empty()) return false;
  std::string rotational = ReadFirstLine(disk + "/queue/rotational");
  if (rotational != "0" && rotational != "1") return false;
  *seekPenalty = rotational == "1";
  return true;
}

bool GetFreeBytesAvailable(const std::wstring& path, uint64_t* freeBytes) {
  *freeBytes = 0;
  struct statvfs st;
  if (::statvfs(NativePathBytes(path).c_str(), &st) != 0) return false;
  *freeBytes = static_cast<uint64_t>(st.f_bavail) * static_cast<uint64_t>(st.f_frsize);
  return true;
}

std::wstring DriveRootOf(const std::wstring& path) {
  std::string native = NativePathBytes(path);
  if (native.empty() || native[0] != '/') return std::wstring();
  std::string best = "/";
  for (const Mount& m : ReadMounts()) {
    const std::string& t = m.target;
    if (t.size() <= best.size() || t == "/") continue;
    bool prefix = native.compare(0, t.size(), t) == 0 &&
                  (native.size() == t.size() || native[t.size()] == '/');
    if (prefix) best = t;
  }
  return AnsiToWide(RootOfTarget(best));
}

}  // namespace platform
