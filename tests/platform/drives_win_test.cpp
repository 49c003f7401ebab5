#include <gtest/gtest.h>

#include "platform/drives.h"
#include "platform/paths.h"

namespace {

TEST(WinDrives, SystemDriveIsAFixedLetterRoot) {
  std::wstring system = platform::GetWindowsDir().substr(0, 3);
  ASSERT_EQ(system.size(), 3u);
  std::vector<std::wstring> roots = platform::ListDriveRoots();
  bool found = false;
  for (const std::wstring& root : roots) {
    EXPECT_EQ(root.size(), 3u);
    EXPECT_EQ(root.substr(1), L":\\");
    if (_wcsicmp(root.c_str(), system.c_str()) == 0) found = true;
  }
  EXPECT_TRUE(found);
  EXPECT_EQ(platform::GetDriveKind(system), platform::kDriveFixed);
  uint64_t freeBytes = 0;
  EXPECT_TRUE(platform::GetFreeBytesAvailable(system, &freeBytes));
  EXPECT_GT(freeBytes, 0u);
}

TEST(WinDrives, DriveRootIsTheFirstThreeCharacters) {
  EXPECT_EQ(platform::DriveRootOf(L"C:\\Users\\x\\AppData"), L"C:\\");
  EXPECT_EQ(platform::DriveRootOf(L"D:"), L"D:");
  EXPECT_EQ(platform::GetDriveKind(L"Q:\\"), platform::kDriveNoRootDir);
  EXPECT_EQ(platform::QueryStorageBusType(L"Q:\\"), platform::kBusUnknown);
}

}  // namespace
