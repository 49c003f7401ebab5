// The analytics against the vendor simulator on 127.0.0.1: the report SDK's HTTP routine and
// delivery rules, exactly-once delivery across a killed process, and the installer's
// log-upload and "-sendrestlogs" runs end to end. Every wait is bounded.
#include <curl/curl.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zip.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "report_sdk/network_communicate.h"
#include "report_sdk/post_data.h"
#include "report_sdk/report_format.h"
#include "support/report_wire.h"
#include "vendor_sim.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

size_t Append(char* data, size_t size, size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// One plain-HTTP exchange with the simulator's admin port.
long Admin(int port, const std::string& method, const std::string& path, const std::string& body,
           std::string* answer) {
  CURL* curl = curl_easy_init();
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + path;
  answer->clear();
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, method.c_str());
  if (!body.empty()) curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Append);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, answer);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  long status = 0;
  if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  return status;
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

Json::Value Parse(const std::string& text) {
  Json::Value value;
  std::string errors;
  reportsdk::ParseJson(text, &value, &errors);
  return value;
}

// Entries of a store as the next start would find them, read without changing it.
int StoredEntries(const fs::path& store) {
  reportsdk::CReportStore reader(nullptr);
  reader.SetPath(store.wstring());
  return reader.CountEntries();
}

bool WaitFor(const std::function<bool()>& done, int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

// A child process with extra environment variables and its output in a file.
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
        const fs::path& output) {
    std::vector<std::string> envText;
    for (char** e = environ; *e; ++e) {
      const std::string item = *e;
      const std::string name = item.substr(0, item.find('='));
      if (!env.count(name)) envText.push_back(item);
    }
    for (const auto& item : env) envText.push_back(item.first + "=" + item.second);
    std::vector<char*> argv, envp;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool started() const { return pid_ > 0; }
  // The exit code, or -1 when it did not end within ms (it is then killed).
  int Wait(int ms) {
    int status = 0;
    const bool ended = WaitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, ms);
    exited_ = true;
    if (!ended) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
  }
  void Kill() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    exited_ = true;
  }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
};

class AnalyticsSim : public testing::Test {
 protected:
  void SetUp() override {
    work_ = fs::temp_directory_path() /
            ("kerfo-analytics-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    fs::create_directories(work_);
    vendorsim::SimOptions options;
    options.stateDir = (work_ / "sim").string();
    std::string error;
    ASSERT_TRUE(sim_.Start(options, &error)) << error;
  }
  void TearDown() override {
    sim_.Stop();
    std::error_code ec;
    fs::remove_all(work_, ec);
  }
  std::string Base(const std::string& endpoint) {
    return "https://127.0.0.1:" + std::to_string(sim_.Port(endpoint));
  }
  void Patch(const std::string& json) {
    std::string answer;
    ASSERT_EQ(Admin(sim_.Port("Admin"), "PATCH", "/scenario", json, &answer), 200) << answer;
  }
  void ClearRequests() {
    std::string answer;
    Admin(sim_.Port("Admin"), "DELETE", "/requests", "", &answer);
  }
  Json::Value Requests(const std::string& endpoint) {
    std::string answer;
    Admin(sim_.Port("Admin"), "GET", "/requests?endpoint=" + endpoint, "", &answer);
    return Parse(answer);
  }
  static std::string Header(const Json::Value& record, const std::string& name) {
    for (const Json::Value& pair : record["headers"]) {
      if (pair[0].asString() == name) return pair[1].asString();
    }
    return "\x01missing";
  }
  // Every accepted delivery, by what it carried (the body of a document, the URL of a hit)
  // without the task id it was sent with. Each must carry an id, and none may be one the
  // collector had already taken.
  std::map<std::string, int> Accepted() {
    std::map<std::string, int> seen;
    auto idOf = [](const Json::Value& r) {
      EXPECT_FALSE(r["notes"]["task_id"].asString().empty()) << r;
      EXPECT_FALSE(r["notes"]["duplicate"].asBool()) << r;
    };
    for (const Json::Value& r : Requests("Collector")) {
      if (r["status"].asInt() != 200) continue;
      idOf(r);
      ++seen[testsupport::SplitTaskId(r["body"].asString()).report];
    }
    for (const Json::Value& r : Requests("Ga4")) {
      if (r["status"].asInt() != 204) continue;
      idOf(r);
      ++seen[testsupport::SplitTaskId(r["target"].asString()).report];
    }
    return seen;
  }

  static int counter_;
  fs::path work_;
  vendorsim::VendorSim sim_;
};
int AnalyticsSim::counter_ = 0;

TEST_F(AnalyticsSim, PostDataErrorSendsTheFixedHeadersAndReturnsTheStatus) {
  std::vector<std::string> log;
  auto keep = [&log](const std::string& line) { log.push_back(line); };
  const std::string doc = "{\"common\":{\"source_type\":\"downloader\",\"cross_end_id\":\"\"}}";
  EXPECT_EQ(reportsdk::PostDataError(Base("Collector") + "/collect", doc, L"", keep), 200);
  EXPECT_EQ(
      reportsdk::PostDataError(Base("Ga4") + "/g/collect?v=2&cid=AB12&tid=x&en=y", "", L"", keep),
      204);
  EXPECT_TRUE(log.empty());
  const Json::Value docs = Requests("Collector");
  ASSERT_EQ(docs.size(), 1u);
  const Json::Value& r = docs[0];
  EXPECT_TRUE(r["tls"].asBool());
  EXPECT_EQ(r["method"].asString(), "POST");
  EXPECT_EQ(r["body"].asString(), doc);
  EXPECT_EQ(Header(r, "User-Agent"), "PostmanRuntime/7.29.2");
  EXPECT_EQ(Header(r, "Accept"), "*/*");
  EXPECT_EQ(Header(r, "Accept-Encoding"), "gzip, deflate, br");
  EXPECT_EQ(Header(r, "Connection"), "keep-alive");
  EXPECT_EQ(Header(r, "Content-Type"), "application/json; charset=utf-8");
  const Json::Value hits = Requests("Ga4");
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0]["body_size"].asInt(), 0);
  EXPECT_EQ(hits[0]["notes"]["ga4"]["cid"].asString(), "AB12");

  // A refused post and an unreachable host are logged with their codes.
  Patch(R"({"collector": {"status": 503}})");
  EXPECT_EQ(reportsdk::PostDataError(Base("Collector") + "/collect", doc, L"", keep), 503);
  EXPECT_EQ(reportsdk::PostDataError("https://127.0.0.1:1/collect", doc, L"", keep), 0);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "PostDataError: 0, No error, 503");
  EXPECT_EQ(log[1].find("PostDataError: 7, "), 0u) << log[1];
  // Other protocols are never spoken, even when a stored payload names one.
  EXPECT_EQ(reportsdk::PostDataError("file:///etc/hostname", "", L"", keep), 0);
}

TEST_F(AnalyticsSim, CollectorsThatResetOrAnswerGarbageAreHandled) {
  std::string answer;
  // The first request is cut off (connection closed unanswered), the second gets garbage.
  ASSERT_EQ(Admin(sim_.Port("Admin"), "POST", "/rules",
                  R"([{"id": "reset", "endpoint": "Collector", "first": 1, "count": 1,
                       "drop": true},
                      {"id": "junk", "endpoint": "Collector", "first": 2, "count": 1,
                       "status": 200, "body": "\u0000\u00ff<html>not json"}])",
                  &answer),
            200)
      << answer;
  std::vector<std::string> log;
  auto keep = [&log](const std::string& line) { log.push_back(line); };
  const std::string doc = "{\"common\":{\"source_type\":\"downloader\",\"cross_end_id\":\"\"}}";
  EXPECT_EQ(reportsdk::PostDataError(Base("Collector") + "/collect", doc, L"", keep), 0);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].find("PostDataError: 52, "), 0u) << log[0];
  // Only the status counts: a 200 with a body of garbage is a delivery.
  EXPECT_EQ(reportsdk::PostDataError(Base("Collector") + "/collect", doc, L"", keep), 200);
  EXPECT_EQ(log.size(), 1u);
}

TEST_F(AnalyticsSim, ProxyFileRoutesThroughItsFirstWord) {
  const fs::path proxy = work_ / "proxy.txt";
  // The collector port plays the proxy: a plain-HTTP request for another host arrives there.
  WriteFile(proxy, "127.0.0.1:" + std::to_string(sim_.Port("Collector")) + " ignored-second\n");
  const std::string doc = "{\"common\":{\"source_type\":\"d\",\"cross_end_id\":\"\"}}";
  // The target is an unused loopback address: should the proxy be ignored, the request still
  // never leaves the machine (and no name is looked up).
  std::vector<std::string> log;
  auto keep = [&log](const std::string& line) { log.push_back(line); };
  const long status =
      reportsdk::PostDataError("http://127.0.0.2:9/collect", doc, proxy.wstring(), keep);
  // An HTTP answer at all proves the proxy carried it: 127.0.0.2:9 itself refuses connections.
  EXPECT_NE(status, 0) << (log.empty() ? std::string() : log.back());
  // The simulator records a request as it finishes it; give that a moment.
  Json::Value records = Requests("Collector");
  for (int i = 0; i < 40 && records.size() < 1u; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    records = Requests("Collector");
  }
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["target"].asString(), "http://127.0.0.2:9/collect");
  // An empty proxy file sets no proxy.
  WriteFile(proxy, "  \n");
  EXPECT_EQ(reportsdk::ReadProxyFile(proxy.wstring()), "");
}

TEST_F(AnalyticsSim, SenderRulesAgainstTheSimulator) {
  Patch(R"({"ga4": {"status": 200}, "collector": {"status": 204}})");
  reportsdk::CNetworkCommunicate::Hooks hooks;
  hooks.post = [](const std::string& url, const std::string& body) {
    return reportsdk::PostDataError(url, body, L"", nullptr);
  };
  const std::string collector = Base("Collector") + "/collect";
  hooks.collectorUrl = [collector] { return collector; };
  hooks.retryPauseMs = 10;
  hooks.idlePollMs = 10;
  reportsdk::CNetworkCommunicate net(hooks);
  net.store().SetPath((work_ / "store" / "tempga.wk").wstring());
  const std::string hit = Base("Ga4") + "/g/collect?v=2&cid=1&tid=G&ep.qd_action=a&en=a";
  const std::string doc = "{\"common\":{\"source_type\":\"downloader\",\"cross_end_id\":\"\"}}";
  // A hit answered 200 and a document answered 204 are not delivered: three tries each, kept.
  EXPECT_EQ(net.Post("1::1767225600000::c::a", hit, false, true, true), -2);
  EXPECT_EQ(net.Post("2::1767225600000::c::a", doc, false, true, true), -2);
  EXPECT_EQ(Requests("Ga4").size(), 3u);
  EXPECT_EQ(Requests("Collector").size(), 3u);
  EXPECT_EQ(net.store().CountEntries(), 2);
  EXPECT_EQ(net.QueueCount(), 2u);
  // With the right answers the sender delivers both once and the store empties.
  Patch(R"({"ga4": {"status": 204}, "collector": {"status": 200}})");
  ClearRequests();
  net.StartSender();
  ASSERT_TRUE(WaitFor([&] { return net.Idle(); }, 20000));
  EXPECT_EQ(net.store().CountEntries(), 0);
  const auto accepted = Accepted();
  EXPECT_EQ(accepted.size(), 2u);
  for (const auto& item : accepted) EXPECT_EQ(item.second, 1) << item.first;
}

TEST_F(AnalyticsSim, ItemsQueuedAtAKillArriveOnceAfterTheRestart) {
  Patch(R"({"ga4": {"status": 500}, "collector": {"status": 500}})");
  const std::string appData = (work_ / "appdata").string();
  const fs::path store = work_ / "appdata" / "VUDedaRavavoDAZ" / "8841" / "backup" / "tempga.wk";
  {
    Child driver({KERFO_REPORT_DRIVER, appData, Base("Collector"), Base("Ga4"), "post", "6"}, {},
                 work_ / "post.txt");
    ASSERT_TRUE(driver.started());
    ASSERT_TRUE(WaitFor(
        [&] { return ReadFile(work_ / "post.txt").find("posted") != std::string::npos; }, 20000))
        << ReadFile(work_ / "post.txt");
    ASSERT_TRUE(WaitFor([&] { return Requests("").size() >= 4; }, 20000));
    driver.Kill();
  }
  // The killed process's items are in the store (its file and journal) as the next start
  // reads it.
  EXPECT_EQ(StoredEntries(store), 12);

  Patch(R"({"ga4": {"status": 204}, "collector": {"status": 200}})");
  ClearRequests();
  Child drain({KERFO_REPORT_DRIVER, appData, Base("Collector"), Base("Ga4"), "drain"}, {},
              work_ / "drain.txt");
  EXPECT_EQ(drain.Wait(90000), 0) << ReadFile(work_ / "drain.txt");
  EXPECT_NE(ReadFile(work_ / "drain.txt").find("drained 0"), std::string::npos);
  const auto accepted = Accepted();
  EXPECT_EQ(accepted.size(), 12u);
  for (const auto& item : accepted) EXPECT_EQ(item.second, 1) << item.first;
  EXPECT_EQ(Parse(ReadFile(store))["send_count"].asInt(), 0);
  const std::string sdkLog =
      ReadFile(work_ / "appdata" / "VUDedaRavavoDAZ" / "8841" / "logs" /
               fs::directory_iterator(work_ / "appdata" / "VUDedaRavavoDAZ" / "8841" / "logs")
                   ->path()
                   .filename());
  EXPECT_NE(sdkLog.find("Read history: 12/12"), std::string::npos) << sdkLog;
}

// Eleven events in one millisecond with one category and action (one key for all), a kill
// while the collector fails, then a replay: eleven deliveries of each, none lost, none twice.
TEST_F(AnalyticsSim, OneMillisecondBurstSurvivesAKillItemByItem) {
  Patch(R"({"ga4": {"status": 500}, "collector": {"status": 500}})");
  const std::string appData = (work_ / "appdata").string();
  const fs::path store = work_ / "appdata" / "VUDedaRavavoDAZ" / "8841" / "backup" / "tempga.wk";
  {
    Child driver({KERFO_REPORT_DRIVER, appData, Base("Collector"), Base("Ga4"), "burst", "11"},
                 {}, work_ / "burst.txt");
    ASSERT_TRUE(driver.started());
    ASSERT_TRUE(WaitFor(
        [&] { return ReadFile(work_ / "burst.txt").find("posted") != std::string::npos; }, 20000))
        << ReadFile(work_ / "burst.txt");
    driver.Kill();
  }
  EXPECT_EQ(StoredEntries(store), 22);
  Patch(R"({"ga4": {"status": 204}, "collector": {"status": 200}})");
  ClearRequests();
  Child drain({KERFO_REPORT_DRIVER, appData, Base("Collector"), Base("Ga4"), "drain"}, {},
              work_ / "drain.txt");
  EXPECT_EQ(drain.Wait(120000), 0) << ReadFile(work_ / "drain.txt");
  const auto accepted = Accepted();
  ASSERT_EQ(accepted.size(), 2u);  // one document text and one hit address, each eleven times
  for (const auto& item : accepted) EXPECT_EQ(item.second, 11) << item.first;
  EXPECT_EQ(StoredEntries(store), 0);
}

// Two processes post into and replay the same store at once, over the orphans of an earlier
// run, while the collector drops some requests: every item arrives exactly once.
TEST_F(AnalyticsSim, TwoProcessesOnOneStoreDeliverEachItemOnce) {
  const fs::path sdk = work_ / "appdata" / "VUDedaRavavoDAZ" / "8841";
  Json::Value root(Json::objectValue);
  Json::Value items(Json::arrayValue);
  for (int i = 0; i < 20; ++i) {
    Json::Value item(Json::objectValue);
    item["task_guid"] = "1::17672256000" + std::to_string(10 + i) + "::Old::A" + std::to_string(i);
    item["task_status"] = 0;
    item["task_content"] = Base("Ga4") + "/g/collect?v=2&cid=X&tid=G-R8KQ2W7NXD&ep.qd_action=A" +
                           std::to_string(i) + "&en=A" + std::to_string(i);
    items.append(item);
  }
  root["send_item"] = items;
  root["send_count"] = 20;
  WriteFile(sdk / "backup" / "tempga.wk", root.toStyledString());
  std::string answer;
  ASSERT_EQ(Admin(sim_.Port("Admin"), "POST", "/rules",
                  R"([{"id": "flaky", "endpoint": "Collector", "first": 3, "count": 4,
                       "status": 503}])",
                  &answer),
            200)
      << answer;
  const std::string appData = (work_ / "appdata").string();
  Child a({KERFO_REPORT_DRIVER, appData, Base("Collector"), Base("Ga4"), "share", "15", "a"}, {},
          work_ / "a.txt");
  Child b({KERFO_REPORT_DRIVER, appData, Base("Collector"), Base("Ga4"), "share", "15", "b"}, {},
          work_ / "b.txt");
  EXPECT_EQ(a.Wait(120000), 0) << ReadFile(work_ / "a.txt");
  EXPECT_EQ(b.Wait(120000), 0) << ReadFile(work_ / "b.txt");
  const auto accepted = Accepted();
  EXPECT_EQ(accepted.size(), 20u + 2 * 30u);
  for (const auto& item : accepted) EXPECT_EQ(item.second, 1) << item.first;
  EXPECT_EQ(StoredEntries(sdk / "backup" / "tempga.wk"), 0);
}

// The installer itself, copied beside an endpoints.ini that points it at the simulator.
class InstallerRun : public AnalyticsSim {
 protected:
  void SetUp() override {
    AnalyticsSim::SetUp();
    exe_ = work_ / "exe" / "kerfo-installer";
    fs::create_directories(exe_.parent_path());
    fs::copy_file(KERFO_INSTALLER, exe_);
    WriteFile(exe_.parent_path() / "endpoints.ini", sim_.EndpointsIni());
    logFolder_ = work_ / "appdata" / "RORezivuduza" / "logs" / "BrindlecotKerfo_setup";
    fs::create_directories(logFolder_);
    fs::create_directories(work_ / "run");
  }
  int Run(const std::vector<std::string>& args, const std::string& name) {
    std::vector<std::string> argv = {exe_.string()};
    argv.insert(argv.end(), args.begin(), args.end());
    Child child(
        argv,
        {{"APPDATA", (work_ / "appdata").string()}, {"XDG_RUNTIME_DIR", (work_ / "run").string()}},
        work_ / (name + ".txt"));
    return child.Wait(60000);
  }
  std::vector<std::string> LogFolderFiles() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(logFolder_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }
  static bool ArchiveTestsClean(const std::string& path) {
    const std::string command = "unzip -tq '" + path + "' >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
  }
  static std::vector<std::string> ZipNames(const std::string& path) {
    std::vector<std::string> names;
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
    if (archive == nullptr) return names;
    for (zip_int64_t i = 0; i < zip_get_num_entries(archive, 0); ++i) {
      names.push_back(zip_get_name(archive, static_cast<zip_uint64_t>(i), 0));
    }
    zip_close(archive);
    return names;
  }

  fs::path exe_;
  fs::path logFolder_;
};

TEST_F(InstallerRun, DumpModeUploadsTheArchiveAndRemovesItWhenAccepted) {
  const std::string logName = "BrindlecotKerfo_setup_20260101000000123.log";
  WriteFile(logFolder_ / logName, "an earlier run\n");
  EXPECT_EQ(Run({"-dmp", logName}, "dmp"), 0) << ReadFile(work_ / "dmp.txt");
  const Json::Value uploads = Requests("LogUpload");
  ASSERT_EQ(uploads.size(), 1u) << ReadFile(work_ / "dmp.txt");
  const Json::Value& verdict = uploads[0]["notes"]["upload"];
  EXPECT_TRUE(verdict["accepted"].asBool()) << verdict.toStyledString();
  EXPECT_EQ(verdict["fields"]["product_id"].asString(), "RERidavaza2900");
  EXPECT_EQ(verdict["fields"]["version"].asString().find('.') != std::string::npos, true);
  EXPECT_EQ(verdict["fields"]["catalogue"].asString(), "CrashDmp");
  const std::string filename = verdict["filename"].asString();
  EXPECT_EQ(filename.substr(0, 16), "BrindlecotKerfo_");
  EXPECT_EQ(filename.size(), 16u + 17u + 4u) << filename;
  ASSERT_EQ(verdict["zip_entries"].size(), 1u);
  EXPECT_EQ(verdict["zip_entries"][0]["name"].asString(), logName);
  const std::string stored = verdict["stored"].asString();
  EXPECT_TRUE(ArchiveTestsClean(stored));
  EXPECT_EQ(ZipNames(stored), std::vector<std::string>{logName});
  EXPECT_EQ(LogFolderFiles().size(), 2u);  // the original and this run's own log
  EXPECT_TRUE(fs::exists(logFolder_ / logName));
}

TEST_F(InstallerRun, CloseModeKeepsArchiveAndCopyWhenRefused) {
  Patch(R"({"log_upload": {"status": 500}})");
  const std::string logName = "BrindlecotKerfo_setup_20260101000000456.log";
  WriteFile(logFolder_ / logName, "closing run\n");
  EXPECT_EQ(Run({"", "Closing", "-close", "1", logName}, "close"), 0)
      << ReadFile(work_ / "close.txt");
  const Json::Value uploads = Requests("LogUpload");
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(uploads[0]["status"].asInt(), 500);
  EXPECT_EQ(uploads[0]["notes"]["upload"]["fields"]["catalogue"].asString(), "Closing");
  std::string archive;
  bool copy = false;
  for (const std::string& name : LogFolderFiles()) {
    if (name.size() == 21 && name.substr(17) == ".zip") archive = (logFolder_ / name).string();
    copy |= name == logName + "_copy.log";
  }
  ASSERT_FALSE(archive.empty());
  EXPECT_TRUE(copy);
  EXPECT_TRUE(ArchiveTestsClean(archive));
  EXPECT_EQ(ZipNames(archive), std::vector<std::string>{logName});
}

TEST_F(InstallerRun, SendRestLogsDeliversTheStoreAndEnds) {
  // An empty store: both lines, and the process ends at once with 0.
  const fs::path sdk = work_ / "appdata" / "VUDedaRavavoDAZ" / "8841";
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run({"-sendrestlogs"}, "rest1"), 0) << ReadFile(work_ / "rest1.txt");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  std::string log;
  for (const auto& entry : fs::directory_iterator(sdk / "logs")) log += ReadFile(entry.path());
  EXPECT_NE(log.find("Send rest logs, wait begin"), std::string::npos) << log;
  EXPECT_NE(log.find("Send rest logs, wait end"), std::string::npos);

  // Stored hits from an earlier run go out once, and the store empties.
  Json::Value root(Json::objectValue);
  Json::Value items(Json::arrayValue);
  for (int i = 0; i < 3; ++i) {
    Json::Value item(Json::objectValue);
    item["task_guid"] = "1::176722560000" + std::to_string(i) + "::Rest::A" + std::to_string(i);
    item["task_status"] = 0;
    item["task_content"] = Base("Ga4") + "/g/collect?v=2&cid=X&tid=G-R8KQ2W7NXD&ep.qd_action=A" +
                           std::to_string(i) + "&en=A" + std::to_string(i);
    items.append(item);
  }
  root["send_item"] = items;
  root["send_count"] = 3;
  WriteFile(sdk / "backup" / "tempga.wk", root.toStyledString());
  EXPECT_EQ(Run({"-sendrestlogs"}, "rest2"), 0) << ReadFile(work_ / "rest2.txt");
  const auto accepted = Accepted();
  EXPECT_EQ(accepted.size(), 3u);
  for (const auto& item : accepted) EXPECT_EQ(item.second, 1);
  EXPECT_EQ(Parse(ReadFile(sdk / "backup" / "tempga.wk"))["send_count"].asInt(), 0);
}

}  // namespace
