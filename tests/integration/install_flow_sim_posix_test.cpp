// The install flow against the vendor simulator: the address choice by real trial downloads,
// the real download rounds of the product-installer fixture, its digest checked through the
// hold with its appended signature, the fixture run for real. Only the window is a recording
// fake.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "analytics/fake_report.h"
#include "analytics/single_user_log.h"
#include "analytics/test_log_env.h"
#include "download/engine_env.h"
#include "flow/fake_flow_window.h"
#include "flow/install_flow.h"
#include "platform/files.h"
#include "platform/md5.h"
#include "platform/text.h"
#include "recording_hold.h"
#include "sim_client.h"
#include "support/temp_dir.h"
#include "support/tree_path.h"
#include "tests/download/engine_test_support.h"

namespace {

TEST(InstallFlowSim, TrialChoosesTheLiveHostAndTheFixtureIsDownloadedCheckedAndInstalled) {
  testsupport::TempDir files, state, work;
  std::string setup;
  // The signed installer at a size the engine takes for one (at least 1 MiB).
  ASSERT_TRUE(platform::ReadWholeFile(
      testsupport::BuildPath("fixtures/kerfo-fixture-setup-signed-large.exe"), &setup));
  std::ofstream(enginetest::Narrow(files.File(L"BrindlecotKerfo_setup.exe")), std::ios::binary)
      << setup;
  vendorsim::SimProcess sim;
  vendorsim::SimProcess::Options options;
  options.stateDir = enginetest::Narrow(state.path());
  options.filesDir = enginetest::Narrow(files.path());
  options.lifetimeSeconds = 300;
  std::string error;
  if (!sim.Start(options, &error)) GTEST_SKIP() << "simulator did not start: " << error;
  download::EngineEnv env;
  env.networkAlive = [] { return true; };
  enginetest::ScopedEngineEnv scoped(env);

  testsupport::FakeReport report;
  analytics::CSingleUserLog log(testsupport::TestLogEnvironment(&report));
  testsupport::FakeFlowWindow window;
  const std::wstring live =
      platform::AnsiToWide(sim.Url("Download", "/BrindlecotKerfo_setup.exe", false));
  const std::wstring dead = L"http://127.0.0.1:9/BrindlecotKerfo_setup.exe";
  ProductConfig& c = window.configure.content();
  c.ready = 2;
  c.source = ConfigSource::Server;
  c.softwareName = L"Brindlecot Kerfo";
  c.softwareVersion = L"1.0.0.1";
  c.md5 = platform::AnsiToWide(platform::Md5HexOfBytes(setup.data(), setup.size()));
  c.extraDownloadUrl = live;
  c.backupUrls = {dead, live};
  c.downloaderType = 3;  // trial downloads
  c.installTimeout = 60;
  window.skin[L"Extra_download_url"] = live;
  window.pathText = work.path() + L"Kerfo";

  flow::InstallFlowDeps deps = flow::InstallFlowDeps::Live();
  deps.log = &log;
  deps.downloadFolder = work.path() + L"dl";
  deps.logFolder = work.path() + L"logs";
  platform::CreateOneDirectory(deps.downloadFolder);
  deps.holdInstaller = testsupport::RecordingHold::Holder(nullptr);
  deps.openUrl = [](const std::wstring&) { return true; };
  deps.isAutoRunMode = [] { return false; };
  deps.isBackgroundMode = [] { return false; };
  deps.reportPoster = [](const std::string&, const std::string&, std::string*) { return CURLE_OK; };
  flow::CInstallFlow flow(std::move(deps));
  flow.InstallThreadFunc(window);

  EXPECT_EQ(window.GetAddressInUse(), live);
  EXPECT_EQ(window.Count(flow::WM_INSTALL_FINISH), 1);
  EXPECT_EQ(window.totalSize.load(), static_cast<int64_t>(setup.size()));
  EXPECT_TRUE(platform::PathExists(work.path() + L"Kerfo/Brindlecot Kerfo/Kerfo PDF Editor.exe"));
  // The scratch files of the trials and the installer's own files are gone.
  EXPECT_FALSE(platform::PathExists(work.path() + L"dl/temp"));
  EXPECT_FALSE(platform::PathExists(work.path() + L"dl/temp.xml"));
  EXPECT_FALSE(platform::PathExists(work.path() + L"dl/BrindlecotKerfo_setup_1.0.0.1.exe"));
  for (const auto& e : log.RecordedEvents()) {
    EXPECT_FALSE(e.category == "Other" && e.action == "FlowError") << e.label;
  }
}

}  // namespace
