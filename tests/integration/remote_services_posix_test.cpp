// The banner and privacy fetches against the simulator's data service: signed requests it
// accepts, the pictures it serves landing by sort in the download folder, a broken picture
// keeping the carousel off, the list under "data", and the privacy links it hands out.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "config/configure.h"
#include "platform/files.h"
#include "platform/text.h"
#include "platform/url_download.h"
#include "remote/cbs_services.h"
#include "sim_client.h"
#include "support/temp_dir.h"

namespace {

class SimWindow : public remote::IBannerWindow {
 public:
  explicit SimWindow(std::wstring folder) : folder_(std::move(folder)) {}
  EnumLanguage BannerLanguage() const override { return EnumLanguage::Swedish; }
  int BannerProductId() const override { return 7001; }
  std::wstring BannerDownloadFolder() const override { return folder_; }
  bool CanLoadBannerImage(const std::wstring& path) override {
    std::string bytes;
    return platform::ReadWholeFile(path, &bytes) && bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0;
  }
  void StoreBanner(const remote::BannerRecord& record) override { stored[record.sort] = record; }
  void PostBannerReady() override { ++posted; }

  std::map<int, remote::BannerRecord> stored;
  int posted = 0;

 private:
  std::wstring folder_;
};

class RemoteSimTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    state_ = new testsupport::TempDir();
    sim_ = new vendorsim::SimProcess();
    vendorsim::SimProcess::Options options;
    options.stateDir = platform::WideToUtf8(state_->path());
    options.lifetimeSeconds = 300;
    std::string error;
    if (!sim_->Start(options, &error)) startError_ = new std::string(error);
  }
  static void TearDownTestSuite() {
    delete sim_;
    delete state_;
    delete startError_;
    sim_ = nullptr;
  }
  void SetUp() override {
    if (startError_ != nullptr) GTEST_SKIP() << "simulator did not start: " << *startError_;
    sim_->ClearRequests();
  }

  remote::RemoteServices Services() {
    remote::RemoteServices s = remote::RemoteServices::Live();
    s.endpoints.dataService = "127.0.0.1:" + std::to_string(sim_->Port("DataService"));
    s.endpoints.dataServiceTest = s.endpoints.dataService;
    s.isTestEnvironment = [] { return false; };
    s.userLog = [this](const char*, const char*, const char* label) { flowErrors_.push_back(label); };
    s.funnelEvent = [this](const std::string&, const std::string& action, const std::string&,
                           const std::string&) { events_.push_back(action); };
    return s;
  }

  // The verify verdicts the simulator noted for the requests of a path.
  std::vector<std::string> Verdicts(const std::string& path) {
    std::vector<std::string> verdicts;
    for (const Json::Value& r : sim_->Requests("DataService")) {
      if (r["path"].asString() == path) verdicts.push_back(r["notes"]["verify"].asString());
    }
    return verdicts;
  }

  static vendorsim::SimProcess* sim_;
  static testsupport::TempDir* state_;
  static std::string* startError_;
  testsupport::TempDir folder_;
  std::vector<std::string> flowErrors_;
  std::vector<std::string> events_;
};

vendorsim::SimProcess* RemoteSimTest::sim_ = nullptr;
testsupport::TempDir* RemoteSimTest::state_ = nullptr;
std::string* RemoteSimTest::startError_ = nullptr;

TEST_F(RemoteSimTest, BannersOfTheServiceLandBySortAndStartTheCarousel) {
  ASSERT_TRUE(sim_->ReplaceScenario("{}"));
  SimWindow window(folder_.path());
  remote::GetCbsBanner(window, Services());
  EXPECT_EQ(Verdicts("/api/v1/banners"), std::vector<std::string>{"ok"});
  EXPECT_EQ(window.posted, 1);
  ASSERT_EQ(window.stored.size(), 2u);
  EXPECT_EQ(window.stored.at(1).localPath, folder_.File(L"1.png"));
  EXPECT_TRUE(platform::PathExists(folder_.File(L"2.png")));
  EXPECT_NE(window.stored.at(2).jumpUrl.find(L"/landing/2"), std::wstring::npos);
  EXPECT_EQ(window.stored.at(2).prompt, L"Kerfo PDF Editor");
}

TEST_F(RemoteSimTest, ABrokenPictureUnderDataKeepsTheCarouselOff) {
  ASSERT_TRUE(sim_->ReplaceScenario(R"({"data": {"shape": "data", "banners": [
      {"banner_url": "{http:DataService}/images/good.png", "sort": 4},
      {"banner_url": "{http:DataService}/images/broken.png", "sort": 5}]}})"));
  SimWindow window(folder_.path());
  remote::GetCbsBanner(window, Services());
  EXPECT_EQ(window.posted, 0);
  ASSERT_EQ(window.stored.size(), 1u);
  EXPECT_TRUE(platform::PathExists(folder_.File(L"4.png")));
  EXPECT_FALSE(platform::PathExists(folder_.File(L"5.png")));
  EXPECT_FALSE(platform::PathExists(folder_.File(L"5.png.xml")));
}

TEST_F(RemoteSimTest, PrivacyLinksOfTheServiceAreStoredAndGapsReported) {
  ASSERT_TRUE(sim_->ReplaceScenario(R"({"data": {"privacy": [
      {"lang_code": "en", "urls": [{"field": "tc", "url": "{https:DataService}/terms/en"},
                                   {"field": "p", "url": "{https:DataService}/privacy/en"}]},
      {"lang_code": "se", "urls": [{"field": "p", "url": "{https:DataService}/privacy/se"}]}]}})"));
  CConfigure configure(277, 1, 2);
  configure.setDefaultPolicyUrls(L"https://default/privacy", L"https://default/terms");
  remote::GetCbsPrivacy(configure, 7001, Services());
  EXPECT_EQ(Verdicts("/api/v1/user_privacy_info"), std::vector<std::string>{"ok"});
  EXPECT_NE(configure.getLicenseUrl("en").find(L"/terms/en"), std::wstring::npos);
  EXPECT_NE(configure.getPrivacyUrl("se").find(L"/privacy/se"), std::wstring::npos);
  EXPECT_EQ(configure.getLicenseUrl("se"), L"https://default/terms");
  EXPECT_EQ(flowErrors_, std::vector<std::string>{"DL005"});
  EXPECT_EQ(events_, std::vector<std::string>{"ObtainProtocolTime"});
}

TEST_F(RemoteSimTest, SystemDownloadLeavesNothingBehindWhenTheAnswerIsAnError) {
  const std::wstring file = folder_.File(L"7.png");
  const std::string good = sim_->Url("DataService", "/images/seven.png", false);
  EXPECT_EQ(platform::DownloadUrlToFile(platform::Utf8ToWide(good), file), 0);
  std::string bytes;
  ASSERT_TRUE(platform::ReadWholeFile(file, &bytes));
  EXPECT_EQ(bytes.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
  const std::string missing = sim_->Url("DataService", "/no/such/picture.png", false);
  EXPECT_NE(platform::DownloadUrlToFile(platform::Utf8ToWide(missing), file), 0);
  EXPECT_FALSE(platform::PathExists(file));
  EXPECT_NE(platform::DownloadUrlToFile(L"file:///etc/hostname", file), 0);
  EXPECT_FALSE(platform::PathExists(file));
}

}  // namespace
