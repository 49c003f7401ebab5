// Test helpers of the download engine tests: scoped download settings and engine overrides,
// task file fixtures, file reading. Single-threaded use from one test at a time.
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "analytics/single_user_log.h"
#include "download/engine_env.h"
#include "platform/text.h"

namespace enginetest {

// Publishes download settings for the life of the object, then restores the previous ones.
class ScopedSettings {
 public:
  explicit ScopedSettings(int32_t sliceNum, int32_t sliceSize = 0, int32_t connectTimeout = 3,
                          int32_t transferTimeout = 20)
      : saved_(analytics::CSingleUserLog::GetInstance().GetDownloadSettings()) {
    auto s = saved_;
    s.sliceNum = sliceNum;
    s.sliceSize = sliceSize;
    s.connectTimeout = connectTimeout;
    s.transferTimeout = transferTimeout;
    analytics::CSingleUserLog::GetInstance().SetDownloadSettings(s);
  }
  ~ScopedSettings() { analytics::CSingleUserLog::GetInstance().SetDownloadSettings(saved_); }

 private:
  analytics::CSingleUserLog::DownloadSettings saved_;
};

class ScopedEngineEnv {
 public:
  explicit ScopedEngineEnv(const download::EngineEnv& env) { download::SetEngineEnv(env); }
  ~ScopedEngineEnv() { download::ResetEngineEnv(); }
};

// A URL no other test uses, so the process-wide content-length memo never answers for another
// test's file.
inline std::string UniqueUrl(const std::string& base = "http://127.0.0.1:1/file") {
  static int counter = 0;
  return base + std::to_string(++counter) + ".bin";
}

inline std::string Narrow(const std::wstring& path) { return platform::WideToAnsi(path); }

inline std::string ReadFile(const std::wstring& path) {
  std::ifstream in(platform::WideToAnsi(path), std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

struct TaskRow {
  int64_t start, end, downloaded;
  int status, id;
};

// A task file in the layout the installer has always written.
inline std::string TaskFileText(int count, int64_t length, const std::string& url,
                                const std::string& local, const std::vector<TaskRow>& rows) {
  std::string text = "<TaskInfo>\n    <TasksCount>" + std::to_string(count) +
                     "</TasksCount>\n    <ContentLength>" + std::to_string(length) +
                     "</ContentLength>\n    <DownloadTime>1234</DownloadTime>\n";
  for (const auto& r : rows) {
    text += "    <Task>\n        <StartPos>" + std::to_string(r.start) + "</StartPos>\n" +
            "        <EndPos>" + std::to_string(r.end) + "</EndPos>\n" +
            "        <DownloadedPos>" + std::to_string(r.downloaded) + "</DownloadedPos>\n" +
            "        <RemotePath>" + url + "</RemotePath>\n" + "        <LocalPath>" + local +
            "</LocalPath>\n" + "        <TaskStatus>" + std::to_string(r.status) +
            "</TaskStatus>\n" + "        <TaskId>" + std::to_string(r.id) + "</TaskId>\n" +
            "        <RequestTimes>7</RequestTimes>\n    </Task>\n";
  }
  return text + "</TaskInfo>\n";
}

inline bool HasEvent(const std::string& category, const std::string& action,
                     const std::string& label) {
  for (const auto& e : analytics::CSingleUserLog::GetInstance().RecordedEvents()) {
    if (e.category == category && e.action == action && e.label == label) return true;
  }
  return false;
}

}  // namespace enginetest
