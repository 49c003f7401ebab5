// Drives and folders for the installer: which drive gets the download, which drives are
// solid-state, and creating a folder with all its parents. The choices are pure functions over
// platform::DriveInfo lists (what the tests drive); the live calls gather the list first.
// Drive roots are "X:\" on Windows and mount points with a trailing "/" on POSIX (see
// platform/drives.h); drive letters exist on Windows only, so the letter forms find nothing on
// POSIX and callers that must work everywhere use the root forms.
// Thread-safe: no state is kept.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/drives.h"

namespace FuntionImpl {

// The best drive for large files: among fixed drives not on USB whose free space is known, the
// first with the strictly largest free space (ties keep the earlier drive). Empty when none.
std::wstring PickLargestFreeDrive(const std::vector<platform::DriveInfo>& drives);
// The path with its drive root (pathRoot, a prefix of path) replaced by the best drive's root;
// unchanged when there is no best drive or pathRoot is not a prefix of path.
std::wstring RelocateToLargestFreeDrive(const std::wstring& path, const std::wstring& pathRoot,
                                        const std::vector<platform::DriveInfo>& drives);
// Live form: the path's root is platform::DriveRootOf(path) ("X:\", its first three characters,
// on Windows).
std::wstring RelocateToLargestFreeDrive(const std::wstring& path);

// Storage bus type (STORAGE_BUS_TYPE numbering, USB 7) of a drive letter; 0 for a character
// that is no letter and on any failure.
uint32_t GetStorageBusType(wchar_t driveLetter);
uint32_t GetStorageBusTypeOfRoot(const std::wstring& root);

// True when the drive reports no seek penalty; false on any failure.
bool IsSolidStateDrive(wchar_t driveLetter);
bool IsSolidStateDriveRoot(const std::wstring& root);

// The roots, in system order, of fixed, non-USB drives that report no seek penalty.
std::vector<std::wstring> SelectSolidStateDrives(const std::vector<platform::DriveInfo>& drives);
std::vector<std::wstring> ListSolidStateDriveRoots();
// The letters of those drives as one text ("CD"); roots without a letter are left out.
std::wstring ListSolidStateDrives();

// Creates one folder, returning a Windows system error code (0, 183 when it exists, 112 when
// the disk is full, ...). platform::CreateOneDirectory is the live one.
using CreateFolderFn = std::function<uint32_t(const std::wstring&)>;
// Creates every folder along the path ("\" and "/" both separate) and then the path itself.
// Returns the code of the last creation: 0 when the path was made, 183 when it was already
// there, 112 as soon as any level reports a full disk. 3 for an empty path.
uint32_t CreateDirectoryTree(const std::wstring& path, const CreateFolderFn& createFolder);
uint32_t CreateDirectoryTree(const std::wstring& path);

}  // namespace FuntionImpl
