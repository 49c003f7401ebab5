// An event log environment for tests: the given fake report interface, no AutoRun suppression
// and fixed machine facts, so the events a test provokes are recorded and comparable.
#pragma once

#include <string>

#include "analytics/fake_report.h"
#include "analytics/single_user_log.h"

namespace testsupport {

inline analytics::CSingleUserLog::Environment TestLogEnvironment(FakeReport* report) {
  analytics::CSingleUserLog::Environment env;
  env.report = report;
  env.isAutoRunMode = [] { return false; };  // the log itself never suppresses here
  env.modulePath = L"C:\\Users\\x\\Downloads\\BrindlecotKerfo_ppc_setup.exe";
  env.toolsVersion = "1.0.0.1";
  env.osLabel = "Windows 10 64bit";
  env.localeName = "English_United States";
  env.now = [] { return platform::LocalTime{}; };
  env.languageName = [](uint32_t id) { return "lang" + std::to_string(id); };
  return env;
}

}  // namespace testsupport
