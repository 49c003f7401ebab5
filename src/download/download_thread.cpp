#include "download/download_thread.h"

#include <easylogging++.h>

#include "analytics/single_user_log.h"
#include "download/engine_env.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

namespace download {

CDownloadThread::CDownloadThread(std::mutex* sharedMutex, platform::SharedFile* file,
                                 const std::atomic<bool>* stopFlag)
    : CThread(sharedMutex), file_(file), stopFlag_(stopFlag) {
  if (!tool_.hasHandle()) LOG(INFO) << "  m_pCurl init error !!!";
}

void CDownloadThread::taskBusiness() {
  CDownloadTask* slice = task();
  if (slice == nullptr) return;
  if (slice->isComplete()) {
    slice->status.store(CTask::kDone);
    return;
  }
  CURLcode result = tool_.httpDownloadContent(slice->RemotePath, slice->nextPos(), slice->EndPos,
                                              this);
  // A reply longer than the range was cut off by us once the slice was whole; its bytes are
  // the ones asked for, so the slice is done.
  if (result == CURLE_WRITE_ERROR && response_.surplusCut && slice->isComplete()) {
    LOG(INFO) << " Tasks info, surplus bytes cut off, id = " << slice->id.load();
    result = CURLE_OK;
  }
  if (result == CURLE_OK && slice->isComplete()) {
    slice->status.store(CTask::kDone);
    if (slice->logFlag) {
      LOG(INFO) << " Tasks info, download success(" << static_cast<int>(result)
                << "), id = " << slice->id.load() << ", reqTime = " << slice->RequestTimes.load();
    }
    return;
  }
  slice->RequestTimes.fetch_add(1);
  slice->status.store(CTask::kFailed);
  if (slice->logFlag) {
    LOG(INFO) << " Tasks info, download fail(" << static_cast<int>(result)
              << "), id = " << slice->id.load() << ", reqTime = " << slice->RequestTimes.load();
  }
}

CDownloadThreadManager::CDownloadThreadManager(const std::string& localPath)
    : localPath_(localPath) {}

CDownloadThreadManager::~CDownloadThreadManager() {
  requestStop();
  releaseThreads();
  file_.Close();
}

int CDownloadThreadManager::createThreads(int count) {
  const std::wstring path = platform::AnsiToWide(localPath_);
  auto open = [&] { return file_.Open(path, !freshFile_ && platform::CanOpenForReading(path)); };
  uint32_t error = open();
  if (error != platform::kErrSuccess) {
    LOG(INFO) << "local file is NULL error code = " << error;
    if (error == platform::kErrSharingViolation) {
      FuntionImpl::FindProcessByFullPath(path, true, true);
      error = open();
    }
  }
  if (error != platform::kErrSuccess) {
    LOG(INFO) << "after kill local file is NULL error code = " << error;
    analytics::CSingleUserLog::GetInstance().AddUserLog("Other", "OpenFileErrCode",
                                                        std::to_string(error).c_str());
    return -1;
  }
  stop_.store(false);
  LOG(INFO) << " Create threads and init: " << count;
  for (int i = 0; i < count; ++i) {
    auto worker = std::make_unique<CDownloadThread>(sharedMutex(), &file_, &stop_);
    if (worker->init() == 1) adoptThread(std::move(worker));
  }
  return static_cast<int>(handleCount());
}

}  // namespace download
