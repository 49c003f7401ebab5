// One vendor simulator per test suite: started before the suite's first test over a scratch
// state folder and a folder of served files, stopped after its last test. A suite derives as
// `class MySuite : public SimSuite<MySuite>` and may declare
//   static void WriteServedFiles();           files to serve from the start (into files_)
//   static constexpr int kSimLifetimeSeconds;  how long the child may live at most
// Every test then starts with the simulator's rules and request log cleared, or is skipped
// (with the reason) when the simulator did not start.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"
#include "sim_client.h"
#include "support/temp_dir.h"

namespace testsupport {

template <class Suite>
class SimSuite : public testing::Test {
 public:
  static void SetUpTestSuite() {
    files_ = new TempDir();
    state_ = new TempDir();
    Suite::WriteServedFiles();
    sim_ = new vendorsim::SimProcess();
    vendorsim::SimProcess::Options options;
    options.stateDir = platform::WideToUtf8(state_->path());
    options.filesDir = platform::WideToUtf8(files_->path());
    options.lifetimeSeconds = Suite::kSimLifetimeSeconds;
    std::string error;
    if (!sim_->Start(options, &error)) startError_ = new std::string(error);
  }
  static void TearDownTestSuite() {
    delete sim_;  // stops the child
    delete state_;
    delete files_;
    delete startError_;
    sim_ = nullptr;
    state_ = files_ = nullptr;
    startError_ = nullptr;
  }

  static void WriteServedFiles() {}
  static constexpr int kSimLifetimeSeconds = 900;

  static TempDir* files_;
  static TempDir* state_;
  static vendorsim::SimProcess* sim_;
  static std::string* startError_;

 protected:
  // A derived SetUp calls this first and returns when IsSkipped().
  void SetUp() override {
    if (startError_ != nullptr) GTEST_SKIP() << "simulator did not start: " << *startError_;
    sim_->ClearRules();
    sim_->ClearRequests();
  }
};

template <class Suite>
TempDir* SimSuite<Suite>::files_ = nullptr;
template <class Suite>
TempDir* SimSuite<Suite>::state_ = nullptr;
template <class Suite>
vendorsim::SimProcess* SimSuite<Suite>::sim_ = nullptr;
template <class Suite>
std::string* SimSuite<Suite>::startError_ = nullptr;

}  // namespace testsupport
