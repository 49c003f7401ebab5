// The worker pool: dispatch, recycling in order, stopping, and the shared file of a download.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "analytics/single_user_log.h"
#include "config/log_capture.h"
#include "download/download_thread.h"
#include "download/thread.h"
#include "platform/files.h"
#include "support/temp_dir.h"
#include "tests/download/engine_test_support.h"

namespace download {
namespace {

// A thread whose task blocks until the test releases it.
class GateThread : public CThread {
 public:
  GateThread(std::mutex* m, std::atomic<int>* gate) : CThread(m), gate_(gate) {}
  void taskBusiness() override {
    running.store(true);
    const int id = currentTask()->id.load();
    while (gate_->load() < id) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    currentTask()->status.store(CTask::kDone);
  }

  std::atomic<bool> running{false};

 private:
  std::atomic<int>* gate_;
};

class GatePool : public CThreadManager {
 public:
  explicit GatePool(std::atomic<int>* gate) : gate_(gate) {}
  int createThreads(int count) override {
    for (int i = 0; i < count; ++i) {
      auto t = std::make_unique<GateThread>(sharedMutex(), gate_);
      if (t->init() == 1) adoptThread(std::move(t));
    }
    return static_cast<int>(handleCount());
  }

 private:
  std::atomic<int>* gate_;
};

bool WaitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 5000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return false;
}

TEST(ThreadPoolTest, NoFreeThreadLeavesEverythingAsItWas) {
  testsupport::TempDir dir;
  testsupport::LogCapture log(dir.File(L"log.txt"));
  CThreadManager pool;
  CTask task;
  task.id.store(42);
  EXPECT_EQ(pool.giveTaskToAThreadTodo(&task), 0);
  EXPECT_EQ(pool.busyCount(), 0u);
  EXPECT_EQ(task.status.load(), CTask::kNew);
  EXPECT_TRUE(log.Contains("get free thread is null42"));
  EXPECT_TRUE(log.Contains("is no free threads"));
}

TEST(ThreadPoolTest, RecycleMovesIdleThreadsAndKeepsTheBusyOnesInOrder) {
  std::atomic<int> gate{0};
  GatePool pool(&gate);
  ASSERT_EQ(pool.createThreads(4), 4);
  CTask tasks[4];
  for (int i = 0; i < 4; ++i) {
    tasks[i].id.store(i + 1);
    ASSERT_EQ(pool.giveTaskToAThreadTodo(&tasks[i]), 1);
  }
  EXPECT_EQ(pool.freeCount(), 0u);
  const std::vector<CThread*> busy = pool.busyList();
  // The gate opens in id order: first only task 1 may finish.
  gate.store(1);
  ASSERT_TRUE(WaitFor([&] { return tasks[0].status.load() == CTask::kDone; }));
  ASSERT_TRUE(WaitFor([&] { return busy[0]->state() == CThread::kIdle; }));
  pool.recycleIdleThreads();
  ASSERT_EQ(pool.busyCount(), 3u);
  EXPECT_EQ(pool.busyList()[0], busy[1]);
  EXPECT_EQ(pool.busyList()[1], busy[2]);
  EXPECT_EQ(pool.busyList()[2], busy[3]);
  EXPECT_EQ(pool.freeCount(), 1u);
  gate.store(3);
  ASSERT_TRUE(WaitFor([&] { return busy[2]->state() == CThread::kIdle; }));
  ASSERT_TRUE(WaitFor([&] { return busy[1]->state() == CThread::kIdle; }));
  pool.recycleIdleThreads();
  ASSERT_EQ(pool.busyCount(), 1u);
  EXPECT_EQ(pool.busyList()[0], busy[3]);
  gate.store(4);
  ASSERT_TRUE(WaitFor([&] { return busy[3]->state() == CThread::kIdle; }));
  pool.recycleIdleThreads();
  EXPECT_EQ(pool.freeCount(), 4u);
  EXPECT_EQ(pool.stopThreads(), 1);
  for (CThread* t : busy) EXPECT_EQ(t->state(), CThread::kExit);
}

TEST(ThreadPoolTest, StopEndsThreadsThatAreStillBusy) {
  std::atomic<int> gate{0};
  GatePool pool(&gate);
  ASSERT_EQ(pool.createThreads(2), 2);
  CTask task;
  task.id.store(1);
  pool.giveTaskToAThreadTodo(&task);
  auto* worker = static_cast<GateThread*>(pool.busyList()[0]);
  ASSERT_TRUE(WaitFor([&] { return worker->running.load(); }));
  std::thread opener([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    gate.store(1);
  });
  const auto start = std::chrono::steady_clock::now();
  pool.stopThreads();
  opener.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(task.status.load(), CTask::kDone);
}

TEST(ThreadPoolTest, DownloadPoolOfNoThreadsStillCreatesTheFile) {
  testsupport::TempDir dir;
  CDownloadThreadManager pool(enginetest::Narrow(dir.File(L"new.bin")));
  EXPECT_EQ(pool.createThreads(0), 0);
  EXPECT_TRUE(pool.fileOpen());
  EXPECT_TRUE(platform::PathExists(dir.File(L"new.bin")));
}

TEST(ThreadPoolTest, ExistingFileKeepsItsBytes) {
  testsupport::TempDir dir;
  dir.Write(L"old.bin", "partial download");
  {
    CDownloadThreadManager pool(enginetest::Narrow(dir.File(L"old.bin")));
    EXPECT_EQ(pool.createThreads(2), 2);
    pool.stopThreads();
  }
  EXPECT_EQ(enginetest::ReadFile(dir.File(L"old.bin")), "partial download");
}

TEST(ThreadPoolTest, UnopenableFileGivesMinusOneAndAnEvent) {
  testsupport::TempDir dir;
  testsupport::LogCapture log(dir.File(L"log.txt"));
  analytics::CSingleUserLog::GetInstance().ClearRecordedEvents();
  CDownloadThreadManager pool(enginetest::Narrow(dir.File(L"missing-folder/x.bin")));
  EXPECT_EQ(pool.createThreads(4), -1);
  EXPECT_EQ(pool.handleCount(), 0u);
  EXPECT_TRUE(log.Contains("after kill local file is NULL error code = 3"));
  EXPECT_TRUE(enginetest::HasEvent("Other", "OpenFileErrCode", "3"));
}

TEST(ThreadPoolTest, ThreadsThatFailToStartAreNotCounted) {
  testsupport::TempDir dir;
  testsupport::LogCapture log(dir.File(L"log.txt"));
  std::atomic<int> starts{0};
  EngineEnv env;
  env.threadStartFails = [&] { return starts.fetch_add(1) % 2 == 1; };  // every second one
  enginetest::ScopedEngineEnv scoped(env);
  CDownloadThreadManager pool(enginetest::Narrow(dir.File(L"t.bin")));
  EXPECT_EQ(pool.createThreads(4), 2);
  EXPECT_EQ(pool.freeCount(), 2u);
  EXPECT_TRUE(log.Contains("  creat thread error code =  "));
}

}  // namespace
}  // namespace download
