// Configures the process-wide "default" logger for a run: Info level, the run's line format,
// to standard output and to the run's log file. Called once by start-up on the main thread
// before any other thread exists; every thread logs through the logger afterwards.
#pragma once

#include <string>

namespace app {

constexpr const char* kLogFormat = "%datetime--[Thread](%thread) %msg";

void ConfigureRunLogger(const std::wstring& logFilePath);

}  // namespace app
