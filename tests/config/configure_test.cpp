#include "config/configure.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "log_capture.h"
#include "map_source.h"
#include "platform/paths.h"
#include "support/temp_dir.h"

namespace {

using testsupport::MapSource;

MapSource FullSource() {
  MapSource s;
  s.texts = {{L"Downloader_id", L"673"},
             {L"Software_id", L"5"},
             {L"Site_id", L"611"},
             {L"Language_id", L"1033"},
             {L"Software_name", L"Kerfo"},
             {L"Software_version", L"1.0.0.0"},
             {L"Process_name", L"K.exe"},
             {L"Install_url", L"iu"},
             {L"Download_url", L"https://download.x.example/a.exe"},
             {L"Extra_download_url", L"https://mirror.x.example/a.exe"},
             {L"Banner_url", L"bu"},
             {L"Licensefile_url", L"lf"},
             {L"Md5", L"abc"},
             {L"Filesize", L"4294967297"},
             {L"Md5_extra", L"def"},
             {L"InstallTimeout", L"240"},
             {L"Cnet_download_url", L"cn"}};
  return s;
}

// Every field read is checked through printContent below; this covers what the load resets.
TEST(ConfigureTest, LoadWithoutFallbackResetsServerSettingsAndStaysIncomplete) {
  CConfigure config(1, 2, 3);
  ProductConfig& c = config.content();
  EXPECT_EQ(240, c.installTimeout);  // constructor default until the first load
  c.downloaderType = 3;
  c.sliceNum = 8;
  c.connectTimeout = 9;
  c.backupUrls = {L"old"};
  EXPECT_EQ(1, config.loadFromSkin(FullSource(), false));
  EXPECT_EQ(1, c.downloaderType);
  EXPECT_EQ(0, c.sliceNum);
  EXPECT_EQ(3, c.connectTimeout);
  EXPECT_EQ(1, c.ready);
  EXPECT_EQ(ConfigSource::Nothing, c.source);
  EXPECT_TRUE(c.backupUrls.empty());
}

TEST(ConfigureTest, FallbackBackupUrlsSkipCdnAndEmptyAddresses) {
  const std::wstring other = L"https://mirror.brindlecot.example/a.exe";
  const std::wstring plain = L"https://download.brindlecot.example/a.exe";
  struct Case {
    std::wstring download, extra;
    std::vector<std::wstring> expected;
  } cases[] = {
      {L"https://cdn.brindlecot.example/a.exe", other, {other}},
      {L"https://dl.brindlecot.example/a.exe", other, {other}},
      {L"", L"", {}},
      {plain, L"", {plain}},
      {plain, other, {plain, other}},
      {plain, L"http://dl.x.example/a.exe", {plain}},
  };
  for (const auto& tc : cases) {
    MapSource source = FullSource();
    source.texts[L"Download_url"] = tc.download;
    source.texts[L"Extra_download_url"] = tc.extra;
    CConfigure config(0, 0, 0);
    config.loadFromSkin(source, true);
    // A second fallback load starts from a reset record and does not append twice.
    config.loadFromSkin(source, true);
    EXPECT_EQ(tc.expected, config.content().backupUrls) << tc.download << L" " << tc.extra;
    EXPECT_EQ(2, config.content().ready);
    EXPECT_EQ(ConfigSource::BuiltIn, config.content().source);
  }
}

TEST(ConfigureTest, InstallTimeoutFallsBackTo242) {
  const std::pair<const wchar_t*, int> cases[] = {
      {L"0", 242},           {L"", 242},    {L"abc", 242}, {L"-5", 242},
      {L"99999999999", 242}, {L"300", 300}, {L"1", 1}};
  for (const auto& tc : cases) {
    MapSource source = FullSource();
    source.texts[L"InstallTimeout"] = tc.first;
    CConfigure config(0, 0, 0);
    config.loadFromSkin(source, false);
    EXPECT_EQ(tc.second, config.content().installTimeout) << tc.first;
  }
  MapSource missing = FullSource();
  missing.texts.erase(L"InstallTimeout");
  CConfigure config(0, 0, 0);
  config.loadFromSkin(missing, false);
  EXPECT_EQ(242, config.content().installTimeout);
}

TEST(ConfigureTest, MissingKeysAreLoggedAndKeepTheirResetValue) {
  testsupport::TempDir dir;
  testsupport::LogCapture log(dir.File(L"log.txt"));
  CConfigure config(77, 2, 3);
  ProductConfig& c = config.content();
  c.md5 = L"stale";
  c.extraDownloadUrl = L"https://mirror.x.example/kept.exe";
  c.fileSize = 5;
  MapSource source = FullSource();
  for (const wchar_t* key : {L"Downloader_id", L"Md5", L"Extra_download_url", L"Filesize"}) {
    source.texts.erase(key);
  }
  config.loadFromSkin(source, false);
  EXPECT_EQ(77, c.downloaderId);                                        // the constructor's value
  EXPECT_EQ(L"", c.md5);                                                // emptied by the reset
  EXPECT_EQ(L"https://mirror.x.example/kept.exe", c.extraDownloadUrl);  // not reset
  EXPECT_EQ(0, c.fileSize);
  EXPECT_TRUE(log.Contains(" Configure key missing: Downloader_id"));
  EXPECT_TRUE(log.Contains(" Configure key missing: Md5"));
  EXPECT_FALSE(log.Contains(" Configure key missing: Site_id"));
}

TEST(ConfigureTest, NumbersParseAsLeadingDecimal) {
  const std::pair<const wchar_t*, int> ints[] = {{L"611", 611},
                                                 {L"", 0},
                                                 {L"abc", 0},
                                                 {L" 42", 42},
                                                 {L"12abc", 12},
                                                 {L"-7", -7},
                                                 {L"2147483647", 2147483647},
                                                 {L"2147483648", 0},
                                                 {L"-2147483648", -2147483647 - 1}};
  for (const auto& tc : ints) EXPECT_EQ(tc.second, ConfigTextToInt(tc.first)) << tc.first;
  EXPECT_EQ(INT64_MAX, ConfigTextToInt64(L"9223372036854775807"));
  EXPECT_EQ(0, ConfigTextToInt64(L"9223372036854775808"));
  EXPECT_EQ(INT64_MIN, ConfigTextToInt64(L"-9223372036854775808"));

  MapSource source = FullSource();
  source.texts[L"Filesize"] = L"-100";  // a negative size must not pass the space checks
  CConfigure config(0, 0, 0);
  config.loadFromSkin(source, false);
  EXPECT_EQ(0, config.content().fileSize);
}

TEST(ConfigureTest, IsCdnAddressMatchesHostPrefixOnly) {
  const std::pair<const char*, bool> cases[] = {{"https://cdn.x.example/a.exe", true},
                                                {"http://dl.x.example/a.exe", true},
                                                {"https://x.example/cdn.exe", false},
                                                {"https://x.example/dl/a.exe", false},
                                                {"https://cdnx.example/a.exe", false},
                                                {"https://my-cdn.x.example/a", false},
                                                {"", false},
                                                {"cdn.x.example/a.exe", false}};
  for (const auto& tc : cases) {
    const std::string bytes = tc.first;
    EXPECT_EQ(tc.second, IsCdnAddress(bytes)) << bytes;
    EXPECT_EQ(tc.second, IsCdnAddress(std::wstring(bytes.begin(), bytes.end()))) << bytes;
  }
}

TEST(ConfigureTest, PolicyGettersFallBackToDefaults) {
  CConfigure config(0, 0, 0);
  config.setDefaultPolicyUrls(L"dp", L"dl");
  EXPECT_EQ(L"dl", config.getLicenseUrl("xx"));
  EXPECT_EQ(L"dp", config.getPrivacyUrl("xx"));
  config.setPolicyLinks("en", L"p-en", L"");
  EXPECT_EQ(L"p-en", config.getPrivacyUrl("en"));
  EXPECT_EQ(L"dl", config.getLicenseUrl("en"));  // empty license falls back
  config.setPolicyLinks("en", L"", L"l-en");
  EXPECT_EQ(L"dp", config.getPrivacyUrl("en"));
  EXPECT_EQ(L"l-en", config.getLicenseUrl("en"));
  EXPECT_EQ(L"dl", config.getLicenseUrl("EN"));  // codes are exact
}

TEST(ConfigureTest, SettingsSwitchIsOnOnlyForOne) {
  testsupport::TempDir dir;
  const std::pair<const char*, bool> cases[] = {{"[Settings]\nTestEnv=1\n", true},
                                                {"[Settings]\nTestEnv = 1 \n", true},
                                                {"[settings]\ntestenv=1\n", true},
                                                {"[Settings]\nTestEnv=2\n", false},
                                                {"[Settings]\nTestEnv=0\n", false},
                                                {"[Settings]\nTestEnv=\n", false},
                                                {"[Settings]\nTestEnv=yes\n", false},
                                                {"[Settings]\nTestEnv=4294967297\n", false},
                                                {"[Settings]\nTestEnv=-4294967295\n", false},
                                                {"[Other]\nTestEnv=1\n", false},
                                                {"[Settings]\nAutoRun=1\n", false},
                                                {"\x01\xff garbage \x00\x7f", false},
                                                {"", false}};
  int n = 0;
  for (const auto& tc : cases) {
    const std::wstring path = dir.Write(L"s" + std::to_wstring(n++) + L".cfg", tc.first);
    EXPECT_EQ(tc.second, CConfigure::ReadSettingsSwitch(path, L"TestEnv")) << tc.first;
  }
  EXPECT_FALSE(CConfigure::ReadSettingsSwitch(dir.File(L"missing.cfg"), L"TestEnv"));
  // The real file is looked for beside the executable; there is none beside the tests.
  EXPECT_EQ(platform::GetModuleDir() + L"qd_downloader.cfg", CConfigure::SettingsFilePath());
  EXPECT_FALSE(CConfigure::IsTestEnvironment());
  EXPECT_FALSE(CConfigure::IsAutoRunMode());
  EXPECT_FALSE(CConfigure::IsCrashTestMode());
}

TEST(ConfigureTest, PrintContentWritesOneLinePerItem) {
  testsupport::TempDir dir;
  CConfigure config(673, 1033, 611);
  config.loadFromSkin(FullSource(), true);
  config.content().connectTimeout = 5;
  std::vector<std::string> lines;
  {
    testsupport::LogCapture log(dir.File(L"print.txt"));
    EXPECT_EQ(1, config.printContent());
    config.content().source = ConfigSource::Server;
    config.printContent();
    config.content().source = ConfigSource::Nothing;
    config.printContent();
    lines = log.Lines();
  }
  const std::vector<std::string> expected = {
      " Configure Load From File! ",
      " [File ContentLength]: 4294967297",
      " [Downloader Id]: 673",
      " [SoftWare Id]: 5",
      " [Site Id]: 611",
      " [Language Id]: 1033",
      " [Software Name]: Kerfo",
      " [Software Version]: 1.0.0.0",
      " [Remote Path]: https://download.x.example/a.exe",
      " [MD5 String]: abc",
      " [Process Name]: K.exe",
      " [Install Url]: iu",
      " [Banner Url]: bu",
      " [Licensefile Url]: lf",
      " [Extra Download Url]: https://mirror.x.example/a.exe",
      " [Cnet Download Url]: cn",
      " [MD5 Extra String]: def",
      " [Downloader config]: 0",
      " [Slice num]: 0",
      " [Slice size]: 0",
      " [Additional Time]: 0",
      " [Allow Back Running]: 0",
      " [TimeoutCfg]: 5, 20"};
  ASSERT_EQ(3 * expected.size(), lines.size());
  EXPECT_EQ(expected, std::vector<std::string>(lines.begin(), lines.begin() + expected.size()));
  EXPECT_EQ(" Configure Load From XML! ", lines[expected.size()]);
  EXPECT_EQ(" Configure Load From Nothing! ", lines[2 * expected.size()]);
}

}  // namespace

namespace {

// The same value always reaches the log in one encoding: UTF-8, whatever the ANSI code page
// (which cannot even hold these characters under a Western one).
TEST(ConfigureTest, PrintContentWritesWideTextAsUtf8) {
  testsupport::TempDir dir;
  CConfigure config(673, 1033, 611);
  config.loadFromSkin(FullSource(), true);
  config.content().softwareName = L"Kerfo \u00dcbersicht \u7f16\u8f91\u5668";
  config.content().downloadUrl = L"https://download.x.example/\u00e9t\u00e9.exe";
  std::vector<std::string> lines;
  {
    testsupport::LogCapture log(dir.File(L"print.txt"));
    config.printContent();
    lines = log.Lines();
  }
  ASSERT_GT(lines.size(), 8u);
  EXPECT_EQ(lines[6],
            " [Software Name]: Kerfo \xc3\x9c"
            "bersicht \xe7\xbc\x96\xe8\xbe\x91\xe5\x99\xa8");
  EXPECT_EQ(lines[8], " [Remote Path]: https://download.x.example/\xc3\xa9t\xc3\xa9.exe");
}

}  // namespace
