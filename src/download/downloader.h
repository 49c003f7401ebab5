// CDownloader runs one download of one URL into one local file: it loads or makes the task plan,
// starts the worker pool, and its driver thread hands slices to free workers, keeps a progress
// snapshot, saves the task file as progress grows and stops the pool when every slice is done or
// its owner asks it to stop. Also the byte-count texts of the snapshot.
//
// Threading: the owner's thread constructs the object, calls downloadInit, writes the state
// (1 run, 0 stop), reads the snapshot and waits for the driver thread. The driver thread does
// every pool and plan operation after the start. The state is an atomic; the snapshot is copied
// under a small lock so the owner never reads a half-written one.
// Ownership: the downloader owns its plan, its pool and its driver thread; destroying it stops
// and joins them.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "download/download_thread.h"
#include "download/error_code.h"
#include "download/task_manager.h"

namespace download {

struct DownloadInfo {
  uint32_t tick = 0;                  // engine tick of the last update
  int64_t downloaded = 0;             // bytes of the file on disk
  std::string speedText = "0.0B/S";
  double percent = 0.0;               // two decimals
  int64_t elapsed = 0;                // the plan's accumulated download time, ms
  std::string averageText = "0.0B/S";
  int32_t requestCount = 0;           // failed requests of all slices
  int64_t averageSpeed = 0;           // bytes per second behind averageText
  int64_t contradictedSize = -1;      // a remote size a reply named against the plan, or -1
};

// "1G512M" style text of a byte count: each unit used only when the amount is strictly
// greater than it (1024 gives "1024B", 1048576 gives "1024K").
std::string formatByteSize(int64_t n);
// "1.5M", "1.5K", "500B", "0.00B": the largest unit with two decimals of the next one.
std::string formatSpeedText(int64_t n);

class CDownloader {
 public:
  enum : int32_t { kStop = 0, kRun = 1, kIdle = 2 };

  CDownloader(const std::string& url, const std::string& localPath,
              const std::string& taskFilePath, int threadCount);
  ~CDownloader();
  CDownloader(const CDownloader&) = delete;
  CDownloader& operator=(const CDownloader&) = delete;

  // Loads or makes the plan and starts the pool: 1, 6, 7, 8 or 13.
  EnumErrorCode downloadInit(const std::string& label, int logFlag);

  int32_t state() const { return state_.load(); }
  void setState(int32_t state) { state_.store(state); }
  // State 0 and the requests in flight end at their next callback.
  void stop();
  // Waits up to timeoutMs for the driver thread to end; true when it has.
  bool waitDriver(uint32_t timeoutMs);

  int updateDownloadInfo();
  DownloadInfo downloadInfo() const;
  std::string getCdnInfo() const;
  int resetDownloader();

  bool workStarted() const { return workStarted_.load(); }
  // The round gave up waiting for this downloader's threads: from now on it writes no task file
  // (a later round owns it), and it is freed only after its threads end.
  void abandon() { abandoned_.store(true); }
  // True when the driver thread and every worker have ended.
  bool threadsEnded();
  int64_t contentLength() const { return plan_.contentLength(); }
  size_t taskCount() const { return plan_.allTasks().size(); }
  CDownloadTaskManager& plan() { return plan_; }
  CDownloadThreadManager& pool() { return pool_; }

 private:
  void downloaderThread();
  void startDriver();
  void save();
  // Behind a server that ignores Range: once no worker runs, hands the first slice that lacks
  // bytes to one worker, whose request streams the rest of the file, as long as the stream
  // before it brought new bytes.
  void dispatchStream();

  std::string url_;
  std::string localPath_;
  std::string taskFilePath_;
  int threadCount_;
  std::atomic<int32_t> state_{kIdle};
  std::thread driver_;
  std::mutex driverLock_;
  std::condition_variable driverCv_;
  bool driverEnded_ = false;
  std::atomic<bool> workStarted_{false};
  std::atomic<bool> abandoned_{false};
  int64_t streamMark_ = -1;  // driver only: bytes on disk when the last stream was handed out
  mutable std::mutex infoLock_;
  DownloadInfo info_;
  int64_t lastDownloaded_ = 0;  // driver only
  CDownloadTaskManager plan_;
  CDownloadThreadManager pool_;
};

}  // namespace download
