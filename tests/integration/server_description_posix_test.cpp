// The server download description against the vendor simulator's configuration service, over
// the real HTTP tool: the request it receives, answers with text around the element, a silent
// international host with the China host answering, the plain-HTTP test form, and a hostile
// answer whose values must not be taken.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>

#include "analytics/description_events.h"
#include "analytics/single_user_log.h"
#include "config/configure.h"
#include "config/download_description.h"
#include "download/config_fetch.h"
#include "platform/text.h"
#include "sim_suite.h"
#include "support/temp_dir.h"

namespace {

constexpr char kSetup[] = "kerfo-fixture-setup-signed.exe";
constexpr size_t kSetupSize = 70001;

class SimServerDescriptionTest : public testsupport::SimSuite<SimServerDescriptionTest> {
 public:
  static void WriteServedFiles() {
    std::ofstream(platform::WideToUtf8(files_->File(platform::Utf8ToWide(kSetup))),
                  std::ios::binary)
        << std::string(kSetupSize, 'k');
  }
  static constexpr int kSimLifetimeSeconds = 600;

 protected:
  void SetUp() override {
    SimSuite::SetUp();
    if (IsSkipped()) return;
    sim_->ReplaceScenario("{}");
  }

  // A record wired to the simulator: the real HTTP tool and a private event log.
  void Wire(CConfigure* config, bool testEnvironment = false, double generation = 10) {
    ServerDescriptionEnv env = ServerDescriptionEnv::Live();
    env.httpGet = &download::FetchConfigurationText;
    env.events = &events_;
    env.isTestEnvironment = [testEnvironment] { return testEnvironment; };
    env.osName = [generation](double* g) {
      *g = generation;
      return std::string("Windows");
    };
    env.endpoints = [] {
      Endpoints e;
      e.configService = "127.0.0.1:" + std::to_string(sim_->Port("ConfigService"));
      e.configServiceChina = "127.0.0.1:" + std::to_string(sim_->Port("ConfigServiceChina"));
      return e;
    };
    config->setServerEnvironment(env);
  }

  analytics::CSingleUserLog log_{analytics::CSingleUserLog::Environment()};
  analytics::CUserLogDescriptionEvents events_{log_};
};

TEST_F(SimServerDescriptionTest, DefaultAnswerOverHttpsFillsTheRecord) {
  CConfigure config(673, 1033, 611);
  Wire(&config, false, 8.1);
  ASSERT_EQ(1, config.getDownloadInfoXml(false, false));
  ASSERT_EQ(1, config.readDownloadInfoFromXml());
  const ProductConfig& c = config.content();
  EXPECT_EQ(ConfigSource::Server, c.source);
  EXPECT_EQ(L"1.0.0.1", c.softwareVersion);
  EXPECT_EQ(static_cast<int64_t>(kSetupSize), c.fileSize);
  EXPECT_EQ(32u, c.md5.size());
  EXPECT_NE(std::wstring::npos, c.downloadUrl.find(platform::Utf8ToWide(kSetup)));
  EXPECT_EQ(3, log_.GetDownloadSettings().connectTimeout);
  EXPECT_EQ(20, log_.GetDownloadSettings().transferTimeout);

  const Json::Value requests = sim_->Requests("ConfigService");
  ASSERT_EQ(1u, requests.size());
  const Json::Value& r = requests[0];
  EXPECT_TRUE(r["tls"].asBool());
  EXPECT_EQ("1033", r["notes"]["params"]["LanguageId"].asString());
  EXPECT_EQ("673", r["notes"]["params"]["SoftWareID"].asString());
  EXPECT_EQ("611", r["notes"]["params"]["SiteID"].asString());
  EXPECT_EQ("5", r["notes"]["params"]["package_type"].asString());
  bool funnel = false;
  for (const auto& e : log_.RecordedEvents()) {
    funnel = funnel ||
             (e.action == "Get download configuration" && e.fields.count("Configuration URL") != 0);
  }
  EXPECT_TRUE(funnel);
}

TEST_F(SimServerDescriptionTest, TextAroundTheElementAndPlainHttpTestForm) {
  ASSERT_TRUE(sim_->PatchScenario(
      R"({"config": {"bom": true, "before": "<?xml version=\"1.0\"?><html><body>",
                     "after": "</body></html>"}})"));
  CConfigure config(673, 1033, 611);
  Wire(&config, /*testEnvironment=*/true);
  ASSERT_EQ(1, config.getDownloadInfoXml(true, false));
  EXPECT_EQ(1, config.readDownloadInfoFromXml());
  EXPECT_EQ(0u, config.getQueryUrl().rfind("http://127.0.0.1:", 0));
  const Json::Value requests = sim_->Requests("ConfigService");
  ASSERT_EQ(1u, requests.size());
  EXPECT_FALSE(requests[0]["tls"].asBool());
  EXPECT_TRUE(requests[0]["notes"]["params"]["package_type"].isNull());  // Windows 10
}

TEST_F(SimServerDescriptionTest, SilentHostTimesOutAndTheChinaHostAnswers) {
  ASSERT_TRUE(sim_->PatchScenario(
      R"({"config": {"mode": "silent"},
          "config_cn": {"mode": "answer", "downloader": [["Software_version", "7.0.0.1"],
                                       ["Download_url", "{download_https}/k.exe"]]}})"));
  CConfigure config(673, 1033, 611);
  Wire(&config);
  std::atomic<bool> started{false};
  EXPECT_EQ(EnumPrefetchResult::kOverlaid,
            PrefetchDownloadDescription(config, started, [] { return 1033; }));
  EXPECT_EQ(L"7.0.0.1", config.softwareVersion());
  bool timedOut = false;
  for (const auto& e : log_.RecordedEvents()) {
    timedOut = timedOut || (e.action == "FlowError" && e.label == "DL002");
  }
  EXPECT_TRUE(timedOut);
  EXPECT_EQ(1u, sim_->Requests("ConfigServiceChina").size());
}

TEST_F(SimServerDescriptionTest, HostileAnswerKeepsTheBuiltInValues) {
  ASSERT_TRUE(sim_->PatchScenario(
      R"({"config": {"downloader": [["Software_version", "..\\..\\Windows\\x"],
                                    ["Download_url", "file:///etc/passwd"],
                                    ["Extra_download_url", "https://mirror.example/k.exe"],
                                    ["Filesize", "-70"], ["Slice_num", "-1"],
                                    ["TimeoutCfg", "0,0"]]}})"));
  CConfigure config(673, 1033, 611);
  Wire(&config);
  config.content().softwareVersion = L"1.0.0.0";
  config.content().downloadUrl = L"https://builtin.example/k.exe";
  ASSERT_EQ(1, config.getDownloadInfoXml(false, false));
  ASSERT_EQ(1, config.readDownloadInfoFromXml());
  const ProductConfig& c = config.content();
  EXPECT_EQ(L"1.0.0.0", c.softwareVersion);
  EXPECT_EQ(L"https://builtin.example/k.exe", c.downloadUrl);
  EXPECT_EQ(0, c.fileSize);
  EXPECT_EQ(0, log_.GetDownloadSettings().sliceNum);
  EXPECT_EQ(3, log_.GetDownloadSettings().connectTimeout);
  EXPECT_EQ(20, log_.GetDownloadSettings().transferTimeout);
  EXPECT_EQ((std::vector<std::wstring>{L"https://builtin.example/k.exe",
                                       L"https://mirror.example/k.exe"}),
            c.backupUrls);
}

}  // namespace
