#include "config/endpoints.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "config/endpoint_defaults.h"
#include "log_capture.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "support/temp_dir.h"
#include "support/tree_path.h"

namespace {

TEST(EndpointsTest, PlausibleHosts) {
  const std::string label = std::string(62, 'a') + ".";
  const std::pair<std::string, bool> cases[] = {
      {"config.brindlecot.example", true},
      {"127.0.0.1:8080", true},
      {"[::1]:9443", true},
      {"[2001:db8::10.0.0.1]", true},
      {"host:65535", true},
      {"", false},
      {"http://host", false},
      {"host/path", false},
      {"host:0", false},
      {"host:65536", false},
      {"host:", false},
      {"host:80:90", false},
      {"a..b", false},
      {"host.", false},
      {"user@host", false},
      {"[::1", false},
      {"[zz::1]", false},
      {"::1", false},
      {std::string(64, 'a') + ".example", false},     // label too long
      {label + label + label + label + "a", true},    // 253 characters
      {label + label + label + label + "ab", false},  // 254 characters
  };
  for (const auto& tc : cases) EXPECT_EQ(tc.second, IsPlausibleHost(tc.first)) << tc.first;
}

TEST(EndpointsTest, MissingFileGivesBuildDefaults) {
  testsupport::TempDir dir;
  const Endpoints e = LoadEndpoints(dir.File(L"endpoints.ini"));
  EXPECT_EQ(KERFO_HOST_CONFIG, e.configService);
  EXPECT_EQ(KERFO_HOST_CONFIG_CN, e.configServiceChina);
  EXPECT_EQ(KERFO_HOST_GA4, e.ga4);
  EXPECT_EQ(KERFO_HOST_LOG_UPLOAD_TEST, e.logUploadTest);
}

TEST(EndpointsTest, OverridesApplyAndJunkKeepsDefaults) {
  testsupport::TempDir dir;
  testsupport::LogCapture log(dir.File(L"log.txt"));
  const std::wstring ini = dir.Write(L"endpoints.ini",
                                     "[Endpoints]\n"
                                     "ConfigService=127.0.0.1:18080\n"
                                     "ConfigServiceChina = [::1]:18081 \n"
                                     "DataService=http://evil.example/\n"
                                     "DataServiceTest=sim.test:0\n"
                                     "AlertService=\n"
                                     "AlertServiceTest=h\xC3\xB6st.example\n"
                                     "Collector=localhost:18082\n"
                                     "CollectorTest=a..b\n"
                                     "Ga4=127.0.0.1:18083\n"
                                     "LogUpload=x y\n"
                                     "[Other]\n"
                                     "LogUploadTest=127.0.0.1:1\n");
  const Endpoints e = LoadEndpoints(ini);
  const Endpoints d = DefaultEndpoints();
  EXPECT_EQ("127.0.0.1:18080", e.configService);
  EXPECT_EQ("[::1]:18081", e.configServiceChina);
  EXPECT_EQ(d.dataService, e.dataService);
  EXPECT_EQ(d.dataServiceTest, e.dataServiceTest);
  EXPECT_EQ(d.alertService, e.alertService);
  EXPECT_EQ(d.alertServiceTest, e.alertServiceTest);
  EXPECT_EQ("localhost:18082", e.collector);
  EXPECT_EQ(d.collectorTest, e.collectorTest);
  EXPECT_EQ("127.0.0.1:18083", e.ga4);
  EXPECT_EQ(d.logUpload, e.logUpload);
  EXPECT_EQ(d.logUploadTest, e.logUploadTest);
  EXPECT_TRUE(log.Contains(" Endpoints: ignored DataService=http://evil.example/"));
  EXPECT_TRUE(log.Contains(" Endpoints: ignored LogUpload=x y"));
  EXPECT_FALSE(log.Contains("ignored AlertService="));  // empty is simply unset
}

TEST(EndpointsTest, ProcessRecordIsLoadedOnceFromBesideTheExecutable) {
  std::vector<const Endpoints*> seen(4, nullptr);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&seen, i] { seen[i] = &GetEndpoints(); });
  }
  for (auto& t : threads) t.join();
  for (const Endpoints* p : seen) EXPECT_EQ(seen[0], p);
  const Endpoints fresh = LoadEndpoints(platform::GetModuleDir() + L"endpoints.ini");
  EXPECT_EQ(fresh.configService, seen[0]->configService);
  EXPECT_EQ(fresh.logUploadTest, seen[0]->logUploadTest);
}

}  // namespace

namespace {

// The [Endpoints] example of the README, exactly as a user would copy it.
std::string ReadmeEndpointsExample() {
  std::string readme;
  if (!platform::ReadWholeFile(testsupport::SourcePath("README.md"), &readme)) {
    return std::string();
  }
  const size_t heading = readme.find("\n## Endpoints");
  if (heading == std::string::npos) return std::string();
  const size_t open = readme.find("```ini\n", heading);
  if (open == std::string::npos) return std::string();
  const size_t close = readme.find("```", open + 7);
  return readme.substr(open + 7, close - open - 7);
}

TEST(EndpointsTest, TheReadmeExampleWithItsInlineCommentsOverridesEveryKey) {
  const std::string example = ReadmeEndpointsExample();
  ASSERT_NE(example.find("[Endpoints]"), std::string::npos) << example;
  testsupport::TempDir dir;
  const Endpoints e = LoadEndpoints(dir.Write(L"endpoints.ini", example));
  const std::pair<const char*, const std::string*> fields[] = {
      {"ConfigService", &e.configService},       {"ConfigServiceChina", &e.configServiceChina},
      {"DataService", &e.dataService},           {"DataServiceTest", &e.dataServiceTest},
      {"AlertService", &e.alertService},         {"AlertServiceTest", &e.alertServiceTest},
      {"Collector", &e.collector},               {"CollectorTest", &e.collectorTest},
      {"Ga4", &e.ga4},                           {"LogUpload", &e.logUpload},
      {"LogUploadTest", &e.logUploadTest}};
  int commented = 0;
  for (const auto& [key, field] : fields) {
    const size_t at = example.find(std::string("\n") + key + "=");
    ASSERT_NE(at, std::string::npos) << key << " missing from the README example";
    const size_t valueStart = at + 2 + std::strlen(key);
    std::string line = example.substr(valueStart, example.find('\n', valueStart) - valueStart);
    if (line.find(';') != std::string::npos) ++commented;
    std::string value = line.substr(0, line.find(';'));
    while (!value.empty() && value.back() == ' ') value.pop_back();
    EXPECT_EQ(*field, value) << key;
  }
  EXPECT_GT(commented, 0) << "the example no longer shows an inline comment";
}

TEST(EndpointsTest, InlineCommentsAreDroppedOnlyAfterTheValue) {
  testsupport::TempDir dir;
  const Endpoints e = LoadEndpoints(dir.Write(L"endpoints.ini",
                                              "[Endpoints]\n"
                                              "ConfigService=127.0.0.1:18080\t; tab before\n"
                                              "Collector=127.0.0.1:18081# hash, no blank\n"
                                              "Ga4=;only a comment\n"
                                              "DataService=evil.example;x=1\n"));
  EXPECT_EQ(e.configService, "127.0.0.1:18080");
  EXPECT_EQ(e.collector, "127.0.0.1:18081");
  EXPECT_EQ(e.ga4, KERFO_HOST_GA4);  // nothing left: the default stays
  // What precedes the comment must still be a plausible host on its own.
  EXPECT_EQ(e.dataService, "evil.example");
}

TEST(EndpointsTest, AShippingBuildIgnoresTheFileAndSaysSo) {
  testsupport::TempDir dir;
  const std::wstring ini =
      dir.Write(L"endpoints.ini", "[Endpoints]\nConfigService=127.0.0.1:18080\n");
  EXPECT_EQ(EndpointsForBuild(ini, false).configService, "127.0.0.1:18080");
  {
    testsupport::LogCapture log(dir.File(L"log.txt"));
    const Endpoints shipped = EndpointsForBuild(ini, true);
    EXPECT_EQ(shipped.configService, KERFO_HOST_CONFIG);
    EXPECT_EQ(shipped.collector, KERFO_HOST_COLLECTOR);
    EXPECT_TRUE(log.Contains(
        " Endpoints: shipping build, endpoints.ini beside the executable ignored"));
  }
  {
    // No file, no line.
    testsupport::LogCapture log(dir.File(L"log2.txt"));
    EndpointsForBuild(dir.File(L"absent.ini"), true);
    EXPECT_TRUE(log.Lines().empty());
  }
}

}  // namespace
