// Posting cost of the report SDK with bWait false as its store grows: every post runs the
// repeat check, rewrites the whole store file (through a temporary file that replaces it) and
// appends to the send queue. No sender runs, so every posted item stays stored.
//
//   kerfo-report-bench [DIR]     (DIR: where the store lives; default a fresh folder in /tmp)
//
// For stores of 10, 100 and 1000 items it posts 25 alternating report documents and GA4 hits of
// realistic size and prints posts per second and the mean and worst time of one post.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
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

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  const fs::path dir =
      argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "kerfo-report-bench";
  fs::create_directories(dir);
  std::printf("store folder: %s\n", dir.string().c_str());
  std::printf("%8s %12s %12s %12s %12s\n", "stored", "store bytes", "posts/s", "mean ms",
              "worst ms");
  for (int stored : {10, 100, 1000}) {
    const fs::path store = dir / ("tempga-" + std::to_string(stored) + ".wk");
    fs::remove(store);
    reportsdk::CNetworkCommunicate::Hooks hooks;
    hooks.post = [](const std::string&, const std::string&) { return 0L; };
    reportsdk::CNetworkCommunicate net(hooks);
    net.store().SetPath(store.wstring());
    for (int i = 0; i < stored; ++i) {
      net.store().Update(Key(i), i % 2 ? Hit(i) : Document(i), reportsdk::CReportStore::kWaiting);
    }
    const uintmax_t bytes = fs::file_size(store);
    std::vector<double> ms;
    const int posts = 25;
    for (int i = stored; i < stored + posts; ++i) {
      const std::string payload = i % 2 ? Hit(i) : Document(i);
      const auto start = std::chrono::steady_clock::now();
      const int result = net.Post(Key(i), payload, false, true, false);
      const auto end = std::chrono::steady_clock::now();
      if (result != 0) std::printf("post %d refused: %d\n", i, result);
      ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    double total = 0;
    for (double m : ms) total += m;
    std::printf("%8d %12ju %12.1f %12.2f %12.2f\n", stored, bytes, 1000.0 * posts / total,
                total / posts, *std::max_element(ms.begin(), ms.end()));
  }
  return 0;
}
