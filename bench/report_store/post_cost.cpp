// Posting cost of the report SDK with bWait false as its store grows: every post runs the
// repeat check, appends one record to the store's journal and appends to the send queue. No
// sender runs, so every posted item stays stored.
//
//   kerfo-report-bench [DIR]     (DIR: where the store lives; default a fresh folder in /tmp)
//
// For stores of 1, 1000 and 10,000 items (written as a store file and loaded by the start-up
// replay) it posts 25 alternating report documents and GA4 hits of realistic size and prints
// posts per second and the mean and worst time of one post; then the time of the compaction
// that folds those posts into the store file (the sender thread's work).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "report_sdk/network_communicate.h"
#include "report_sdk/report_format.h"

namespace {

std::string Document(int n) {
  reportsdk::ReportContext c;
  c.type = 2;
  c.mainPid = 8841;
  c.product = "Brindlecot Kerfo";
  c.productVersion = "1.0.0.0";
  c.toolsVersion = "1.0.0.1";
  c.toolsLang = "English_United States";
  c.sessionId = "5F3A1C2B-0D4E-4F60-8A7B-9C0D1E2F3A4B";
  c.uid = "0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9";
  c.os = "Windows 10";
  c.osVersion = "22H2(19045)";
  c.mac = "02:FC:00:00:00:01";
  Json::Value caller;
  caller["actions"]["event_category"] = "Download";
  caller["actions"]["event_action"] = "Step" + std::to_string(n);
  caller["actions"]["event_label"] = "First";
  caller["actions"]["event_type"] = "CoreFuncEvent";
  return reportsdk::StyledJson(reportsdk::BuildReportDocument(c, caller, 1767225600000 + n));
}

std::string Hit(int n) {
  const std::string tail =
      "&tid=G-R8KQ2W7NXD&ep.qd_productname=Downloader&ep.qd_productversion=1.0.0.1"
      "&ep.qd_category=Download&ep.qd_action=Step" +
      std::to_string(n) + "&ep.qd_label=First&en=Step" + std::to_string(n) +
      "&ep.cd1=1.0.0.1&ep.cd2=PPC&ep.cd3=Kerfo-PPC-Generic&ep.cd4=Brindlecot Kerfo"
      "&ep.cd5=United States&ep.cd6=English&ep.cd7=Windows 10 64bit&ep.cd8=1";
  return reportsdk::Ga4Url("https://ga4.example", "1A2B3C02FC0000000001", tail);
}

std::string Key(int n) {
  return std::string(n % 2 ? "1" : "2") + "::" + std::to_string(1767225600000LL + n * 7000) +
         "::Download::Step" + std::to_string(n);
}

double Ms(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const fs::path dir =
      argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "kerfo-report-bench";
  fs::create_directories(dir);
  std::printf("store folder: %s\n", dir.string().c_str());
  std::printf("%8s %12s %10s %10s %10s %12s %12s\n", "stored", "store bytes", "posts/s",
              "mean ms", "worst ms", "replay ms", "compact ms");
  for (int stored : {1, 1000, 10000}) {
    const fs::path folder = dir / ("store-" + std::to_string(stored));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path store = folder / "tempga.wk";
    {
      Json::Value items(Json::arrayValue);
      for (int i = 0; i < stored; ++i) {
        Json::Value entry(Json::objectValue);
        entry["task_guid"] = Key(i);
        entry["task_status"] = 0;
        entry["task_content"] = i % 2 ? Hit(i) : Document(i);
        items.append(entry);
      }
      Json::Value root(Json::objectValue);
      root["send_count"] = stored;
      root["send_item"] = items;
      Json::StreamWriterBuilder builder;
      builder["indentation"] = "";
      std::ofstream(store, std::ios::binary) << Json::writeString(builder, root);
    }
    const uintmax_t bytes = fs::file_size(store);
    reportsdk::CNetworkCommunicate::Hooks hooks;
    hooks.post = [](const std::string&, const std::string&) { return 0L; };
    reportsdk::CNetworkCommunicate net(hooks);
    net.store().SetPath(store.wstring());
    const auto replayStart = std::chrono::steady_clock::now();
    net.ReplayStore();
    const double replayMs = Ms(replayStart);
    std::vector<double> ms;
    const int posts = 25;
    for (int i = stored; i < stored + posts; ++i) {
      const std::string payload = i % 2 ? Hit(i) : Document(i);
      const auto start = std::chrono::steady_clock::now();
      const int result = net.Post(Key(i), payload, false, true, false);
      ms.push_back(Ms(start));
      if (result != 0) std::printf("post %d refused: %d\n", i, result);
    }
    const auto compactStart = std::chrono::steady_clock::now();
    net.store().Compact();
    const double compactMs = Ms(compactStart);
    // The compaction applies the count bound: beyond it the oldest items go.
    const int expected =
        std::min(stored + posts, static_cast<int>(reportsdk::CReportStore::Limits().maxItems));
    if (net.store().CountEntries() != expected) std::printf("store lost items\n");
    double total = 0;
    for (double m : ms) total += m;
    std::printf("%8d %12ju %10.0f %10.3f %10.3f %12.1f %12.1f\n", stored, bytes,
                1000.0 * posts / total, total / posts, *std::max_element(ms.begin(), ms.end()),
                replayMs, compactMs);
  }
  return 0;
}
