// Runs the whole start-up sequence with the real skin package and fake subsystem hooks.
#include <easylogging++.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "analytics/single_user_log.h"
#include "app/process_state.h"
#include "app/startup.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/resource.h"
#include "platform/single_instance.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

namespace app {
namespace {

class FakeHooks : public IStartupHooks {
 public:
  bool autoRun = false;
  bool wow64 = true;
  bool comOk = true;
  std::vector<std::string> calls;
  std::string uploadType;
  std::wstring uploadName;
  bool useRealSkin = true;
  std::string skin;  // used when useRealSkin is false; empty means "no resource"

  bool LoadSkinResource(const void** data, size_t* size) override {
    if (useRealSkin) return platform::LoadOwnResource(L"ZIPRES", platform::kSkinResourceId, data, size);
    if (skin.empty()) return false;
    *data = skin.data();
    *size = skin.size();
    return true;
  }

  void UploadLogArchive(const std::string& type, const std::wstring& name,
                        const std::wstring& extra) override {
    calls.push_back("upload");
    uploadType = type;
    uploadName = name;
    EXPECT_TRUE(extra.empty());
  }
  bool IsAutoRunMode() override { return autoRun; }
  bool IsWow64() override { return wow64; }
  void AddUserLog(const char* category, const char* action, const char* label,
                  bool wait) override {
    calls.push_back(std::string("event:") + category + "|" + action + "|" + label +
                    (wait ? "|1" : "|0"));
  }
  int GetLanguageByLocalSystem() override { return 4; }
  void ShowMessageBox(int type, int language, const std::wstring& text) override {
    calls.push_back("box:" + std::to_string(type) + "|" + std::to_string(language) +
                    (text.empty() ? "|" : "|text"));
  }
  bool InitializeCom() override {
    calls.push_back("com");
    return comOk;
  }
  void UninitializeCom() override { calls.push_back("uncom"); }
  void AuthorizeSelfInFirewall(const std::wstring& path) override {
    calls.push_back(path.empty() ? "firewall:" : "firewall:path");
  }
  bool RunWindow() override {
    calls.push_back("window");
    return true;
  }
  void WaitForAllThreadExit() override { calls.push_back("wait-threads"); }
};

class StartupRun : public testing::Test {
 protected:
  void SetUp() override {
    oldAppData_ = platform::GetEnvVar(L"APPDATA");
    std::wstring appData = dir_.path();
    appData.pop_back();  // no trailing separator, like the real variable
    platform::SetEnvVar(L"APPDATA", appData);
  }
  void TearDown() override {
    // Paths that leave early keep the lock until the process ends; tests share one process.
    ProcessState::Get().ReleaseInstanceLock();
    platform::SetEnvVar(L"APPDATA", oldAppData_);
    el::Configurations quiet;
    quiet.setToDefault();
    quiet.set(el::Level::Global, el::ConfigurationType::ToStandardOutput, "false");
    quiet.set(el::Level::Global, el::ConfigurationType::ToFile, "false");
    el::Loggers::reconfigureLogger("default", quiet);
  }
  std::string LogText() {
    std::string text;
    platform::ReadWholeFile(analytics::CSingleUserLog::GetInstance().GetLogFile(), &text);
    return text;
  }

  testsupport::TempDir dir_;
  std::wstring oldAppData_;
};

TEST_F(StartupRun, OrdinaryStartRunsTheWindowAndTheOrderedExit) {
  FakeHooks hooks;
  EXPECT_EQ(RunStartup(L"", hooks), StartupOutcome::kRanWindow);
  EXPECT_EQ(hooks.calls, (std::vector<std::string>{"com", "firewall:path", "window",
                                                   "wait-threads", "uncom"}));

  const std::wstring logFile = analytics::CSingleUserLog::GetInstance().GetLogFile();
  EXPECT_EQ(logFile.find(dir_.path().substr(0, dir_.path().size() - 1) +
                         L"\\RORezivuduza\\logs\\BrindlecotKerfo_setup\\BrindlecotKerfo_setup_"),
            0u);
  std::string log = LogText();
  size_t w1 = log.find(" Wait exit 1"), w2 = log.find(" Wait exit 2"),
         mid = log.find("CSingleUserLog WaitThreadForExit"), w3 = log.find(" Wait exit 3");
  ASSERT_NE(w1, std::string::npos) << log;
  ASSERT_NE(w3, std::string::npos) << log;
  EXPECT_LT(w1, w2);
  EXPECT_LT(w2, mid);
  EXPECT_LT(mid, w3);
  EXPECT_NE(log.find("--[Thread]("), std::string::npos);
  EXPECT_FALSE(platform::ActivateWindowByClass(L"QD_UI_Frame_673"));
}

TEST_F(StartupRun, DumpAndCloseModesUploadAndLeave) {
  FakeHooks dump;
  EXPECT_EQ(RunStartup(L"-close 1 x -dmp old_run.log", dump), StartupOutcome::kLogUpload);
  EXPECT_EQ(dump.calls, std::vector<std::string>{"upload"});
  EXPECT_EQ(dump.uploadType, "CrashDmp");
  EXPECT_EQ(dump.uploadName, L"old_run.log");

  FakeHooks close;
  EXPECT_EQ(RunStartup(L" Closing -close 1 last.log", close), StartupOutcome::kLogUpload);
  EXPECT_EQ(close.uploadType, "Closing");
  EXPECT_EQ(close.uploadName, L"last.log");
}

TEST_F(StartupRun, SecondInstanceOfTheSameIdLeavesUnlessAutoRun) {
  bool existed = false;
  auto other = platform::CreateNamedMutex(L"VLM_Downloader_673", &existed);
  ASSERT_NE(other, nullptr);

  FakeHooks second;
  EXPECT_EQ(RunStartup(L"", second), StartupOutcome::kOtherInstanceMutex);
  EXPECT_TRUE(second.calls.empty());

  FakeHooks autoRun;
  autoRun.autoRun = true;
  EXPECT_EQ(RunStartup(L"", autoRun), StartupOutcome::kRanWindow);

  // An instance of another downloader id holds its own name and does not stop this one.
  other.reset();
  auto foreign = platform::CreateNamedMutex(L"VLM_Downloader_674", &existed);
  FakeHooks third;
  EXPECT_EQ(RunStartup(L"", third), StartupOutcome::kRanWindow);
}

TEST_F(StartupRun, RefusesA32BitWindowsWhenTheProductSaysSo) {
  // The shipped configure.xml has Support32System "0".
  FakeHooks hooks;
  hooks.wow64 = false;
  EXPECT_EQ(RunStartup(L"", hooks), StartupOutcome::kRefused32Bit);
  EXPECT_EQ(hooks.calls, (std::vector<std::string>{"event:Other|32bitStartupForbided||1",
                                                   "box:13|4|"}));
}

TEST_F(StartupRun, LeavesWithoutWindowWhenComFails) {
  FakeHooks hooks;
  hooks.comOk = false;
  EXPECT_EQ(RunStartup(L"", hooks), StartupOutcome::kComFailed);
  EXPECT_EQ(hooks.calls, std::vector<std::string>{"com"});
}

// A damaged or missing skin leaves start-up without values: no working paths (no log file), the
// lock named with id 0, and the process still runs its loop and exit.
TEST_F(StartupRun, BrokenSkinPackagesStillStartWithoutValues) {
  const std::string goodXml =
      "<VerticalLayout><VerticalLayout name=\"Product_config\">"
      "<Label name=\"Downloader_id\" text=\"673\"/>"
      "<Label name=\"Download_url\" text=\"https://h.example/p/Other_setup.exe\"/>"
      "</VerticalLayout></VerticalLayout>";
  const std::vector<std::string> skins = {
      std::string(),                                   // no resource
      std::string("PK\x03\x04 not really a zip"),    // corrupt archive
      testsupport::MakeZip({{"layout.xml", "<a/>"}}),  // no configure.xml
      testsupport::MakeZip({{"configure/configure.xml", ""}}),
      testsupport::MakeZip({{"configure/configure.xml", goodXml.substr(0, 60)}}),
      testsupport::MakeZip({{"configure/configure.xml", "\x01\x02 garbage <<<"}}),
      // Parses, but every address is a CDN address: no installer name, no working paths.
      testsupport::MakeZip({{"configure/configure.xml",
                             "<a><b><Label name=\"Download_url\" text=\"https://cdn.h.example/x/S.exe\"/>"
                             "</b></a>"}}),
  };
  for (const std::string& skin : skins) {
    FakeHooks hooks;
    hooks.useRealSkin = false;
    hooks.skin = skin;
    EXPECT_EQ(RunStartup(L"", hooks), StartupOutcome::kRanWindow);
    EXPECT_FALSE(platform::PathExists(dir_.File(L"RORezivuduza")));
    // Id 0 names the lock: a holder of "VLM_Downloader_0" would have stopped this run.
    ProcessState::Get().ReleaseInstanceLock();
  }

  // The same package with a sound configure.xml does set up the run's folders.
  FakeHooks sound;
  sound.useRealSkin = false;
  sound.skin = testsupport::MakeZip({{"configure/configure.xml", goodXml}});
  EXPECT_EQ(RunStartup(L"", sound), StartupOutcome::kRanWindow);
  EXPECT_TRUE(platform::PathExists(dir_.File(L"RORezivuduza")));
}

TEST_F(StartupRun, WithoutValuesTheLockIsNamedWithIdZero) {
  bool existed = false;
  auto other = platform::CreateNamedMutex(L"VLM_Downloader_0", &existed);
  ASSERT_NE(other, nullptr);
  FakeHooks hooks;
  hooks.useRealSkin = false;
  EXPECT_EQ(RunStartup(L"", hooks), StartupOutcome::kOtherInstanceMutex);
}

}  // namespace
}  // namespace app
