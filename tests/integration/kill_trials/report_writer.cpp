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
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/text.h"
#include "report_sdk/management.h"

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: kerfo-report-writer APPDATA COLLECTOR GA4 post TAG N | drain\n");
    return 2;
  }
  reportsdk::ManagementEnv env = reportsdk::ManagementEnv::Live();
  env.appDataDir = platform::Utf8ToWide(argv[1]);
  env.collectorBase = argv[2];
  env.collectorTestBase = argv[2];
  env.ga4Base = argv[3];
  env.retryPauseMs = 100;
  env.commandLine = [] { return std::wstring(); };
  // Never destroyed: a kill or _Exit ends the process, as it ends the installer.
  static reportsdk::CManagement* context = new reportsdk::CManagement(env);
  context->Init(2, 8841, 8841, "", "", "Brindlecot Kerfo", "1.0.0.0", "");
  context->SetClientInfo(673, 0, "en", "1.0.0.1");
  const std::string mode = argv[4];
  if (mode == "post" && argc >= 7) {
    const std::string tag = argv[5];
    const int count = std::atoi(argv[6]);
    for (int i = 0; i < count; ++i) {
      const std::string name = tag + "_" + std::to_string(i);
      const std::string hit = "&tid=G-R8KQ2W7NXD&ep.qd_category=Kill&ep.qd_action=" + name +
                              "&ep.qd_label=trial&en=" + name;
      const std::string doc =
          "{\"actions\":{\"event_category\":\"Kill\",\"event_action\":\"" + name + "\"}}";
      if (context->PostGA4(hit.c_str(), false) != 0 || context->PostEvent(doc.c_str(), false) != 0) {
        std::printf("refused %s\n", name.c_str());
        std::fflush(stdout);
        continue;
      }
      std::printf("queued %s\n", name.c_str());
      std::fflush(stdout);
    }
    std::printf("posted\n");
    std::fflush(stdout);
    std::this_thread::sleep_for(std::chrono::seconds(120));
    return 3;
  }
  if (mode == "drain") {
    for (int i = 0; i < 600 && !context->network().Idle(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const bool idle = context->network().Idle();
    std::printf(idle ? "drained\n" : "not idle\n");
    std::fflush(stdout);
    std::_Exit(idle ? 0 : 4);
  }
  return 2;
}
