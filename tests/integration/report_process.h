// What the report-side helper processes of the integration suites share (the analytics
// driver and the kill-trial writer): the real report SDK pointed at the simulator, posts of one
// GA4 hit and one document per named event, and the wait for the sender to go idle.
// Threading: the process's main thread only. The context is never destroyed: a kill or _Exit
// ends these processes, as it ends the installer.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "platform/text.h"
#include "report_sdk/management.h"

namespace reporttest {

// argv[1] APPDATA, argv[2] the collector base, argv[3] the GA4 base. `now`, when given,
// replaces the SDK's clock.
inline reportsdk::CManagement* StartReportContext(
    char** argv, std::function<platform::LocalTime()> now = nullptr) {
  reportsdk::ManagementEnv env = reportsdk::ManagementEnv::Live();
  env.appDataDir = platform::Utf8ToWide(argv[1]);
  env.collectorBase = argv[2];
  env.collectorTestBase = argv[2];
  env.ga4Base = argv[3];
  env.retryPauseMs = 100;
  env.commandLine = [] { return std::wstring(); };
  if (now) env.now = std::move(now);
  auto* context = new reportsdk::CManagement(env);
  context->Init(2, 8841, 8841, "", "", "Brindlecot Kerfo", "1.0.0.0", "");
  context->SetClientInfo(673, 0, "en", "1.0.0.1");
  return context;
}

// Queues a GA4 hit and then a document for one event; true when the SDK accepted both (the
// document is not offered when the hit was refused).
inline bool PostHitAndDocument(reportsdk::CManagement& context, const std::string& category,
                               const std::string& action, const std::string& label) {
  const std::string hit = "&tid=G-R8KQ2W7NXD&ep.qd_category=" + category +
                          "&ep.qd_action=" + action + "&ep.qd_label=" + label + "&en=" + action;
  const std::string doc = "{\"actions\":{\"event_category\":\"" + category +
                          "\",\"event_action\":\"" + action + "\"}}";
  return context.PostGA4(hit.c_str(), false) == 0 && context.PostEvent(doc.c_str(), false) == 0;
}

// Waits up to tenths x 100 ms for the sender to have nothing left; true when it is idle.
inline bool WaitIdle(reportsdk::CManagement& context, int tenths) {
  for (int i = 0; i < tenths && !context.network().Idle(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return context.network().Idle();
}

// Says "posted" and idles while the sender works, until the trial kills the process.
inline int IdleAfterPosting() {
  std::printf("posted\n");
  std::fflush(stdout);
  std::this_thread::sleep_for(std::chrono::seconds(120));
  return 3;
}

}  // namespace reporttest
