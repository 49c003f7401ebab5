// CDownloadThread, the worker of a download: for the slice it is handed it performs one ranged
// GET into the shared local file and marks the slice done or failed. CDownloadThreadManager is
// the pool of one download: it opens the shared file all its workers write into.
//
// Threading: the driver thread calls every manager operation; each worker runs its own loop and
// touches only its current slice and its own response state. Writes into the shared file are
// serialised by the manager's mutex ("mutex_for_downloadthread"). requestStop may be called from
// any thread; workers see it at their next callback and end the request in flight.
// Ownership: the manager owns the shared file and its workers; each worker owns its HTTP tool.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "download/download_task.h"
#include "download/libcurl_tool.h"
#include "download/thread.h"
#include "platform/shared_file.h"

namespace download {

class CDownloadThread : public CThread {
 public:
  CDownloadThread(std::mutex* sharedMutex, platform::SharedFile* file,
                  const std::atomic<bool>* stopFlag);

  void taskBusiness() override;

  // What the callbacks of the request in flight know about its response.
  struct Response {
    int status = 0;          // HTTP status of the latest status line, 0 before one arrived
    int64_t bodyOffset = -1; // file offset of the next body byte; -1 until known
    bool surplusCut = false; // the server sent more than the slice holds and we cut it off
    bool rejected = false;   // the callbacks refused the response (logged)
  };

  CDownloadTask* task() const { return static_cast<CDownloadTask*>(currentTask()); }
  platform::SharedFile* file() const { return file_; }
  std::mutex* fileMutex() const { return sharedMutex(); }
  Response& response() { return response_; }
  bool stopRequested() const { return stopFlag_ != nullptr && stopFlag_->load(); }
  CLibcurlTool& tool() { return tool_; }

 private:
  platform::SharedFile* file_;
  const std::atomic<bool>* stopFlag_;
  CLibcurlTool tool_;
  Response response_;
};

class CDownloadThreadManager : public CThreadManager {
 public:
  explicit CDownloadThreadManager(const std::string& localPath);
  ~CDownloadThreadManager() override;

  // Opens the shared file, then starts count workers. Number started, -1 when the file cannot
  // be opened.
  int createThreads(int count) override;
  // A new plan owns none of the bytes already in the file: the next createThreads then empties
  // it ("wb+") even when it can be read, so an old longer file leaves no tail behind.
  void setFreshFile(bool fresh) { freshFile_ = fresh; }
  // Ends the requests in flight as soon as their callbacks run.
  void requestStop() { stop_.store(true); }
  void closeFile() { file_.Close(); }
  bool fileOpen() const { return file_.IsOpen(); }

 private:
  platform::SharedFile file_;
  std::string localPath_;
  std::atomic<bool> stop_{false};
  bool freshFile_ = false;
};

}  // namespace download
