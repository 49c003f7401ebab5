// CSdkLog: the report SDK's own daily text log ("<SDK folder>\logs\yyyymmdd.log"), appended in
// UTF-8, one flushed line per message in the form of SdkLogLine.
// Threading: Open, Close and Write are safe from any thread; one lock keeps lines whole.
// Ownership: owns the open file and closes it on Close or destruction.
#pragma once

#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/clock.h"

namespace reportsdk {

class CSdkLog {
 public:
  explicit CSdkLog(std::function<platform::LocalTime()> now);
  ~CSdkLog();

  // Closes any open log and opens path for appending. False when it cannot be opened (logging
  // is then silent).
  bool Open(const std::wstring& path);
  void Close();
  bool IsOpen() const;
  void Write(const std::string& message);

 private:
  std::function<platform::LocalTime()> now_;
  mutable std::mutex mutex_;
  std::unique_ptr<std::ofstream> file_;
};

}  // namespace reportsdk
