#include "analytics/work_paths.h"

#include <cwchar>

namespace analytics {

std::wstring FormatRunTimestamp(const platform::LocalTime& t) {
  wchar_t buf[64] = {0};
  std::swprintf(buf, 64, L"%.4d%.2d%.2d%.2d%.2d%.2d%.3d", t.year, t.month, t.day, t.hour,
                t.minute, t.second, t.millisecond);
  return buf;
}

WorkPaths ComputeWorkPaths(const std::wstring& name, const std::wstring& appDataDir,
                           const platform::LocalTime& now,
                           const std::function<std::wstring(const std::wstring&)>& driveRootOf,
                           const std::function<std::wstring(const std::wstring&)>& relocate) {
  WorkPaths paths;
  paths.runTimestamp = FormatRunTimestamp(now);
  paths.logFolder = appDataDir + L"\\RORezivuduza\\logs\\" + name;
  paths.logFile = paths.logFolder + L"\\" + name + L"_" + paths.runTimestamp + L".log";
  paths.workFolder = relocate(driveRootOf(paths.logFolder) + L"RORezivuduza\\" + name);
  return paths;
}

}  // namespace analytics
