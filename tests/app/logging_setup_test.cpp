#include "app/logging_setup.h"

#include <easylogging++.h>
#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "support/temp_dir.h"

namespace app {
namespace {

class RunLogger : public testing::Test {
 protected:
  void TearDown() override {
    el::Configurations quiet;
    quiet.setToDefault();
    quiet.set(el::Level::Global, el::ConfigurationType::ToStandardOutput, "false");
    quiet.set(el::Level::Global, el::ConfigurationType::ToFile, "false");
    el::Loggers::reconfigureLogger("default", quiet);
  }
  testsupport::TempDir dir_;
};

// Every thread of the installer logs through the one logger: lines from many threads must each
// arrive whole, in the run's format, none lost.
TEST_F(RunLogger, ManyThreadsWriteWholeLinesInTheRunFormat) {
  const std::wstring file = dir_.File(L"run.log");
  ConfigureRunLogger(file);
  el::Loggers::getLogger("default")->configurations()->set(
      el::Level::Info, el::ConfigurationType::ToStandardOutput, "false");
  el::Loggers::getLogger("default")->reconfigure();

  constexpr int kThreads = 4, kLines = 250;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLines; ++i) LOG(INFO) << " worker " << t << " line " << i << " end";
    });
  }
  for (auto& th : threads) th.join();
  el::Loggers::flushAll();

  std::string text;
  ASSERT_TRUE(platform::ReadWholeFile(file, &text));
  const std::regex line(
      R"(\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2},\d{3}--\[Thread\]\(\d+\)  worker \d line \d+ end)");
  std::istringstream in(text);
  std::string l;
  int count = 0;
  while (std::getline(in, l)) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    EXPECT_TRUE(std::regex_match(l, line)) << l;
    ++count;
  }
  EXPECT_EQ(count, kThreads * kLines);
}

}  // namespace
}  // namespace app
