// The engine against the vendor services simulator: whole downloads over HTTPS and HTTP, the
// CDN answers, redirects and the simulator's download faults.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "analytics/single_user_log.h"
#include "download/download_impl.h"
#include "download/engine_env.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/md5.h"
#include "platform/text.h"
#include "sim_client.h"
#include "support/temp_dir.h"
#include "tests/download/engine_test_support.h"
#include "tests/download/mini_http_server.h"

namespace {

using download::EnumErrorCode;

uint32_t FastTick() { return platform::TickCount() * 1000u; }

class SimDownloadTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    files_ = new testsupport::TempDir();
    state_ = new testsupport::TempDir();
    for (const auto& f : kFiles) {
      std::ofstream out(enginetest::Narrow(files_->File(platform::AnsiToWide(f.name))),
                        std::ios::binary);
      out << testsupport::PatternBytes(f.seed, f.size);
    }
    sim_ = new vendorsim::SimProcess();
    vendorsim::SimProcess::Options options;
    options.stateDir = enginetest::Narrow(state_->path());
    options.filesDir = enginetest::Narrow(files_->path());
    options.lifetimeSeconds = 600;
    std::string error;
    if (!sim_->Start(options, &error)) startError_ = new std::string(error);
  }
  static void TearDownTestSuite() {
    delete sim_;
    delete state_;
    delete files_;
    delete startError_;
    sim_ = nullptr;
  }
  void SetUp() override {
    if (startError_ != nullptr) GTEST_SKIP() << "simulator did not start: " << *startError_;
    sim_->ClearRules();
    download::EngineEnv env;
    env.networkAlive = [] { return true; };
    env.tickCount = FastTick;  // failing rounds end through the stall rule at once
    env_ = std::make_unique<enginetest::ScopedEngineEnv>(env);
  }

  struct File {
    const char* name;
    int64_t size;
    uint32_t seed;
  };
  static constexpr File kFiles[] = {{"setup.exe", 4194305, 11},
                                    {"big.bin", 10485760, 12},
                                    {"small.bin", 2 * 1048576 + 3, 13}};

  // A fresh address for a served file each time, so the size memo never answers for it.
  std::string Url(const char* name, bool https = true) {
    static int n = 0;
    return sim_->Url("Download", "/" + std::string(name), https) + "?n=" + std::to_string(++n);
  }
  EnumErrorCode Round(const std::string& url, const std::wstring& local, std::string* cdn = nullptr) {
    download::CDownLoadImpl engine;
    std::string scratch;
    return engine.SuperDownloadFile(platform::AnsiToWide(url), local, cdn ? cdn : &scratch, true);
  }
  bool Same(const std::wstring& local, const File& f) {
    return enginetest::ReadFile(local) == testsupport::PatternBytes(f.seed, f.size);
  }

  static testsupport::TempDir* files_;
  static testsupport::TempDir* state_;
  static vendorsim::SimProcess* sim_;
  static std::string* startError_;
  std::unique_ptr<enginetest::ScopedEngineEnv> env_;
  testsupport::TempDir dir_;
};

testsupport::TempDir* SimDownloadTest::files_ = nullptr;
testsupport::TempDir* SimDownloadTest::state_ = nullptr;
vendorsim::SimProcess* SimDownloadTest::sim_ = nullptr;
std::string* SimDownloadTest::startError_ = nullptr;
constexpr SimDownloadTest::File SimDownloadTest::kFiles[];

TEST_F(SimDownloadTest, WholeFilesOverHttpsAndHttp) {
  for (bool https : {true, false}) {
    for (const auto& f : kFiles) {
      SCOPED_TRACE(testing::Message() << f.name << (https ? " https" : " http"));
      const std::wstring local = dir_.File(platform::AnsiToWide(f.name) + (https ? L"s" : L"p"));
      ASSERT_EQ(Round(Url(f.name, https), local), download::ErrSuccess);
      EXPECT_TRUE(Same(local, f));
      download::CDownLoadImpl engine;
      const std::string all = testsupport::PatternBytes(f.seed, f.size);
      const std::wstring md5 = platform::AnsiToWide(platform::Md5HexOfBytes(all.data(), all.size()));
      EXPECT_TRUE(engine.checkMD5(local, md5, L"", L"v"));
    }
  }
}

TEST_F(SimDownloadTest, CloudflareAnswersBecomeTheCdnText) {
  ASSERT_TRUE(sim_->PatchScenario(
      R"({"download": {"cdn": {"kind": "cloudflare", "cache_status": "HIT",
          "ray_id": "8c1f0e2d3b4a5f60", "location": "LAX"}}})"));
  analytics::CSingleUserLog::GetInstance().ClearRecordedEvents();
  std::string cdn;
  ASSERT_EQ(Round(Url("small.bin"), dir_.File(L"c.bin"), &cdn), download::ErrSuccess);
  sim_->PatchScenario(R"({"download": {"cdn": null}})");
  EXPECT_NE(cdn.find("T();C("), std::string::npos) << cdn;
  EXPECT_NE(cdn.find("LAX/HIT;"), std::string::npos) << cdn;
  EXPECT_TRUE(enginetest::HasEvent("Download", "3.CDNStatus", "LAX/ HIT"));
}

TEST_F(SimDownloadTest, ExeAnsweredWholeIsRefusedOtherFilesAreNot) {
  ASSERT_TRUE(sim_->AddRule(R"({"endpoint": "Download", "method": "GET", "path": "/setup.exe",
                                "count": 0, "whole_200": true})"));
  ASSERT_TRUE(sim_->AddRule(R"({"endpoint": "Download", "method": "GET", "path": "/big.bin",
                                "count": 0, "whole_200": true})"));
  // The check reads the address's last four characters, so this one ends in ".exe".
  EXPECT_EQ(Round(sim_->Url("Download", "/setup.exe", false), dir_.File(L"w.exe")),
            download::ErrNoProgress);
  EXPECT_FALSE(Same(dir_.File(L"w.exe"), kFiles[0]));
  ASSERT_EQ(Round(Url("big.bin"), dir_.File(L"w.bin")), download::ErrSuccess);
  EXPECT_TRUE(Same(dir_.File(L"w.bin"), kFiles[1]));
}

TEST_F(SimDownloadTest, FaultsThatNoRoundSurvives) {
  struct Case {
    const char* rule;
    EnumErrorCode expected;
  } cases[] = {
      {R"("wrong_total": 1)", download::ErrNoProgress},
      {R"("lowercase_headers": true)", download::ErrContentLength},
      {R"("no_length": true)", download::ErrContentLength},
      {R"("status": 404)", download::ErrContentLength},
      {R"("status": 503, "first": 2)", download::ErrNoProgress},  // probe fine, slices fail
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    sim_->ClearRules();
    ASSERT_TRUE(sim_->AddRule(std::string(R"({"endpoint": "Download", "path": "/big.bin", "count": 0, )") +
                              c.rule + "}"));
    const std::wstring local = dir_.File(L"f.bin");
    EXPECT_EQ(Round(Url("big.bin"), local), c.expected);
    EXPECT_FALSE(Same(local, kFiles[1]));
    platform::RemoveFile(local);
    platform::RemoveFile(local + L".xml");
  }
}

TEST_F(SimDownloadTest, BrokenConnectionsResumeRoundAfterRound) {
  ASSERT_TRUE(sim_->AddRule(R"({"endpoint": "Download", "method": "GET", "path": "/big.bin",
                                "count": 0, "drop_after": 1500000})"));
  const std::string url = Url("big.bin");
  const std::wstring local = dir_.File(L"d.bin");
  int rounds = 0;
  EnumErrorCode result = download::ErrNoProgress;
  while (result != download::ErrSuccess && rounds < 12) {
    result = Round(url, local);
    ++rounds;
  }
  EXPECT_EQ(result, download::ErrSuccess);
  EXPECT_GE(rounds, 3);
  EXPECT_TRUE(Same(local, kFiles[1]));
}

TEST_F(SimDownloadTest, CorruptedByteIsCaughtByTheDigest) {
  ASSERT_TRUE(sim_->AddRule(R"({"endpoint": "Download", "method": "GET", "path": "/small.bin",
                                "count": 0, "corrupt_offset": 1048576})"));
  const std::wstring local = dir_.File(L"x.bin");
  ASSERT_EQ(Round(Url("small.bin"), local), download::ErrSuccess);
  const std::string all = testsupport::PatternBytes(kFiles[2].seed, kFiles[2].size);
  download::CDownLoadImpl engine;
  EXPECT_FALSE(engine.checkMD5(local, platform::AnsiToWide(platform::Md5HexOfBytes(all.data(), all.size())),
                               L"", L"v"));
}

TEST_F(SimDownloadTest, RedirectedAddressIsWhatTheSlicesAsk) {
  ASSERT_TRUE(sim_->PatchScenario(R"({"download": {"redirects": {"/old.bin": "/small.bin"}}})"));
  const std::wstring local = dir_.File(L"r.bin");
  ASSERT_EQ(Round(sim_->Url("Download", "/old.bin", true), local), download::ErrSuccess);
  EXPECT_TRUE(Same(local, kFiles[2]));
  const Json::Value requests = sim_->Requests("Download");
  int rangedOld = 0;
  for (const auto& r : requests) {
    if (r["path"].asString() == "/old.bin" && r["method"].asString() == "GET") ++rangedOld;
  }
  EXPECT_EQ(rangedOld, 0);
}

}  // namespace
