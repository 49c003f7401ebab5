// The configuration service request and the overlay of its <Downloader> element, over a
// scripted service: URL forms, the element search, events, every element of the description,
// TimeoutCfg, backup addresses, and replies that must not be taken as they stand.
#include "config/server_description.h"

#include <gtest/gtest.h>

#include <string>

#include "config/configure.h"
#include "description_fakes.h"
#include "log_capture.h"
#include "support/temp_dir.h"

namespace {

using desctest::Element;
using desctest::kChinaHost;
using desctest::kHost;

class ServerDescriptionTest : public testing::Test {
 protected:
  ServerDescriptionTest() : config_(673, 1033, 611), log_(dir_.File(L"log.txt")) {
    config_.setServerEnvironment(service_.Env(&events_));
  }

  // Overlays the record with an element made of children and returns readDownloadInfoFromXml.
  int Overlay(const std::string& children) {
    config_.content().serverXml = Element(children);
    return config_.readDownloadInfoFromXml();
  }
  ProductConfig& c() { return config_.content(); }

  testsupport::TempDir dir_;
  desctest::ScriptedService service_;
  desctest::RecordingEvents events_;
  CConfigure config_;
  testsupport::LogCapture log_;
};

const std::string kGood = Element(
    "<Software_version>2.1.0.7</Software_version>"
    "<Download_url>https://dl2.x.example/k.exe</Download_url>");

TEST_F(ServerDescriptionTest, UrlCarriesPackageTypeOnlyBeforeWindows10) {
  struct Case {
    double generation;
    bool packageType;
  } cases[] = {{7, true}, {8, true}, {8.1, true}, {10, false}, {11, false}};
  for (const Case& k : cases) {
    service_.generation = k.generation;
    c().serverXml.clear();
    config_.getDownloadInfoXml(false, false);
    EXPECT_EQ(k.packageType, config_.getQueryUrl().find("&package_type=5") != std::string::npos)
        << k.generation;
  }
  // Arguments in order: language, then the downloader id as SoftWareID, then the site.
  EXPECT_EQ(std::string("https://") + kHost +
                "/queryDownloaderV2?LanguageId=1033&SoftWareID=673&SiteID=611",
            config_.getQueryUrl());
}

TEST_F(ServerDescriptionTest, RegionPicksSchemeHostAndLabel) {
  service_.osName = "Windows 8.1";
  service_.generation = 8.1;
  config_.getDownloadInfoXml(false, true);
  EXPECT_EQ(0u, config_.getQueryUrl().rfind(std::string("https://") + kChinaHost + "/", 0));
  EXPECT_TRUE(log_.Contains(" GetCbsInfo New interface V2(Async cn): 6, 0, Windows 8.1, 8.1"));

  service_.testEnvironment = true;  // TestEnv=1: plain HTTP to the international host
  config_.getDownloadInfoXml(true, true);
  EXPECT_EQ(0u, config_.getQueryUrl().rfind(std::string("http://") + kHost + "/", 0));
  EXPECT_TRUE(log_.Contains(" GetCbsInfo New interface V2(Sync test): 6, 0, Windows 8.1, 8.1"));

  service_.testEnvironment = false;
  service_.replies[kHost] = {{0, kGood}};
  config_.getDownloadInfoXml(true, false);
  EXPECT_TRUE(log_.Contains(" GetCbsInfo New interface V2(Sync com): 0, " +
                            std::to_string(kGood.size()) + ", Windows 8.1, 8.1"));
}

TEST_F(ServerDescriptionTest, OnlyTheTaggedElementIsTaken) {
  const std::string around[][2] = {
      {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n", "\r\n"},
      {"<html><body><p>proxy says hi</p>", "</body></html>"},
      {"", "<Downloader>second</Downloader> trailing"},
  };
  for (const auto& a : around) {
    std::string element;
    ASSERT_TRUE(serverdesc::FindDownloaderElement(a[0] + kGood + a[1], &element));
    EXPECT_EQ(kGood, element);
  }
  std::string element = "unchanged";
  // The closing tag must start at least 12 characters after the opening tag.
  EXPECT_FALSE(serverdesc::FindDownloaderElement("<Downloader></Downloader>", &element));
  EXPECT_FALSE(serverdesc::FindDownloaderElement("<Downloader><A>1</A></Downloader>", &element));
  EXPECT_TRUE(serverdesc::FindDownloaderElement("<Downloader><Ab>123</Ab></Downloader>", &element));
  EXPECT_FALSE(serverdesc::FindDownloaderElement("</Downloader><Downloader><a/>", &element));
  EXPECT_FALSE(serverdesc::FindDownloaderElement("no element at all", &element));

  service_.replies[kHost] = {{0, "<p>maintenance</p>"}};
  EXPECT_EQ(0, config_.getDownloadInfoXml(false, false));
  EXPECT_TRUE(c().serverXml.empty());
  EXPECT_EQ(0u, events_.Count("Get download configuration"));
}

TEST_F(ServerDescriptionTest, FetchRecordsEventsAndCachesTheElement) {
  service_.replies[kHost] = {{28, ""}, {0, "junk" + kGood + "junk"}};
  service_.replies[kChinaHost] = {{7, ""}};
  EXPECT_EQ(0, config_.getDownloadInfoXml(false, false));  // timed out
  EXPECT_TRUE(events_.Has("FlowError", "DL002"));
  EXPECT_TRUE(events_.Has("AsyncGetCbsTime", "2"));      // 2.5 s elapsed, whole seconds
  EXPECT_EQ(0, config_.getDownloadInfoXml(true, true));  // connect failure: no error event
  EXPECT_EQ(1u, events_.Count("FlowError"));
  EXPECT_TRUE(events_.Has("SyncGetCbsTime", "2"));
  service_.replies.erase(kChinaHost);
  EXPECT_EQ(0, config_.getDownloadInfoXml(true, true));  // not resolved
  EXPECT_TRUE(events_.Has("FlowError", "DL003"));

  EXPECT_EQ(1, config_.getDownloadInfoXml(false, false));
  EXPECT_EQ(kGood, c().serverXml);
  ASSERT_EQ(1u, events_.Count("Get download configuration"));
  const auto& funnel = events_.events.back();
  EXPECT_EQ("Download", funnel.category);
  EXPECT_EQ("Success", funnel.fields.at("Download configurationType"));
  EXPECT_EQ(kHost, funnel.fields.at("Configuration URL"));

  // Once cached, every later call is a no-op: no request, result 0.
  const size_t asked = service_.urls.size();
  EXPECT_EQ(0, config_.getDownloadInfoXml(true, true));
  EXPECT_EQ(asked, service_.urls.size());
  EXPECT_EQ(1, config_.readDownloadInfoFromXml());
  EXPECT_EQ(L"2.1.0.7", c().softwareVersion);
}

TEST_F(ServerDescriptionTest, ChinaFetchNamesTheChinaHost) {
  service_.replies[kChinaHost] = {{0, kGood}};
  EXPECT_EQ(1, config_.getDownloadInfoXml(false, true));
  EXPECT_EQ(kChinaHost, events_.events.back().fields.at("Configuration URL"));
}

TEST_F(ServerDescriptionTest, WithoutTransportNothingIsSentAndNothingSucceeds) {
  ServerDescriptionEnv env = service_.Env(nullptr);
  env.httpGet = nullptr;
  config_.setServerEnvironment(env);
  EXPECT_EQ(0, config_.getDownloadInfoXml(false, false));
  EXPECT_TRUE(log_.Contains(" GetCbsInfo no HTTP transport configured"));
  // Without an event log the overlay still works; only the publishing is skipped (and said).
  EXPECT_EQ(1, Overlay("<Slice_num>4</Slice_num>"));
  EXPECT_EQ(4, c().sliceNum);
  EXPECT_TRUE(log_.Contains("download settings not published"));
}

TEST_F(ServerDescriptionTest, EveryElementReachesItsField) {
  c().source = ConfigSource::Nothing;
  ASSERT_EQ(1, Overlay("<Unknown>x</Unknown>"
                       "<Downloader_id>700</Downloader_id><Software_id>12</Software_id>"
                       "<Site_id>44</Site_id><Software_name>K\xC3\xA9rfo</Software_name>"
                       "<Software_version>3.0.1</Software_version>"
                       "<Process_name>Kerfo\r\n.exe</Process_name><Install_url>iu</Install_url>"
                       "<Download_url>https://a.example/k.exe</Download_url>"
                       "<Banner_url>bu</Banner_url><Licensefile_url>lf</Licensefile_url>"
                       "<Md5>0123abcd</Md5><Filesize>5000000000</Filesize>"
                       "<Extra_download_url>https://b.example/k.exe</Extra_download_url>"
                       "<Cnet_download_url>cn</Cnet_download_url><Md5_extra>ffff</Md5_extra>"
                       "<Downloader_type>2</Downloader_type>"
                       "<Downloader_config>2</Downloader_config><Slice_num>6</Slice_num>"
                       "<Slice_size>1048576</Slice_size><Additional_time>30</Additional_time>"
                       "<Back_running>1</Back_running><TimeoutCfg>5,30</TimeoutCfg>"));
  EXPECT_EQ(2, c().ready);
  EXPECT_EQ(ConfigSource::Server, c().source);
  EXPECT_EQ(700, c().downloaderId);
  EXPECT_EQ(12, c().softwareId);
  EXPECT_EQ(44, c().siteId);
  EXPECT_EQ(L"K\u00e9rfo", c().softwareName);
  EXPECT_EQ(L"3.0.1", c().softwareVersion);
  EXPECT_EQ(L"Kerfo.exe", c().processName);
  EXPECT_EQ(L"iu", c().installUrl);
  EXPECT_EQ(L"https://a.example/k.exe", c().downloadUrl);
  EXPECT_EQ(L"bu", c().bannerUrl);
  EXPECT_EQ(L"lf", c().licenseFileUrl);
  EXPECT_EQ(L"0123abcd", c().md5);
  EXPECT_EQ(5000000000, c().fileSize);
  EXPECT_EQ(L"https://b.example/k.exe", c().extraDownloadUrl);
  EXPECT_EQ(L"cn", c().cnetDownloadUrl);
  EXPECT_EQ(L"ffff", c().md5Extra);
  EXPECT_EQ(2, c().downloaderType);
  EXPECT_EQ(2, c().downloaderConfig);
  EXPECT_EQ(6, c().sliceNum);
  EXPECT_EQ(1048576, c().sliceSize);
  EXPECT_EQ(30, c().additionalTime);
  EXPECT_EQ(1, c().backRunning);
  EXPECT_EQ(5, c().connectTimeout);
  EXPECT_EQ(30, c().transferTimeout);
  EXPECT_EQ((std::vector<std::wstring>{L"https://a.example/k.exe", L"https://b.example/k.exe"}),
            c().backupUrls);
  ASSERT_EQ(1u, events_.published.size());
  const DownloadSettingsUpdate& p = events_.published[0];
  EXPECT_EQ(2, p.downloaderConfig.value_or(-1));
  EXPECT_EQ(6, p.sliceNum.value_or(-1));
  EXPECT_EQ(1048576, p.sliceSize.value_or(-1));
  EXPECT_EQ(30, p.additionalTime.value_or(-1));
  EXPECT_EQ(1, p.backRunning.value_or(-1));
  EXPECT_EQ(5, p.connectTimeout.value_or(-1));
  EXPECT_EQ(30, p.transferTimeout.value_or(-1));
}

TEST_F(ServerDescriptionTest, OnlyCarriedSettingsArePublished) {
  ASSERT_EQ(1, Overlay("<Slice_num>3</Slice_num><Additional_time>x</Additional_time>"));
  ASSERT_EQ(1u, events_.published.size());
  EXPECT_EQ(3, events_.published[0].sliceNum.value_or(-1));
  EXPECT_FALSE(events_.published[0].additionalTime);
  EXPECT_FALSE(events_.published[0].connectTimeout);
  events_.published.clear();
  ASSERT_EQ(1, Overlay("<Md5>m</Md5>"));
  EXPECT_TRUE(events_.published.empty());
}

TEST_F(ServerDescriptionTest, TimeoutCfgRules) {
  struct Case {
    const char* text;
    int connect, transfer;
    bool published;
  } cases[] = {
      {"5,30", 5, 30, true},    {"0,0", 3, 20, true},
      {"5", 7, 70, false},      {",5", 7, 70, false},
      {"5;30", 7, 70, false},   {" 4 , 9 ", 4, 9, true},
      {"-4,-9", 3, 9, true},  // the separator takes the second sign, as a scan does
      {"5,x", 7, 70, false},    {"99999999999,5", 7, 70, false},
      {"5,3601", 7, 70, false},  // a time-out of more than an hour is refused
  };
  for (const Case& k : cases) {
    c().connectTimeout = 7;
    c().transferTimeout = 70;
    events_.published.clear();
    ASSERT_EQ(1, Overlay(std::string("<TimeoutCfg>") + k.text + "</TimeoutCfg>")) << k.text;
    EXPECT_EQ(k.connect, c().connectTimeout) << k.text;
    EXPECT_EQ(k.transfer, c().transferTimeout) << k.text;
    EXPECT_EQ(k.published, !events_.published.empty()) << k.text;
    EXPECT_TRUE(log_.Contains(std::string(" GetCbsInfo TimeoutCfg is: ") + k.text));
  }
}

TEST_F(ServerDescriptionTest, AddressesLoseLineBreaksAndNeedAScheme) {
  c().downloadUrl = L"https://builtin.example/k.exe";
  c().extraDownloadUrl = L"https://builtin2.example/k.exe";
  ASSERT_EQ(1, Overlay("<Download_url>\r\n  https://a.example/\r\nk.exe\n</Download_url>"
                       "<Extra_download_url>file:///C:/Windows/evil.exe</Extra_download_url>"));
  EXPECT_EQ(L"https://a.example/k.exe", c().downloadUrl);
  EXPECT_EQ(L"https://builtin2.example/k.exe", c().extraDownloadUrl);
  EXPECT_TRUE(log_.Contains(" GetCbsInfo Extra_download_url refused (not an http or https"));

  const char* refused[] = {"",
                           "a.example/k.exe",
                           "ftp://a.example/k.exe",
                           "https://",
                           "https:///path",
                           "https://a.example/k .exe",
                           "https://a.example/&#9;k.exe",
                           "javascript:alert(1)"};
  for (const char* url : refused) {
    c().downloadUrl = L"https://kept.example/k.exe";
    ASSERT_EQ(1, Overlay(std::string("<Download_url>") + url + "</Download_url>")) << url;
    EXPECT_EQ(L"https://kept.example/k.exe", c().downloadUrl) << url;
  }
  EXPECT_TRUE(serverdesc::IsHttpUrl(L"HTTP://a.example:8080/k.exe?x=1"));
}

TEST_F(ServerDescriptionTest, BackupAddressesSkipCdnAndAreNotRepeated) {
  c().backupUrls = {L"https://earlier.example/k.exe"};
  const std::string children =
      "<Download_url>https://cdn.x.example/k.exe</Download_url>"
      "<Extra_download_url>https://mirror.x.example/k.exe</Extra_download_url>";
  ASSERT_EQ(1, Overlay(children));
  const std::vector<std::wstring> expected = {L"https://earlier.example/k.exe",
                                              L"https://mirror.x.example/k.exe"};
  EXPECT_EQ(expected, c().backupUrls);
  ASSERT_EQ(1, Overlay(children));  // a second overlay appends nothing twice
  EXPECT_EQ(expected, c().backupUrls);
}

TEST_F(ServerDescriptionTest, ElementThatDoesNotParseLeavesTheRecordIncomplete) {
  c().ready = 2;
  c().source = ConfigSource::BuiltIn;
  c().md5 = L"kept";
  const std::string broken[] = {
      Element("<Md5>abc</Downloader>"),  // truncated child
      "<Downloader><Md5>abc</Md5>",      // no closing tag
      Element("<Md5 a=>abc</Md5>"),      // broken attribute
      Element("<Md5>abc</Md5><<>"),      // stray markup
  };
  for (const std::string& xml : broken) {
    c().serverXml = xml;
    EXPECT_EQ(0, config_.readDownloadInfoFromXml()) << xml;
    EXPECT_EQ(1, c().ready);
    EXPECT_EQ(ConfigSource::BuiltIn, c().source);
    EXPECT_EQ(L"kept", c().md5);
  }
  c().serverXml.clear();
  EXPECT_EQ(0, config_.readDownloadInfoFromXml());
}

TEST_F(ServerDescriptionTest, NumbersThatCannotBeRightKeepTheField) {
  c().downloaderId = 673;
  c().siteId = 611;
  c().sliceNum = 2;
  c().sliceSize = 4096;
  c().additionalTime = 5;
  c().fileSize = 1234;
  ASSERT_EQ(1, Overlay("<Downloader_id>99999999999</Downloader_id><Site_id>6x</Site_id>"
                       "<Slice_num>-5</Slice_num><Slice_size>abc</Slice_size>"
                       "<Additional_time>86400</Additional_time><Filesize>-1</Filesize>"));
  EXPECT_EQ(673, c().downloaderId);
  EXPECT_EQ(611, c().siteId);
  EXPECT_EQ(2, c().sliceNum);
  EXPECT_EQ(4096, c().sliceSize);
  EXPECT_EQ(5, c().additionalTime);
  EXPECT_EQ(1234, c().fileSize);
  EXPECT_TRUE(log_.Contains(" GetCbsInfo Site_id refused (not a number), kept the previous value"));
  EXPECT_TRUE(log_.Contains(" GetCbsInfo Slice_num refused (out of range)"));
  EXPECT_TRUE(events_.published.empty());

  // Filesize: 0 is "unknown" and taken; a petabyte is not an installer.
  ASSERT_EQ(1, Overlay("<Filesize>1000000000000000</Filesize>"));
  EXPECT_EQ(1234, c().fileSize);
  ASSERT_EQ(1, Overlay("<Filesize> 0 </Filesize>"));
  EXPECT_EQ(0, c().fileSize);
  ASSERT_EQ(1, Overlay("<Filesize>68719476736</Filesize>"));  // the cap itself
  EXPECT_EQ(serverdesc::kMaxFileSize, c().fileSize);
  // An element without text is an empty text: not a number.
  ASSERT_EQ(1, Overlay("<Downloader_type/>"));
  EXPECT_EQ(3, c().downloaderType);
}

TEST_F(ServerDescriptionTest, VersionThatCouldLeaveTheDownloadFolderIsRefused) {
  const char* refused[] = {"..\\..\\Windows\\evil",
                           "../x",
                           "1.0/2",
                           "C:evil",
                           "1.0\r\n",
                           "1.0\t",
                           "a*b",
                           "a?b",
                           "a|b",
                           "a\"b",
                           "&lt;a&gt;",
                           "..",
                           "1.0.",
                           " 1.0",
                           "",
                           "1&#1;"};
  for (const char* v : refused) {
    c().softwareVersion = L"1.0.0.0";
    ASSERT_EQ(1, Overlay(std::string("<Software_version>") + v + "</Software_version>")) << v;
    EXPECT_EQ(L"1.0.0.0", c().softwareVersion) << v;
  }
  EXPECT_TRUE(
      log_.Contains(" GetCbsInfo Software_version refused (not usable in a file name), "
                    "kept the previous value: \"1.0\\x09\""));
  ASSERT_EQ(1, Overlay("<Software_version>" + std::string(65, '1') + "</Software_version>"));
  EXPECT_EQ(L"1.0.0.0", c().softwareVersion);
  const char* taken[] = {"1.0.0.1-sleep300", "2024 R2", "v1_2"};
  for (const char* v : taken) {
    ASSERT_EQ(1, Overlay(std::string("<Software_version>") + v + "</Software_version>"));
    EXPECT_EQ(std::string(v), std::string(c().softwareVersion.begin(), c().softwareVersion.end()));
  }
}

TEST_F(ServerDescriptionTest, LongProductNameIsCut) {
  ASSERT_EQ(1, Overlay("<Software_name>" + std::string(400, 'n') + "</Software_name>"));
  EXPECT_EQ(259u, c().softwareName.size());
}

TEST(ServerDescriptionUrl, OverlongHostGivesNoUrl) {
  const serverdesc::QueryTarget target{"https", std::string(600, 'h'), "com"};
  EXPECT_TRUE(serverdesc::BuildQueryUrl(target, 1, 2, 3, 10).empty());
  const serverdesc::QueryTarget fits{"https", std::string(400, 'h'), "com"};
  EXPECT_FALSE(serverdesc::BuildQueryUrl(fits, -1, 2147483647, -2147483647, 7).empty());
}

}  // namespace
