// The checks the installer window runs before it starts the install thread: the product must
// not be running, the chosen folder must be usable, the disks must have room, a solid-state
// disk may be proposed, and a folder that waits for a rename at the next start is swapped for a
// numbered one. Each refusal shows its message box and leaves the window on the settings page.
//
// Drives: free space is asked of the drive root a folder lies on (platform/drives.h): the
// letter root on Windows, the mount point on POSIX. The download folder is the event log's work
// folder. The disks and the process list come through CheckEnvironment so tests can stage them;
// folders and the pending-rename list are the real ones (the registry store on POSIX).
//
// Threading: window thread only. Ownership: the window and the event log are borrowed and
// must outlive the object.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "analytics/flow_error_ids.h"
#include "flow/check_window.h"
#include "platform/process.h"

namespace analytics {
class CSingleUserLog;
}

namespace flow {

// What the checks take from the machine; the members of Live() are the real ones.
struct CheckEnvironment {
  std::function<bool(std::vector<platform::ProcessEntry>*)> listProcesses;
  // The drive root of a path: a letter root ("X:\") or a mount point ("/", "/home/"); empty
  // when it has none (a relative path, a share, a drive-relative "\folder").
  std::function<std::wstring(const std::wstring&)> driveRootOf;
  // Free bytes available to the caller on a drive root.
  std::function<bool(const std::wstring&, uint64_t*)> freeBytes;
  std::function<bool(const std::wstring&)> isSolidStateRoot;
  std::function<std::vector<std::wstring>()> solidStateRoots;
  // The download folder; null: the event log's work folder.
  std::function<std::wstring()> downloadFolder;

  static CheckEnvironment Live();
};

// EnoughFreeSpace results.
constexpr int kSpaceOk = 0;
constexpr int kDownloadDriveShort = -1;
constexpr int kInstallDriveShort = -2;

// How many numbered folders (" 1", " 2", ...) are tried when a folder waits for a rename.
constexpr int kMaxNumberedFolders = 999;

class CInstallChecks {
 public:
  CInstallChecks(ICheckWindow& window, analytics::CSingleUserLog& log,
                 CheckEnvironment env = CheckEnvironment::Live());

  // True when the product may be installed: no process runs the configured Process_name
  // (names compared without regard to case). Otherwise logs it, shows box type 3 and returns
  // false. A process list that cannot be read is logged and does not stop the install.
  bool AppIsRunning();

  // 0 when both drives have room for `required` bytes (the install drive needs 3 times it when
  // it also holds the download folder, else twice), -1 when the download drive has no more
  // than `required`, -2 when the install drive is short. *freeBytes: the free bytes of the
  // drive judged last. With `report`, a shortage is sent as "DL008" and "NoEnoughSpace".
  // A required size of 0 or less checks nothing.
  int EnoughFreeSpace(bool report, int64_t required, uint64_t* freeBytes);

  // True when a folder on a solid-state drive should be proposed (SuggestSSD not 0, the
  // install folder not on one, and a solid-state drive with room); the folder is then
  // SuggestedSsdFolder().
  bool NeedSuggestSSD(int64_t required);
  const std::wstring& SuggestedSsdFolder() const { return ssdFolder_; }

  // The whole check before the install thread starts; true when it may start (the window has
  // switched to the install page).
  bool IsCorrectInstallPath();

  // The install folder of the path box as it is now.
  std::wstring InstallFolder() const;

 private:
  std::wstring SoftwareName() const;
  std::wstring DownloadFolder() const;
  bool SameDrive(const std::wstring& a, const std::wstring& b) const;
  uint64_t FreeBytesOf(const std::wstring& root) const;
  void SendError(analytics::EnumFlowError error);
  void ReportShortage(const char* drive, uint64_t freeBytes);
  bool RefusePath(const char* why, bool sendEvent);
  bool CreateFolder(const std::wstring& folder);

  ICheckWindow& window_;
  analytics::CSingleUserLog& log_;
  CheckEnvironment env_;
  std::wstring ssdFolder_;
};

// The install folder for the path box text P: P itself when it contains the product name
// (without regard to case), else P, "\" and the name. Blanks around P and separators at its
// end are dropped first, so "C:\Programs\" gives "C:\Programs\<name>".
std::wstring InstallFolderFor(const std::wstring& pathText, const std::wstring& softwareName);

// An absolute path: "X:\..." (or "X:/") or "/...". Anything else (empty, "C:", "Programs\Kerfo")
// would land in the current folder and is refused; so are shares ("\\server\..."), which have no
// drive whose space could be judged.
bool IsAbsoluteInstallPath(const std::wstring& path);

// True when one of the rename operations names something inside the folder (the folder
// followed by "\", without regard to case). An empty folder names nothing.
bool FolderHasPendingRename(const std::wstring& folder, const std::vector<std::wstring>& operations);
// The same against the system's list; a missing or unreadable list names nothing.
bool FolderHasPendingRename(const std::wstring& folder);
// The first of folder + " 1", " 2", ... up to kMaxNumberedFolders that no operation names;
// empty when all of them are named.
std::wstring FirstFolderWithoutPendingRename(const std::wstring& folder,
                                             const std::vector<std::wstring>& operations);

}  // namespace flow
