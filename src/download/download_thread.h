// CDownloadThread, the worker of a download: for the slice it is handed it performs one ranged
// GET into the shared local file and marks the slice done or failed. CDownloadThreadManager is
// the pool of one download: it opens the shared file all its workers write into.
//
// Threading: the driver thread calls every manager operation; each worker runs its own loop and
// touches its current slice and its own response state, and, while it streams a server that
// ignores ranges, the positions of the slices its stream passes. Writes into the shared file and
// the position updates that go with them are serialised by the manager's mutex
// ("mutex_for_downloadthread"). requestStop may be called from any thread; workers see it at
// their next callback and end the request in flight.
// Ownership: the manager owns the shared file, the shared state and its workers; each worker owns
// its HTTP tool. The slices belong to the plan, which outlives the workers.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "download/download_task.h"
#include "download/libcurl_tool.h"
#include "download/thread.h"
#include "platform/shared_file.h"

namespace download {

// What the workers of one download share besides the file.
struct SharedDownloadState {
  std::atomic<bool> stop{false};
  // Set by the first worker whose ranged request was answered with the whole file (a server
  // that ignores Range): from then on one request at a time streams the file and fills every
  // slice it passes, instead of every slice reading the file from its first byte.
  std::atomic<bool> wholeStream{false};
  // A size of the remote file that a reply named and the plan does not have; -1 while none did.
  std::atomic<int64_t> contradictedSize{-1};
  // The plan's slices in plan order; set before the workers start, not changed while they run.
  const std::vector<CTask*>* slices = nullptr;
};

class CDownloadThread : public CThread {
 public:
  CDownloadThread(std::mutex* sharedMutex, platform::SharedFile* file,
                  SharedDownloadState* shared);

  void taskBusiness() override;

  // What the callbacks of the request in flight know about its response.
  struct Response {
    int status = 0;          // HTTP status of the latest status line, 0 before one arrived
    int64_t bodyOffset = -1; // file offset of the next body byte; -1 until known
    int64_t length = -1;     // Content-Length of the latest response, -1 when absent
    int64_t bodyBytes = 0;   // body bytes of the latest response received so far
    int64_t wrote = 0;       // bytes this request put into the file
    bool surplusCut = false; // the server sent more than the slice holds and we cut it off
    bool rejected = false;   // the callbacks refused the response (logged)
    bool stream = false;     // this request streams the rest of the file across slices
    bool yielded = false;    // ended because another worker streams the whole file
    bool timedOut = false;   // ended by the transfer time-out
    // An ".exe" answered 200: accepted only once its Content-Length shows the whole planned file.
    bool lengthPending = false;
    // The transfer time-out: a slice request may take this long in all; a stream may go this
    // long without a new byte.
    std::chrono::steady_clock::time_point started{};
    std::chrono::steady_clock::time_point lastByteAt{};
    int64_t lastNow = 0;
    int64_t timeoutMs = 20000;
  };

  CDownloadTask* task() const { return static_cast<CDownloadTask*>(currentTask()); }
  platform::SharedFile* file() const { return file_; }
  std::mutex* fileMutex() const { return sharedMutex(); }
  Response& response() { return response_; }
  bool stopRequested() const { return shared_ != nullptr && shared_->stop.load(); }
  SharedDownloadState* shared() const { return shared_; }
  // True while the request in preparation streams the rest of the file (set by taskBusiness).
  bool streamRequest() const { return streamRequest_; }
  CLibcurlTool& tool() { return tool_; }

 private:
  platform::SharedFile* file_;
  SharedDownloadState* shared_;
  bool streamRequest_ = false;
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
  void requestStop() { shared_.stop.store(true); }
  void closeFile() { file_.Close(); }
  bool fileOpen() const { return file_.IsOpen(); }
  // Cuts the open file to length bytes when it is longer. True when it was cut.
  bool cutFileTo(int64_t length);
  // The plan's slices, for a stream across them; before createThreads.
  void setSlices(const std::vector<CTask*>* slices) { shared_.slices = slices; }
  SharedDownloadState& shared() { return shared_; }
  const SharedDownloadState& shared() const { return shared_; }

 private:
  platform::SharedFile file_;
  std::string localPath_;
  SharedDownloadState shared_;
  bool freshFile_ = false;
};

}  // namespace download
