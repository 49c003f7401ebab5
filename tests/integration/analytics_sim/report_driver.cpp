// A stand-in for the installer's reporting side in the integration tests: a process with the
// real report SDK, pointed at the simulator, that can be killed while it holds queued items.
//   kerfo-report-driver APPDATA COLLECTOR_BASE GA4_BASE post N   posts N hits and N documents,
//                                                               prints "posted", then idles
//   kerfo-report-driver APPDATA COLLECTOR_BASE GA4_BASE drain    replays the store, prints
//                                                               "drained <entries>" when idle
//   kerfo-report-driver APPDATA COLLECTOR_BASE GA4_BASE burst N  as post, but every event in
//                                                               one millisecond with one
//                                                               category and action
//   kerfo-report-driver APPDATA COLLECTOR_BASE GA4_BASE share N TAG  replays, posts N hits and
//                                                               N documents tagged TAG, prints
//                                                               "shared <entries>" when idle
#include <cstdio>
#include <cstdlib>
#include <string>

#include "../report_process.h"

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: kerfo-report-driver APPDATA COLLECTOR GA4 post N | drain\n");
    return 2;
  }
  const std::string mode = argv[4];
  // A burst runs on the coarse clock of the target system: every post reads the same time.
  static reportsdk::CManagement* context = reporttest::StartReportContext(
      argv, mode == "burst" ? [] { return platform::LocalTime{2026, 1, 4, 1, 12, 0, 0, 0}; }
                            : std::function<platform::LocalTime()>());
  if ((mode == "post" || mode == "burst") && argc >= 6) {
    const int count = std::atoi(argv[5]);
    for (int i = 0; i < count; ++i) {
      const std::string action = mode == "burst" ? "CoreFuncEnd" : "Step" + std::to_string(i);
      if (!reporttest::PostHitAndDocument(*context, "Integration", action, "kill test")) {
        std::printf("post refused\n");
        return 1;
      }
    }
    return reporttest::IdleAfterPosting();
  }
  if (mode == "share" && argc >= 7) {
    const int count = std::atoi(argv[5]);
    const std::string tag = argv[6];
    for (int i = 0; i < count; ++i) {
      reporttest::PostHitAndDocument(*context, "Shared", tag + std::to_string(i), "x");
    }
    const bool idle = reporttest::WaitIdle(*context, 900);
    std::printf("shared %d\n", context->network().store().CountEntries());
    std::fflush(stdout);
    std::_Exit(idle ? 0 : 4);
  }
  if (mode == "drain") {
    const bool idle = reporttest::WaitIdle(*context, 600);
    std::printf("drained %d\n", context->network().store().CountEntries());
    std::fflush(stdout);
    std::_Exit(idle ? 0 : 4);
  }
  return 2;
}
