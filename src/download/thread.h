// The worker pool of a download: CTask is one unit of work, CThread a thread that sleeps until
// it is handed one task, runs it and goes idle again, CThreadManager the pool with its free and
// busy lists.
//
// Threading: one driver thread calls every CThreadManager operation and CThread::doTask; the
// free and busy lists are touched only by it. Each CThread runs its own loop; the thread state
// is the only field both sides write, as an atomic. Task status and id are atomics because the
// driver reads them while a worker writes them.
// Ownership: the manager owns its CThread objects and their threads; tasks belong to the task
// plan and are only borrowed by a thread while it runs them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace download {

class CTask {
 public:
  enum : int32_t { kNew = 0, kDone = 1, kFailed = 2, kHandedOut = 3 };
  CTask() = default;
  virtual ~CTask() = default;
  CTask(const CTask&) = delete;
  CTask& operator=(const CTask&) = delete;

  std::atomic<int32_t> status{kNew};
  std::atomic<int32_t> id{0};  // 1-based
  int32_t logFlag = 0;         // non-zero: per-task log lines
};

class CThread {
 public:
  enum : int32_t { kExit = 0, kPending = 1, kIdle = 2 };

  explicit CThread(std::mutex* sharedMutex);
  virtual ~CThread();
  CThread(const CThread&) = delete;
  CThread& operator=(const CThread&) = delete;

  // Starts the thread. 1 started, 0 failed (logged).
  int init();
  // Hands the task over and wakes the thread. 1.
  int doTask(CTask* task);
  // The work of one task; the base does nothing.
  virtual void taskBusiness() {}

  int32_t state() const { return state_.load(); }
  // Asks the thread to end and wakes it.
  void requestExit();
  // Waits up to timeoutMs for the thread to end; true when it has (it is then joined).
  bool waitExit(uint32_t timeoutMs);
  // Waits for the thread to end, without limit. A derived worker must be joined before its own
  // members go away.
  void join();
  bool started() const { return thread_.joinable() || exited_; }
  // True once the thread's loop has returned (or it never started).
  bool hasEnded();

 protected:
  CTask* currentTask() const { return task_; }
  std::mutex* sharedMutex() const { return sharedMutex_; }

 private:
  int ThreadFunc();
  void signal();

  std::thread thread_;
  std::atomic<int32_t> state_{kIdle};
  CTask* task_ = nullptr;
  std::mutex* sharedMutex_;
  // The wake event: auto-reset, not signalled at start.
  std::mutex eventLock_;
  std::condition_variable eventCv_;
  bool signalled_ = false;
  // Tells waitExit that the loop has returned.
  std::mutex exitLock_;
  std::condition_variable exitCv_;
  bool exited_ = false;
};

class CThreadManager {
 public:
  CThreadManager();
  virtual ~CThreadManager();
  CThreadManager(const CThreadManager&) = delete;
  CThreadManager& operator=(const CThreadManager&) = delete;

  // Creates and starts count threads; returns how many started.
  virtual int createThreads(int count);

  CThread* getOneFreeThreads();
  int giveTaskToAThreadTodo(CTask* task);
  int recycleIdleThreads();
  // Ends every thread and waits for each up to 30000 ms.
  int stopThreads();
  // Stops the threads if needed, joins and deletes them and empties every list.
  void releaseThreads();
  // True when no thread of the pool runs any more.
  bool allThreadsEnded();

  size_t freeCount() const { return free_.size(); }
  size_t busyCount() const { return busy_.size(); }
  size_t handleCount() const { return handles_.size(); }
  const std::vector<CThread*>& freeList() const { return free_; }
  const std::vector<CThread*>& busyList() const { return busy_; }
  std::mutex* sharedMutex() { return &sharedMutex_; }

 protected:
  // Files a started thread (free list and handles); takes ownership.
  void adoptThread(std::unique_ptr<CThread> thread);

 private:
  std::vector<CThread*> free_;
  std::vector<CThread*> busy_;
  std::vector<std::unique_ptr<CThread>> handles_;
  // Serialises every write into the shared download file ("mutex_for_downloadthread").
  std::mutex sharedMutex_;
};

}  // namespace download
