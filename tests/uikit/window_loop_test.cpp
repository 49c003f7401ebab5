#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/uikit/ui_fixture.h"

namespace {

const char kBox[] = R"(<Window size="300,150">
  <VerticalLayout name="root">
    <Button name="closebtn" height="30"/><Button name="btn_yes" height="30"/>
    <Button name="btn_no" height="30"/><Progress name="progress" height="20" max="100"/>
  </VerticalLayout></Window>)";

class Handler : public uikit::IMessageHandler {
 public:
  intptr_t HandleCustomMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam,
                               bool& handled) override {
    if (msg < uikit::kMsgUser) {
      handled = false;
      return 0;
    }
    messages.emplace_back(msg, wParam);
    (void)lParam;
    handled = true;
    return 77;
  }
  void OnTimer(uint32_t id) override {
    timers.push_back(id);
    if (onTimer) onTimer(id);
  }
  bool OnClose() override {
    ++closes;
    return allowClose;
  }
  std::vector<std::pair<uint32_t, uintptr_t>> messages;
  std::vector<uint32_t> timers;
  std::function<void(uint32_t)> onTimer;
  int closes = 0;
  bool allowClose = true;
};

class WindowLoopTest : public uitest::UiTest {
 protected:
  void SetUp() override {
    Skin({{"box.xml", kBox}});
    w_ = Open(L"box.xml");
    ASSERT_NE(nullptr, w_);
    w_->SetMessageHandler(&handler_);
  }
  uikit::Window* w_ = nullptr;
  Handler handler_;
};

TEST_F(WindowLoopTest, TimersFireInVirtualTimeInOrder) {
  w_->SetTimer(1920, 2000);
  w_->SetTimer(1922, 1000);
  w_->SetTimer(2000, 7000);
  driver().AdvanceTime(999);
  EXPECT_TRUE(handler_.timers.empty());
  driver().AdvanceTime(1);
  EXPECT_EQ((std::vector<uint32_t>{1922}), handler_.timers);
  handler_.onTimer = [this](uint32_t id) {
    if (id == 1922) w_->KillTimer(1922);  // a one-shot timer stops itself
  };
  driver().AdvanceTime(6000);
  // t=2000: both due, 1920 was set first; 1922 then stops itself; 4000 and 6000: 1920;
  // 7000: 2000.
  EXPECT_EQ((std::vector<uint32_t>{1922, 1920, 1922, 1920, 1920, 2000}), handler_.timers);
  EXPECT_FALSE(backend().Find(*w_)->HasTimer(1922));
  // Setting a timer again replaces it: the period restarts.
  handler_.timers.clear();
  w_->SetTimer(1920, 500);
  EXPECT_EQ(500u, backend().Find(*w_)->TimerElapse(1920));
  driver().AdvanceTime(500);
  EXPECT_EQ((std::vector<uint32_t>{1920}), handler_.timers);
  w_->KillTimer(1920);
  w_->KillTimer(2000);
  driver().AdvanceTime(100000);
  EXPECT_EQ(1u, handler_.timers.size());
  EXPECT_EQ(1000u + 7000u + 500u + 100000u, backend().TickCount());
}

TEST_F(WindowLoopTest, TheClockStandsAtEachTimersDueTime) {
  std::vector<uint64_t> ticks;
  handler_.onTimer = [&](uint32_t) { ticks.push_back(backend().TickCount()); };
  const uint64_t start = backend().TickCount();
  w_->SetTimer(1, 300);
  driver().AdvanceTime(1000);
  EXPECT_EQ((std::vector<uint64_t>{start + 300, start + 600, start + 900}), ticks);
}

TEST_F(WindowLoopTest, PostedMessagesWaitForThePump) {
  EXPECT_TRUE(w_->PostMessage(2944, 9, 0));
  EXPECT_TRUE(w_->PostMessage(2945, 0, 0));
  EXPECT_TRUE(handler_.messages.empty());
  EXPECT_EQ(2u, backend().PumpMessages());
  ASSERT_EQ(2u, handler_.messages.size());
  EXPECT_EQ(2944u, handler_.messages[0].first);
  EXPECT_EQ(9u, handler_.messages[0].second);
  EXPECT_EQ(77, w_->SendMessage(2950, 1, 0));
  EXPECT_EQ(3u, handler_.messages.size());
}

TEST_F(WindowLoopTest, MessagesAndTasksFromOtherThreads) {
  std::atomic<int> ran{0};
  auto* progress = w_->Find<uikit::Progress>(L"progress");
  ASSERT_NE(nullptr, progress);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([this, &ran, progress, t] {
      for (int i = 0; i < 50; ++i) {
        EXPECT_TRUE(w_->PostMessage(uikit::kMsgUser + 1, static_cast<uintptr_t>(t), i));
        EXPECT_TRUE(w_->PostTask([&ran] { ran.fetch_add(1); }));
        progress->SetValue(t * 25 + i / 2);
      }
    });
  }
  // The window thread keeps pumping while the workers post.
  while (ran.load() < 200) {
    backend().PumpMessages();
    std::this_thread::yield();
  }
  for (auto& th : threads) th.join();
  backend().PumpMessages();
  EXPECT_EQ(200, ran.load());
  EXPECT_EQ(200u, handler_.messages.size());
  // Per thread, the order of its messages is kept.
  std::vector<intptr_t> last(4, -1);
  for (const auto& m : handler_.messages) EXPECT_LT(last[m.second]++, 100);
  EXPECT_GE(progress->GetValue(), 0);
  EXPECT_LE(progress->GetValue(), 100);
}

TEST_F(WindowLoopTest, ProgressFromAWorkerRepaintsOnTheWindowThread) {
  auto* progress = w_->Find<uikit::Progress>(L"progress");
  const int before = backend().Find(*w_)->InvalidateCount();
  std::thread worker([progress] {
    for (int v = 1; v <= 85; ++v) progress->SetValue(v);
  });
  worker.join();
  EXPECT_EQ(85, progress->GetValue());
  EXPECT_EQ(before, backend().Find(*w_)->InvalidateCount());  // nothing touched the window yet
  EXPECT_LE(backend().PendingMessages(), 1u);                  // one repaint in flight at most
  backend().PumpMessages();
  EXPECT_GT(backend().Find(*w_)->InvalidateCount(), before);
  progress->SetValue(500);
  EXPECT_EQ(100, progress->GetValue());
  progress->SetValue(-3);
  EXPECT_EQ(0, progress->GetValue());
}

TEST_F(WindowLoopTest, TasksPostedToAClosedWindowAreRefusedAndNeverRun) {
  bool ran = false;
  EXPECT_TRUE(w_->PostTask([&ran] { ran = true; }));
  w_->Close(0);
  backend().PumpMessages();  // the close comes after the task: the task ran first
  EXPECT_TRUE(ran);
  EXPECT_FALSE(w_->IsCreated());
  EXPECT_FALSE(w_->PostMessage(uikit::kMsgUser));
  EXPECT_FALSE(w_->PostTask([] { ADD_FAILURE() << "ran on a closed window"; }));
  EXPECT_FALSE(w_->SetTimer(1, 10));
  backend().PumpMessages();
}

TEST_F(WindowLoopTest, CloseAsksTheHandlerFirst) {
  handler_.allowClose = false;
  w_->Close(2);
  backend().PumpMessages();
  EXPECT_EQ(1, handler_.closes);
  EXPECT_TRUE(w_->IsCreated());
  handler_.allowClose = true;
  w_->SendMessage(uikit::kMsgSysCommand, uikit::kScClose, 0);
  EXPECT_EQ(2, handler_.closes);
  EXPECT_FALSE(w_->IsCreated());
}

TEST_F(WindowLoopTest, MinimizeRestoreShowAndCentre) {
  backend().SetWorkArea(uikit::Rect{0, 0, 1000, 800});
  w_->CenterWindow();
  EXPECT_EQ((uikit::Rect{350, 325, 650, 475}), w_->GetRect());
  w_->ShowWindow(true, true);
  EXPECT_TRUE(w_->IsVisible());
  EXPECT_TRUE(backend().Find(*w_)->HasFocus());
  w_->Minimize();
  EXPECT_TRUE(w_->IsMinimized());
  w_->SendMessage(uikit::kMsgSysCommand, uikit::kScRestore, 0);
  EXPECT_FALSE(w_->IsMinimized());
  w_->ShowWindow(false);
  EXPECT_FALSE(w_->IsVisible());
  w_->Move(10, 20);
  EXPECT_EQ((uikit::Rect{10, 20, 310, 170}), w_->GetRect());
  w_->SetCaption(L"Brindlecot Kerfo");
  EXPECT_EQ(L"Brindlecot Kerfo", backend().Find(*w_)->Caption());
  w_->SetTaskbarProgress(uikit::TaskbarState::kNormal, 42, 100);
  EXPECT_EQ(uikit::TaskbarState::kNormal, backend().Find(*w_)->GetTaskbarState());
  EXPECT_EQ(42, backend().Find(*w_)->TaskbarValue());
}

TEST_F(WindowLoopTest, ModalLoopReturnsTheCloseResult) {
  struct BoxHandler : uikit::INotifyHandler {
    uikit::Window* box = nullptr;
    void Notify(const uikit::Notification& n) override {
      if (n.type != L"click") return;
      if (n.sender->Name() == L"btn_yes") box->Close(1);
      if (n.sender->Name() == L"btn_no") box->Close(2);
    }
  };
  backend().SetModalScript([this](uikit::Window& box) {
    EXPECT_FALSE(backend().Find(*w_)->IsEnabled());  // the owner is disabled meanwhile
    driver().Click(box, L"btn_no");
  });
  for (int round = 0; round < 2; ++round) {
    uikit::Window box;
    BoxHandler handler;
    handler.box = &box;
    uikit::WindowSpec spec;
    spec.className = L"MESSAGEBOX_UI_Frame";
    spec.owner = w_;
    ASSERT_TRUE(box.Create(spec, L"box.xml"));
    EXPECT_EQ(w_->NativeHandle(), backend().Find(box)->Params().owner);
    box.SetNotifyHandler(&handler);
    box.SendMessage(uikit::kMsgSysCommand, uikit::kScRestore, 0);
    box.CenterWindow();
    box.ShowWindow(true, true);
    EXPECT_EQ(2, box.ShowModal());
    EXPECT_FALSE(box.IsCreated());  // destroyed on return
    EXPECT_TRUE(backend().Find(*w_)->IsEnabled());
  }
  // Esc on a box: its close button.
  backend().SetModalScript([this](uikit::Window& box) { driver().KeyPress(box, uikit::kKeyEscape); });
  uikit::Window box;
  struct CloseOnClose : uikit::INotifyHandler {
    uikit::Window* box;
    void Notify(const uikit::Notification& n) override {
      if (n.type == L"click" && n.sender->Name() == L"closebtn") box->Close(2);
    }
  } closer;
  closer.box = &box;
  ASSERT_TRUE(box.Create(uikit::WindowSpec{L"MESSAGEBOX_UI_Frame", L"", 0, 0, w_, {}, false}, L"box.xml"));
  box.SetNotifyHandler(&closer);
  EXPECT_EQ(2, box.ShowModal());
}

TEST_F(WindowLoopTest, AModalLoopWithNothingToDoReturnsInsteadOfHanging) {
  backend().SetModalScript([](uikit::Window&) {});
  uikit::Window box;
  ASSERT_TRUE(box.Create(uikit::WindowSpec{L"Box", L"", 0, 0, w_, {}, false}, L"box.xml"));
  EXPECT_EQ(-1, box.ShowModal());
  EXPECT_TRUE(Logged("modal loop of Box ran idle"));
}

TEST_F(WindowLoopTest, MessageLoopRunsUntilQuitOrIdle) {
  w_->PostTask([] { uikit::Toolkit::Global().Quit(5); });
  w_->PostMessage(uikit::kMsgUser + 9);
  EXPECT_EQ(5, uikit::Toolkit::Global().RunMessageLoop());
  EXPECT_EQ(1u, backend().PendingMessages());  // the loop stopped at the quit
  EXPECT_EQ(-1, uikit::Toolkit::Global().RunMessageLoop());  // ran idle
  EXPECT_EQ(0u, backend().PendingMessages());
  // A message that posts itself again cannot hang the loop.
  struct Echo : uikit::IMessageHandler {
    uikit::Window* w;
    int seen = 0;
    intptr_t HandleCustomMessage(uint32_t msg, uintptr_t, intptr_t, bool& handled) override {
      handled = msg == uikit::kMsgUser;
      if (handled) {
        ++seen;
        w->PostMessage(uikit::kMsgUser);
      }
      return 0;
    }
  } echo;
  echo.w = w_;
  w_->SetMessageHandler(&echo);
  w_->PostMessage(uikit::kMsgUser);
  EXPECT_EQ(-1, uikit::Toolkit::Global().RunMessageLoop());
  EXPECT_GT(echo.seen, 100);
  w_->SetMessageHandler(nullptr);
}

}  // namespace
