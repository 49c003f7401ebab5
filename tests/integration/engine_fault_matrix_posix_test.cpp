// The engine under every download fault the simulator can script, as one table: each row
// names its faults round by round, the result every round must end with and the flow error it
// must record (or none). Every round of every row is checked alike: a round that reports
// success has exactly the served bytes, and a round that resumes a saved plan asks for no byte
// that plan already holds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analytics/single_user_log.h"
#include "config/log_capture.h"
#include "download/download_impl.h"
#include "download/engine_env.h"
#include "download/libcurl_tool.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/md5.h"
#include "platform/text.h"
#include "sim_client.h"
#include "support/temp_dir.h"
#include "tests/download/engine_test_support.h"
#include "tests/download/mini_http_server.h"
#include "tests/download/pattern_bytes.h"

extern char** environ;

namespace {

using download::EnumErrorCode;
using download::ErrCdnFailure;
using download::ErrContentLength;
using download::ErrNoProgress;
using download::ErrSuccess;
using download::ErrTooManyRedirects;

// Three slices, the last one a little longer than the others.
constexpr int64_t kSize = 3 * 4194304 + 1000;

// A clock a hundred times faster than the real one: a round without progress ends after 0.6 s
// instead of 60 s, while a throttled stream's pauses (tens of milliseconds) stay far below it.
uint32_t FastTick() { return platform::TickCount() * 100u; }

// One slice of a saved plan: where its next byte goes (one past its end when done).
struct SavedSlice {
  int64_t start, end, next;
};

int64_t Element(const std::string& text, const std::string& name, size_t from, size_t to) {
  const std::string open = "<" + name + ">";
  const size_t at = text.find(open, from);
  if (at == std::string::npos || at > to) return -1;
  return std::atoll(text.c_str() + at + open.size());
}

std::vector<SavedSlice> SavedPlan(const std::wstring& taskFile) {
  const std::string text = enginetest::ReadFile(taskFile);
  std::vector<SavedSlice> slices;
  size_t at = 0;
  while ((at = text.find("<Task>", at)) != std::string::npos) {
    const size_t end = text.find("</Task>", at);
    if (end == std::string::npos) break;
    SavedSlice s{Element(text, "StartPos", at, end), Element(text, "EndPos", at, end),
                 Element(text, "DownloadedPos", at, end)};
    if (Element(text, "TaskStatus", at, end) == 1) s.next = s.end + 1;
    slices.push_back(s);
    at = end;
  }
  return slices;
}

// A disk that fills up after `room` bytes of the download folder: a tmpfs of that size where
// mounting is allowed (CI runs as root), else a file size limit on this process.
class FullDisk {
 public:
  FullDisk(const std::string& folder, int64_t room) : folder_(folder) {
    std::filesystem::create_directories(folder_);
    const std::string size = "size=" + std::to_string(room);
    mounted_ = ::mount("tmpfs", folder_.c_str(), "tmpfs", 0, size.c_str()) == 0;
    if (!mounted_) {
      oldXfsz_ = ::signal(SIGXFSZ, SIG_IGN);
      ::getrlimit(RLIMIT_FSIZE, &saved_);
      rlimit limit = saved_;
      limit.rlim_cur = static_cast<rlim_t>(room);
      limited_ = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
  }
  ~FullDisk() {
    Free();
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  bool ok() const { return mounted_ || limited_; }
  // Makes room for the whole download again.
  void Free() {
    if (mounted_) ::mount("tmpfs", folder_.c_str(), "tmpfs", MS_REMOUNT, "size=64m");
    if (limited_) {
      ::setrlimit(RLIMIT_FSIZE, &saved_);
      ::signal(SIGXFSZ, oldXfsz_);
      limited_ = false;
    }
  }

 private:
  std::string folder_;
  bool mounted_ = false;
  bool limited_ = false;
  rlimit saved_{};
  void (*oldXfsz_)(int) = SIG_DFL;
};

class FaultMatrixTest : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    files_ = new testsupport::TempDir();
    state_ = new testsupport::TempDir();
    sim_ = new vendorsim::SimProcess();
    vendorsim::SimProcess::Options options;
    options.stateDir = enginetest::Narrow(state_->path());
    options.filesDir = enginetest::Narrow(files_->path());
    options.lifetimeSeconds = 900;
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
    sim_->ClearRequests();
  }

 public:
  // Writes the served file `name` with generated bytes.
  static void WriteServed(const std::string& name, int64_t size, uint32_t seed) {
    std::ofstream out(enginetest::Narrow(files_->File(platform::AnsiToWide(name))),
                      std::ios::binary | std::ios::trunc);
    out << testsupport::PatternBytes(seed, size);
  }

  static testsupport::TempDir* files_;
  static testsupport::TempDir* state_;
  static vendorsim::SimProcess* sim_;
  static std::string* startError_;
};

testsupport::TempDir* FaultMatrixTest::files_ = nullptr;
testsupport::TempDir* FaultMatrixTest::state_ = nullptr;
vendorsim::SimProcess* FaultMatrixTest::sim_ = nullptr;
std::string* FaultMatrixTest::startError_ = nullptr;

// What a row's hooks work on.
struct Ctx {
  std::string name;   // served file name
  std::string path;   // "/" + name
  std::string url;    // the address the rounds download
  std::wstring local;
  std::string expected;  // the bytes the server has now
  testsupport::TempDir* dir = nullptr;
  std::unique_ptr<FullDisk> disk;
  pid_t holder = -1;
};

enum class Address { kPlain, kRedirected, kCdn };

struct Row {
  const char* name;
  // Rule fragments per round (index 0 = round 1); each becomes a rule for the served file,
  // {"endpoint": "Download", "path": ..., "count": 0, <fragment>} unless it names its own count.
  std::vector<std::vector<std::string>> rules;
  std::vector<EnumErrorCode> results;  // what each round must return
  const char* flowError;               // "DL025", "DL026", or "" for neither
  Address address = Address::kPlain;
  std::function<void(Ctx&)> before;                           // leaves files before round 1
  std::function<void(Ctx&, int round)> between;               // before rounds 2, 3, ...
  std::function<void(Ctx&, int round, EnumErrorCode)> check;  // after every round
  const char* suffix = ".bin";                                // of the served file's name
};

std::vector<std::vector<std::string>> Every(size_t rounds, const std::string& fragment) {
  return std::vector<std::vector<std::string>>(rounds, {fragment});
}

const char kDrop[] = R"("method": "GET", "drop_after": 1500000)";

void WriteBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(enginetest::Narrow(path), std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Leaves the plan an earlier round made, with every slice at its start, and a longer file.
void LeaveUntouchedPlanAndLongerFile(Ctx& c) {
  std::vector<enginetest::TaskRow> rows = {{0, 4194303, 0, 0, 1},
                                           {4194304, 8388607, 4194304, 0, 2},
                                           {8388608, kSize, 8388608, 0, 3}};
  WriteBytes(c.local + L".xml",
             enginetest::TaskFileText(3, kSize, c.url, enginetest::Narrow(c.local), rows));
  WriteBytes(c.local, std::string(20000000, 'g'));
}

std::vector<Row> Rows() {
  std::vector<Row> rows;
  // Faults of the network and of the server.
  rows.push_back({"connection drop", Every(3, kDrop), {ErrNoProgress, ErrNoProgress, ErrSuccess}, ""});
  rows.push_back({"stall", {{R"("method": "GET", "stall_after": 100000, "stall_ms": 60000)"}},
                  {ErrNoProgress, ErrSuccess}, ""});
  rows.push_back({"reset", {{R"("method": "GET", "reset_after": 1000000)"}},
                  {ErrNoProgress, ErrSuccess}, ""});
  rows.push_back({"200 for a ranged request",
                  {{R"("method": "GET", "count": 1, "whole_200": true)"}}, {ErrSuccess}, ""});
  rows.push_back({"wrong Content-Range total", {{R"("method": "GET", "wrong_total": 1)"}},
                  {ErrContentLength, ErrSuccess}, "DL025"});
  rows.push_back({"body longer than the range", Every(1, R"("method": "GET", "body_delta": 5000)"),
                  {ErrSuccess}, ""});
  rows.push_back({"body shorter than the range", {{R"("method": "GET", "body_delta": -5000)"}},
                  {ErrNoProgress, ErrSuccess}, ""});
  rows.push_back({"redirect loop", {}, {ErrTooManyRedirects}, ""});
  {
    // 4 MiB/s: one stream takes about 3 s, longer than the 2 s transfer time-out.
    Row row{"server that ignores Range",
            Every(1, R"("method": "GET", "whole_200": true, "rate_bps": 4194304)"),
            {ErrSuccess}, ""};
    row.check = [](Ctx& c, int, EnumErrorCode) {
      int gets = 0;
      for (const auto& r : FaultMatrixTest::sim_->Requests("Download")) {
        gets += r["path"].asString() == c.path && r["method"].asString() == "GET";
      }
      // The first whole-file answer streams the file; the other workers' answers are dropped.
      EXPECT_LE(gets, 4 + 1);
    };
    rows.push_back(row);
  }
  {
    // The product installer itself behind a server that ignores Range: a 200 whose length is
    // the planned size is streamed like any other file.
    Row row{".exe behind a server that ignores Range",
            Every(1, R"("method": "GET", "whole_200": true, "rate_bps": 4194304)"),
            {ErrSuccess}, ""};
    row.suffix = ".exe";
    rows.push_back(row);
  }
  {
    // A 200 for an .exe that is not the planned file (a portal's page): refused at its length,
    // the plan made again from a fresh probe and refused again; never written, never success.
    Row row{".exe answered 200 with another length",
            {{R"("method": "GET", "status": 200, "body": "<html>portal</html>")"}},
            {ErrContentLength},
            "DL025"};
    row.suffix = ".exe";
    row.check = [](Ctx& c, int, EnumErrorCode) {
      EXPECT_EQ(enginetest::ReadFile(c.local).find("portal"), std::string::npos);
    };
    rows.push_back(row);
  }
  {
    // A 200 for an .exe without any length cannot show it is the planned file: refused until
    // the server answers as it should.
    Row row{".exe answered 200 without a length",
            {{R"("method": "GET", "whole_200": true, "no_length": true)"}},
            {ErrNoProgress, ErrSuccess}, ""};
    row.suffix = ".exe";
    rows.push_back(row);
  }
  // Faults of the machine.
  {
    Row row{"disk full", {}, {ErrNoProgress, ErrSuccess}, ""};
    row.before = [](Ctx& c) {
      const std::wstring folder = c.dir->File(L"full");
      c.disk = std::make_unique<FullDisk>(enginetest::Narrow(folder), 6000000);
      ASSERT_TRUE(c.disk->ok());
      c.local = folder + L"/" + platform::AnsiToWide(c.name);
    };
    row.between = [](Ctx& c, int) { c.disk->Free(); };
    rows.push_back(row);
  }
  {
    Row row{"file locked by another process", {}, {ErrSuccess}, ""};
    row.before = [](Ctx& c) {
      // A running program whose image is the download file: opening it for writing fails
      // (ETXTBSY) until the engine has ended that program.
      std::filesystem::copy_file("/bin/sleep", std::filesystem::path(enginetest::Narrow(c.local)));
      ::chmod(enginetest::Narrow(c.local).c_str(), 0755);
      const std::string exe = enginetest::Narrow(c.local);
      char* argv[] = {const_cast<char*>(exe.c_str()), const_cast<char*>("30"), nullptr};
      ASSERT_EQ(::posix_spawn(&c.holder, exe.c_str(), nullptr, nullptr, argv, environ), 0);
      for (int i = 0; i < 100; ++i) {
        std::error_code ec;
        if (std::filesystem::read_symlink("/proc/" + std::to_string(c.holder) + "/exe", ec) ==
            std::filesystem::path(exe)) {
          break;
        }
        platform::SleepMs(10);
      }
    };
    row.check = [](Ctx& c, int, EnumErrorCode) {
      int status = 0;
      ASSERT_EQ(::waitpid(c.holder, &status, 0), c.holder);
      EXPECT_TRUE(WIFSIGNALED(status));
      c.holder = -1;
    };
    rows.push_back(row);
  }
  {
    Row row{"task file damaged", {}, {ErrSuccess}, "DL026"};
    row.before = [](Ctx& c) {
      WriteBytes(c.local, c.expected.substr(0, 3000000));
      WriteBytes(c.local + L".xml", "<TaskInfo><TasksCount>3</TasksCount><Task><StartPos>12");
    };
    rows.push_back(row);
  }
  // A failed size probe keeps the plan and its bytes for the next round.
  for (const char* probeFault : {R"("method": "HEAD", "status": 503)", R"("method": "HEAD", "drop": true)"}) {
    Row row{std::string(probeFault).find("503") != std::string::npos
                ? "probe answered 503 on resume"
                : "probe connection dropped on resume",
            {{kDrop}, {probeFault}},
            {ErrNoProgress, ErrContentLength, ErrSuccess},
            "",
            Address::kRedirected};
    row.check = [](Ctx& c, int round, EnumErrorCode) {
      if (round != 2) return;
      int64_t held = 0;
      for (const SavedSlice& s : SavedPlan(c.local + L".xml")) held += s.next - s.start;
      EXPECT_GE(held, 3 * 1500000) << "the plan of round 1 is gone";
      EXPECT_GE(platform::FileSize(c.local), 8388608 + 1500000);
    };
    rows.push_back(row);
  }
  {
    // The file at the same address changes size between rounds: the plan is dropped, not
    // refused round after round.
    Row row{"remote file changed size", {{kDrop}}, {ErrNoProgress, ErrSuccess}, "DL025"};
    row.between = [](Ctx& c, int) {
      FaultMatrixTest::WriteServed(c.name, kSize + 777, 4242);
      c.expected = testsupport::PatternBytes(4242, kSize + 777);
    };
    rows.push_back(row);
  }
  rows.push_back({"lower-case header names", Every(1, R"("lowercase_headers": true)"),
                  {ErrSuccess}, ""});
  {
    Row row{"local file longer than an untouched plan", {}, {ErrSuccess}, ""};
    row.before = LeaveUntouchedPlanAndLongerFile;
    rows.push_back(row);
  }
  for (const char* status : {"302", "203", "204"}) {
    Row row{"", {{std::string(R"("method": "GET", "status": )") + status +
                  R"(, "body": "<html>not the file</html>")"}},
            {ErrNoProgress, ErrSuccess}, ""};
    row.name = status[2] == '2' ? "unfollowed 302 body" : status[2] == '3' ? "203 body" : "204 body";
    row.check = [](Ctx& c, int round, EnumErrorCode) {
      if (round == 1) {
        EXPECT_EQ(enginetest::ReadFile(c.local).find("not the file"), std::string::npos);
      }
    };
    rows.push_back(row);
  }
  // A CDN host that fails every request reaches result 11 across rounds: each round asks each
  // of the 3 slices once, and the failures add up until they exceed 3 per slice.
  rows.push_back({"CDN host failing every request", Every(4, R"("method": "GET", "status": 503)"),
                  {ErrNoProgress, ErrNoProgress, ErrNoProgress, ErrCdnFailure},
                  "",
                  Address::kCdn});
  return rows;
}

EnumErrorCode Round(const std::string& url, const std::wstring& local) {
  download::CDownLoadImpl engine;
  std::string cdn;
  return engine.SuperDownloadFile(platform::AnsiToWide(url), local, &cdn, true);
}

TEST_F(FaultMatrixTest, EveryFaultEndsAsItShould) {
  download::EngineEnv env;
  env.networkAlive = [] { return true; };
  env.tickCount = FastTick;
  enginetest::ScopedEngineEnv scoped(env);
  enginetest::ScopedSettings settings(0, 0, 3, 2);
  int n = 0;
  for (const Row& row : Rows()) {
    SCOPED_TRACE(row.name);
    ++n;
    sim_->ClearRules();
    analytics::CSingleUserLog::GetInstance().ClearRecordedEvents();
    testsupport::TempDir dir;
    Ctx c;
    c.dir = &dir;
    c.name = "m" + std::to_string(n) + row.suffix;
    c.path = "/" + c.name;
    WriteServed(c.name, kSize, static_cast<uint32_t>(100 + n));
    c.expected = testsupport::PatternBytes(static_cast<uint32_t>(100 + n), kSize);
    c.local = dir.File(platform::AnsiToWide(c.name));
    c.url = sim_->Url("Download", c.path, false);
    if (row.address == Address::kRedirected) {
      ASSERT_TRUE(sim_->PatchScenario(R"({"download": {"redirects": {"/old-)" + c.name +
                                      R"(": ")" + c.path + R"("}}})"));
      c.url = sim_->Url("Download", "/old-" + c.name, false);
    } else if (row.address == Address::kCdn) {
      c.url.replace(c.url.find("127.0.0.1"), 9, "cdn.localhost");
    }
    if (std::string(row.name) == "redirect loop") {
      ASSERT_TRUE(sim_->PatchScenario(
          R"({"download": {"redirects": {"/loop1": "/loop2", "/loop2": "/loop1"}}})"));
      c.url = sim_->Url("Download", "/loop1", false);
    }
    if (row.before) row.before(c);
    if (HasFatalFailure()) return;

    for (size_t r = 0; r < row.results.size(); ++r) {
      SCOPED_TRACE(testing::Message() << "round " << (r + 1));
      sim_->ClearRules();
      if (r < row.rules.size()) {
        for (const std::string& fragment : row.rules[r]) {
          const std::string count =
              fragment.find("\"count\"") == std::string::npos ? R"("count": 0, )" : "";
          ASSERT_TRUE(sim_->AddRule(R"({"endpoint": "Download", "path": ")" + c.path + "\", " +
                                    count + fragment + "}"));
        }
      }
      if (r > 0 && row.between) row.between(c, static_cast<int>(r + 1));
      const std::vector<SavedSlice> saved = SavedPlan(c.local + L".xml");
      sim_->ClearRequests();
      const EnumErrorCode result = Round(c.url, c.local);
      EXPECT_EQ(result, row.results[r]);
      if (result == ErrSuccess) {
        // Nothing corrupt is ever reported as success.
        EXPECT_TRUE(enginetest::ReadFile(c.local) == c.expected);
      }
      if (std::string(row.flowError).empty()) {
        // A resumed plan asks only for bytes it does not hold.
        for (const auto& request : sim_->Requests("Download")) {
          if (request["method"].asString() != "GET" || request["path"].asString() != c.path) continue;
          std::string range;
          for (const auto& h : request["headers"]) {
            if (h[0].asString() == "Range") range = h[1].asString();
          }
          long long first = -1;
          if (std::sscanf(range.c_str(), "bytes=%lld-", &first) != 1) continue;
          for (const SavedSlice& s : saved) {
            if (first >= s.start && first <= s.end) {
              EXPECT_GE(first, s.next) << range << " asks again for bytes the plan holds";
            }
          }
        }
      }
      if (row.check) row.check(c, static_cast<int>(r + 1), result);
    }
    for (const char* id : {"DL025", "DL026"}) {
      EXPECT_EQ(enginetest::HasEvent("Other", "FlowError", id), std::string(row.flowError) == id)
          << id;
    }
    if (c.holder > 0) {
      ::kill(c.holder, SIGKILL);
      ::waitpid(c.holder, nullptr, 0);
    }
    sim_->PatchScenario(R"({"download": {"redirects": null}})");
  }
}

// The product installer, large, behind a throttled server that ignores Range: one stream fills
// it, however long that takes beside the transfer time-out, about as fast as one plain stream,
// and the bytes are exact. The figure goes to bench/README.md.
TEST_F(FaultMatrixTest, SlowLargeExeBehindAServerThatIgnoresRange) {
  download::EngineEnv env;
  env.networkAlive = [] { return true; };
  enginetest::ScopedEngineEnv scoped(env);
  enginetest::ScopedSettings settings(0, 0);
  const int64_t size = (int64_t(256) << 20) + 12345;
  const int64_t rate = int64_t(32) << 20;
  WriteServed("ignores-range-setup.exe", size, 77);
  ASSERT_TRUE(sim_->AddRule(R"({"endpoint": "Download", "method": "GET",
                                "path": "/ignores-range-setup.exe", "count": 0,
                                "whole_200": true, "rate_bps": )" +
                            std::to_string(rate) + "}"));
  testsupport::TempDir dir;
  const std::wstring local = dir.File(L"ignores-range-setup.exe");
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Round(sim_->Url("Download", "/ignores-range-setup.exe", false), local), ErrSuccess);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double stream = static_cast<double>(size) / static_cast<double>(rate);
  std::printf("ignores Range (.exe): %.2f s for %lld bytes, one stream's time %.2f s (%.2fx)\n",
              seconds, static_cast<long long>(size), stream, seconds / stream);
  EXPECT_LE(seconds, 1.1 * stream);
  const std::string want = testsupport::PatternBytes(77, size);
  std::string digest;
  ASSERT_TRUE(platform::Md5HexOfFile(local, &digest));
  EXPECT_EQ(digest, platform::Md5HexOfBytes(want.data(), want.size()));
}

// The log upload against a collector that never answers, and one that answers without end.
TEST_F(FaultMatrixTest, LogUploadCannotHang) {
  testsupport::TempDir dir;
  testsupport::LogCapture log(dir.File(L"log.txt"));
  const std::wstring archive = dir.Write(L"logs.zip", std::string(5000, 'z'));
  download::CLibcurlTool tool;
  tool.setUploadBase(sim_->Url("LogUpload", "", false));
  tool.setUploadTimeouts({2, 2, 4});
  ASSERT_TRUE(sim_->AddRule(R"({"endpoint": "LogUpload", "count": 1, "delay_ms": 120000})"));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(tool.UploadLogFile(enginetest::Narrow(archive), "logs.zip", "101", "1.0", ""), -3);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));

  // An answer of 300000 bytes: the upload succeeds and keeps no more than its cap of it.
  testsupport::MiniHttpServer server;
  testsupport::ServedFile answer;
  answer.size = 300000;
  answer.fill = 'a';
  server.AddFile("/v1/productLogUpload", answer);
  tool.setUploadBase(server.Url(""));
  EXPECT_EQ(tool.UploadLogFile(enginetest::Narrow(archive), "logs.zip", "101", "1.0", ""), 0);
  log.Lines();  // flushes the log
  const std::string text = enginetest::ReadFile(dir.File(L"log.txt"));
  const size_t at = text.rfind("Response from server:\n");
  ASSERT_NE(at, std::string::npos);
  const size_t kept = text.size() - at - std::strlen("Response from server:\n");
  EXPECT_GE(kept, download::CLibcurlTool::kMaxUploadResponse);
  EXPECT_LT(kept, download::CLibcurlTool::kMaxUploadResponse + 200);
}

}  // namespace
