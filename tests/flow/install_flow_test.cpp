// The install thread against a recording window, a scripted download engine, scripted trial
// downloads and a scripted held installer: the rounds with their flow errors and retry counts,
// the address choice, the marker rule, verification, the wait with its time-out, failing
// installers, full disks and the end of the flow.
#include "flow/install_checks.h"
#include "flow/install_flow.h"
#include "flow/language_handover.h"

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "analytics/fake_report.h"
#include "analytics/test_log_env.h"
#include "analytics/single_user_log.h"
#include "config/log_capture.h"
#include "flow/fake_flow_window.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/temp_dir.h"
#include "support/tree_path.h"
#include "platform/md5.h"
#include "platform/paths.h"
#include "platform/clock.h"

namespace {

using analytics::CSingleUserLog;
using flow::IHeldInstaller;
using platform::ChildProcess;

const wchar_t kExtraUrl[] = L"https://download.brindlecot.example/kerfo/BrindlecotKerfo_setup.exe";
const wchar_t kMirror[] = L"https://mirror.brindlecot.example/kerfo/BrindlecotKerfo_setup.exe";
const char kDigest[] = "0123456789abcdef0123456789abcdef";

// What the scripted held installer does, and what was asked of it.
struct HeldScript {
  std::string digest = kDigest;
  bool signatureGood = true;
  uint32_t startError = 0;
  int endsAtWait = 1;  // the wait that sees it ended; 0 never
  uint32_t exitCode = 0;
  int starts = 0;
  int waits = 0;
  std::wstring commandLine;
};

class ScriptedHeld : public IHeldInstaller {
 public:
  explicit ScriptedHeld(HeldScript* script) : s_(script) {}
  bool Md5Hex(std::string* hex) override {
    *hex = s_->digest;
    return true;
  }
  bool VerifySignature() override { return s_->signatureGood; }
  uint32_t Start(const std::wstring& commandLine) override {
    ++s_->starts;
    s_->commandLine = commandLine;
    return s_->startError;
  }
  ChildProcess::WaitResult Wait(uint32_t) override {
    ++s_->waits;
    return s_->endsAtWait != 0 && s_->waits >= s_->endsAtWait
               ? ChildProcess::WaitResult::kEnded
               : ChildProcess::WaitResult::kStillRunning;
  }
  bool ExitCode(uint32_t* code) override {
    *code = s_->exitCode;
    return true;
  }

 private:
  HeldScript* s_;
};

class Trial : public flow::ITrialDownload {
 public:
  Trial(int64_t bytes, int* finished) : bytes_(bytes), finished_(finished) {}
  int64_t Downloaded() override { return bytes_; }
  void Finish() override { ++*finished_; }

 private:
  int64_t bytes_;
  int* finished_;
};

class InstallFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = std::make_unique<CSingleUserLog>(testsupport::TestLogEnvironment(&report_));
    ProductConfig& c = window_.configure.content();
    c.ready = 2;
    c.source = ConfigSource::Server;
    c.softwareName = L"Brindlecot Kerfo";
    c.softwareVersion = L"1.0.0.1";
    c.md5 = platform::Utf8ToWide(kDigest);
    c.extraDownloadUrl = kExtraUrl;
    c.backupUrls = {kMirror};
    c.downloaderType = 1;
    c.installTimeout = 240;
    c.queryUrl = "https://config.example/queryDownloaderV2?LanguageId=1033";
    window_.skin[L"Extra_download_url"] = kExtraUrl;
  }

  flow::InstallFlowDeps Deps() {
    flow::InstallFlowDeps deps;
    deps.log = log_.get();
    deps.downloadFolder = dir_.path() + L"dl";
    deps.logFolder = dir_.path() + L"logs";
    platform::CreateOneDirectory(deps.downloadFolder);
    deps.downloadRound = [this](const std::wstring& url, const std::wstring& path, std::string* cdn,
                                const download::CDownLoadImpl::ProgressCallback& progress) {
      if (rounds_++ == 0) {
        installerAtFirstRound_ = platform::PathExists(path);
        taskFileAtFirstRound_ = platform::PathExists(path + L".xml");
        markerAtFirstRound_ = platform::PathExists(path + L".db");
      }
      roundUrls_.push_back(url);
      installerPath_ = path;
      for (const auto& p : progressScript_) progress(p.first, p.second);
      const int result = results_.empty() ? 1 : results_.front();
      if (!results_.empty()) results_.pop_front();
      if (result == 1) platform::WriteFileAtomically(path, "MZ installer bytes");
      *cdn = cdnText_;
      return result;
    };
    deps.startTrial = [this](const std::wstring& url, const std::wstring& file,
                             const std::string& tag) -> std::unique_ptr<flow::ITrialDownload> {
      trialTags_.push_back(tag);
      platform::WriteFileAtomically(file, "part");
      auto it = trialBytes_.find(url);
      if (it == trialBytes_.end()) return nullptr;
      return std::make_unique<Trial>(it->second, &trialsFinished_);
    };
    deps.holdInstaller = [this](const std::wstring& path,
                                uint32_t* error) -> std::unique_ptr<IHeldInstaller> {
      ++holds_;
      heldPath_ = path;
      if (!holdable_) {
        *error = 32;
        return nullptr;
      }
      return std::make_unique<ScriptedHeld>(&held_);
    };
    deps.osGeneration = [this] { return osGeneration_; };
    deps.probeAddress = [this](const std::wstring& url, int* transfer) {
      probed_.push_back(url);
      *transfer = 0;
      return probeStatus_;
    };
    deps.requestCounter = [this] { return requestCounter_; };
    deps.handOverLanguage = [this](flow::IFlowWindow&) { ++handOvers_; };
    deps.openUrl = [this](const std::wstring& url) {
      opened_.push_back(url);
      return true;
    };
    deps.freeBytes = [this](const std::wstring&, uint64_t* bytes) {
      *bytes = freeBytes_;
      return true;
    };
    deps.isAutoRunMode = [this] { return autoRun_; };
    deps.isBackgroundMode = [] { return false; };
    deps.reportPoster = [this](const std::string&, const std::string& body, std::string* answer) {
      reports_.push_back(body);
      *answer = "{}";
      return CURLE_OK;
    };
    deps.reportUrl = "https://127.0.0.1:9/api/exception/send";
    deps.sleep = [this](uint32_t ms) { slept_ += ms; };
    deps.tick = [this] { return tick_ += 10; };
    deps.localTime = [] {
      platform::LocalTime t;
      t.year = 2026, t.month = 12, t.day = 9, t.hour = 13, t.minute = 5, t.second = 7;
      return t;
    };
    deps.releaseSingleInstance = [this] { ++released_; };
    deps.relaunchSelf = [this](uint32_t* result, uint32_t* error) {
      ++relaunches_;
      *result = 42;
      *error = 0;
    };
    return deps;
  }

  int RunFlow() {
    flow::CInstallFlow flow(Deps());
    return flow.InstallThreadFunc(window_);
  }

  std::vector<std::string> Labels(const char* category, const char* action) const {
    std::vector<std::string> out;
    for (const auto& e : log_->RecordedEvents()) {
      if (e.kind == "ga4" && e.category == category && e.action == action) out.push_back(e.label);
    }
    return out;
  }
  std::vector<std::string> FlowErrors() const { return Labels("Other", "FlowError"); }
  bool Has(const char* category, const char* action) const {
    return !Labels(category, action).empty();
  }
  int RetryLines(const testsupport::LogCapture& capture, const std::string& count) const {
    int n = 0;
    for (const std::string& line : capture.Lines())
      n += line.find("The Retry Frequency is:" + count) != std::string::npos ? 1 : 0;
    return n;
  }
  std::wstring Installer() const {
    return dir_.path() + L"dl\\BrindlecotKerfo_setup_1.0.0.1.exe";
  }

  testsupport::TempDir dir_;
  testsupport::FakeReport report_;
  std::unique_ptr<CSingleUserLog> log_;
  testsupport::FakeFlowWindow window_;
  HeldScript held_;
  std::deque<int> results_;
  std::vector<std::pair<int64_t, int64_t>> progressScript_;
  std::map<std::wstring, int64_t> trialBytes_;
  std::vector<std::string> trialTags_;
  std::vector<std::wstring> roundUrls_, probed_, opened_;
  std::vector<std::string> reports_;
  std::wstring installerPath_, heldPath_;
  std::string cdnText_;
  bool holdable_ = true, autoRun_ = false;
  bool installerAtFirstRound_ = false, taskFileAtFirstRound_ = false, markerAtFirstRound_ = false;
  int rounds_ = 0, holds_ = 0, handOvers_ = 0, trialsFinished_ = 0, released_ = 0,
      relaunches_ = 0, requestCounter_ = 0;
  long probeStatus_ = 200;
  double osGeneration_ = 10;
  uint64_t freeBytes_ = 1ull << 40;
  uint32_t slept_ = 0, tick_ = 1000;
};

// ---------------------------------------------------------------------------------------------
// Rounds

TEST_F(InstallFlowTest, FirstRoundSuccessLogsNoRetryCountAndRunsTheWholeFlow) {
  testsupport::LogCapture capture(dir_.File(L"flow.log"));
  EXPECT_EQ(RunFlow(), -1);  // nothing reads it; the install ran to its end
  EXPECT_EQ(rounds_, 1);
  EXPECT_EQ(RetryLines(capture, ""), 0);
  EXPECT_EQ(window_.Messages(),
            (std::vector<uint32_t>{flow::WM_VERIFY_START, flow::WM_INSTALL_START,
                                   flow::WM_INSTALL_FINISH}));
  EXPECT_TRUE(window_.threadStarted);
  EXPECT_TRUE(window_.installOk);
  EXPECT_TRUE(window_.installFinished);
  EXPECT_TRUE(FlowErrors().empty());
  EXPECT_EQ(Labels("Download", "5.ProgramInstall"), std::vector<std::string>{"First"});
  EXPECT_EQ(Labels("Download", flow::kReadyToInstallAction), std::vector<std::string>{"First"});
  EXPECT_TRUE(Has("Download", "6.ProgramFinsh"));
  EXPECT_EQ(Labels("Other", "ProductVersion"), std::vector<std::string>{"1.0.0.1"});
  EXPECT_EQ(heldPath_, Installer());
  EXPECT_EQ(window_.GetAddressInUse(), kMirror);
  EXPECT_EQ(handOvers_, 1);
  // The installer and its files are gone once the product is installed.
  EXPECT_FALSE(platform::PathExists(Installer()));
  EXPECT_FALSE(platform::PathExists(Installer() + L".db"));
  EXPECT_TRUE(capture.Contains("[Start Install CmdLine]: /VERYSILENT"));
}

TEST_F(InstallFlowTest, FifthRoundSuccessLogsFourAndEveryFailedRoundItsFlowError) {
  testsupport::LogCapture capture(dir_.File(L"flow.log"));
  results_ = {9, 10, 6, 7, 1};
  RunFlow();
  EXPECT_EQ(rounds_, 5);
  EXPECT_EQ(FlowErrors(), (std::vector<std::string>{"DL010", "DL011", "DL012", "DL027"}));
  for (const char* count : {"0", "1", "2", "3", "4"}) EXPECT_EQ(RetryLines(capture, count), 1);
  EXPECT_EQ(RetryLines(capture, "5"), 0);
  EXPECT_EQ(window_.Count(flow::WM_DOWNLOAD_FAIL), 0);
  EXPECT_EQ(window_.Count(flow::WM_INSTALL_FINISH), 1);
}

TEST_F(InstallFlowTest, TwelveFailedRoundsEndWithElevenAndOneFailureCarryingTheLastResult) {
  testsupport::LogCapture capture(dir_.File(L"flow.log"));
  results_.assign(11, 11);
  results_.push_back(15);
  EXPECT_EQ(RunFlow(), -1);
  EXPECT_EQ(rounds_, 12);
  EXPECT_EQ(RetryLines(capture, "11"), 1);
  EXPECT_EQ(RetryLines(capture, "12"), 0);
  EXPECT_EQ(window_.Count(flow::WM_DOWNLOAD_FAIL), 1);
  EXPECT_EQ(window_.LastParam(flow::WM_DOWNLOAD_FAIL), 15u);
  EXPECT_EQ(Labels("Other", "DownErrorCode"), std::vector<std::string>{"error_15"});
  EXPECT_EQ(FlowErrors().size(), 12u);
  EXPECT_EQ(FlowErrors().back(), "DL031");
  EXPECT_EQ(holds_, 0);  // nothing to verify, nothing run

  // A window that is going away gets no further rounds.
  rounds_ = 0;
  results_.assign(3, 10);
  window_.shuttingDown = true;
  window_.posted.clear();
  RunFlow();
  EXPECT_EQ(rounds_, 1);
  EXPECT_EQ(window_.LastParam(flow::WM_DOWNLOAD_FAIL), 10u);
}

TEST_F(InstallFlowTest, RedirectLoopSendsReportOneOnceAndTheNextRoundRuns) {
  results_ = {14, 8, 13, 1};
  RunFlow();
  EXPECT_EQ(rounds_, 4);
  EXPECT_EQ(FlowErrors(), (std::vector<std::string>{"DL017", "DL028", "DL022"}));
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0],
            "pid=673&type=2&exception_code=Url_Too_Many_Redirects&other="
            "https://config.example/queryDownloaderV2?LanguageId=1033," +
                platform::WideToUtf8(kMirror));
}

TEST_F(InstallFlowTest, ProgressOfTheRoundsGoesToEightyFiveAndTheSizeIsKeptOnce) {
  progressScript_ = {{0, 2097152}, {1048576, 2097152}, {524288, 2097152}, {2097152, 2097152}};
  results_ = {10, 1};
  cdnText_ = "HIT,LAX/HIT";
  RunFlow();
  EXPECT_EQ(window_.totalSize.load(), 2097152);
  EXPECT_EQ(Labels("Other", "PackageSize"), std::vector<std::string>{"2.00MB"});
  EXPECT_EQ(Labels("Other", "CDNInfor").size(), 2u);
  // The window only moves forward; the flow never asks for more than 85 while downloading.
  const std::vector<int> expected = {0, 42, 21, 85, 0, 42, 21, 85};
  EXPECT_EQ(window_.progressCalls, expected);
}

TEST_F(InstallFlowTest, FullDownloadDriveStopsTheRoundsWithTheDiskBox) {
  results_ = {7, 7, 7};
  freeBytes_ = 4096;
  EXPECT_EQ(RunFlow(), -1);
  EXPECT_EQ(rounds_, 1);
  EXPECT_EQ(FlowErrors(), (std::vector<std::string>{"DL027", "DL008"}));
  EXPECT_EQ(Labels("Other", "NoEnoughSpace"), std::vector<std::string>{"download_4096"});
  EXPECT_EQ(window_.LastParam(flow::WM_DOWNLOAD_FAIL), flow::kDownloadFailNoSpace);
  EXPECT_FALSE(Has("Download", "6.ProgramFinsh"));
}

// ---------------------------------------------------------------------------------------------
// Address choice

TEST_F(InstallFlowTest, OnlyForbiddenOwnHostsInTrialModeGiveNoAddressAndDl023) {
  ProductConfig& c = window_.configure.content();
  c.backupUrls = {L"https://dl.brindlecot.example/a.exe", L"https://cdn.brindlecot.example/b.exe"};
  c.downloaderType = 3;
  requestCounter_ = 4;
  EXPECT_EQ(RunFlow(), -1);
  EXPECT_TRUE(trialTags_.empty());
  EXPECT_EQ(rounds_, 0);
  EXPECT_EQ(c.ready, 1);
  EXPECT_EQ(FlowErrors(), std::vector<std::string>{"DL023"});
  EXPECT_EQ(window_.Messages(), std::vector<uint32_t>{flow::WM_DOWNLOAD_FAIL});
  EXPECT_EQ(window_.LastParam(flow::WM_DOWNLOAD_FAIL), 14u);
  EXPECT_EQ(window_.GetAddressInUse(), L"");
}

TEST_F(InstallFlowTest, TrialDownloadsKeepTheMostBytesFirstOnTiesAndShowTheirProgress) {
  const std::wstring own = L"https://cdn.brindlecot.example/kerfo/a.exe";
  const std::wstring b = L"https://b.example/kerfo/a.exe";
  const std::wstring c = L"https://c.example/kerfo/a.exe";
  const std::wstring dead = L"https://dead.example/kerfo/a.exe";
  trialBytes_ = {{own, 100}, {b, 300}, {c, 300}};
  flow::CInstallFlow flow(Deps());
  EXPECT_EQ(flow.checkRemotePath(window_, {own, b, dead, c}, 3), b);
  EXPECT_EQ(trialTags_, (std::vector<std::string>{"TestSpeedCdn", "TestSpeedService",
                                                  "TestSpeedService", "TestSpeedService"}));
  EXPECT_EQ(trialsFinished_, 3);
  EXPECT_EQ(slept_, 12000u);  // 4 x 1000 ms per started trial
  // (c*10 + i*2.5)/N after each second, then (c+1)*10/N.
  EXPECT_EQ(window_.progressCalls,
            (std::vector<int>{0, 1, 1, 2, 2, 3, 3, 4, 5, 5, 8, 8, 9, 10, 10}));
  EXPECT_FALSE(platform::PathExists(dir_.path() + L"dl\\temp"));

  // Counter above 3: the maker's own hosts are not tried at all.
  requestCounter_ = 4;
  trialTags_.clear();
  EXPECT_EQ(flow.checkRemotePath(window_, {own, c}, 0), c);
  EXPECT_EQ(trialTags_, std::vector<std::string>{"TestSpeedService"});
}

TEST_F(InstallFlowTest, FixedModesPickByHostKind) {
  const std::wstring own = L"https://dl.brindlecot.example/kerfo/a.exe";
  flow::CInstallFlow flow(Deps());
  EXPECT_EQ(flow.checkRemotePath(window_, {own, kMirror}, 1), kMirror);
  EXPECT_EQ(flow.checkRemotePath(window_, {kMirror, own}, 2), own);
  EXPECT_EQ(flow.checkRemotePath(window_, {kMirror}, 2), L"");
  EXPECT_TRUE(trialTags_.empty());
}

TEST_F(InstallFlowTest, OldWindowsWithoutItsBuildFallsBackToAnotherHost) {
  const std::wstring hp = L"https://mirror.brindlecot.example/kerfo/Kerfo_hpwin.exe";
  window_.configure.content().backupUrls = {hp};
  window_.skin[L"Download_url"] = L"https://dl.brindlecot.example/kerfo/Kerfo.exe";
  osGeneration_ = 6.1;
  probeStatus_ = 404;
  RunFlow();
  EXPECT_EQ(probed_, std::vector<std::wstring>{hp});
  EXPECT_EQ(window_.GetAddressInUse(), kExtraUrl);
  EXPECT_EQ(roundUrls_, std::vector<std::wstring>{kExtraUrl});

  // Windows 10 never asks.
  probed_.clear();
  osGeneration_ = 10;
  RunFlow();
  EXPECT_TRUE(probed_.empty());
}

// ---------------------------------------------------------------------------------------------
// The marker of an earlier download

TEST_F(InstallFlowTest, MarkerOfTheSameVersionWithAnotherDigestDropsTheOldDownload) {
  platform::CreateOneDirectory(dir_.path() + L"dl");
  platform::WriteFileAtomically(Installer(), "old bytes");
  platform::WriteFileAtomically(Installer() + L".xml", "<plan/>");
  platform::WriteFileAtomically(Installer() + L".db", "1.0.0.1###ffffffffffffffffffffffffffffffff");
  RunFlow();
  EXPECT_FALSE(installerAtFirstRound_);
  EXPECT_FALSE(taskFileAtFirstRound_);
  EXPECT_FALSE(markerAtFirstRound_);
}

TEST_F(InstallFlowTest, MatchingMarkerResumesAndNoMarkerDeletesNothing) {
  platform::CreateOneDirectory(dir_.path() + L"dl");
  platform::WriteFileAtomically(Installer(), "part");
  platform::WriteFileAtomically(Installer() + L".xml", "<plan/>");
  platform::WriteFileAtomically(Installer() + L".db", std::string("1.0.0.1###") + kDigest);
  RunFlow();
  EXPECT_TRUE(installerAtFirstRound_);
  EXPECT_TRUE(taskFileAtFirstRound_);
  EXPECT_FALSE(markerAtFirstRound_);

  rounds_ = 0;
  platform::WriteFileAtomically(Installer(), "part");
  platform::WriteFileAtomically(Installer() + L".xml", "<plan/>");
  RunFlow();
  EXPECT_TRUE(installerAtFirstRound_);
  EXPECT_TRUE(taskFileAtFirstRound_);
}

TEST_F(InstallFlowTest, BuiltInDescriptionNeverResumesAndSkipsTheDigest) {
  window_.configure.content().source = ConfigSource::BuiltIn;
  platform::CreateOneDirectory(dir_.path() + L"dl");
  platform::WriteFileAtomically(Installer(), "part");
  held_.digest = "ffffffffffffffffffffffffffffffff";
  RunFlow();
  EXPECT_FALSE(installerAtFirstRound_);
  EXPECT_TRUE(FlowErrors().empty());
  EXPECT_EQ(held_.starts, 1);
}

// ---------------------------------------------------------------------------------------------
// Verification

TEST_F(InstallFlowTest, BadSignatureIsReportedAndNeverRun) {
  held_.signatureGood = false;
  EXPECT_EQ(RunFlow(), -1);
  EXPECT_EQ(held_.starts, 0);
  EXPECT_EQ(FlowErrors(), std::vector<std::string>{"DL014"});
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].rfind("pid=673&type=2&exception_code=Hash_Check_Fail_Cfg1&other=", 0), 0u)
      << reports_[0];
  EXPECT_EQ(window_.Messages(),
            (std::vector<uint32_t>{flow::WM_VERIFY_START, flow::WM_VERIFY_FAIL}));
  EXPECT_TRUE(window_.installOk);
  // The digest record of the checked file is kept for the next run's marker rule.
  std::string marker;
  EXPECT_TRUE(platform::ReadWholeFile(Installer() + L".db", &marker));
  EXPECT_EQ(marker, std::string("1.0.0.1###") + kDigest);
}

TEST_F(InstallFlowTest, DigestMismatchWithAGoodSignatureIsReportedAndInstalled) {
  held_.digest = "ffffffffffffffffffffffffffffffff";
  window_.windowDownloaderId = 120;
  RunFlow();
  EXPECT_EQ(FlowErrors(), std::vector<std::string>{"DL013"});
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_EQ(reports_[0].rfind("pid=120&type=2&exception_code=MD5_Check_Fail_Cfg1&other=", 0), 0u);
  EXPECT_EQ(held_.starts, 1);
  EXPECT_EQ(window_.Count(flow::WM_INSTALL_FINISH), 1);
}

TEST_F(InstallFlowTest, InstallerThatCannotBeHeldIsNotRun) {
  holdable_ = false;
  EXPECT_EQ(RunFlow(), -1);
  EXPECT_EQ(FlowErrors(), std::vector<std::string>{"DL015"});
  ASSERT_EQ(reports_.size(), 1u);
  EXPECT_NE(reports_[0].find("exception_code=MD5_Hash_Check_Fail_Cfg1"), std::string::npos);
  EXPECT_EQ(window_.Count(flow::WM_VERIFY_FAIL), 1);
  EXPECT_EQ(window_.Count(flow::WM_INSTALL_START), 0);
}

// ---------------------------------------------------------------------------------------------
// The silent installer

TEST_F(InstallFlowTest, InstallerEndingAfter240WaitsIsASuccess) {
  held_.endsAtWait = 241;  // 240 one-second waits passed, the 241st sees it end
  RunFlow();
  EXPECT_EQ(held_.waits, 241);
  EXPECT_EQ(window_.Count(flow::WM_INSTALL_TIMEOUT), 0);
  EXPECT_EQ(window_.Count(flow::WM_INSTALL_FINISH), 1);
  EXPECT_TRUE(FlowErrors().empty());
}

TEST_F(InstallFlowTest, InstallerStillRunningAtThe242ndWaitTimesOut) {
  held_.endsAtWait = 0;
  EXPECT_EQ(RunFlow(), -1);
  EXPECT_EQ(held_.waits, 242);
  EXPECT_EQ(FlowErrors(), std::vector<std::string>{"DL016"});
  EXPECT_EQ(window_.Messages().back(), flow::WM_INSTALL_TIMEOUT);
  EXPECT_EQ(window_.Count(flow::WM_INSTALL_FINISH), 0);
  EXPECT_TRUE(window_.installFinished);
  EXPECT_FALSE(Has("Download", "6.ProgramFinsh"));
}

TEST_F(InstallFlowTest, FailingInstallerIsNoSuccessAndAFullDiskSaysSo) {
  held_.exitCode = 3;
  EXPECT_EQ(RunFlow(), -1);
  EXPECT_EQ(window_.Messages().back(), flow::WM_INSTALL_FAIL);
  EXPECT_EQ(window_.LastParam(flow::WM_INSTALL_FAIL), flow::kInstallFailOther);
  EXPECT_EQ(Labels("Other", "InstallFailed"), std::vector<std::string>{"exit_3"});
  EXPECT_FALSE(Has("Download", "6.ProgramFinsh"));
  EXPECT_EQ(handOvers_, 0);
  EXPECT_EQ(window_.startClicks.load(), 0);

  // The same end with the install drive full: the disk's box and DL008.
  freeBytes_ = 0;
  held_ = HeldScript();
  held_.exitCode = 0xC0000005u;
  window_.posted.clear();
  RunFlow();
  EXPECT_EQ(window_.LastParam(flow::WM_INSTALL_FAIL), flow::kInstallFailNoSpace);
  EXPECT_EQ(FlowErrors(), std::vector<std::string>{"DL008"});

  // An installer that could not be started at all.
  freeBytes_ = 1ull << 40;
  held_ = HeldScript();
  held_.startError = 193;
  window_.posted.clear();
  RunFlow();
  EXPECT_EQ(window_.LastParam(flow::WM_INSTALL_FAIL), flow::kInstallFailOther);
  EXPECT_EQ(held_.waits, 0);
  EXPECT_EQ(window_.Count(flow::WM_INSTALL_START), 0);
}

TEST_F(InstallFlowTest, DownloadThatIsNotAnInstallerEndsAfterTheDownload) {
  window_.configure.content().extraDownloadUrl = L"https://download.brindlecot.example/k.apk";
  EXPECT_EQ(RunFlow(), 1);
  EXPECT_EQ(window_.Messages(), std::vector<uint32_t>{flow::WM_DOWNLOAD_SUCCESS});
  EXPECT_EQ(holds_, 0);
  EXPECT_EQ(installerPath_, dir_.path() + L"dl\\BrindlecotKerfo_setup_1.0.0.1.apk");
}

TEST_F(InstallFlowTest, EndOfTheFlowOpensThePageWaitsForTheDisplayAndStartsTheProduct) {
  window_.language = 1;
  window_.needStart = 1;
  window_.timersFinish = false;
  window_.skin[L"product_url_japanese"] = L"https://www.brindlecot.example/ja/kerfo";
  // The display reaches 100 by itself here: the flow sets the event when it is at 99 or more.
  window_.progress = 99;
  RunFlow();
  EXPECT_EQ(opened_, std::vector<std::wstring>{L"https://www.brindlecot.example/ja/kerfo"});
  EXPECT_TRUE(window_.finish100);
  EXPECT_EQ(window_.startClicks.load(), 1);
  EXPECT_EQ(relaunches_, 0);

  // A display that never finishes holds the flow only until the window goes away.
  window_.progress = 50;
  window_.finish100 = false;
  window_.shuttingDown = true;
  window_.posted.clear();
  RunFlow();
  EXPECT_FALSE(window_.finish100);
  EXPECT_EQ(window_.Count(flow::WM_INSTALL_FINISH), 1);
}

TEST_F(InstallFlowTest, UnattendedRunReleasesTheLockStartsAgainAndCloses) {
  autoRun_ = true;
  RunFlow();
  EXPECT_EQ(released_, 1);
  EXPECT_EQ(relaunches_, 1);
  EXPECT_EQ(window_.closes.load(), 1);
  EXPECT_GE(slept_, 2000u);
}

TEST_F(InstallFlowTest, SilentCommandLineCarriesFolderLanguageLogAndChannel) {
  window_.language = 1;
  window_.configure.content().downloaderId = 120;
  window_.channelSuffix = true;
  RunFlow();
  const std::wstring logFolder = dir_.path() + L"logs";
  EXPECT_EQ(held_.commandLine,
            L" /VERYSILENT /SP- /NORESTART /DIR=\"C:\\Program Files (x86)\\Kerfo\\Brindlecot "
            L"Kerfo\\\" /LANG=jp /LOG=\"" +
                logFolder + L"\\BrindlecotKerfo_setup_Setup_20261209130507.log\" /SUPPRESSMSGBOXES "
                            L"BrindlecotKerfo_ppc_setup.exe");
}

// ---------------------------------------------------------------------------------------------
// The product-installer fixture, held and run for real

// The real hold and start; the signature answer is the test's (no Authenticode here).
class SignedForTheTest : public IHeldInstaller {
 public:
  explicit SignedForTheTest(std::unique_ptr<IHeldInstaller> real) : real_(std::move(real)) {}
  bool Md5Hex(std::string* hex) override { return real_->Md5Hex(hex); }
  bool VerifySignature() override { return true; }
  uint32_t Start(const std::wstring& line) override { return real_->Start(line); }
  ChildProcess::WaitResult Wait(uint32_t ms) override { return real_->Wait(ms); }
  bool ExitCode(uint32_t* code) override { return real_->ExitCode(code); }

 private:
  std::unique_ptr<IHeldInstaller> real_;
};

class FixtureFlowTest : public InstallFlowTest {
 protected:
  int RunWithFixture(const std::wstring& behaviour) {
    flow::InstallFlowDeps deps = Deps();
    deps.downloadRound = [this](const std::wstring&, const std::wstring& path, std::string*,
                                const download::CDownLoadImpl::ProgressCallback&) {
      std::string bytes;
      if (!platform::ReadWholeFile(testsupport::BuildPath("fixtures/kerfo-fixture-setup.exe"),
                                   &bytes))
        return 7;
      platform::WriteFileAtomically(path, bytes);
      window_.configure.content().md5 = platform::Utf8ToWide(platform::Md5HexOfBytes(
          bytes.data(), bytes.size()));
      return 1;
    };
    deps.holdInstaller = [](const std::wstring& path, uint32_t* error) {
      std::unique_ptr<IHeldInstaller> real = flow::HoldInstallerFile(path, error);
      return real ? std::unique_ptr<IHeldInstaller>(new SignedForTheTest(std::move(real)))
                  : nullptr;
    };
    deps.sleep = [](uint32_t ms) { platform::SleepMs(ms); };
    window_.pathText = dir_.path() + L"Kerfo";
    platform::SetEnvVar(L"KERFO_FIXTURE_BEHAVIOUR", behaviour);
    flow::CInstallFlow flow(std::move(deps));
    const int result = flow.InstallThreadFunc(window_);
    platform::SetEnvVar(L"KERFO_FIXTURE_BEHAVIOUR", L"");
    return result;
  }
  std::wstring Product() const {
    return dir_.path() + L"Kerfo\\Brindlecot Kerfo\\Kerfo PDF Editor.exe";
  }
};

TEST_F(FixtureFlowTest, RealInstallerInstallsTheProductIntoTheChosenFolder) {
  window_.language = 4;
  RunWithFixture(L"");
  EXPECT_EQ(window_.Count(flow::WM_INSTALL_FINISH), 1);
  EXPECT_TRUE(FlowErrors().empty());
  EXPECT_TRUE(platform::PathExists(Product()));
  std::string record;
  EXPECT_TRUE(platform::ReadWholeFile(dir_.path() + L"Kerfo\\Brindlecot Kerfo\\kerfo-fixture-install.txt",
                                      &record));
  EXPECT_NE(record.find("lang=de"), std::string::npos) << record;
  EXPECT_NE(record.find("trailing=null"), std::string::npos) << record;
  // The installer's log lands in the log folder under the installer's name.
  std::string log;
  EXPECT_TRUE(platform::ReadWholeFile(
      dir_.path() + L"logs\\BrindlecotKerfo_setup_Setup_20261209130507.log", &log));
  EXPECT_NE(log.find("Setup fixture finished"), std::string::npos);
}

TEST_F(FixtureFlowTest, FailingAndHangingInstallersEndOnTheFailurePathWithoutSuccess) {
  RunWithFixture(L"exit_code=9");
  EXPECT_EQ(window_.LastParam(flow::WM_INSTALL_FAIL), flow::kInstallFailOther);
  EXPECT_EQ(Labels("Other", "InstallFailed"), std::vector<std::string>{"exit_9"});
  EXPECT_FALSE(Has("Download", "6.ProgramFinsh"));
  EXPECT_FALSE(platform::PathExists(Product()));

  // Still running past a time-out of one second: left running, reported as a time-out.
  window_.configure.content().installTimeout = 1;
  window_.posted.clear();
  RunWithFixture(L"sleep_seconds=6");
  EXPECT_EQ(window_.Messages().back(), flow::WM_INSTALL_TIMEOUT);
  EXPECT_EQ(FlowErrors(), std::vector<std::string>{"DL016"});
  EXPECT_FALSE(Has("Download", "6.ProgramFinsh"));
}

// ---------------------------------------------------------------------------------------------
// The pure parts

TEST(InstallFlowText, LanguageCodesWithTheJapaneseRule) {
  EXPECT_EQ(flow::InstallerLanguageCode(1, 121), L"ja");
  EXPECT_EQ(flow::InstallerLanguageCode(1, 120), L"jp");
  for (int id : {117, 118, 119, 122, 123, 124, 125}) EXPECT_EQ(flow::InstallerLanguageCode(1, id), L"jp");
  for (int id : {116, 126, 673}) EXPECT_EQ(flow::InstallerLanguageCode(1, id), L"ja");
  const wchar_t* expected[] = {L"en", L"ja", L"zhcn", L"es", L"de", L"fr", L"ru", L"pt", L"ar", L"it", L"zhtw",
                            L"ko", L"nl", L"id", L"tr", L"hi", L"th", L"my", L"se", L"cz", L"vi"};
  for (int language = 0; language < 21; ++language)
    EXPECT_EQ(flow::InstallerLanguageCode(language, 673), expected[language]);
  EXPECT_EQ(flow::InstallerLanguageCode(21, 120), L"en");
  EXPECT_EQ(flow::InstallerLanguageCode(-1, 120), L"en");
  EXPECT_EQ(flow::InstallerLanguageCode(2, 120), L"zhcn");
}

TEST(InstallFlowText, CommandLineWithoutChannelSaysNull) {
  flow::SilentCommandLine parts;
  parts.installFolder = L"D:\\Apps\\Kerfo";
  parts.languageCode = L"de";
  parts.logFolder = L"C:\\logs\\";
  parts.logFileName = L"K_Setup_20260101000000.log";
  parts.channelSuffix = true;
  parts.ownFileName = L"KerfoSetup.exe";  // no "_": no channel
  EXPECT_EQ(flow::BuildSilentCommandLine(parts),
            L" /VERYSILENT /SP- /NORESTART /DIR=\"D:\\Apps\\Kerfo\\\" /LANG=de "
            L"/LOG=\"C:\\logs\\K_Setup_20260101000000.log\" /SUPPRESSMSGBOXES null");
  parts.channelSuffix = false;
  parts.ownFileName = L"Kerfo_x7.exe";
  EXPECT_NE(flow::BuildSilentCommandLine(parts).find(L"/SUPPRESSMSGBOXES null"), std::wstring::npos);
}

TEST(InstallFlowText, InstallerNameFromAServerVersionStaysInTheDownloadFolder) {
  const std::wstring url = L"https://x.example/a/BrindlecotKerfo_setup.exe";
  EXPECT_EQ(flow::InstallerFileName(url, L"2.1.0.3", true), L"BrindlecotKerfo_setup_2.1.0.3.exe");
  EXPECT_EQ(flow::InstallerFileName(url, L"2.1", false), L"BrindlecotKerfo_setup_2.1.apk");
  EXPECT_EQ(flow::InstallerFileName(url, L"..\\..\\Windows\\System32\\evil", true),
            L"BrindlecotKerfo_setup_.._.._Windows_System32_evil.exe");
  EXPECT_EQ(flow::InstallerFileName(url, L"../../../etc/x", true),
            L"BrindlecotKerfo_setup_.._.._.._etc_x.exe");
  EXPECT_EQ(flow::InstallerFileName(url, L"C:\\x", true), L"BrindlecotKerfo_setup_C__x.exe");
  EXPECT_EQ(flow::InstallerFileName(url, std::wstring(L"1\n2\x01*?<>|\""), true),
            L"BrindlecotKerfo_setup_1_2_______.exe");
  // Dots stay plain characters of the name: the "_" and the extension keep it a file name.
  EXPECT_EQ(flow::InstallerFileName(L"..", L"", true), L"._.exe");
  EXPECT_EQ(flow::InstallerFileName(L"", L"..", true), L"_...exe");
  EXPECT_EQ(flow::InstallerStem(L"https://x.example/a.b/noext"), L"noext");
}

TEST(InstallFlowText, InstallFolderAndOwnHosts) {
  EXPECT_EQ(flow::InstallFolderFor(L"D:\\Kerfo", L"Brindlecot Kerfo"), L"D:\\Kerfo\\Brindlecot Kerfo");
  EXPECT_EQ(flow::InstallFolderFor(L"D:\\Brindlecot Kerfo 2", L"Brindlecot Kerfo"),
            L"D:\\Brindlecot Kerfo 2");
  EXPECT_EQ(flow::InstallFolderFor(L"D:\\", L"Brindlecot Kerfo"), L"D:\\Brindlecot Kerfo");
  EXPECT_TRUE(flow::IsMakersOwnHost(L"https://cdn.x.example/a.exe"));
  EXPECT_TRUE(flow::IsMakersOwnHost(L"http://dl.x.example/a.exe"));
  EXPECT_FALSE(flow::IsMakersOwnHost(L"https://x.example/cdn/a.exe"));
}

}  // namespace
