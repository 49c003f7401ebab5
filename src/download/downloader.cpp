#include "download/downloader.h"

#include <easylogging++.h>

#include <chrono>
#include <cmath>
#include <sstream>

#include "download/engine_env.h"
#include "platform/clock.h"

namespace download {
namespace {

CDownloadTask* AsDownload(CTask* task) { return static_cast<CDownloadTask*>(task); }

constexpr int64_t kG = 1073741824;
constexpr int64_t kM = 1048576;
constexpr int64_t kK = 1024;

struct ByteParts {
  int64_t g = 0, m = 0, k = 0, b = 0;
};

ByteParts SplitBytes(int64_t n) {
  ByteParts parts;
  if (n < 0) return parts;
  if (n > kG) {
    parts.g = n / kG;
    n %= kG;
  }
  if (n > kM) {
    parts.m = n / kM;
    n %= kM;
  }
  if (n > kK) {
    parts.k = n / kK;
    n %= kK;
  }
  parts.b = n;
  return parts;
}

std::string DoubleText(double value) {
  std::ostringstream out;
  out << value;  // default formatting: six significant digits
  return out.str();
}

}  // namespace

std::string formatByteSize(int64_t n) {
  const ByteParts p = SplitBytes(n);
  std::string text;
  if (p.g > 0) text += std::to_string(p.g) + "G";
  if (p.m > 0) text += std::to_string(p.m) + "M";
  if (p.k > 0) text += std::to_string(p.k) + "K";
  if (p.b > 0) text += std::to_string(p.b) + "B";
  return text;
}

std::string formatSpeedText(int64_t n) {
  if (n <= 0) return "0.00B";
  const ByteParts p = SplitBytes(n);
  auto value = [](int64_t whole, int64_t next) {
    return static_cast<double>(whole) + std::trunc(static_cast<double>(next) / 1024.0 * 100.0) / 100.0;
  };
  if (p.g > 0) return DoubleText(value(p.g, p.m)) + "G";
  if (p.m > 0) return DoubleText(value(p.m, p.k)) + "M";
  if (p.k > 0) return DoubleText(value(p.k, p.b)) + "K";
  return std::to_string(p.b) + "B";
}

CDownloader::CDownloader(const std::string& url, const std::string& localPath,
                         const std::string& taskFilePath, int threadCount)
    : url_(url),
      localPath_(localPath),
      taskFilePath_(taskFilePath),
      threadCount_(threadCount),
      plan_(url, localPath, taskFilePath),
      pool_(localPath) {
  info_.tick = EngineTick();
  startDriver();
}

CDownloader::~CDownloader() {
  stop();
  if (driver_.joinable()) driver_.join();
  pool_.releaseThreads();
}

void CDownloader::startDriver() {
  driverEnded_ = false;
  driver_ = std::thread([this] {
    downloaderThread();
    {
      std::lock_guard<std::mutex> guard(driverLock_);
      driverEnded_ = true;
    }
    driverCv_.notify_all();
  });
}

EnumErrorCode CDownloader::downloadInit(const std::string& label, int logFlag) {
  const EnumErrorCode loaded = plan_.loadDownloadTask(label, logFlag);
  if (loaded != ErrSuccess) {
    LOG(INFO) << " [Error]: " << "error to loadDownloadTask";
    return loaded;
  }
  pool_.setFreshFile(!plan_.resumed());
  pool_.setSlices(&plan_.allTasks());
  streamMark_ = -1;
  const int started = pool_.createThreads(threadCount_);
  if (started == -1) return ErrOpenLocalFile;
  // Bytes past the plan's end are no part of this download (an older, longer file, or the rest
  // of another one): they would only make the finished file longer than the remote one.
  pool_.cutFileTo(plan_.contentLength());
  if (started == 0) {
    LOG(INFO) << " [Error]: " << " createThreads is empty";
    return ErrNoWorkerThreads;
  }
  workStarted_.store(false);
  return ErrSuccess;
}

void CDownloader::stop() {
  state_.store(kStop);
  pool_.requestStop();
}

bool CDownloader::threadsEnded() {
  {
    std::lock_guard<std::mutex> lock(driverLock_);
    if (driver_.joinable() && !driverEnded_) return false;
  }
  return pool_.allThreadsEnded();
}

void CDownloader::save() {
  if (!abandoned_.load()) plan_.saveTaskToFile();
}

void CDownloader::dispatchStream() {
  CDownloadTask* first = plan_.firstIncompleteTask();
  if (first == nullptr || pool_.freeCount() == 0) return;
  int64_t have = 0;
  for (CTask* t : plan_.allTasks()) have += AsDownload(t)->receivedBytes();
  if (have <= streamMark_) return;  // the last stream brought nothing: the watchdog ends the round
  streamMark_ = have;
  plan_.takeTask(first);
  pool_.giveTaskToAThreadTodo(first);
}

bool CDownloader::waitDriver(uint32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(driverLock_);
  if (!driver_.joinable()) return true;
  return driverCv_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [this] { return driverEnded_; });
}

int CDownloader::updateDownloadInfo() {
  const uint32_t now = EngineTick();
  int64_t downloaded = 0;
  int32_t requests = 0;
  for (CTask* t : plan_.allTasks()) {
    CDownloadTask* task = AsDownload(t);
    downloaded += task->receivedBytes();
    requests += task->RequestTimes.load();
  }
  std::lock_guard<std::mutex> guard(infoLock_);
  const uint32_t dt = now - info_.tick;  // wraps like the tick itself
  if (dt == 0) return 1;
  plan_.addDownloadTime(dt);
  DownloadInfo next = info_;
  next.tick = now;
  next.elapsed = plan_.downloadTime();
  const int64_t speed = (downloaded - lastDownloaded_) * 1000 / static_cast<int64_t>(dt);
  next.speedText = formatSpeedText(speed) + "/S";
  const int64_t length = plan_.contentLength();
  next.percent = length > 0 ? std::trunc(static_cast<double>(downloaded) /
                                         static_cast<double>(length) * 10000.0) / 100.0
                            : 0.0;
  next.averageSpeed = next.elapsed == 0 ? 0 : (downloaded / next.elapsed) * 1000;
  next.averageText = formatSpeedText(next.averageSpeed) + "/S";
  next.downloaded = downloaded;
  next.requestCount = requests;
  next.contradictedSize = pool_.shared().contradictedSize.load();
  info_ = next;
  lastDownloaded_ = downloaded;
  return 1;
}

DownloadInfo CDownloader::downloadInfo() const {
  std::lock_guard<std::mutex> guard(infoLock_);
  return info_;
}

std::string CDownloader::getCdnInfo() const {
  std::string reference;
  std::string result;
  for (CTask* t : plan_.handedOutTasks()) {
    const CDownloadTask* task = AsDownload(t);
    reference = task->cdnReference;
    if (!task->cdnHeader.empty()) result += task->cdnHeader + ";";
  }
  if (result.empty()) return std::string();
  return "T(" + reference + ");C(" + result + ")";
}

int CDownloader::resetDownloader() {
  // The driver goes first: it is the only other user of the pool and the plan.
  if (driver_.joinable()) driver_.join();
  pool_.releaseThreads();
  plan_.clearTasks();
  pool_.closeFile();
  state_.store(kIdle);
  {
    std::lock_guard<std::mutex> guard(infoLock_);
    info_.tick = EngineTick();
  }
  return 1;
}

void CDownloader::downloaderThread() {
  int saveMark = 0;
  for (;;) {
    const int32_t state = state_.load();
    if (state == kStop) {
      if (pool_.busyCount() == 0) break;
      pool_.recycleIdleThreads();
      updateDownloadInfo();
      // The workers were told to stop; their requests end within a callback or two.
      platform::SleepMs(1);
      continue;
    }
    if (state == kIdle) {
      platform::SleepMs(1);
      continue;
    }
    if (state != kRun) continue;

    if (downloadInfo().percent / 10 > saveMark) {
      ++saveMark;
      save();
    }
    const bool stream = pool_.shared().wholeStream.load();
    if (stream) {
      pool_.recycleIdleThreads();
      if (pool_.busyCount() == 0) plan_.settleCompleteTasks();
    }
    if (plan_.todoCount() == 0) {
      bool allDone = true;
      for (CTask* task : plan_.handedOutTasks()) {
        if (task->status.load() != CTask::kDone) {
          allDone = false;
          break;
        }
      }
      if (allDone) {
        pool_.recycleIdleThreads();
        if (pool_.busyCount() == 0) {
          state_.store(kStop);
          platform::SleepMs(100);
          LOG(INFO) << " Download will stop";
          continue;
        }
      }
    }
    workStarted_.store(true);
    pool_.recycleIdleThreads();
    updateDownloadInfo();
    if (stream) {
      if (pool_.busyCount() == 0) dispatchStream();
    } else {
      while (plan_.todoCount() > 0 && pool_.freeCount() > 0) {
        pool_.giveTaskToAThreadTodo(plan_.getTask());
      }
    }
    platform::SleepMs(1);
  }

  bool failed = false;
  for (CTask* task : plan_.allTasks()) {
    if (task->status.load() != CTask::kDone) failed = true;
  }
  if (failed) {
    LOG(INFO) << " Stopping Download," << "Mission Failed";
    save();
  }
  pool_.stopThreads();
  updateDownloadInfo();
  LOG(INFO) << " Stopping Download," << "Update DownloadInfo";
  save();
  LOG(INFO) << " Download Stopped\xa3\xa1";
}

}  // namespace download
