// The named manual-reset events: state shared between holders by name, a fresh start once every
// holder has closed, and the two events the user event log holds for its lifetime.
#include "platform/named_event.h"

#include <gtest/gtest.h>

#include <string>

#include "analytics/single_user_log.h"
#include "platform/paths.h"
#include "platform/process.h"
#include "platform/text.h"
#include "support/temp_dir.h"

namespace {

using platform::CreateNamedEvent;
using platform::NamedEvent;

// Keeps the POSIX event files of a test in its own folder, away from a real run's.
class NamedEventTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = platform::GetEnvVar(L"XDG_RUNTIME_DIR");
    platform::SetEnvVar(L"XDG_RUNTIME_DIR", dir_.path().substr(0, dir_.path().size() - 1));
  }
  void TearDown() override { platform::SetEnvVar(L"XDG_RUNTIME_DIR", saved_); }
  static std::wstring Name(const wchar_t* base) {
    return std::wstring(base) + std::to_wstring(platform::CurrentProcessId());
  }

  testsupport::TempDir dir_;
  std::wstring saved_;
};

TEST_F(NamedEventTest, SecondHolderSharesStateAndIgnoresItsInitialState) {
  struct Case {
    bool initial;
    bool secondInitial;
  };
  const Case cases[] = {{true, false}, {false, true}, {true, true}, {false, false}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n);
    const std::wstring name = Name(L"KerfoTestEvent") + L"_" + std::to_wstring(n++);
    bool existed = true;
    std::unique_ptr<NamedEvent> first = CreateNamedEvent(name, c.initial, &existed);
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(existed);
    EXPECT_EQ(first->IsSignalled(), c.initial);

    std::unique_ptr<NamedEvent> second = CreateNamedEvent(name, c.secondInitial, &existed);
    ASSERT_NE(second, nullptr);
    EXPECT_TRUE(existed);
    EXPECT_EQ(second->IsSignalled(), c.initial);

    // Manual reset: reading the state never clears it, and changes show through both handles.
    EXPECT_TRUE(second->Set());
    EXPECT_TRUE(first->IsSignalled());
    EXPECT_TRUE(first->IsSignalled());
    EXPECT_TRUE(first->Reset());
    EXPECT_FALSE(second->IsSignalled());
  }
}

TEST_F(NamedEventTest, StartsAfreshOnceEveryHolderClosed) {
  const std::wstring name = Name(L"KerfoTestFresh");
  bool existed = true;
  {
    auto first = CreateNamedEvent(name, true, &existed);
    auto second = CreateNamedEvent(name, true, &existed);
    ASSERT_NE(second, nullptr);
    second->Reset();
    first.reset();
    // One holder left: the event and its state live on.
    auto third = CreateNamedEvent(name, true, &existed);
    ASSERT_NE(third, nullptr);
    EXPECT_TRUE(existed);
    EXPECT_FALSE(third->IsSignalled());
  }
  auto again = CreateNamedEvent(name, true, &existed);
  ASSERT_NE(again, nullptr);
  EXPECT_FALSE(existed);
  EXPECT_TRUE(again->IsSignalled());
}

TEST_F(NamedEventTest, UserLogHoldsBothEventsSignalledUntilExit) {
  // The process-wide log of this test binary may hold them already; let it go first.
  analytics::CSingleUserLog::GetInstance().WaitThreadForExit();
  analytics::CSingleUserLog::Environment env;
  env.isAutoRunMode = [] { return false; };
  analytics::CSingleUserLog log(env);
  for (const wchar_t* name : {L"UserLogGA4Mutex", L"UserLogFunnelMutex"}) {
    bool existed = false;
    auto probe = CreateNamedEvent(name, false, &existed);
    ASSERT_NE(probe, nullptr);
    EXPECT_TRUE(existed) << platform::WideToUtf8(name);
    EXPECT_TRUE(probe->IsSignalled());
  }
  EXPECT_TRUE(log.WaitThreadForExit());
  for (const wchar_t* name : {L"UserLogGA4Mutex", L"UserLogFunnelMutex"}) {
    bool existed = true;
    auto probe = CreateNamedEvent(name, false, &existed);
    ASSERT_NE(probe, nullptr);
    EXPECT_FALSE(existed) << platform::WideToUtf8(name);
  }
}

}  // namespace
