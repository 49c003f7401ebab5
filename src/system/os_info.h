// Facts about the machine for the installer, its analytics and its service requests: the
// Windows generation and name, 64-bit, region, system volume, file versions, screen, and the
// time in China. Each live call gathers facts through the platform layer and hands them to a
// pure function below, which is what the tests drive.
// Thread-safe: no state is kept; every call asks the system afresh.
#pragma once

#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "platform/sysinfo.h"

namespace FuntionImpl {

// What the Windows name is decided from.
struct OsVersionFacts {
  // "CurrentBuild" (or "CurrentBuildNumber") of the Windows NT CurrentVersion key.
  bool currentBuildKnown = false;
  long currentBuild = 0;
  // RtlGetNtVersionNumbers.
  bool ntVersionKnown = false;
  uint32_t ntMajor = 0;
  uint32_t ntMinor = 0;
  // The classic version query.
  bool classicKnown = false;
  platform::ClassicVersion classic;
};

// Names the Windows generation. *generation is set when a row matches and left as the caller
// gave it otherwise (callers start from 0). Returns "Error" for an unknown major version and an
// empty name for an unknown minor version or a failed version query.
std::string ComposeOsName(const OsVersionFacts& facts, double* generation);
// Reads the facts from the system.
OsVersionFacts GatherOsVersionFacts();
// ComposeOsName over the live facts. generation may be null.
std::string GetOsName(double* generation);

// The leading decimal number of a registry text, as _wtoi reads it (0 when there is none;
// values beyond long are clamped).
long ParseLeadingNumber(const std::wstring& text);

// True when this 32-bit process runs on 64-bit Windows (a 32-bit build on a 64-bit kernel
// elsewhere).
bool IsWow64();
// True when the operating system is 64-bit, whatever this process is. The "64bit"/"32bit"
// labels and the 32-bit refusal ask this: a 64-bit native build is not under WOW64, yet its
// system is 64-bit.
bool Is64BitSystem();

// The user's nation as a two-letter ISO code; empty when the system has none. Logs it.
std::wstring GetSystemRegion();

// The text between the first "{" and the first "}" after it; empty when either is missing.
std::wstring ExtractBracedGuid(const std::wstring& volumeName);
// The GUID of the volume holding the Windows folder (POSIX: the root file system's UUID).
std::wstring GetSystemVolumeGuid();
// The serial number of that volume formatted "%X"; empty when it cannot be read.
std::string GetSystemVolumeSerialText();

struct FileVersionStrings {
  std::wstring productName;
  std::wstring productVersion;
  std::wstring legalCopyright;
  std::wstring fileDescription;
};
// The four texts of a file's version record; each empty when absent.
FileVersionStrings GetFileVersionStrings(const std::wstring& path);
// "%d.%d.%d.%d" of the fixed file version; empty when the file has none.
std::string FormatFileVersionNumber(const platform::FileVersionInfo& info);
std::string GetFileVersionNumber(const std::wstring& path);

struct ScreenScale {
  int width = 0;  // pixels of the current display mode
  int height = 0;
  double scale = 1.0;  // mode width / monitor rectangle width
};
// Width and height 0 and scale 1 when the facts are missing or the monitor width is not
// positive, so callers can always divide by the scale.
ScreenScale ComputeScreenScale(bool factsKnown, const platform::ScreenFacts& facts);
ScreenScale GetScreenScale();

// The UTC time moved to China Standard Time (UTC+8, no daylight saving), formatted
// "%04d-%02d-%02d %02d:%02d:%02d". Empty (and logged) for an impossible date or time.
std::string FormatChinaTime(const platform::LocalTime& utc);
std::string GetChinaTime();

}  // namespace FuntionImpl
