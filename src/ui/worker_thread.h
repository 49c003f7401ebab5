// A worker thread of the installer window whose end can be waited for with a limit, so the
// exit sequence never hangs on a thread that is stuck in a network call. A thread still
// running when the wait gives up is left to end with the process (it holds only its own
// references; see the callers).
// Threading: Start, WaitFor and the destructor on the owning (window) thread; the body on
// its own thread.
#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace ui {

class WorkerThread {
 public:
  WorkerThread() = default;
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  // Starts body on a new thread. False when one is still set (it must be waited for first)
  // or the thread could not be created.
  bool Start(std::function<void()> body);
  bool IsSet() const { return thread_.joinable(); }
  bool IsRunning() const;
  // Waits at most ms for the body to end. True when it ended (the thread is joined and the
  // slot is free again); false when it is still running (the slot stays set).
  bool WaitFor(unsigned ms);

 private:
  struct State {
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
  };
  std::shared_ptr<State> state_;
  std::thread thread_;
};

}  // namespace ui
