// The system-independent part of the drive facts.
#include "platform/drives.h"

namespace platform {
namespace {

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

}  // namespace

uint32_t BusTypeFromSysfsDiskPath(const std::string& diskPath) {
  size_t slash = diskPath.find_last_of('/');
  std::string name = slash == std::string::npos ? diskPath : diskPath.substr(slash + 1);
  if (StartsWith(name, "dm-")) return kBusUnknown;
  if (StartsWith(name, "md")) return kBusRaid;
  // A bridge in between decides: a SATA or NVMe disk in a USB enclosure is a USB disk.
  if (Contains(diskPath, "/usb")) return kBusUsb;
  if (StartsWith(name, "nvme") || Contains(diskPath, "/nvme")) return kBusNvme;
  if (StartsWith(name, "mmcblk")) return kBusSd;
  if (Contains(diskPath, "/ata")) return kBusSata;
  if (Contains(diskPath, "/session")) return kBusIscsi;
  if (Contains(diskPath, "/end_device-")) return kBusSas;
  if (Contains(diskPath, "/host") && Contains(diskPath, "/target")) return kBusScsi;
  if (StartsWith(name, "loop")) return kBusFileBackedVirtual;
  // A hypervisor's paravirtual disk, or a memory-backed one: virtual either way.
  if (Contains(diskPath, "/virtio") || StartsWith(name, "xvd") || Contains(diskPath, "/xen") ||
      Contains(diskPath, "/devices/virtual/block/")) {
    return kBusVirtual;
  }
  return kBusUnknown;
}

// The facts the drive choices need, gathered per root with the calls above.
std::vector<DriveInfo> DescribeDrives() {
  std::vector<DriveInfo> drives;
  for (const std::wstring& root : ListDriveRoots()) {
    DriveInfo d;
    d.root = root;
    d.type = GetDriveKind(root);
    if (d.type == kDriveFixed) {
      d.busType = QueryStorageBusType(root);
      d.seekPenaltyKnown = QuerySeekPenalty(root, &d.seekPenalty);
      d.freeBytesKnown = GetFreeBytesAvailable(root, &d.freeBytes);
    }
    drives.push_back(d);
  }
  return drives;
}

}  // namespace platform
