// The report side of the kill trials: a process with the real report SDK, pointed at the
// simulator, that queues uniquely named reports and says which ones the SDK has accepted, so a
// SIGKILL at any moment can be judged by what arrives at the collectors afterwards.
//   kerfo-report-writer APPDATA COLLECTOR_BASE GA4_BASE post TAG N
//       queues N GA4 hits and N documents named TAG_0 .. TAG_<N-1>, printing "queued TAG_i"
//       after both of item i were accepted, then "posted", then idles while the sender works
//   kerfo-report-writer APPDATA COLLECTOR_BASE GA4_BASE drain
//       replays what the store still holds; prints "drained" and exits 0 once the sender is
//       idle (4 when it is not idle within a minute)
// Only the SDK's public interface is used, so the trials stay valid whatever the store's format.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../report_process.h"

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: kerfo-report-writer APPDATA COLLECTOR GA4 post TAG N | drain\n");
    return 2;
  }
  static reportsdk::CManagement* context = reporttest::StartReportContext(argv);
  const std::string mode = argv[4];
  if (mode == "post" && argc >= 7) {
    const std::string tag = argv[5];
    const int count = std::atoi(argv[6]);
    for (int i = 0; i < count; ++i) {
      const std::string name = tag + "_" + std::to_string(i);
      const bool queued = reporttest::PostHitAndDocument(*context, "Kill", name, "trial");
      std::printf("%s %s\n", queued ? "queued" : "refused", name.c_str());
      std::fflush(stdout);
    }
    return reporttest::IdleAfterPosting();
  }
  if (mode == "drain") {
    const bool idle = reporttest::WaitIdle(*context, 600);
    std::printf(idle ? "drained\n" : "not idle\n");
    std::fflush(stdout);
    std::_Exit(idle ? 0 : 4);
  }
  return 2;
}
