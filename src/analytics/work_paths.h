// The working paths of one run: run timestamp, log folder, log file and download (work) folder.
// Pure formatting, so the forms can be checked without touching the machine.
#pragma once

#include <functional>
#include <string>

#include "platform/clock.h"

namespace analytics {

struct WorkPaths {
  std::wstring runTimestamp;  // yyyyMMddHHmmssfff, 17 digits
  std::wstring logFolder;     // <APPDATA>\RORezivuduza\logs\<name>
  std::wstring logFile;       // <log folder>\<name>_<timestamp>.log
  std::wstring workFolder;    // <best drive root>RORezivuduza\<name>
};

// "%.4d%.2d%.2d%.2d%.2d%.2d%.3d"
std::wstring FormatRunTimestamp(const platform::LocalTime& t);

// driveRootOf gives the drive root of the log folder ("C:\" on Windows); relocate replaces that
// root with the best drive's root.
WorkPaths ComputeWorkPaths(const std::wstring& name, const std::wstring& appDataDir,
                           const platform::LocalTime& now,
                           const std::function<std::wstring(const std::wstring&)>& driveRootOf,
                           const std::function<std::wstring(const std::wstring&)>& relocate);

}  // namespace analytics
