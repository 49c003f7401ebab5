#include "download/thread.h"

#include <easylogging++.h>

#include <chrono>
#include <sstream>
#include <string>
#include <system_error>

#include "download/engine_env.h"

namespace download {
namespace {

std::string ThreadIdText() {
  std::ostringstream out;
  out << std::this_thread::get_id();
  return out.str();
}

}  // namespace

CThread::CThread(std::mutex* sharedMutex) : sharedMutex_(sharedMutex) {}

CThread::~CThread() {
  if (thread_.joinable()) {
    requestExit();
    thread_.join();
  }
}

int CThread::init() {
  if (EngineThreadStartFails()) {
    LOG(INFO) << "  creat thread error code =  " << 8;  // ERROR_NOT_ENOUGH_MEMORY
    return 0;
  }
  try {
    thread_ = std::thread([this] { ThreadFunc(); });
  } catch (const std::system_error& e) {
    LOG(INFO) << "  creat thread error code =  " << e.code().value();
    return 0;
  }
  return 1;
}

int CThread::doTask(CTask* task) {
  task_ = task;
  if (task != nullptr && task->logFlag != 0) {
    LOG(INFO) << " Tasks info, download begin, id = " << task->id.load()
              << ", task status = " << task->status.load()
              << ", thread status = " << state_.load();
  }
  state_.store(kPending);
  signal();
  return 1;
}

void CThread::signal() {
  {
    std::lock_guard<std::mutex> guard(eventLock_);
    signalled_ = true;
  }
  eventCv_.notify_one();
}

void CThread::requestExit() {
  state_.store(kExit);
  signal();
}

bool CThread::waitExit(uint32_t timeoutMs) {
  if (!thread_.joinable()) return true;
  {
    std::unique_lock<std::mutex> lock(exitLock_);
    if (!exitCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return exited_; })) {
      return false;
    }
  }
  thread_.join();
  return true;
}

bool CThread::hasEnded() {
  if (!thread_.joinable()) return true;
  std::lock_guard<std::mutex> guard(exitLock_);
  return exited_;
}

void CThread::join() {
  if (thread_.joinable()) thread_.join();
}

int CThread::ThreadFunc() {
  for (;;) {
    const int32_t s = state_.load();
    if (s == kIdle) {
      LOG(INFO) << " wait before thread " << ThreadIdText();
      {
        std::unique_lock<std::mutex> lock(eventLock_);
        eventCv_.wait(lock, [this] { return signalled_; });
        signalled_ = false;
      }
      LOG(INFO) << " wait after thread " << ThreadIdText();
    } else if (s == kExit) {
      break;
    } else if (s == kPending) {
      taskBusiness();
      // Only a pending thread goes idle: an exit request that came during the task stands.
      int32_t expected = kPending;
      state_.compare_exchange_strong(expected, kIdle);
      continue;
    }
  }
  {
    std::lock_guard<std::mutex> guard(exitLock_);
    exited_ = true;
  }
  exitCv_.notify_all();
  return 1;
}

CThreadManager::CThreadManager() = default;

CThreadManager::~CThreadManager() { releaseThreads(); }

int CThreadManager::createThreads(int count) {
  for (int i = 0; i < count; ++i) {
    auto thread = std::make_unique<CThread>(&sharedMutex_);
    if (thread->init() == 1) adoptThread(std::move(thread));
  }
  return static_cast<int>(handles_.size());
}

void CThreadManager::adoptThread(std::unique_ptr<CThread> thread) {
  free_.push_back(thread.get());
  handles_.push_back(std::move(thread));
}

CThread* CThreadManager::getOneFreeThreads() {
  if (free_.empty()) {
    LOG(INFO) << "is no free threads";
    return nullptr;
  }
  CThread* thread = free_.back();
  free_.pop_back();
  return thread;
}

int CThreadManager::giveTaskToAThreadTodo(CTask* task) {
  CThread* thread = getOneFreeThreads();
  if (thread == nullptr) {
    LOG(INFO) << "get free thread is null" << (task ? task->id.load() : 0);
    return 0;
  }
  thread->doTask(task);
  busy_.push_back(thread);
  return 1;
}

int CThreadManager::recycleIdleThreads() {
  std::vector<CThread*> stillBusy;
  stillBusy.reserve(busy_.size());
  for (CThread* thread : busy_) {
    if (thread->state() == CThread::kIdle) {
      free_.push_back(thread);
    } else {
      stillBusy.push_back(thread);
    }
  }
  busy_.swap(stillBusy);
  return 1;
}

int CThreadManager::stopThreads() {
  // Busy threads are asked too: they finish the request they are in and then end, instead of
  // going idle and holding the stop up for the whole wait.
  for (CThread* thread : free_) thread->requestExit();
  for (CThread* thread : busy_) thread->requestExit();
  LOG(INFO) << " start wait threads exit";
  const uint32_t waitMs = EngineThreadWaitMs();
  for (auto& thread : handles_) {
    if (!thread->waitExit(waitMs)) LOG(INFO) << " thread did not end within " << waitMs << " ms";
  }
  LOG(INFO) << " end wait threads exit";
  return 1;
}

bool CThreadManager::allThreadsEnded() {
  for (auto& thread : handles_) {
    if (!thread->hasEnded()) return false;
  }
  return true;
}

void CThreadManager::releaseThreads() {
  for (auto& thread : handles_) thread->requestExit();
  for (auto& thread : handles_) thread->join();
  // Joining (not detaching) keeps a late thread from touching a freed task; every request a
  // worker makes is bounded by its transfer time-out.
  handles_.clear();
  free_.clear();
  busy_.clear();
}

}  // namespace download
