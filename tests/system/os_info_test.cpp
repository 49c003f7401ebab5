#include "system/os_info.h"

#include <gtest/gtest.h>

#include "support/local_time.h"

namespace {

using FuntionImpl::ComposeOsName;
using FuntionImpl::OsVersionFacts;

OsVersionFacts Classic(uint32_t major, uint32_t minor, uint32_t productType = 1,
                       uint32_t platformId = 2, uint32_t architecture = 0, bool serverR2 = false) {
  OsVersionFacts f;
  f.classicKnown = true;
  f.classic.major = major;
  f.classic.minor = minor;
  f.classic.productType = productType;
  f.classic.platformId = platformId;
  f.classic.processorArchitecture = architecture;
  f.classic.serverR2 = serverR2;
  return f;
}

OsVersionFacts Nt(uint32_t major, uint32_t minor, long build) {
  OsVersionFacts f = Classic(6, 2);  // what an unmanifested process sees on Windows 8 and later
  f.ntVersionKnown = true;
  f.ntMajor = major;
  f.ntMinor = minor;
  f.currentBuildKnown = true;
  f.currentBuild = build;
  return f;
}

struct NameCase {
  const char* what;
  OsVersionFacts facts;
  const char* name;
  double generation;  // -1: stays at the caller's value
};

TEST(OsName, NamesEveryGeneration) {
  const NameCase cases[] = {
      {"build 22000", Nt(10, 0, 22000), "Windows 11", 11},
      {"build 21999", Nt(10, 0, 21999), "Windows 10", 10},
      {"build 26100", Nt(10, 0, 26100), "Windows 11", 11},
      {"8.1", Nt(6, 3, 9600), "Windows 8.1", 8.1},
      {"Windows 8 via ntdll", Nt(6, 2, 9200), "Windows 8", 8},
      {"NT 4.0", Classic(4, 0, 1, 2), "Windows NT 4.0", 0},
      {"95", Classic(4, 0, 1, 1), "Windows 95", 0},
      {"98", Classic(4, 10, 1, 1), "Windows 98", 1},
      {"Me", Classic(4, 90, 1, 1), "Microsoft Windows Me", 2},
      {"2000", Classic(5, 0), "Windows 2000", 3},
      {"XP", Classic(5, 1), "Windows XP", 4},
      {"XP x64", Classic(5, 2, 1, 2, 9), "Windows XP Professional x64 Edition", 5},
      {"2003 R2", Classic(5, 2, 3, 2, 9, true), "Windows Server 2003 R2", 5},
      {"2003", Classic(5, 2, 3, 2, 0, false), "Windows Server 2003", 5},
      {"XP x86 workstation 5.2", Classic(5, 2, 1, 2, 0), "Windows Server 2003", 5},
      {"Vista", Classic(6, 0, 1), "Windows Vista", 6},
      {"2008", Classic(6, 0, 3), "Windows Server 2008", 6},
      {"7", Classic(6, 1, 1), "Windows 7", 7},
      {"2008 R2", Classic(6, 1, 2), "Windows Server 2008 R2", 7},
      {"8", Classic(6, 2, 1), "Windows 8", 8},
      {"2012", Classic(6, 2, 3), "Windows Server 2012", 8},
      {"unknown minor of 6", Classic(6, 4), "", -1},
      {"unknown minor of 5", Classic(5, 3), "", -1},
      {"unknown major", Classic(11, 0), "Error", -1},
      {"major 10 through the classic query", Classic(10, 0), "Error", -1},
      {"nothing known", OsVersionFacts(), "", -1},
  };
  for (const NameCase& c : cases) {
    double generation = -1;
    EXPECT_EQ(ComposeOsName(c.facts, &generation), c.name) << c.what;
    EXPECT_DOUBLE_EQ(generation, c.generation) << c.what;
  }
}

TEST(OsName, UnreadableBuildDoesNotMakeWindows11) {
  OsVersionFacts f = Nt(10, 0, 0);
  f.currentBuildKnown = false;
  f.currentBuild = 99999;
  double generation = 0;
  EXPECT_EQ(ComposeOsName(f, &generation), "Windows 10");
  EXPECT_EQ(ComposeOsName(f, nullptr), "Windows 10");
}

TEST(OsName, ParsesBuildTextLikeWtoi) {
  EXPECT_EQ(FuntionImpl::ParseLeadingNumber(L"22000"), 22000);
  EXPECT_EQ(FuntionImpl::ParseLeadingNumber(L"  19045.1234"), 19045);
  EXPECT_EQ(FuntionImpl::ParseLeadingNumber(L"-5"), -5);
  EXPECT_EQ(FuntionImpl::ParseLeadingNumber(L"abc"), 0);
  EXPECT_EQ(FuntionImpl::ParseLeadingNumber(L""), 0);
  EXPECT_GT(FuntionImpl::ParseLeadingNumber(L"99999999999999999999999"), 21999);
}

TEST(OsName, LiveNameIsOneOfTheKnownOutcomes) {
  double generation = 0;
  std::string name = FuntionImpl::GetOsName(&generation);
  EXPECT_TRUE(name.empty() || name == "Error" || name.rfind("Windows", 0) == 0 ||
              name.rfind("Microsoft", 0) == 0)
      << name;
  EXPECT_GE(generation, 0);
  EXPECT_LE(generation, 11);
}

TEST(VolumeGuid, TakesTheTextBetweenTheBraces) {
  EXPECT_EQ(
      FuntionImpl::ExtractBracedGuid(L"\\\\?\\Volume{1b3c5d7e-0000-1111-2222-333344445555}\\"),
      L"1b3c5d7e-0000-1111-2222-333344445555");
  EXPECT_EQ(FuntionImpl::ExtractBracedGuid(L"{}"), L"");
  EXPECT_EQ(FuntionImpl::ExtractBracedGuid(L"\\\\?\\Volume{abc"), L"");
  EXPECT_EQ(FuntionImpl::ExtractBracedGuid(L"}x{y}"), L"y");
  EXPECT_EQ(FuntionImpl::ExtractBracedGuid(L""), L"");
}

TEST(VolumeGuid, LiveGuidHasNoBraces) {
  std::wstring guid = FuntionImpl::GetSystemVolumeGuid();
  EXPECT_EQ(guid.find_first_of(L"{}\\"), std::wstring::npos);
  std::string serial = FuntionImpl::GetSystemVolumeSerialText();
  EXPECT_EQ(serial.find_first_not_of("0123456789ABCDEF"), std::string::npos) << serial;
}

TEST(FileVersion, FormatsTheFixedVersion) {
  platform::FileVersionInfo info;
  EXPECT_EQ(FuntionImpl::FormatFileVersionNumber(info), "");
  info.hasFixedInfo = true;
  info.fileVersionMs = (3u << 16) | 14u;
  info.fileVersionLs = (65535u << 16) | 0u;
  EXPECT_EQ(FuntionImpl::FormatFileVersionNumber(info), "3.14.65535.0");
}

TEST(FileVersion, MissingFileGivesEmptyResults) {
  std::wstring missing = L"no-such-folder-kerfo/none.exe";
  EXPECT_EQ(FuntionImpl::GetFileVersionNumber(missing), "");
  FuntionImpl::FileVersionStrings s = FuntionImpl::GetFileVersionStrings(missing);
  EXPECT_TRUE(s.productName.empty() && s.productVersion.empty() && s.legalCopyright.empty() &&
              s.fileDescription.empty());
}

TEST(ScreenScale, DividesModeWidthByMonitorWidth) {
  platform::ScreenFacts facts;
  facts.modeWidth = 2880;
  facts.modeHeight = 1800;
  facts.monitorWidth = 1440;
  FuntionImpl::ScreenScale s = FuntionImpl::ComputeScreenScale(true, facts);
  EXPECT_EQ(s.width, 2880);
  EXPECT_EQ(s.height, 1800);
  EXPECT_DOUBLE_EQ(s.scale, 2.0);

  facts.monitorWidth = 0;  // a broken monitor record must not divide by zero
  s = FuntionImpl::ComputeScreenScale(true, facts);
  EXPECT_DOUBLE_EQ(s.scale, 1.0);
  EXPECT_EQ(s.width, 2880);

  s = FuntionImpl::ComputeScreenScale(false, facts);
  EXPECT_EQ(s.width, 0);
  EXPECT_EQ(s.height, 0);
  EXPECT_DOUBLE_EQ(s.scale, 1.0);

  s = FuntionImpl::GetScreenScale();
  EXPECT_GT(s.scale, 0.0);
}

platform::LocalTime Utc(int y, int mo, int d, int h, int mi, int s) {
  return testsupport::MakeLocalTime(y, mo, d, h, mi, s, 0);
}

TEST(ChinaTime, AddsEightHoursAcrossDayMonthAndYearEnds) {
  const std::pair<platform::LocalTime, const char*> cases[] = {
      {Utc(2024, 6, 1, 0, 0, 0), "2024-06-01 08:00:00"},
      {Utc(2024, 6, 1, 15, 59, 59), "2024-06-01 23:59:59"},
      {Utc(2024, 6, 1, 16, 0, 0), "2024-06-02 00:00:00"},
      {Utc(2023, 12, 31, 20, 30, 5), "2024-01-01 04:30:05"},
      {Utc(2024, 2, 28, 23, 0, 0), "2024-02-29 07:00:00"},  // leap year
      {Utc(2023, 2, 28, 23, 0, 0), "2023-03-01 07:00:00"},
      {Utc(2100, 2, 28, 16, 0, 0), "2100-03-01 00:00:00"},  // no leap day in 2100
      {Utc(1999, 4, 30, 18, 1, 2), "1999-05-01 02:01:02"},
  };
  for (const auto& c : cases) EXPECT_EQ(FuntionImpl::FormatChinaTime(c.first), c.second);
}

TEST(ChinaTime, RejectsImpossibleTimes) {
  EXPECT_EQ(FuntionImpl::FormatChinaTime(Utc(2024, 0, 1, 0, 0, 0)), "");
  EXPECT_EQ(FuntionImpl::FormatChinaTime(Utc(2024, 13, 1, 0, 0, 0)), "");
  EXPECT_EQ(FuntionImpl::FormatChinaTime(Utc(2024, 1, 1, 24, 0, 0)), "");
  EXPECT_EQ(FuntionImpl::FormatChinaTime(platform::LocalTime()), "");
}

TEST(ChinaTime, LiveTimeHasTheFixedFormat) {
  std::string now = FuntionImpl::GetChinaTime();
  ASSERT_EQ(now.size(), 19u) << now;
  EXPECT_EQ(now[4], '-');
  EXPECT_EQ(now[10], ' ');
  EXPECT_EQ(now[13], ':');
}

}  // namespace
