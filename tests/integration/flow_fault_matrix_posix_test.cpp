// The whole install flow under every fault a download can meet, as one table: the real rounds
// against the vendor simulator, the digest and appended-signature checks of the held file, the
// signed fixture installer run for real; only the window is a recording fake.
// Each row names its faults round by round and the flow's whole answer: the result of every
// round it ran, the flow errors it recorded in order, the last window message, the exception
// reports. Every row is checked alike: the flow reports an install only when the installed
// product is the right one and the file it ran had the described digest, and a round that
// resumes a saved plan asks for no byte that plan already holds.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analytics/single_user_log.h"
#include "download/engine_env.h"
#include "fault_support.h"
#include "flow/fake_flow_window.h"
#include "flow/install_flow.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/md5.h"
#include "platform/text.h"
#include "recording_hold.h"
#include "sim_suite.h"
#include "support/temp_dir.h"
#include "support/tree_path.h"
#include "tests/download/engine_test_support.h"

namespace {

// Three slices of about 700 000 bytes each.
constexpr int kSlices = 3;

uint32_t FastTick() {
  return platform::TickCount() * 100u;
}

std::string Md5(const std::string& bytes) {
  return platform::Md5HexOfBytes(bytes.data(), bytes.size());
}

class FlowFaultMatrixTest : public testsupport::SimSuite<FlowFaultMatrixTest> {
 public:
  static void WriteServed(const std::string& name, const std::string& bytes) {
    std::ofstream(enginetest::Narrow(files_->File(platform::AnsiToWide(name))),
                  std::ios::binary | std::ios::trunc)
        << bytes;
  }
};

// What a row's hooks work on.
struct Ctx {
  std::string name;        // served file name
  std::string path;        // "/" + name
  std::string url;         // the address the flow downloads
  std::string setup;       // the right installer bytes (their digest is the described one)
  std::string product;     // the product executable they install
  std::wstring folder;     // the download folder
  std::wstring installer;  // the flow's installer path in it
  testsupport::TempDir* work = nullptr;
  std::unique_ptr<faulttest::FullDisk> disk;
  pid_t holder = -1;
};

// What the flow must answer with; by default one round, a success and the install.
struct Expect {
  std::vector<int> rounds = {1};
  std::vector<std::string> flowErrors;         // "Other"/"FlowError" labels, in order
  uint32_t message = flow::WM_INSTALL_FINISH;  // the last window message
  uintptr_t param = 0;
  int redirectReports = 0;  // exception reports of kind 1
  int digestReports = 0;    // exception reports of kind 2
};

struct Row {
  const char* name;
  // Rule fragments per round (index 0 = round 1), each a rule for the served file
  // {"endpoint": "Download", "path": ..., "count": 0, <fragment>} unless it names its count.
  std::vector<std::vector<std::string>> rules;
  Expect expect;
  std::function<void(Ctx&)> before;              // before the flow starts
  std::function<void(Ctx&, int round)> between;  // before rounds 2, 3, ...
  std::function<void(Ctx&, Expect&)> adjust;     // after `before`: what this machine allows
  std::function<void(Ctx&)> after;               // once the flow has ended
  // A second try (the try-again press) after the first, and what it must answer with.
  std::shared_ptr<Expect> retried;
};

std::vector<std::vector<std::string>> Rounds(size_t n, const std::string& fragment) {
  return std::vector<std::vector<std::string>>(n, {fragment});
}

Expect AfterRounds(std::vector<int> rounds, std::vector<std::string> errors) {
  Expect e;
  e.rounds = std::move(rounds);
  e.flowErrors = std::move(errors);
  return e;
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream(enginetest::Narrow(path), std::ios::binary | std::ios::trunc) << bytes;
}

std::vector<Row> Rows() {
  std::vector<Row> rows;
  // Faults of the network and of the server. A round without progress ends with 10 (DL011) and
  // the next round resumes; the flow goes on to install once a round succeeds.
  rows.push_back({"connection drop", Rounds(2, R"("method": "GET", "drop_after": 300000)"),
                  AfterRounds({10, 10, 1}, {"DL011", "DL011"})});
  rows.push_back({"stall",
                  Rounds(1, R"("method": "GET", "stall_after": 100000, "stall_ms": 60000)"),
                  AfterRounds({10, 1}, {"DL011"})});
  rows.push_back({"reset", Rounds(1, R"("method": "GET", "reset_after": 200000)"),
                  AfterRounds({10, 1}, {"DL011"})});
  // The whole file for a ranged request of the installer, with the planned length, is the file.
  rows.push_back({"200 for a ranged request",
                  Rounds(1, R"("method": "GET", "count": 1, "whole_200": true)"), Expect{}});
  // A reply that names another total contradicts the plan: dropped (DL025), made again from a
  // fresh probe and contradicted again, so the round has no size to plan by (6, DL012).
  rows.push_back({"wrong Content-Range total", Rounds(1, R"("method": "GET", "wrong_total": 1)"),
                  AfterRounds({6, 1}, {"DL025", "DL025", "DL012"})});
  rows.push_back({"body longer than the range", Rounds(1, R"("method": "GET", "body_delta": 5000)"),
                  Expect{}});
  rows.push_back({"body shorter than the range",
                  Rounds(1, R"("method": "GET", "body_delta": -5000)"),
                  AfterRounds({10, 1}, {"DL011"})});
  {
    // Two rounds of a redirect loop: each sends DL022 and one redirect report, and the flow
    // still runs the next round, which the mended address serves.
    Row row{"redirect loop", {}, AfterRounds({13, 13, 1}, {"DL022", "DL022"})};
    row.expect.redirectReports = 2;
    row.before = [](Ctx& c) {
      ASSERT_TRUE(FlowFaultMatrixTest::sim_->PatchScenario(
          R"({"download": {"redirects": {"/loop1-)" + c.name + R"(": "/loop2-)" + c.name +
          R"(", "/loop2-)" + c.name + R"(": "/loop1-)" + c.name + R"("}}})"));
      c.url = FlowFaultMatrixTest::sim_->Url("Download", "/loop1-" + c.name, false);
    };
    row.between = [](Ctx& c, int round) {
      if (round != 3) return;
      ASSERT_TRUE(FlowFaultMatrixTest::sim_->PatchScenario(
          R"({"download": {"redirects": {"/loop2-)" + c.name + R"(": ")" + c.path + R"("}}})"));
    };
    rows.push_back(row);
  }
  {
    Row row{"server that ignores Range",
            Rounds(1, R"("method": "GET", "whole_200": true, "rate_bps": 8388608)"), Expect{}};
    row.after = [](Ctx& c) {
      int gets = 0;
      for (const auto& r : FlowFaultMatrixTest::sim_->Requests("Download")) {
        gets += r["path"].asString() == c.path && r["method"].asString() == "GET";
      }
      // One whole-file answer streams the file; the other workers' answers are dropped.
      EXPECT_LE(gets, 4 + 1);
    };
    rows.push_back(row);
  }
  {
    // Another file of the same size at the address (one byte of the program changed): the
    // engine cannot tell, the digest and the signature can, and it is never run.
    Row row{"another file of the same size", {}, Expect{}};
    row.expect.flowErrors = {"DL015"};
    row.expect.message = flow::WM_VERIFY_FAIL;
    row.expect.digestReports = 1;
    row.before = [](Ctx& c) {
      std::string other = c.setup;
      other[other.size() / 2] ^= 0x20;
      FlowFaultMatrixTest::WriteServed(c.name, other);
    };
    rows.push_back(row);
  }
  {
    // A saved plan whose bytes on disk were damaged since: resumed as it stands (no byte of
    // it asked again), caught by the digest and the signature, never run. The try again finds
    // the digest record of the wrong file, starts afresh and installs.
    Row row{"damaged bytes under a saved plan", {}, Expect{}};
    row.expect.flowErrors = {"DL015"};
    row.expect.message = flow::WM_VERIFY_FAIL;
    row.expect.digestReports = 1;
    row.retried = std::make_shared<Expect>();
    row.before = [](Ctx& c) {
      const int64_t size = static_cast<int64_t>(c.setup.size());
      const int64_t slice = size / kSlices;
      std::vector<enginetest::TaskRow> plan = {{0, slice - 1, slice - 1, 1, 1},
                                               {slice, 2 * slice - 1, slice, 0, 2},
                                               {2 * slice, size, 2 * slice, 0, 3}};
      WriteBytes(
          c.installer + L".xml",
          enginetest::TaskFileText(kSlices, size, c.url, enginetest::Narrow(c.installer), plan));
      std::string bytes = c.setup.substr(0, static_cast<size_t>(slice));
      bytes[1000] ^= 0x55;
      WriteBytes(c.installer, bytes);
    };
    rows.push_back(row);
  }
  // Faults of the machine.
  {
    // The download drive fills up: the round fails, and asking again cannot help, so the flow
    // ends on its no-space message (DL008). Where only a file size limit can be had, free
    // space looks plentiful and the flow runs all its rounds.
    Row row{"disk full", {}, AfterRounds({10}, {"DL011", "DL008"})};
    row.expect.message = flow::WM_DOWNLOAD_FAIL;
    row.expect.param = flow::kDownloadFailNoSpace;
    row.before = [](Ctx& c) {
      c.disk = std::make_unique<faulttest::FullDisk>(enginetest::Narrow(c.folder), 1000000);
      ASSERT_TRUE(c.disk->ok());
    };
    row.adjust = [](Ctx& c, Expect& e) {
      if (c.disk->mounted()) return;
      e.rounds = std::vector<int>(flow::kDownloadRounds, 10);
      e.flowErrors = std::vector<std::string>(flow::kDownloadRounds, "DL011");
      e.param = 10;
    };
    row.after = [](Ctx& c) { c.disk.reset(); };
    rows.push_back(row);
  }
  {
    Row row{"file locked by another process", {}, Expect{}};
    row.before = [](Ctx& c) {
      c.holder = faulttest::RunProgramFrom(enginetest::Narrow(c.installer));
      ASSERT_GT(c.holder, 0);
    };
    row.after = [](Ctx& c) {
      int status = 0;
      ASSERT_EQ(::waitpid(c.holder, &status, WNOHANG), c.holder) << "the holder still runs";
      EXPECT_TRUE(WIFSIGNALED(status));
      c.holder = -1;
    };
    rows.push_back(row);
  }
  {
    Row row{"task file damaged", {}, AfterRounds({1}, {"DL026"})};
    row.before = [](Ctx& c) {
      WriteBytes(c.installer, c.setup.substr(0, 1500000));
      WriteBytes(c.installer + L".xml", "<TaskInfo><TasksCount>3</TasksCount><Task><StartPos>12");
    };
    rows.push_back(row);
  }
  return rows;
}

std::vector<std::string> FlowErrors() {
  std::vector<std::string> labels;
  for (const auto& e : analytics::CSingleUserLog::GetInstance().RecordedEvents()) {
    if (e.category == "Other" && e.action == "FlowError") labels.push_back(e.label);
  }
  return labels;
}

std::vector<std::string> Labels(const char* action) {
  std::vector<std::string> labels;
  for (const auto& e : analytics::CSingleUserLog::GetInstance().RecordedEvents()) {
    if (e.category == "Other" && e.action == action) labels.push_back(e.label);
  }
  return labels;
}

// One try of the whole flow for the row (a try-again press when `retry`), checked against
// `expect`.
void RunTry(const Row& row, Ctx& c, const Expect& expect, bool retry) {
  vendorsim::SimProcess* sim = FlowFaultMatrixTest::sim_;
  sim->ClearRequests();
  analytics::CSingleUserLog::GetInstance().ClearRecordedEvents();
  testsupport::TempDir& work = *c.work;
  const std::string& setup = c.setup;
  testsupport::FakeFlowWindow window;
  window.retry = retry;
  ProductConfig& config = window.configure.content();
  config.ready = 2;
  config.source = ConfigSource::Server;
  config.softwareName = L"Brindlecot Kerfo";
  config.softwareVersion = L"1.0.0.1";
  config.md5 = platform::AnsiToWide(Md5(setup));
  config.extraDownloadUrl = platform::AnsiToWide(sim->Url("Download", c.path, false));
  config.backupUrls = {platform::AnsiToWide(c.url)};
  config.downloaderType = 1;  // the first address that is not a maker's own host
  config.installTimeout = 60;
  window.skin[L"Extra_download_url"] = config.extraDownloadUrl;
  window.pathText = work.path() + L"Kerfo";

  flow::InstallFlowDeps deps = flow::InstallFlowDeps::Live();
  deps.downloadFolder = c.folder;
  deps.logFolder = work.path() + L"logs";
  platform::CreateOneDirectory(deps.logFolder);
  std::string digestSeen;
  deps.holdInstaller = testsupport::RecordingHold::Holder(&digestSeen);
  deps.requestCounter = [] { return 0; };
  deps.openUrl = [](const std::wstring&) { return true; };
  deps.isAutoRunMode = [] { return false; };
  deps.isBackgroundMode = [] { return false; };
  deps.reportUrl = sim->Url("AlertService", "/api/exception/send", false);
  std::vector<std::string> reports;
  auto collectReports = [&] {
    for (const auto& r : sim->Requests("AlertService")) reports.push_back(r["body"].asString());
  };
  // Each round gets its own faults, and is checked against the plan it started from.
  std::vector<int> results;
  const auto liveRound = deps.downloadRound;
  deps.downloadRound = [&](const std::wstring& url, const std::wstring& path, std::string* cdn,
                           const download::CDownLoadImpl::ProgressCallback& progress) {
    const size_t round = results.size() + 1;
    SCOPED_TRACE(testing::Message() << "round " << round);
    sim->ClearRules();
    if (round <= row.rules.size()) {
      for (const std::string& fragment : row.rules[round - 1]) {
        const std::string count =
            fragment.find("\"count\"") == std::string::npos ? R"("count": 0, )" : "";
        EXPECT_TRUE(sim->AddRule(R"({"endpoint": "Download", "path": ")" + c.path + "\", " + count +
                                 fragment + "}"));
      }
    }
    if (round > 1 && row.between) row.between(c, static_cast<int>(round));
    const std::vector<faulttest::SavedSlice> saved = faulttest::SavedPlan(path + L".xml");
    const size_t planErrorsBefore = Labels("FlowError").size();
    collectReports();
    sim->ClearRequests();
    const int result = liveRound(url, path, cdn, progress);
    results.push_back(result);
    // A plan the round kept (no consistency failure) was resumed: none of its bytes again.
    if (Labels("FlowError").size() == planErrorsBefore) {
      for (const std::string& range :
           faulttest::RangesAskedAgain(sim->Requests("Download"), c.path, saved)) {
        ADD_FAILURE() << range << " asks again for bytes the saved plan holds";
      }
    }
    return result;
  };

  flow::CInstallFlow flow(std::move(deps));
  flow.InstallThreadFunc(window);
  collectReports();

  EXPECT_EQ(results, expect.rounds);
  EXPECT_EQ(FlowErrors(), expect.flowErrors);
  const std::vector<uint32_t> messages = window.Messages();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), expect.message);
  EXPECT_EQ(window.LastParam(expect.message), expect.param);
  if (expect.message == flow::WM_DOWNLOAD_FAIL && expect.param != flow::kDownloadFailNoSpace) {
    EXPECT_EQ(Labels("DownErrorCode"),
              std::vector<std::string>{"error_" + std::to_string(expect.param)});
  }
  int redirectReports = 0, digestReports = 0;
  for (const std::string& body : reports) {
    redirectReports += body.find("exception_code=Url_Too_Many_Redirects") != std::string::npos;
    digestReports += body.find("&type=2&exception_code=MD5_") != std::string::npos;
  }
  EXPECT_EQ(redirectReports, expect.redirectReports);
  EXPECT_EQ(digestReports, expect.digestReports);

  // Nothing corrupt is ever reported as an install: a finish means the file that ran had the
  // described digest and the installed product is the fixture's.
  const std::wstring installed = work.path() + L"Kerfo/Brindlecot Kerfo/Kerfo PDF Editor.exe";
  const int finishes = window.Count(flow::WM_INSTALL_FINISH);
  EXPECT_EQ(finishes, expect.message == flow::WM_INSTALL_FINISH ? 1 : 0);
  if (finishes > 0) {
    EXPECT_EQ(digestSeen, Md5(setup));
    std::string bytes;
    EXPECT_TRUE(platform::ReadWholeFile(installed, &bytes));
    EXPECT_TRUE(bytes == c.product) << "the installed product is not the fixture's";
  } else {
    EXPECT_FALSE(platform::PathExists(installed));
    EXPECT_EQ(window.Count(flow::WM_INSTALL_START), 0);
  }
}

TEST_F(FlowFaultMatrixTest, EveryFaultEndsAsItShould) {
  std::string setup;
  // The signed installer at a size the engine takes for one (at least 1 MiB).
  ASSERT_TRUE(platform::ReadWholeFile(
      testsupport::BuildPath("fixtures/kerfo-fixture-setup-signed-large.exe"), &setup));
  std::string product;
  ASSERT_TRUE(platform::ReadWholeFile(testsupport::BuildPath("fixtures/kerfo-fixture-product.exe"),
                                      &product));

  download::EngineEnv env;
  env.networkAlive = [] { return true; };
  env.tickCount = FastTick;  // a round without progress ends after 0.6 s
  enginetest::ScopedEngineEnv scoped(env);
  enginetest::ScopedSettings settings(kSlices, 0, 3, 2);

  int n = 0;
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    ++n;
    sim_->ClearRules();
    sim_->ClearRequests();
    testsupport::TempDir work;
    Ctx c;
    c.work = &work;
    c.setup = setup;
    c.product = product;
    c.name = "r" + std::to_string(n) + "_setup.exe";
    c.path = "/" + c.name;
    FlowFaultMatrixTest::WriteServed(c.name, setup);
    c.url = sim_->Url("Download", c.path, false);
    c.folder = work.File(L"dl/");
    platform::CreateOneDirectory(c.folder);
    c.installer = c.folder + L"r" + std::to_wstring(n) + L"_setup_1.0.0.1.exe";
    if (row.before) row.before(c);
    if (HasFatalFailure()) return;
    Expect expect = row.expect;
    if (row.adjust) row.adjust(c, expect);

    RunTry(row, c, expect, false);
    if (row.retried) {
      SCOPED_TRACE("try again");
      RunTry(row, c, *row.retried, true);
    }
    if (row.after) row.after(c);
    faulttest::EndProgram(&c.holder);
    sim_->PatchScenario(R"({"download": {"redirects": null}})");
  }
}

}  // namespace
