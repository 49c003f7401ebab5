#include "system/storage.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace {

using platform::DriveInfo;

DriveInfo Drive(const wchar_t* root, uint32_t type, uint32_t bus, uint64_t freeBytes,
                bool seekPenalty = true, bool freeKnown = true) {
  DriveInfo d;
  d.root = root;
  d.type = type;
  d.busType = bus;
  d.freeBytesKnown = freeKnown;
  d.freeBytes = freeBytes;
  d.seekPenaltyKnown = true;
  d.seekPenalty = seekPenalty;
  return d;
}

const uint32_t kFixed = platform::kDriveFixed;

TEST(RelocateToLargestFreeDrive, StrictlyLargestFixedNonUsbDriveWins) {
  std::vector<DriveInfo> drives = {
      Drive(L"C:\\", kFixed, platform::kBusSata, 100),
      Drive(L"D:\\", kFixed, platform::kBusNvme, 300),
      Drive(L"E:\\", kFixed, platform::kBusUsb, 900),                     // USB disk: never
      Drive(L"F:\\", platform::kDriveRemovable, platform::kBusUsb, 800),  // stick: never
      Drive(L"G:\\", platform::kDriveRemote, 0, 700),
      Drive(L"H:\\", kFixed, platform::kBusSata, 300),  // tie with D: keeps D:
  };
  EXPECT_EQ(FuntionImpl::RelocateToLargestFreeDrive(L"C:\\RORezivuduza\\setup", L"C:\\", drives),
            L"D:\\RORezivuduza\\setup");
}

TEST(RelocateToLargestFreeDrive, TiesKeepTheEarlierDrive) {
  std::vector<DriveInfo> drives = {Drive(L"C:\\", kFixed, 0, 500), Drive(L"D:\\", kFixed, 11, 500)};
  EXPECT_EQ(FuntionImpl::PickLargestFreeDrive(drives), L"C:\\");
  EXPECT_EQ(FuntionImpl::RelocateToLargestFreeDrive(L"D:\\x\\y", L"D:\\", drives), L"C:\\x\\y");
}

TEST(RelocateToLargestFreeDrive, UsbOnlyMachineLeavesThePathUnchanged) {
  std::vector<DriveInfo> drives = {Drive(L"C:\\", kFixed, platform::kBusUsb, 1000)};
  EXPECT_EQ(FuntionImpl::RelocateToLargestFreeDrive(L"C:\\RORezivuduza\\a", L"C:\\", drives),
            L"C:\\RORezivuduza\\a");
  EXPECT_EQ(FuntionImpl::RelocateToLargestFreeDrive(L"C:\\a", L"C:\\", {}), L"C:\\a");
}

TEST(RelocateToLargestFreeDrive, DrivesWithUnknownFreeSpaceAreSkipped) {
  std::vector<DriveInfo> drives = {Drive(L"C:\\", kFixed, 11, 0, true, false),
                                   Drive(L"D:\\", kFixed, 11, 0)};
  EXPECT_EQ(FuntionImpl::PickLargestFreeDrive(drives), L"D:\\");
}

TEST(RelocateToLargestFreeDrive, WorksOnMountPointRoots) {
  std::vector<DriveInfo> drives = {Drive(L"/", kFixed, 14, 10), Drive(L"/data/", kFixed, 17, 99)};
  EXPECT_EQ(FuntionImpl::RelocateToLargestFreeDrive(L"/RORezivuduza\\setup", L"/", drives),
            L"/data/RORezivuduza\\setup");
}

TEST(RelocateToLargestFreeDrive, PathOutsideItsRootIsLeftAlone) {
  std::vector<DriveInfo> drives = {Drive(L"D:\\", kFixed, 11, 99)};
  EXPECT_EQ(FuntionImpl::RelocateToLargestFreeDrive(L"relative\\x", L"", drives), L"relative\\x");
  EXPECT_EQ(FuntionImpl::RelocateToLargestFreeDrive(L"C:", L"C:\\", drives), L"C:");
}

TEST(RelocateToLargestFreeDrive, LiveResultKeepsTheRestOfThePath) {
  testsupport::TempDir dir;
  std::wstring path = dir.path() + L"RORezivuduza";
  std::wstring moved = FuntionImpl::RelocateToLargestFreeDrive(path);
  std::wstring tail = L"RORezivuduza";
  ASSERT_GE(moved.size(), tail.size());
  EXPECT_EQ(moved.substr(moved.size() - tail.size()), tail);
}

TEST(SolidStateDrives, SelectsFixedNonUsbDrivesWithoutSeekPenalty) {
  std::vector<DriveInfo> drives = {
      Drive(L"C:\\", kFixed, platform::kBusNvme, 1, false),
      Drive(L"D:\\", kFixed, platform::kBusSata, 1, true),  // spinning disk
      Drive(L"E:\\", kFixed, platform::kBusUsb, 1, false),  // USB SSD
      Drive(L"F:\\", platform::kDriveRemovable, platform::kBusSd, 1, false),
      Drive(L"G:\\", kFixed, platform::kBusSata, 1, false),
  };
  drives.push_back(Drive(L"H:\\", kFixed, platform::kBusSata, 1, false));
  drives.back().seekPenaltyKnown = false;  // the query failed: not an SSD
  std::vector<std::wstring> expected = {L"C:\\", L"G:\\"};
  EXPECT_EQ(FuntionImpl::SelectSolidStateDrives(drives), expected);
}

TEST(SolidStateDrives, LettersComeOnlyFromLetterRoots) {
  std::wstring letters = FuntionImpl::ListSolidStateDrives();
  for (wchar_t c : letters) {
    EXPECT_TRUE((c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'));
  }
}

TEST(DriveQueries, NonLettersGiveTheFailureResults) {
  for (wchar_t c : {L'1', L'?', L'*', L'\0', L'\\'}) {
    EXPECT_EQ(FuntionImpl::GetStorageBusType(c), 0u);
    EXPECT_FALSE(FuntionImpl::IsSolidStateDrive(c));
  }
  EXPECT_EQ(FuntionImpl::GetStorageBusTypeOfRoot(L""), 0u);
  EXPECT_FALSE(FuntionImpl::IsSolidStateDriveRoot(L""));
}

// Records every folder asked for and answers from a script.
struct FakeFolders {
  std::vector<std::wstring> asked;
  uint32_t fullFrom = 0;  // 1-based call number from which the disk is full; 0 never
  uint32_t answer = 0;
  uint32_t operator()(const std::wstring& folder) {
    asked.push_back(folder);
    if (fullFrom && asked.size() >= fullFrom) return platform::kErrDiskFull;
    return answer;
  }
};

TEST(CreateDirectoryTree, CreatesEveryLevelThenThePath) {
  FakeFolders fake;
  uint32_t rc = FuntionImpl::CreateDirectoryTree(L"C:\\a/b\\c",
                                                 [&](const std::wstring& f) { return fake(f); });
  EXPECT_EQ(rc, 0u);
  std::vector<std::wstring> expected = {L"C:\\", L"C:\\a/", L"C:\\a/b\\", L"C:\\a/b\\c"};
  EXPECT_EQ(fake.asked, expected);
}

TEST(CreateDirectoryTree, FullDiskStopsEarlyWith112) {
  FakeFolders fake;
  fake.fullFrom = 2;
  uint32_t rc = FuntionImpl::CreateDirectoryTree(L"C:\\a\\b\\c\\d",
                                                 [&](const std::wstring& f) { return fake(f); });
  EXPECT_EQ(rc, 112u);
  EXPECT_EQ(fake.asked.size(), 2u);  // nothing deeper was tried
}

TEST(CreateDirectoryTree, ReturnsTheLastCreationsCode) {
  FakeFolders fake;
  fake.answer = platform::kErrAlreadyExists;
  EXPECT_EQ(
      FuntionImpl::CreateDirectoryTree(L"C:\\a\\", [&](const std::wstring& f) { return fake(f); }),
      183u);
  EXPECT_EQ(fake.asked.back(), L"C:\\a\\");
  EXPECT_EQ(FuntionImpl::CreateDirectoryTree(L"", [&](const std::wstring& f) { return fake(f); }),
            platform::kErrPathNotFound);
}

TEST(CreateDirectoryTree, CreatesRealNestedFolders) {
  testsupport::TempDir dir;
  std::wstring path = dir.path() + L"one\\two/three";
  EXPECT_EQ(FuntionImpl::CreateDirectoryTree(path), 0u);
  EXPECT_TRUE(platform::IsDirectory(path));
  EXPECT_EQ(FuntionImpl::CreateDirectoryTree(path), platform::kErrAlreadyExists);
  EXPECT_TRUE(platform::IsDirectory(path));
}

}  // namespace
