#include "system/storage.h"

#include <easylogging++.h>

#include "platform/files.h"
#include "platform/text.h"

namespace FuntionImpl {
namespace {

bool IsDriveLetter(wchar_t c) {
  return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

std::wstring RootOfLetter(wchar_t letter) {
  std::wstring root = L"?:\\";
  root[0] = letter;
  return root;
}

}  // namespace

std::wstring PickLargestFreeDrive(const std::vector<platform::DriveInfo>& drives) {
  const platform::DriveInfo* best = nullptr;
  for (const platform::DriveInfo& d : drives) {
    if (d.type != platform::kDriveFixed || d.busType == platform::kBusUsb) continue;
    if (!d.freeBytesKnown) continue;
    if (!best || d.freeBytes > best->freeBytes) best = &d;
  }
  return best ? best->root : std::wstring();
}

std::wstring RelocateToLargestFreeDrive(const std::wstring& path, const std::wstring& pathRoot,
                                        const std::vector<platform::DriveInfo>& drives) {
  if (pathRoot.empty() || path.compare(0, pathRoot.size(), pathRoot) != 0) {
    LOG(INFO) << " RelocateToLargestFreeDrive: path has no drive root: "
              << platform::WideToUtf8(path);
    return path;
  }
  std::wstring best = PickLargestFreeDrive(drives);
  if (best.empty()) return path;
  return best + path.substr(pathRoot.size());
}

std::wstring RelocateToLargestFreeDrive(const std::wstring& path) {
  return RelocateToLargestFreeDrive(path, platform::DriveRootOf(path), platform::DescribeDrives());
}

uint32_t GetStorageBusTypeOfRoot(const std::wstring& root) {
  return platform::QueryStorageBusType(root);
}

uint32_t GetStorageBusType(wchar_t driveLetter) {
  if (!IsDriveLetter(driveLetter)) {
    LOG(INFO) << " GetStorageBusType: not a drive letter: " << static_cast<uint32_t>(driveLetter);
    return 0;
  }
  return GetStorageBusTypeOfRoot(RootOfLetter(driveLetter));
}

bool IsSolidStateDriveRoot(const std::wstring& root) {
  bool seekPenalty = true;
  if (!platform::QuerySeekPenalty(root, &seekPenalty)) return false;
  return !seekPenalty;
}

bool IsSolidStateDrive(wchar_t driveLetter) {
  if (!IsDriveLetter(driveLetter)) return false;
  return IsSolidStateDriveRoot(RootOfLetter(driveLetter));
}

std::vector<std::wstring> SelectSolidStateDrives(const std::vector<platform::DriveInfo>& drives) {
  std::vector<std::wstring> roots;
  for (const platform::DriveInfo& d : drives) {
    if (d.type != platform::kDriveFixed || d.busType == platform::kBusUsb) continue;
    if (d.seekPenaltyKnown && !d.seekPenalty) roots.push_back(d.root);
  }
  return roots;
}

std::vector<std::wstring> ListSolidStateDriveRoots() {
  return SelectSolidStateDrives(platform::DescribeDrives());
}

std::wstring ListSolidStateDrives() {
  std::wstring letters;
  for (const std::wstring& root : ListSolidStateDriveRoots()) {
    if (root.size() >= 2 && IsDriveLetter(root[0]) && root[1] == L':') letters.push_back(root[0]);
  }
  return letters;
}

uint32_t CreateDirectoryTree(const std::wstring& path, const CreateFolderFn& createFolder) {
  if (path.empty() || !createFolder) {
    LOG(INFO) << " CreateDirectoryTree: empty path";
    return platform::kErrPathNotFound;
  }
  std::wstring sofar;
  for (wchar_t c : path) {
    sofar.push_back(c);
    if (c != L'\\' && c != L'/') continue;
    // Existing folders and roots that cannot be created are expected here; only a full disk
    // makes going deeper pointless.
    if (createFolder(sofar) == platform::kErrDiskFull) {
      LOG(INFO) << " CreateDirectoryTree: disk full at " << platform::WideToUtf8(sofar);
      return platform::kErrDiskFull;
    }
  }
  return createFolder(path);
}

uint32_t CreateDirectoryTree(const std::wstring& path) {
  return CreateDirectoryTree(
      path, [](const std::wstring& folder) { return platform::CreateOneDirectory(folder); });
}

}  // namespace FuntionImpl
