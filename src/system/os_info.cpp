#include "system/os_info.h"

#include <easylogging++.h>

#include <climits>
#include <cstdio>

#include "platform/registry.h"
#include "platform/text.h"

namespace FuntionImpl {
namespace {

constexpr uint32_t kPlatformWin9x = 1;      // VER_PLATFORM_WIN32_WINDOWS
constexpr uint32_t kPlatformNt = 2;         // VER_PLATFORM_WIN32_NT
constexpr uint32_t kWorkstation = 1;        // VER_NT_WORKSTATION
constexpr uint32_t kArchitectureAmd64 = 9;  // PROCESSOR_ARCHITECTURE_AMD64
constexpr long kLastBuildBeforeWindows11 = 21999;

const wchar_t kCurrentVersionWow[] =
    L"SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion";
const wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, long long* y, unsigned* m, unsigned* d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<long long>(yoe) + era * 400 + (*m <= 2);
}

}  // namespace

long ParseLeadingNumber(const std::wstring& text) {
  size_t i = 0;
  while (i < text.size() && (text[i] == L' ' || text[i] == L'\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'-' || text[i] == L'+')) {
    negative = text[i] == L'-';
    ++i;
  }
  long value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    long digit = text[i] - L'0';
    if (value > (LONG_MAX - digit) / 10) {
      value = LONG_MAX;
      break;
    }
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

std::string ComposeOsName(const OsVersionFacts& facts, double* generation) {
  double ignored = 0;
  double* index = generation ? generation : &ignored;
  if (facts.currentBuildKnown && facts.currentBuild > kLastBuildBeforeWindows11) {
    *index = 11;
    return "Windows 11";
  }
  if (facts.ntVersionKnown) {
    if (facts.ntMajor == 6 && facts.ntMinor == 3) {
      *index = 8.1;
      return "Windows 8.1";
    }
    if (facts.ntMajor == 10 && facts.ntMinor == 0) {
      *index = 10;
      return "Windows 10";
    }
  }
  if (!facts.classicKnown) return std::string();
  const platform::ClassicVersion& v = facts.classic;
  bool workstation = v.productType == kWorkstation;
  switch (v.major) {
    case 4:
      if (v.minor == 0) {
        *index = 0;
        if (v.platformId == kPlatformNt) return "Windows NT 4.0";
        if (v.platformId == kPlatformWin9x) return "Windows 95";
        return std::string();
      }
      if (v.minor == 10) {
        *index = 1;
        return "Windows 98";
      }
      if (v.minor == 90) {
        *index = 2;
        return "Microsoft Windows Me";
      }
      return std::string();
    case 5:
      if (v.minor == 0) {
        *index = 3;
        return "Windows 2000";
      }
      if (v.minor == 1) {
        *index = 4;
        return "Windows XP";
      }
      if (v.minor == 2) {
        *index = 5;
        if (workstation && v.processorArchitecture == kArchitectureAmd64) {
          return "Windows XP Professional x64 Edition";
        }
        return v.serverR2 ? "Windows Server 2003 R2" : "Windows Server 2003";
      }
      return std::string();
    case 6:
      if (v.minor == 0) {
        *index = 6;
        return workstation ? "Windows Vista" : "Windows Server 2008";
      }
      if (v.minor == 1) {
        *index = 7;
        return workstation ? "Windows 7" : "Windows Server 2008 R2";
      }
      if (v.minor == 2) {
        *index = 8;
        return workstation ? "Windows 8" : "Windows Server 2012";
      }
      return std::string();
    default:
      return "Error";
  }
}

OsVersionFacts GatherOsVersionFacts() {
  OsVersionFacts facts;
  // The process runs elevated, but reading needs no more than read access.
  const wchar_t* key =
      platform::RegistryKeyExists(platform::RegistryRoot::kLocalMachine, kCurrentVersionWow)
          ? kCurrentVersionWow
          : kCurrentVersion;
  std::wstring build;
  if (platform::ReadRegistryString(platform::RegistryRoot::kLocalMachine, key, L"CurrentBuild", 260,
                                   &build) ||
      platform::ReadRegistryString(platform::RegistryRoot::kLocalMachine, key,
                                   L"CurrentBuildNumber", 260, &build)) {
    facts.currentBuildKnown = true;
    facts.currentBuild = ParseLeadingNumber(build);
  }
  facts.ntVersionKnown = platform::GetNtVersionNumbers(&facts.ntMajor, &facts.ntMinor);
  facts.classicKnown = platform::QueryClassicVersion(&facts.classic);
  return facts;
}

std::string GetOsName(double* generation) {
  return ComposeOsName(GatherOsVersionFacts(), generation);
}

bool IsWow64() {
  return platform::IsWow64Process();
}

bool Is64BitSystem() {
  return platform::IsOperatingSystem64Bit();
}

std::wstring GetSystemRegion() {
  std::wstring region = platform::GetUserNationIso2();
  LOG(INFO) << " System Region info is : " << platform::WideToUtf8(region);
  return region;
}

std::wstring ExtractBracedGuid(const std::wstring& volumeName) {
  size_t open = volumeName.find(L'{');
  if (open == std::wstring::npos) return std::wstring();
  size_t close = volumeName.find(L'}', open + 1);
  if (close == std::wstring::npos) return std::wstring();
  return volumeName.substr(open + 1, close - open - 1);
}

std::wstring GetSystemVolumeGuid() {
  std::wstring volumeName;
  if (!platform::GetSystemVolumeName(&volumeName)) {
    LOG(INFO) << " GetSystemVolumeGuid: no volume name for the system drive";
    return std::wstring();
  }
  return ExtractBracedGuid(volumeName);
}

std::string GetSystemVolumeSerialText() {
  uint32_t serial = 0;
  if (!platform::GetSystemVolumeSerial(&serial)) return std::string();
  char buf[16];
  std::snprintf(buf, sizeof(buf), "%X", serial);
  return buf;
}

FileVersionStrings GetFileVersionStrings(const std::wstring& path) {
  FileVersionStrings strings;
  platform::FileVersionInfo info;
  if (!platform::ReadFileVersionInfo(path, &info)) return strings;
  strings.productName = info.productName;
  strings.productVersion = info.productVersion;
  strings.legalCopyright = info.legalCopyright;
  strings.fileDescription = info.fileDescription;
  return strings;
}

std::string FormatFileVersionNumber(const platform::FileVersionInfo& info) {
  if (!info.hasFixedInfo) return std::string();
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%d.%d.%d.%d", static_cast<int>(info.fileVersionMs >> 16),
                static_cast<int>(info.fileVersionMs & 0xFFFF),
                static_cast<int>(info.fileVersionLs >> 16),
                static_cast<int>(info.fileVersionLs & 0xFFFF));
  return buf;
}

std::string GetFileVersionNumber(const std::wstring& path) {
  platform::FileVersionInfo info;
  if (!platform::ReadFileVersionInfo(path, &info)) return std::string();
  return FormatFileVersionNumber(info);
}

ScreenScale ComputeScreenScale(bool factsKnown, const platform::ScreenFacts& facts) {
  ScreenScale result;
  if (!factsKnown) return result;
  result.width = facts.modeWidth;
  result.height = facts.modeHeight;
  if (facts.monitorWidth > 0 && facts.modeWidth > 0) {
    result.scale = static_cast<double>(facts.modeWidth) / facts.monitorWidth;
  } else {
    LOG(INFO) << " GetScreenScale: monitor width " << facts.monitorWidth << ", scale left at 1";
  }
  return result;
}

ScreenScale GetScreenScale() {
  platform::ScreenFacts facts;
  bool known = platform::QueryScreenFacts(&facts);
  return ComputeScreenScale(known, facts);
}

std::string FormatChinaTime(const platform::LocalTime& utc) {
  if (utc.month < 1 || utc.month > 12 || utc.day < 1 || utc.day > 31 || utc.hour < 0 ||
      utc.hour > 23 || utc.minute < 0 || utc.minute > 59 || utc.second < 0 || utc.second > 60) {
    LOG(INFO) << " GetChinaTime: invalid UTC time " << utc.year << "-" << utc.month << "-"
              << utc.day << " " << utc.hour << ":" << utc.minute << ":" << utc.second;
    return std::string();
  }
  long long days =
      DaysFromCivil(utc.year, static_cast<unsigned>(utc.month), static_cast<unsigned>(utc.day));
  long long seconds = days * 86400LL + utc.hour * 3600LL + utc.minute * 60LL + utc.second;
  seconds += 480LL * 60LL;  // the fixed bias of China Standard Time
  long long dayPart = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
  long long secondOfDay = seconds - dayPart * 86400;
  long long year = 0;
  unsigned month = 0, day = 0;
  CivilFromDays(dayPart, &year, &month, &day);
  char buf[64];
  std::snprintf(buf, sizeof(buf), "%04lld-%02u-%02u %02lld:%02lld:%02lld", year, month, day,
                secondOfDay / 3600, (secondOfDay / 60) % 60, secondOfDay % 60);
  return buf;
}

std::string GetChinaTime() {
  return FormatChinaTime(platform::GetUtcTimeNow());
}

}  // namespace FuntionImpl
