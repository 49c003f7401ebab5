#include <gtest/gtest.h>
#include <sys/statvfs.h>

#include "platform/drives.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/temp_dir.h"

namespace {

TEST(PosixDrives, RootsAreMountedFoldersWithTrailingSlash) {
  std::vector<std::wstring> roots = platform::ListDriveRoots();
  for (const std::wstring& root : roots) {
    ASSERT_FALSE(root.empty());
    EXPECT_EQ(root[0], L'/');
    EXPECT_EQ(root.back(), L'/');
    EXPECT_TRUE(platform::IsDirectory(root)) << platform::WideToUtf8(root);
    EXPECT_NE(platform::GetDriveKind(root), platform::kDriveNoRootDir);
    EXPECT_NE(root, L"/proc/");
    EXPECT_NE(root, L"/sys/");
  }
  std::vector<platform::DriveInfo> drives = platform::DescribeDrives();
  ASSERT_EQ(drives.size(), roots.size());
  for (size_t i = 0; i < drives.size(); ++i) {
    EXPECT_EQ(drives[i].root, roots[i]);
    if (drives[i].type == platform::kDriveFixed) {
      EXPECT_TRUE(drives[i].freeBytesKnown);
    }
  }
}

TEST(PosixDrives, KindsOfNonDiskMounts) {
  EXPECT_EQ(platform::GetDriveKind(L"/no-such-mount-point/"), platform::kDriveNoRootDir);
  EXPECT_EQ(platform::GetDriveKind(L"/proc/"), platform::kDriveUnknown);
  EXPECT_EQ(platform::QueryStorageBusType(L"/proc/"), platform::kBusUnknown);
  bool seek = true;
  EXPECT_FALSE(platform::QuerySeekPenalty(L"/proc/", &seek));
  EXPECT_FALSE(seek);
}

TEST(PosixDrives, DriveRootOfIsTheLongestMountPrefix) {
  EXPECT_EQ(platform::DriveRootOf(L"/proc/self/status"), L"/proc/");
  EXPECT_EQ(platform::DriveRootOf(L"\\proc\\self"), L"/proc/");
  EXPECT_EQ(platform::DriveRootOf(L"/procfoo/x"), L"/");  // not a component boundary
  EXPECT_EQ(platform::DriveRootOf(L"/"), L"/");
  EXPECT_EQ(platform::DriveRootOf(L"relative/path"), L"");
  EXPECT_EQ(platform::DriveRootOf(L""), L"");
  testsupport::TempDir dir;
  std::wstring root = platform::DriveRootOf(dir.path());
  ASSERT_FALSE(root.empty());
  EXPECT_EQ(dir.path().compare(0, root.size(), root), 0);
}

TEST(PosixDrives, FreeBytesMatchStatvfs) {
  testsupport::TempDir dir;
  uint64_t bytes = 0;
  ASSERT_TRUE(platform::GetFreeBytesAvailable(dir.path(), &bytes));
  struct statvfs st;
  ASSERT_EQ(statvfs(platform::WideToUtf8(dir.path()).c_str(), &st), 0);
  uint64_t expected = static_cast<uint64_t>(st.f_bavail) * st.f_frsize;
  uint64_t slack = 64ull << 20;  // other processes write meanwhile
  EXPECT_LE(bytes, expected + slack);
  EXPECT_GE(bytes + slack, expected);
  EXPECT_FALSE(platform::GetFreeBytesAvailable(L"/no/such/folder", &bytes));
  EXPECT_EQ(bytes, 0u);
}

}  // namespace
