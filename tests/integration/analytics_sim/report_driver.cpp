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
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/text.h"
#include "report_sdk/management.h"

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: kerfo-report-driver APPDATA COLLECTOR GA4 post N | drain\n");
    return 2;
  }
  reportsdk::ManagementEnv env = reportsdk::ManagementEnv::Live();
  env.appDataDir = platform::Utf8ToWide(argv[1]);
  env.collectorBase = argv[2];
  env.collectorTestBase = argv[2];
  env.ga4Base = argv[3];
  env.retryPauseMs = 100;
  env.commandLine = [] { return std::wstring(); };
  const std::string mode = argv[4];
  if (mode == "burst") {
    // The coarse clock of the target system: every post of the burst reads the same time.
    env.now = [] { return platform::LocalTime{2026, 1, 4, 1, 12, 0, 0, 0}; };
  }
  static reportsdk::CManagement* context = new reportsdk::CManagement(env);
  context->Init(2, 8841, 8841, "", "", "Brindlecot Kerfo", "1.0.0.0", "");
  context->SetClientInfo(673, 0, "en", "1.0.0.1");
  if ((mode == "post" || mode == "burst") && argc >= 6) {
    const int count = std::atoi(argv[5]);
    for (int i = 0; i < count; ++i) {
      const std::string action = mode == "burst" ? "CoreFuncEnd" : "Step" + std::to_string(i);
      const std::string tail =
          "&tid=G-R8KQ2W7NXD&ep.qd_category=Integration&ep.qd_action=" + action +
          "&ep.qd_label=kill test&en=" + action;
      const std::string doc =
          "{\"actions\":{\"event_category\":\"Integration\",\"event_action\":\"" + action + "\"}}";
      if (context->PostGA4(tail.c_str(), false) != 0 ||
          context->PostEvent(doc.c_str(), false) != 0) {
        std::printf("post refused\n");
        return 1;
      }
    }
    std::printf("posted\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(120));
    return 3;
  }
  if (mode == "share" && argc >= 7) {
    const int count = std::atoi(argv[5]);
    const std::string tag = argv[6];
    for (int i = 0; i < count; ++i) {
      const std::string action = tag + std::to_string(i);
      const std::string tail = "&tid=G-R8KQ2W7NXD&ep.qd_category=Shared&ep.qd_action=" + action +
                               "&ep.qd_label=x&en=" + action;
      const std::string doc =
          "{\"actions\":{\"event_category\":\"Shared\",\"event_action\":\"" + action + "\"}}";
      context->PostGA4(tail.c_str(), false);
      context->PostEvent(doc.c_str(), false);
    }
    for (int i = 0; i < 900 && !context->network().Idle(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::printf("shared %d\n", context->network().store().CountEntries());
    std::fflush(stdout);
    std::_Exit(context->network().Idle() ? 0 : 4);
  }
  if (mode == "drain") {
    for (int i = 0; i < 600 && !context->network().Idle(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    std::printf("drained %d\n", context->network().store().CountEntries());
    std::fflush(stdout);
    std::_Exit(context->network().Idle() ? 0 : 4);
  }
  return 2;
}
