// Test helper: routes the "default" logger to a file (message text only) for the life of the
// object, then back to the quiet set-up of the test main. Single-threaded use in one test.
#pragma once

#include <easylogging++.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/text.h"

namespace testsupport {

class LogCapture {
 public:
  explicit LogCapture(const std::wstring& file) : file_(file) {
    el::Configurations conf;
    conf.setToDefault();
    conf.set(el::Level::Global, el::ConfigurationType::Format, "%msg");
    conf.set(el::Level::Global, el::ConfigurationType::ToStandardOutput, "false");
    conf.set(el::Level::Global, el::ConfigurationType::ToFile, "true");
    conf.set(el::Level::Global, el::ConfigurationType::Filename, platform::WideToAnsi(file));
    el::Loggers::reconfigureLogger("default", conf);
  }
  ~LogCapture() {
    el::Configurations conf;
    conf.setToDefault();
    conf.set(el::Level::Global, el::ConfigurationType::ToStandardOutput, "false");
    conf.set(el::Level::Global, el::ConfigurationType::ToFile, "false");
    el::Loggers::reconfigureLogger("default", conf);
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> Lines() const {
    el::Loggers::getLogger("default")->flush();
    std::ifstream in(std::filesystem::path(file_), std::ios::binary);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }
  bool Contains(const std::string& fragment) const {
    for (const auto& line : Lines()) {
      if (line.find(fragment) != std::string::npos) return true;
    }
    return false;
  }

 private:
  std::wstring file_;
};

}  // namespace testsupport
