#include "system/launch.h"

#include <easylogging++.h>

#include <cstdio>

#include "platform/files.h"
#include "platform/launch.h"

namespace FuntionImpl {
namespace {

void Record(const LaunchEventSink& events, uint32_t error) {
  if (events) events("Other", "StartWindowError", std::to_string(error));
}

}  // namespace

std::wstring LaunchWorkingFolder(const std::wstring& quotedPath) {
  const size_t slash = quotedPath.rfind(L'\\');
  if (slash == std::wstring::npos || slash < 1) return std::wstring();
  return quotedPath.substr(1, slash);
}

int StartTargetMainExe(const std::wstring& quotedPath, int adminFlag,
                       const LaunchEventSink& events) {
  if (adminFlag != 0) {
    const uint32_t error = platform::StartProcess(quotedPath, LaunchWorkingFolder(quotedPath));
    if (error == 0) return 0;
    char line[64];
    std::snprintf(line, sizeof(line), "CreateProcess failed3 (%d)", static_cast<int>(error));
    LOG(INFO) << line;
    Record(events, error);
    return -1;
  }
  const std::wstring path =
      quotedPath.size() >= 2 ? quotedPath.substr(1, quotedPath.size() - 2) : std::wstring();
  if (path.empty() || platform::FileSize(path) < 0) {
    LOG(INFO) << " CreateProcess failed1 (" << 2 << ")";
    Record(events, 2);
    return -1;
  }
  const uint32_t error = platform::StartThroughShell(quotedPath);
  if (error != 0) {
    LOG(INFO) << " CreateProcess failed2 (" << error << ")";
    Record(events, error);
    return -1;
  }
  return 0;
}

}  // namespace FuntionImpl
