#include "ui/worker_thread.h"

#include <easylogging++.h>

#include <chrono>
#include <exception>

namespace ui {

WorkerThread::~WorkerThread() {
  // A body that did not end within the exit wait keeps running detached; its state block is
  // shared, so its last write is safe.
  if (thread_.joinable()) {
    if (IsRunning()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }
}

bool WorkerThread::Start(std::function<void()> body) {
  if (thread_.joinable()) {
    if (IsRunning()) return false;
    thread_.join();
  }
  auto state = std::make_shared<State>();
  try {
    thread_ = std::thread([state, body = std::move(body)]() {
      // An exception must not take the whole program down with one of its threads.
      try {
        body();
      } catch (const std::exception& e) {
        LOG(INFO) << " Worker thread ended by an exception: " << e.what();
      } catch (...) {
        LOG(INFO) << " Worker thread ended by an exception";
      }
      std::lock_guard<std::mutex> hold(state->lock);
      state->done = true;
      state->ended.notify_all();
    });
  } catch (const std::system_error&) {
    return false;
  }
  state_ = std::move(state);
  return true;
}

bool WorkerThread::IsRunning() const {
  if (!thread_.joinable() || !state_) return false;
  std::lock_guard<std::mutex> hold(state_->lock);
  return !state_->done;
}

bool WorkerThread::WaitFor(unsigned ms) {
  if (!thread_.joinable()) return true;
  {
    std::unique_lock<std::mutex> hold(state_->lock);
    if (!state_->ended.wait_for(hold, std::chrono::milliseconds(ms),
                                [this] { return state_->done; }))
      return false;
  }
  thread_.join();
  return true;
}

}  // namespace ui
