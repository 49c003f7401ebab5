// The plan of one download: its slices, the lists the driver dispatches from, the size probe
// that sizes it, and the task file beside the download that lets a later round or a later run
// resume where this one stopped.
//
// Threading: every operation runs on the thread that drives the download, or on the caller of
// CDownloader::downloadInit before any worker starts. Workers only touch the fields of the slice
// they hold (see CDownloadTask).
// Ownership: the manager owns every task of its plan; the todo and handed-out lists borrow them.
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "download/download_task.h"
#include "download/error_code.h"
#include "download/thread.h"

namespace download {

class CTaskManager {
 public:
  CTaskManager() = default;
  virtual ~CTaskManager();
  CTaskManager(const CTaskManager&) = delete;
  CTaskManager& operator=(const CTaskManager&) = delete;

  // Next todo task (first in, first out), marked handed out; null when none is left.
  virtual CTask* getTask();
  virtual int addTodoTask(CTask* task);
  virtual int addHandedOutTask(CTask* task);
  // Takes ownership; done tasks are filed as handed out, all others as todo. 0 for null.
  int addTask(CTask* task);
  // Hands out this very task (from the todo list, or again from the handed-out list).
  void takeTask(CTask* task);
  void clearTasks();

  const std::vector<CTask*>& allTasks() const { return all_; }
  const std::vector<CTask*>& handedOutTasks() const { return handedOut_; }
  size_t todoCount() const { return todo_.size(); }
  int32_t taskCount() const { return taskCount_; }

 protected:
  std::vector<CTask*> all_;
  int32_t taskCount_ = 0;
  std::vector<CTask*> handedOut_;
  std::deque<CTask*> todo_;
};

class CDownloadTaskManager : public CTaskManager {
 public:
  static constexpr int32_t kDefaultSliceSize = 4194304;
  // Sizes above this are taken as a broken reply, not as a file to plan.
  static constexpr int64_t kMaxContentLength = int64_t(1) << 40;
  // More slices than this would only cost memory; the slice size grows instead.
  static constexpr int64_t kMaxSlices = 65536;
  static constexpr int kProbeAttempts = 10;

  CDownloadTaskManager(const std::string& url, const std::string& localPath,
                       const std::string& taskFilePath);

  EnumErrorCode loadDownloadTask(const std::string& label, int logFlag);
  EnumErrorCode generateDownloadTask(const std::string& label, int logFlag);
  void loadTaskFromFile(int logFlag);
  // 1 valid, 2 remote size differs, 3 slices do not tile the file, 4 sound but the remote
  // size could not be asked (no answer, or no usable size in it).
  int checkTaskPlan(int logFlag);
  // Up to kProbeAttempts size probes 100 ms apart; the size, or 0 with *code the last result.
  // records (may be null) gets "Success" or "error:%d" per attempt.
  int64_t probeSize(CURLcode* code, std::string* cdnReference, int logFlag,
                    std::vector<std::string>* records);
  // Drops what the content-length memo knows of this plan's addresses, so the next plan asks
  // the server again.
  void forgetRemoteSize();
  // Remote size, 0 when unknown. *code gets the last CURLcode, *cdnReference the X-Cache value.
  int64_t getContentLength(CURLcode* code, std::string* cdnReference, int logFlag);
  // Writes the task file (a temporary beside it, then replaced). 1.
  int saveTaskToFile();
  bool taskFileExists() const;

  // The slice size and count a plan of contentLength gets from the published settings.
  static void computeSlicing(int64_t contentLength, int32_t sliceNum, int32_t sliceSize,
                             int64_t* size, int64_t* count);

  const std::string& remoteUrl() const { return url_; }
  const std::string& localPath() const { return localPath_; }
  const std::string& taskFilePath() const { return taskFilePath_; }
  int64_t contentLength() const { return contentLength_; }
  int64_t downloadTime() const { return downloadTime_; }
  void addDownloadTime(int64_t ms) { downloadTime_ += ms; }
  // True when the last loadDownloadTask resumed a saved plan (false: a new plan was made).
  bool resumed() const { return resumed_; }
  // The task file text as saveTaskToFile writes it.
  std::string taskFileText() const;
  // The first slice in plan order that still lacks bytes; null when every slice is whole.
  CDownloadTask* firstIncompleteTask() const;
  // Marks every whole slice done and files it as handed out. Only while no worker holds one.
  void settleCompleteTasks();

 private:
  std::string url_;
  std::string requestedUrl_;  // the URL given, before any redirect
  std::string localPath_;
  std::string taskFilePath_;
  int64_t contentLength_ = 0;
  int64_t downloadTime_ = 0;
  int32_t sliceSize_ = kDefaultSliceSize;
  bool resumed_ = false;
  CURLcode lastProbeCode_ = CURLE_OK;
};

}  // namespace download
