// System facts: interface language and region, operating-system version, WOW64, screen,
// system volume, file version records.
//
// Windows answers through the system calls of the same names. POSIX answers honestly:
//   - language and region come from the locale environment: the interface language from
//     LC_ALL, LC_MESSAGES, LANG (the first one set); the formats locale (LCID) and the region
//     from LC_ALL, LC_TIME, LANG, the region falling back to the interface locale's territory.
//     "de_CH.UTF-8" gives the Windows language id 2055 and region "CH"; "C", "POSIX" or nothing
//     set give 1033 and no region;
//   - there is no Windows version, so the version queries fail (DescribeOperatingSystem still
//     names the system for logs);
//   - the system volume is the root file system, its "GUID" the file-system UUID;
//   - the screen is the first connected display of /sys/class/drm, when there is one.
// Thread-safe: every call asks the system afresh and keeps no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// GetUserDefaultUILanguage.
uint16_t GetUserUiLanguageId();
// GetUserDefaultLCID.
uint32_t GetUserLocaleId();
// ISO two-letter name of the user's nation (GetUserGeoID + GetGeoInfoW GEO_ISO2); empty when
// unknown.
std::wstring GetUserNationIso2();

// Maps a POSIX locale name ("de_CH.UTF-8", "sr_RS@latin", "pt") to a Windows language id: the
// exact language and territory when known, else the language's main id; 1033 for "C", "POSIX"
// and empty text; 0 (neutral) for a language the table does not know and for unreadable text.
uint16_t LanguageIdFromLocaleName(const std::string& locale);
// The territory of a POSIX locale name in upper case ("de_CH.UTF-8" -> "CH"); empty when none.
std::string RegionFromLocaleName(const std::string& locale);

// RtlGetNtVersionNumbers, looked up in ntdll at run time; false when it is not there.
bool GetNtVersionNumbers(uint32_t* major, uint32_t* minor);

// The classic version query: GetVersionExW with OSVERSIONINFOEXW plus the native processor
// architecture and the Server R2 system metric.
struct ClassicVersion {
  uint32_t major = 0;
  uint32_t minor = 0;
  uint32_t build = 0;
  uint32_t platformId = 0;   // VER_PLATFORM_WIN32_WINDOWS 1, VER_PLATFORM_WIN32_NT 2
  uint32_t productType = 0;  // VER_NT_WORKSTATION 1, domain controller 2, server 3
  uint32_t suiteMask = 0;
  uint32_t processorArchitecture = 0;  // PROCESSOR_ARCHITECTURE_INTEL 0, _AMD64 9, ...
  bool serverR2 = false;               // GetSystemMetrics(SM_SERVERR2) != 0
};
bool QueryClassicVersion(ClassicVersion* version);

// One line naming the running system for logs ("Windows 10.0.19045", "Linux 6.1.0 x86_64
// (Debian GNU/Linux 12 (bookworm))").
std::string DescribeOperatingSystem();

// True when this 32-bit process runs on a 64-bit system (IsWow64Process, looked up in kernel32
// at run time; false when missing). POSIX: a 32-bit build running on a 64-bit kernel.
bool IsWow64Process();
// True when the operating system is 64-bit, whatever this process is.
bool IsOperatingSystem64Bit();

// The primary screen: the current display mode of the monitor nearest the desktop window, and
// that monitor's rectangle width in logical pixels (they differ under display scaling).
struct ScreenFacts {
  int modeWidth = 0;
  int modeHeight = 0;
  int monitorWidth = 0;
};
bool QueryScreenFacts(ScreenFacts* facts);

// Volume name of the volume holding the Windows folder, "\\?\Volume{GUID}\" form
// (GetVolumeNameForVolumeMountPointW). POSIX: the root file system's UUID in the same form.
bool GetSystemVolumeName(std::wstring* volumeName);
// Serial number of that volume (GetVolumeInformation). POSIX: the first four bytes of the
// root file system's UUID, read as one big-endian number.
bool GetSystemVolumeSerial(uint32_t* serial);

// A file's version record (its version resource).
struct FileVersionInfo {
  bool hasFixedInfo = false;
  uint32_t fileVersionMs = 0;  // high word major, low word minor
  uint32_t fileVersionLs = 0;  // high word build, low word revision
  std::wstring productName;
  std::wstring productVersion;
  std::wstring legalCopyright;
  std::wstring fileDescription;
};
// False when the file has no version resource or cannot be read. Windows reads it with
// GetFileVersionInfoW / VerQueryValueW; POSIX reads the version resource of a PE file
// directly (other files carry none).
bool ReadFileVersionInfo(const std::wstring& path, FileVersionInfo* info);

// The portable reader behind the POSIX ReadFileVersionInfo, open to tests on every system.
// readAt(offset, size, out) fills out with size bytes of the file, false past its end.
using ReadAtFn = bool (*)(void* context, uint64_t offset, size_t size, void* out);
// Finds the version resource (RT_VERSION, first name, first language) of a PE image.
bool FindPeVersionResource(ReadAtFn readAt, void* context, std::string* block);
// Reads a VS_VERSIONINFO block the way VerQueryValueW does: the fixed record, and the four
// strings from the string table of the first "\VarFileInfo\Translation" entry.
bool ParseVersionBlock(const std::string& block, FileVersionInfo* info);

// The UUID ("xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", lower case) in the superblock of an ext2/3/4,
// xfs or btrfs file system image read through readAt; empty for anything else.
std::string ReadFileSystemUuid(ReadAtFn readAt, void* context);

}  // namespace platform
