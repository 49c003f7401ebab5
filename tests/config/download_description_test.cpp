// The two callers of the server description in their orders: the window's prefetch (abandon
// when the install flow has started, China retry, overlay, hand-over) and the install thread's
// step (server, China retry, built-in fallback, or only the log when the record is complete),
// also both at once; and the event log adapter's publishing of the settings.
#include "config/download_description.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <string>
#include <thread>

#include "analytics/description_events.h"
#include "description_fakes.h"
#include "log_capture.h"
#include "map_source.h"
#include "support/temp_dir.h"

namespace {

using desctest::Element;
using desctest::kChinaHost;
using desctest::kHost;

using testsupport::MapSource;

const std::string kReply = Element(
    "<Software_version>5.0.0.2</Software_version>"
    "<Download_url>https://a.example/k.exe</Download_url><Slice_num>4</Slice_num>");

class DownloadDescriptionTest : public testing::Test {
 protected:
  DownloadDescriptionTest() : config_(673, 1033, 611), log_(dir_.File(L"log.txt")) {
    config_.setServerEnvironment(service_.Env(&events_));
    skin_.texts = {{L"Software_version", L"1.0.0.0"},
                   {L"Download_url", L"https://builtin.example/k.exe"},
                   {L"Extra_download_url", L""}};
    config_.loadFromSkin(skin_, false);  // as the window does when it initialises
  }
  size_t Asked(const std::string& host) const {
    size_t n = 0;
    for (const auto& u : service_.urls) n += desctest::ScriptedService::HostOf(u) == host;
    return n;
  }

  testsupport::TempDir dir_;
  desctest::ScriptedService service_;
  desctest::RecordingEvents events_;
  CConfigure config_;
  MapSource skin_;
  testsupport::LogCapture log_;
  std::atomic<bool> installStarted_{false};
  LanguageIdGetter language_ = [] { return 1041; };
};

TEST_F(DownloadDescriptionTest, PrefetchOverlaysAndHandsOverVersionAndLanguage) {
  service_.replies[kHost] = {{0, kReply}};
  EXPECT_EQ(EnumPrefetchResult::kOverlaid,
            PrefetchDownloadDescription(config_, installStarted_, language_));
  EXPECT_EQ(0u, Asked(kChinaHost));  // fetched at once: no China retry
  EXPECT_EQ(2, config_.readyState());
  EXPECT_EQ(L"5.0.0.2", config_.softwareVersion());
  ASSERT_EQ(1u, events_.extraCommon.size());
  EXPECT_EQ(1041, events_.extraCommon[0].first);
  EXPECT_EQ("5.0.0.2", events_.extraCommon[0].second);
  EXPECT_TRUE(events_.Has("AsyncGetCbsTime", "2"));
}

TEST_F(DownloadDescriptionTest, PrefetchRetriesWithTheChinaHost) {
  service_.replies[kChinaHost] = {{0, kReply}};
  EXPECT_EQ(EnumPrefetchResult::kOverlaid,
            PrefetchDownloadDescription(config_, installStarted_, language_));
  EXPECT_EQ(1u, Asked(kHost));
  EXPECT_EQ(1u, Asked(kChinaHost));
  EXPECT_TRUE(events_.Has("FlowError", "DL003"));  // the first host was not resolved
  EXPECT_EQ(ConfigSource::Server, config_.content().source);
}

TEST_F(DownloadDescriptionTest, PrefetchGivesUpOnceTheInstallFlowStarted) {
  // Started while the first request ran: no second request, no overlay.
  service_.onRequest = [this](const std::string&) { installStarted_ = true; };
  EXPECT_EQ(EnumPrefetchResult::kAbandoned,
            PrefetchDownloadDescription(config_, installStarted_, language_));
  EXPECT_EQ(1u, service_.urls.size());
  EXPECT_TRUE(log_.Contains(" GetDownloaderInfo(Async) abandon"));
  EXPECT_TRUE(events_.extraCommon.empty());

  // Started during the China retry: the element is cached but not overlaid.
  CConfigure second(673, 1033, 611);
  second.setServerEnvironment(service_.Env(&events_));
  installStarted_ = false;
  service_.urls.clear();
  service_.replies[kChinaHost] = {{0, kReply}};
  service_.onRequest = [this](const std::string& url) {
    if (desctest::ScriptedService::HostOf(url) == kChinaHost) installStarted_ = true;
  };
  EXPECT_EQ(EnumPrefetchResult::kAbandoned,
            PrefetchDownloadDescription(second, installStarted_, language_));
  EXPECT_EQ(2u, service_.urls.size());
  EXPECT_EQ(1, second.readyState());
  EXPECT_FALSE(second.content().serverXml.empty());
  EXPECT_TRUE(events_.extraCommon.empty());
}

TEST_F(DownloadDescriptionTest, PrefetchWithNothingUsableLeavesTheRecordToTheInstallThread) {
  service_.replies[kHost] = {{0, "<p>maintenance</p>"}};
  service_.replies[kChinaHost] = {{28, ""}};
  EXPECT_EQ(EnumPrefetchResult::kNotParsed,
            PrefetchDownloadDescription(config_, installStarted_, language_));
  EXPECT_EQ(1, config_.readyState());
  EXPECT_TRUE(events_.Has("FlowError", "DL002"));
}

TEST_F(DownloadDescriptionTest, InstallStepUsesTheServerThenFallsBackToTheSkin) {
  // Both hosts fail: the built-in configuration completes the record.
  installStarted_ = true;
  EXPECT_EQ(ConfigSource::BuiltIn, CompleteDownloadDescription(config_, skin_, language_));
  EXPECT_EQ(1u, Asked(kHost));
  EXPECT_EQ(1u, Asked(kChinaHost));
  EXPECT_TRUE(events_.Has("SyncGetCbsTime", "2"));
  EXPECT_EQ(2, config_.readyState());
  EXPECT_EQ((std::vector<std::wstring>{L"https://builtin.example/k.exe"}),
            config_.content().backupUrls);
  EXPECT_EQ(1u, events_.extraCommon.size());  // handed over before the fallback
  EXPECT_EQ("1.0.0.0", events_.extraCommon[0].second);

  // Complete already: no request, only the record's log.
  service_.urls.clear();
  EXPECT_EQ(ConfigSource::BuiltIn, CompleteDownloadDescription(config_, skin_, language_));
  EXPECT_TRUE(service_.urls.empty());
  EXPECT_TRUE(log_.Contains(" Configure Load From File! "));
}

TEST_F(DownloadDescriptionTest, InstallStepTakesTheChinaAnswer) {
  service_.replies[kHost] = {{6, ""}};
  service_.replies[kChinaHost] = {{0, kReply}};
  EXPECT_EQ(ConfigSource::Server, CompleteDownloadDescription(config_, skin_, language_));
  EXPECT_EQ(L"5.0.0.2", config_.softwareVersion());
  EXPECT_EQ(4, config_.content().sliceNum);
  ASSERT_EQ(1u, events_.extraCommon.size());
  EXPECT_EQ("5.0.0.2", events_.extraCommon[0].second);
}

TEST_F(DownloadDescriptionTest, PrefetchAndInstallThreadTogetherAskOnceAndOverlayCleanly) {
  service_.replies[kHost] = {{0, kReply}};
  for (int round = 0; round < 20; ++round) {
    CConfigure config(673, 1033, 611);
    config.setServerEnvironment(service_.Env(&events_));
    config.loadFromSkin(skin_, false);
    std::atomic<bool> started{false};
    service_.urls.clear();
    std::thread prefetch([&] { PrefetchDownloadDescription(config, started, language_); });
    started = true;
    const ConfigSource source = CompleteDownloadDescription(config, skin_, language_);
    prefetch.join();
    EXPECT_EQ(ConfigSource::Server, source);
    EXPECT_EQ(1u, service_.urls.size()) << "round " << round;  // the element is fetched once
    EXPECT_EQ((std::vector<std::wstring>{L"https://a.example/k.exe"}), config.content().backupUrls);
  }
}

TEST(DescriptionEventsTest, PublishingKeepsSettingsTheDescriptionDidNotCarry) {
  analytics::CSingleUserLog log{analytics::CSingleUserLog::Environment()};
  analytics::CSingleUserLog::DownloadSettings before;
  before.sliceNum = 9;
  before.backRunning = 1;
  before.connectTimeout = 4;
  log.SetDownloadSettings(before);
  analytics::CUserLogDescriptionEvents events(log);
  DownloadSettingsUpdate update;
  update.sliceSize = 65536;
  update.transferTimeout = 45;
  events.PublishDownloadSettings(update);
  const auto after = log.GetDownloadSettings();
  EXPECT_EQ(9, after.sliceNum);
  EXPECT_EQ(1, after.backRunning);
  EXPECT_EQ(4, after.connectTimeout);
  EXPECT_EQ(65536, after.sliceSize);
  EXPECT_EQ(45, after.transferTimeout);
}

}  // namespace
