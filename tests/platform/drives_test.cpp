#include "platform/drives.h"

#include <gtest/gtest.h>

namespace {

TEST(SysfsBusType, JudgesTheBusByTheDevicePath) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"/sys/devices/pci0000:00/0000:00:14.0/usb2/2-1/2-1:1.0/host6/target6:0:0/6:0:0:0/block/sdb",
       platform::kBusUsb},
      {"/sys/devices/pci0000:00/0000:00:17.0/ata3/host2/target2:0:0/2:0:0:0/block/sda",
       platform::kBusSata},
      {"/sys/devices/pci0000:00/0000:00:1d.0/0000:3d:00.0/nvme/nvme0/nvme0n1", platform::kBusNvme},
      {"/sys/devices/virtual/block/nvme0n1", platform::kBusNvme},
      {"/sys/devices/pci0000:00/0000:00:1a.0/usb1/1-1/1-1:1.0/host3/target3:0:0/3:0:0:0/block/sdc",
       platform::kBusUsb},
      {"/sys/devices/platform/soc/fe340000.mmc/mmc_host/mmc1/mmc1:0001/block/mmcblk1",
       platform::kBusSd},
      {"/sys/devices/pci0000:00/0000:00:02.0/virtio1/block/vda", platform::kBusVirtual},
      {"/sys/devices/pci0000:00/0000:00:03.0/virtio2/host0/target0:0:0/0:0:0:0/block/sda",
       platform::kBusScsi},
      {"/sys/devices/pci0000:00/0000:00:10.0/host0/port-0:0/end_device-0:0/target0:0:0/0:0:0:0/"
       "block/sda",
       platform::kBusSas},
      {"/sys/devices/platform/host7/session1/target7:0:0/7:0:0:0/block/sdd", platform::kBusIscsi},
      {"/sys/devices/virtual/block/loop0", platform::kBusFileBackedVirtual},
      {"/sys/devices/virtual/block/md0", platform::kBusRaid},
      {"/sys/devices/virtual/block/dm-0", platform::kBusUnknown},
      {"/sys/devices/virtual/block/zram0", platform::kBusVirtual},
      {"/sys/devices/vbd-51712/block/xvda", platform::kBusVirtual},
      {"", platform::kBusUnknown},
      {"sda", platform::kBusUnknown},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(platform::BusTypeFromSysfsDiskPath(c.first), c.second) << c.first;
  }
}

}  // namespace
