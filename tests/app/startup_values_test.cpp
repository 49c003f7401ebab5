#include "app/startup_values.h"

#include <gtest/gtest.h>

namespace app {
namespace {

std::string Configure(const std::string& labels) {
  return "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\n"
         "<VerticalLayout><VerticalLayout name=\"Product_config\">\n" +
         labels + "</VerticalLayout></VerticalLayout>\n";
}

TEST(StartupScan, ReadsTheValuesStartUpNeeds) {
  StartupValues v = ScanStartupValues(Configure(
      "<Label name=\"Downloader_id\" text=\"673\"/>"
      "<Label name=\"Site_id\" text=\"611\"/>"
      "<Label name=\"Language_id\" text=\"1033\"/>"
      "<Label name=\"Software_name\" text=\"Brindlecot Kerfo\"/>"
      "<Label name=\"Software_version\" text=\"1.0.0.0\"/>"
      "<Label name=\"Download_url\" text=\"https://download.example/k/Setup_x.exe\"/>"
      "<Label name=\"MainPid\" text=\"8841\"/>"
      "<Label name=\"Support32System\" text=\"0\"/>"));
  EXPECT_EQ(v.downloaderIdText, L"673");
  EXPECT_EQ(v.downloaderId, 673);
  EXPECT_EQ(v.siteId, 611);
  EXPECT_EQ(v.languageId, 1033);
  EXPECT_EQ(v.softwareName, L"Brindlecot Kerfo");
  EXPECT_EQ(v.softwareVersion, L"1.0.0.0");
  EXPECT_EQ(v.downloadUrl, L"https://download.example/k/Setup_x.exe");
  EXPECT_EQ(v.mainPid, 8841);
  EXPECT_EQ(v.support32System, L"0");
}

TEST(StartupScan, TakesFirstAttributeAsKeyWhateverItsName) {
  // Written text first and name second: the value "673" becomes the key and nothing is read.
  StartupValues v = ScanStartupValues(Configure(
      "<Label text=\"673\" name=\"Downloader_id\"/>"
      "<Label key=\"Site_id\" value=\"12\"/>"));
  EXPECT_EQ(v.downloaderIdText, L"");
  EXPECT_EQ(v.downloaderId, 0);
  EXPECT_EQ(v.siteId, 12);
}

TEST(StartupScan, KeepsDownloaderIdTextWithLeadingZero) {
  StartupValues v = ScanStartupValues(Configure("<Label name=\"Downloader_id\" text=\"0673\"/>"));
  EXPECT_EQ(WindowClassNameFor(v.downloaderIdText), L"QD_UI_Frame_0673");
  EXPECT_EQ(MutexNameFor(v.downloaderId), L"VLM_Downloader_673");
}

TEST(StartupScan, SkipsCdnAddressesAndKeepsTheFirstOtherInOrder) {
  StartupValues v = ScanStartupValues(Configure(
      "<Label name=\"Download_url\" text=\"https://cdn.example.com/a/One.exe\"/>"
      "<Label name=\"Extra_download_url\" text=\"https://mirror.example.com/b/Two.exe\"/>"
      "<Label name=\"Download_url\" text=\"https://later.example.com/c/Three.exe\"/>"));
  EXPECT_EQ(v.downloadUrl, L"https://mirror.example.com/b/Two.exe");

  StartupValues none = ScanStartupValues(Configure(
      "<Label name=\"Download_url\" text=\"https://dl.example.com/a/One.exe\"/>"
      "<Label name=\"Extra_download_url\" text=\"http://cdn.example.com/b/Two.exe\"/>"));
  EXPECT_EQ(none.downloadUrl, L"");
}

TEST(StartupScan, AnEmptyDownloadUrlLeavesTheSlotToTheBackupAddress) {
  StartupValues v = ScanStartupValues(Configure(
      "<Label name=\"Download_url\" text=\"\"/>"
      "<Label name=\"Extra_download_url\" text=\"https://mirror.example.com/b/Backup_setup.exe\"/>"));
  EXPECT_EQ(v.downloadUrl, L"https://mirror.example.com/b/Backup_setup.exe");
  EXPECT_EQ(InstallerBaseName(v.downloadUrl), L"Backup_setup");

  // Both empty, or the only other one a CDN address: still no address, as before.
  StartupValues none = ScanStartupValues(Configure(
      "<Label name=\"Download_url\" text=\"\"/>"
      "<Label name=\"Extra_download_url\" text=\"\"/>"
      "<Label name=\"Extra_download_url\" text=\"https://cdn.example.com/b/Two.exe\"/>"));
  EXPECT_EQ(none.downloadUrl, L"");
}

TEST(StartupScan, NonNumbersReadAsZeroAndCaseMatters) {
  StartupValues v = ScanStartupValues(Configure(
      "<Label name=\"Downloader_id\" text=\"abc\"/>"
      "<Label name=\"site_id\" text=\"611\"/>"
      "<Label name=\"MainPid\" text=\"\"/>"));
  EXPECT_EQ(v.downloaderIdText, L"abc");
  EXPECT_EQ(v.downloaderId, 0);
  EXPECT_EQ(v.siteId, 0);
  EXPECT_EQ(v.mainPid, 0);
}

TEST(StartupScan, SurvivesMissingEmptyTruncatedAndGarbageDocuments) {
  for (const std::string& doc :
       {std::string(), std::string("garbage \x01\x02<<<"), std::string("<VerticalLayout/>"),
        Configure("<Label name=\"Site_id\" text=\"7\"/>").substr(0, 120),
        std::string("<a><b><Label name=\"Site_id\" text=\"9\"/><Label name=\"Downloader_id\" tex")}) {
    StartupValues v = ScanStartupValues(doc);
    EXPECT_EQ(v.downloaderId, 0);
    EXPECT_EQ(v.siteId, 0);
    EXPECT_TRUE(v.downloadUrl.empty());
  }
}

TEST(InstallerBaseName, IsTheLastSegmentUpToItsFirstDot) {
  EXPECT_EQ(InstallerBaseName(L"https://host.example/path/setup_name.exe"), L"setup_name");
  EXPECT_EQ(InstallerBaseName(L"https://host.example/p/a.b.c.exe"), L"a");
  EXPECT_EQ(InstallerBaseName(L"https://host.example/p/noextension"), L"");
  EXPECT_EQ(InstallerBaseName(L"setup.exe"), L"");
  EXPECT_EQ(InstallerBaseName(L""), L"");
  EXPECT_EQ(InstallerBaseName(L"https://host.example/p/.exe"), L"");
}

TEST(CommandLineMode, DumpModeNeedsTheBlankAndWinsOverClose) {
  CommandLineMode both = ParseCommandLineMode(L"-close x -dmp mylog.log");
  EXPECT_EQ(both.mode, CommandMode::kCrashDump);
  EXPECT_EQ(both.reportType, "CrashDmp");
  EXPECT_EQ(both.logName, L"mylog.log");

  EXPECT_EQ(ParseCommandLineMode(L"-dmp").mode, CommandMode::kNormal);
  EXPECT_EQ(ParseCommandLineMode(L"-dmpfile x").mode, CommandMode::kNormal);
  EXPECT_EQ(ParseCommandLineMode(L"-dmp-close 1 a.log").mode, CommandMode::kClose);
  EXPECT_EQ(ParseCommandLineMode(L"").mode, CommandMode::kNormal);
  EXPECT_EQ(ParseCommandLineMode(L"/S /D=C:\\x").mode, CommandMode::kNormal);
}

TEST(CommandLineMode, CloseTakesTypeFromSecondCharacterAndNameNineAfterClose) {
  CommandLineMode m = ParseCommandLineMode(L" Closed1 -close 1 run_2026.log");
  EXPECT_EQ(m.mode, CommandMode::kClose);
  EXPECT_EQ(m.reportType, "Closed1");
  EXPECT_EQ(m.logName, L"run_2026.log");

  // Too short to hold the texts: empty rather than out of range.
  CommandLineMode shortLine = ParseCommandLineMode(L"-close");
  EXPECT_EQ(shortLine.mode, CommandMode::kClose);
  EXPECT_EQ(shortLine.reportType, "close");
  EXPECT_EQ(shortLine.logName, L"");
}

TEST(StartupRules, Refuses32BitOnlyForExactZeroOn32BitWindows) {
  EXPECT_TRUE(ShouldRefuse32Bit(L"0", false));
  EXPECT_FALSE(ShouldRefuse32Bit(L"0", true));
  EXPECT_FALSE(ShouldRefuse32Bit(L"", false));
  EXPECT_FALSE(ShouldRefuse32Bit(L"1", false));
  EXPECT_FALSE(ShouldRefuse32Bit(L"00", false));
}

TEST(StartupRules, KitBuildIsExactly277Or278) {
  EXPECT_FALSE(IsKitBuild(276));
  EXPECT_TRUE(IsKitBuild(277));
  EXPECT_TRUE(IsKitBuild(278));
  EXPECT_FALSE(IsKitBuild(279));
}

TEST(StartupRules, DifferentIdsGiveDifferentNames) {
  EXPECT_NE(WindowClassNameFor(L"673"), WindowClassNameFor(L"674"));
  EXPECT_NE(MutexNameFor(673), MutexNameFor(674));
  EXPECT_EQ(MutexNameFor(0), L"VLM_Downloader_0");
}

}  // namespace
}  // namespace app
