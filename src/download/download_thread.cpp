#include "download/download_thread.h"

#include <easylogging++.h>

#include "analytics/single_user_log.h"
#include "download/engine_env.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/text.h"

namespace download {

CDownloadThread::CDownloadThread(std::mutex* sharedMutex, platform::SharedFile* file,
                                 SharedDownloadState* shared)
    : CThread(sharedMutex), file_(file), shared_(shared) {
  if (!tool_.hasHandle()) LOG(INFO) << "  m_pCurl init error !!!";
}

void CDownloadThread::taskBusiness() {
  CDownloadTask* slice = task();
  if (slice == nullptr) return;
  if (slice->isComplete()) {
    slice->status.store(CTask::kDone);
    return;
  }
  // Behind a server that ignores Range one request streams the rest of the file, so it asks for
  // all of it; a slice asks for the rest of itself.
  streamRequest_ = shared_ != nullptr && shared_->slices != nullptr &&
                   shared_->wholeStream.load() && slice->contentLength > 0;
  const int64_t last = streamRequest_ ? slice->contentLength - 1 : slice->EndPos;
  CURLcode result = tool_.httpDownloadContent(slice->RemotePath, slice->nextPos(), last, this);
  streamRequest_ = false;
  // A reply longer than the range was cut off by us once the slice was whole; its bytes are
  // the ones asked for, so the slice is done.
  if (result == CURLE_WRITE_ERROR && response_.surplusCut && slice->isComplete()) {
    LOG(INFO) << " Tasks info, surplus bytes cut off, id = " << slice->id.load();
    result = CURLE_OK;
  }
  // A whole-file answer that ended cleanly is the file as the server has it now: another size
  // than the plan's means the file changed.
  if (result == CURLE_OK && response_.status == 200 && response_.bodyOffset >= 0 &&
      slice->contentLength > 0 && !response_.surplusCut && !response_.yielded &&
      response_.bodyBytes != slice->contentLength && shared_ != nullptr) {
    LOG(INFO) << " Tasks info, whole-file answer of " << response_.bodyBytes
              << " bytes, the plan has " << slice->contentLength;
    int64_t none = -1;
    shared_->contradictedSize.compare_exchange_strong(none, response_.bodyBytes);
  }
  if (response_.yielded) {
    // Not a failure of the host: another worker streams the file, this slice included.
    slice->status.store(slice->isComplete() ? CTask::kDone : CTask::kFailed);
    if (slice->logFlag) {
      LOG(INFO) << " Tasks info, left to the stream, id = " << slice->id.load();
    }
    return;
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
  // A stream that filled its own slice before it broke leaves that slice done.
  slice->status.store(response_.stream && slice->isComplete() ? CTask::kDone : CTask::kFailed);
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
  shared_.stop.store(false);
  shared_.wholeStream.store(false);
  shared_.contradictedSize.store(-1);
  LOG(INFO) << " Create threads and init: " << count;
  for (int i = 0; i < count; ++i) {
    auto worker = std::make_unique<CDownloadThread>(sharedMutex(), &file_, &shared_);
    if (worker->init() == 1) adoptThread(std::move(worker));
  }
  return static_cast<int>(handleCount());
}

bool CDownloadThreadManager::cutFileTo(int64_t length) {
  const int64_t size = file_.Size();
  if (size <= length || length < 0) return false;
  const uint32_t error = file_.Truncate(length);
  if (error != platform::kErrSuccess) {
    LOG(INFO) << " local file of " << size << " bytes could not be cut to " << length
              << ", error " << error;
    return false;
  }
  LOG(INFO) << " local file of " << size << " bytes cut to the plan's " << length;
  return true;
}

}  // namespace download
