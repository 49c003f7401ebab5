// Logical drives: which there are, what kind, on which bus, whether they seek, how much room.
//
// A "drive root" is what a path's drive part is on each system:
//   Windows: the letter root "X:\" as GetLogicalDriveStringsW lists it.
//   POSIX:   the mount point of a real block-device file system, with a trailing "/" ("/" for
//            the root file system, "/home/" for a separate home, ...). Mounts of virtual file
//            systems (proc, tmpfs, overlay, ...) and bind mounts of single files are no drives.
// Kinds use the Windows numbering on every system (DRIVE_* and STORAGE_BUS_TYPE), derived on
// POSIX from /proc/self/mounts and /sys/block (removable flag, rotational flag, device path).
// Thread-safe: every call asks the system afresh and keeps no state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// GetDriveTypeW numbering.
enum : uint32_t {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdrom = 5,
  kDriveRamdisk = 6,
};

// STORAGE_BUS_TYPE numbering.
enum : uint32_t {
  kBusUnknown = 0,
  kBusScsi = 1,
  kBusAtapi = 2,
  kBusAta = 3,
  kBus1394 = 4,
  kBusSsa = 5,
  kBusFibre = 6,
  kBusUsb = 7,
  kBusRaid = 8,
  kBusIscsi = 9,
  kBusSas = 10,
  kBusSata = 11,
  kBusSd = 12,
  kBusMmc = 13,
  kBusVirtual = 14,
  kBusFileBackedVirtual = 15,
  kBusSpaces = 16,
  kBusNvme = 17,
};

// Everything the drive choices need about one drive, gathered in one go so the decisions can be
// made (and tested) over plain values.
struct DriveInfo {
  std::wstring root;
  uint32_t type = kDriveUnknown;
  uint32_t busType = kBusUnknown;  // kBusUnknown also when the query failed
  bool seekPenaltyKnown = false;
  bool seekPenalty = false;
  bool freeBytesKnown = false;
  uint64_t freeBytes = 0;  // available to the caller
};

// Drive roots in the order the system lists them.
std::vector<std::wstring> ListDriveRoots();

// GetDriveTypeW of a root; kDriveNoRootDir when the root does not exist.
uint32_t GetDriveKind(const std::wstring& root);

// The bus the drive's device hangs on; kBusUnknown when the device cannot be opened or asked.
uint32_t QueryStorageBusType(const std::wstring& root);

// Whether the drive's device reports a seek penalty (spinning media). False when unknown.
bool QuerySeekPenalty(const std::wstring& root, bool* seekPenalty);

// Free bytes available to the calling user on the drive holding the path (GetDiskFreeSpaceExW).
bool GetFreeBytesAvailable(const std::wstring& path, uint64_t* freeBytes);

// The drive root a path lies on. Windows: its first three characters, as they are. POSIX: the
// longest mount point (of any file system, so that every absolute path has a root) that is a
// prefix of the path, with a trailing "/"; "\" counts as "/". Empty for a relative path.
std::wstring DriveRootOf(const std::wstring& path);

// The bus a Linux sysfs disk folder stands on, judged by the device path the kernel files it
// under ("/sys/devices/pci0000:00/0000:00:14.0/usb2/.../block/sdb" is USB). Plain text work, so
// it is available (and testable) everywhere; device-mapper volumes ("dm-N") give kBusUnknown
// here, the POSIX drive calls follow them to the disk below.
uint32_t BusTypeFromSysfsDiskPath(const std::string& diskPath);

// All drives with every fact above, in ListDriveRoots order. Bus and seek penalty are asked
// of fixed drives only: asking an empty card reader or an optical drive can stall for seconds.
std::vector<DriveInfo> DescribeDrives();

}  // namespace platform
