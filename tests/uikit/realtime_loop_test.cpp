// The headless backend on the wall clock: what an unattended run of the real windows relies
// on (timers in real time, loops that wait for workers until the window closes).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "tests/uikit/ui_fixture.h"

namespace {

const char kBox[] = R"(<Window size="300,150">
  <VerticalLayout name="root"><Button name="closebtn" height="30"/></VerticalLayout></Window>)";

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class Handler : public uikit::IMessageHandler {
 public:
  intptr_t HandleCustomMessage(uint32_t msg, uintptr_t wParam, intptr_t, bool& handled) override {
    handled = msg >= uikit::kMsgUser;
    if (handled) {
      messages.push_back(msg);
      if (onMessage) onMessage(msg, wParam);
    }
    return 0;
  }
  void OnTimer(uint32_t id) override {
    timers.push_back(id);
    if (onTimer) onTimer(id);
  }
  bool OnClose() override { return true; }
  std::vector<uint32_t> messages;
  std::vector<uint32_t> timers;
  std::function<void(uint32_t, uintptr_t)> onMessage;
  std::function<void(uint32_t)> onTimer;
};

class RealTimeLoopTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    Skin({{"box.xml", kBox}});
    backend().SetRealTime(true);
    w_ = Open(L"box.xml");
    ASSERT_NE(nullptr, w_);
    w_->SetMessageHandler(&handler_);
  }
  uikit::Window* w_ = nullptr;
  Handler handler_;
};

TEST_F(RealTimeLoopTest, TheLoopWaitsForAWorkersMessageAndEndsAtQuit) {
  handler_.onMessage = [](uint32_t, uintptr_t wParam) {
    uikit::Toolkit::Global().Quit(static_cast<int>(wParam));
  };
  const auto start = Clock::now();
  std::thread worker([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    w_->PostMessage(uikit::kMsgUser + 5, 3, 0);
  });
  // Idle at first: a virtual-clock loop would return -1 here at once.
  const int code = uikit::Toolkit::Global().RunMessageLoop();
  worker.join();
  EXPECT_EQ(3, code);
  EXPECT_GE(MsSince(start), 290);
  EXPECT_EQ((std::vector<uint32_t>{uikit::kMsgUser + 5}), handler_.messages);
  EXPECT_FALSE(backend().QuitRequested());  // consumed by the loop that returned
}

TEST_F(RealTimeLoopTest, OneShotTimersFallDueOnTheWallClockAndClosingEndsTheLoop) {
  const uint64_t ticksBefore = backend().TickCount();
  EXPECT_GE(ticksBefore, 1000u);  // continues from the virtual clock, never backwards
  // The unattended pattern: an install click after a while, a start click after that, and
  // the window closing at the end.
  handler_.onTimer = [this](uint32_t id) {
    w_->KillTimer(id);
    if (id == 666) w_->SetTimer(888, 100);
    if (id == 888) w_->PostMessage(uikit::kMsgClose);
  };
  const auto start = Clock::now();
  w_->SetTimer(666, 200);
  EXPECT_EQ(-1, uikit::Toolkit::Global().RunMessageLoop());
  EXPECT_GE(MsSince(start), 290);
  EXPECT_LT(MsSince(start), 5000);
  EXPECT_EQ((std::vector<uint32_t>{666, 888}), handler_.timers);
  EXPECT_FALSE(w_->IsCreated());
  EXPECT_TRUE(Logged("message loop ended, no window left"));
  EXPECT_GE(backend().TickCount(), ticksBefore + 290);
}

TEST_F(RealTimeLoopTest, APeriodicTimerBehindAStalledHandlerDoesNotFireInABurst) {
  std::vector<long long> fires;
  const auto start = Clock::now();
  handler_.onTimer = [&](uint32_t) {
    fires.push_back(MsSince(start));
    if (fires.size() == 1) std::this_thread::sleep_for(std::chrono::milliseconds(200));
    if (MsSince(start) > 300) uikit::Toolkit::Global().Quit(0);
  };
  w_->SetTimer(7, 10);
  EXPECT_EQ(0, uikit::Toolkit::Global().RunMessageLoop());
  ASSERT_GE(fires.size(), 2u);
  // The 200 ms stall owes about twenty periods; catching up on them all at once is what a
  // window system does not do.
  int soonAfterStall = 0;
  for (size_t i = 1; i < fires.size(); ++i) {
    if (fires[i] < fires[1] + 30) ++soonAfterStall;
  }
  EXPECT_LE(soonAfterStall, 5);
}

TEST_F(RealTimeLoopTest, AModalLoopEndsByItsOwnTimerOrByQuit) {
  // A splash that closes itself after a while, as the launch splash does.
  uikit::Window box;
  ASSERT_TRUE(box.Create(uikit::WindowSpec{L"Splash", L"", 0, 0, w_, {}, false}, L"box.xml"));
  Handler boxHandler;
  boxHandler.onTimer = [&box](uint32_t) { box.Close(4); };
  box.SetMessageHandler(&boxHandler);
  box.SetTimer(1, 150);
  const auto start = Clock::now();
  EXPECT_EQ(4, box.ShowModal());
  EXPECT_GE(MsSince(start), 140);
  EXPECT_TRUE(backend().Find(*w_)->IsEnabled());

  // A box nobody answers still gives way when the process is asked to quit, and the quit
  // reaches the outer loop too.
  uikit::Window stuck;
  ASSERT_TRUE(stuck.Create(uikit::WindowSpec{L"Box", L"", 0, 0, w_, {}, false}, L"box.xml"));
  std::thread worker([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    w_->PostTask([] { uikit::Toolkit::Global().Quit(9); });
  });
  EXPECT_EQ(-1, stuck.ShowModal());
  worker.join();
  EXPECT_EQ(9, uikit::Toolkit::Global().RunMessageLoop());
}

TEST_F(RealTimeLoopTest, BackOnTheVirtualClockTimeStandsStillAgain) {
  backend().SetRealTime(false);
  const uint64_t t = backend().TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(t, backend().TickCount());
  w_->SetTimer(1, 1000);
  EXPECT_EQ(-1, uikit::Toolkit::Global().RunMessageLoop());  // idle: returns, fires nothing
  EXPECT_TRUE(handler_.timers.empty());
  driver().AdvanceTime(1000);
  EXPECT_EQ((std::vector<uint32_t>{1}), handler_.timers);
}

}  // namespace
