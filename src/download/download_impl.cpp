#include "download/download_impl.h"

#include <easylogging++.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "analytics/flow_error_ids.h"
#include "analytics/single_user_log.h"
#include "download/downloader.h"
#include "download/engine_env.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/md5.h"
#include "platform/text.h"

namespace download {
namespace {

// Keeps the network check cheap while the watchdog passes come every few milliseconds.
constexpr uint32_t kNetworkCheckEveryMs = 100;

// Failed requests per address, summed over the rounds of this process.
class FailedRequestMemo {
 public:
  int64_t Get(const std::string& url) {
    std::lock_guard<std::mutex> guard(lock_);
    auto it = counts_.find(url);
    return it == counts_.end() ? 0 : it->second;
  }
  void Add(const std::string& url, int64_t failures) {
    if (failures <= 0) return;
    std::lock_guard<std::mutex> guard(lock_);
    counts_[url] += failures;
  }
  void Forget(const std::string& url) {
    std::lock_guard<std::mutex> guard(lock_);
    counts_.erase(url);
  }

 private:
  std::mutex lock_;
  std::map<std::string, int64_t> counts_;
};

FailedRequestMemo& FailedRequests() {
  static FailedRequestMemo memo;
  return memo;
}

std::atomic<int> g_abandoned{0};

// A downloader whose threads did not end in time is never freed under them: a thread of its own
// waits for them (each request they make ends at its time-out) and then frees it.
void AbandonDownloader(std::unique_ptr<CDownloader> downloader) {
  downloader->abandon();
  g_abandoned.fetch_add(1);
  std::thread([d = downloader.release()] {
    delete d;  // stops and joins the driver and the workers
    g_abandoned.fetch_sub(1);
  }).detach();
}

std::string Format1(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof(text), format, value);
  return text;
}

}  // namespace

bool CDownLoadImpl::isCdnUrl(const std::string& url) {
  return url.find("//cdn.") != std::string::npos || url.find("//dl.") != std::string::npos;
}

int CDownLoadImpl::workerCount(unsigned processors) {
  const int count = static_cast<int>(processors * 8 / 5);
  return count < 4 ? 4 : count;
}

EnumErrorCode CDownLoadImpl::SuperDownloadFile(const std::wstring& url,
                                               const std::wstring& localPath,
                                               std::string* cdnText, bool mainDownload) {
  std::string scratch;
  if (cdnText == nullptr) cdnText = &scratch;
  EnumErrorCode result = runRound(url, localPath, cdnText, mainDownload, false);
  if (result == kPlanDropped) {
    // The file at the address changed under the plan: one new plan, made from a fresh probe.
    result = runRound(url, localPath, cdnText, mainDownload, true);
    if (result == kPlanDropped) {
      // The probe and the replies still disagree on the size: no size to plan by.
      result = ErrContentLength;
    }
  }
  return result;
}

EnumErrorCode CDownLoadImpl::runRound(const std::wstring& url, const std::wstring& localPath,
                                      std::string* cdnText, bool mainDownload, bool restarted) {
  const std::string remote = platform::WideToAnsi(url);
  const std::string local = platform::WideToAnsi(localPath);
  const std::string taskFile = local + ".xml";
  const int workers = workerCount(EngineProcessorCount());
  const int logFlag = mainDownload ? 1 : 0;

  auto downloader = std::make_unique<CDownloader>(remote, local, taskFile, workers);
  // Every way out stops the driver, waits for it (bounded) and releases the round. The CDN text
  // is taken first, while the plan still holds the slices it comes from, and only once no
  // worker can still be writing it.
  DownloadInfo last;
  bool dropPlan = false;
  auto finish = [&](EnumErrorCode code) {
    downloader->stop();
    const bool ended = downloader->waitDriver(EngineDriverWaitMs()) && downloader->threadsEnded();
    last = downloader->downloadInfo();
    if (!ended) {
      LOG(INFO) << " download threads did not end within " << EngineDriverWaitMs()
                << " ms; the round leaves them behind";
      cdnText->clear();
      AbandonDownloader(std::move(downloader));
    } else {
      *cdnText = downloader->getCdnInfo();
      if (dropPlan) downloader->plan().forgetRemoteSize();
      downloader->resetDownloader();
      downloader.reset();
    }
    if (dropPlan) {
      platform::RemoveFile(platform::AnsiToWide(taskFile));
      platform::RemoveFile(localPath);
    }
    // Failed requests of this address add up over the rounds of this process, so a host that
    // keeps failing reaches the CDN rule even though each round asks each slice once.
    if (code == ErrSuccess || code == ErrCdnFailure) {
      FailedRequests().Forget(remote);
    } else {
      FailedRequests().Add(remote, last.requestCount);
    }
    return code;
  };

  const EnumErrorCode init = downloader->downloadInit("Download", logFlag);
  if (init != ErrSuccess) return finish(init);

  downloader->setState(CDownloader::kRun);
  analytics::CSingleUserLog::GetInstance().AddFunnelEvent("Download", "SliceDownloading", "", "");
  EngineRoundStarted(*downloader);

  auto networkDown = [&]() {
    LOG(INFO) << "network is  no  alive";
    finish(ErrNetworkDown);
    platform::SleepMs(1100);
    return ErrNetworkDown;
  };
  if (!EngineNetworkAlive()) return networkDown();

  const bool cdn = isCdnUrl(remote);
  const int64_t carried = FailedRequests().Get(remote);
  const int64_t taskCount = static_cast<int64_t>(downloader->taskCount());
  const int64_t planLength = downloader->contentLength();
  int64_t lastBytes = 0;
  uint32_t lastProgressTick = EngineTick();
  uint32_t lastNetworkCheck = lastProgressTick;
  double lowest = 102400.0;
  double highest = 0.0;
  auto planContradicted = [&](int64_t named) {
    LOG(INFO) << " remote file changed: a reply names " << named << " bytes, the plan "
              << planLength << "; plan dropped" << (restarted ? " again" : "");
    analytics::CSingleUserLog::GetInstance().AddUserLog(
        "Other", "FlowError", analytics::FlowErrorId(analytics::EnumFlowError::kTaskPlanFirst));
    dropPlan = true;
    return finish(kPlanDropped);
  };
  for (;;) {
    const DownloadInfo info = downloader->downloadInfo();
    if (info.contradictedSize >= 0) return planContradicted(info.contradictedSize);
    const uint32_t sinceProgress = info.tick - lastProgressTick;
    if (info.downloaded != lastBytes) {
      if (sinceProgress > 0 && static_cast<int32_t>(sinceProgress) > 0) {
        const double mb = static_cast<double>(info.downloaded - lastBytes) / 1024.0 / 1024.0;
        const double speed = mb / (static_cast<double>(sinceProgress) / 1000.0);
        if (speed > highest) highest = speed;
        if (speed < lowest) lowest = speed;
      }
      lastBytes = info.downloaded;
      lastProgressTick = info.tick;
    } else if (static_cast<int32_t>(sinceProgress) >= static_cast<int32_t>(kNoProgressMs)) {
      LOG(INFO) << "too long no speed:";
      return finish(ErrNoProgress);
    }
    const int64_t failures = carried + static_cast<int64_t>(info.requestCount);
    if (cdn && failures > 3 * taskCount) {
      LOG(INFO) << " ---cdn fail:" << failures << " > 3 * " << taskCount;
      return finish(ErrCdnFailure);
    }
    if (downloader->state() == CDownloader::kStop) break;
    // Only a round that has work reports along the way; a plan complete on load reports once.
    if (mainDownload && progress_ && downloader->workStarted()) {
      progress_(info.downloaded, downloader->contentLength());
    }
    const uint32_t now = EngineTick();
    if (now - lastNetworkCheck >= kNetworkCheckEveryMs) {
      lastNetworkCheck = now;
      if (!EngineNetworkAlive()) return networkDown();
    }
    // A short pause keeps the watchdog off the processor; every rule above is measured on the
    // snapshot's tick, so none of them changes its meaning.
    platform::SleepMs(kWatchdogPauseMs);
  }

  // Completion: the driver found every slice done.
  downloader->waitDriver(EngineDriverWaitMs());
  const DownloadInfo info = downloader->downloadInfo();
  if (info.contradictedSize >= 0) return planContradicted(info.contradictedSize);
  const int64_t length = downloader->contentLength();
  const bool started = downloader->workStarted();
  const EnumErrorCode done = finish(ErrSuccess);
  if (info.downloaded < length) {
    LOG(INFO) << " lenth is error, less than remote file.";
    return ErrFileTooShort;
  }
  const int64_t size = platform::FileSize(localPath);
  if (size != length) {
    // Someone shortened or replaced the file behind the plan's back.
    LOG(INFO) << " lenth is error, less than remote file." << " (file " << size << " of "
              << length << ")";
    return ErrFileTooShort;
  }
  if (mainDownload && size < kMinMainDownload) return ErrFileTooSmall;
  // The last report: a round can end before the watchdog's first look at it.
  if (mainDownload && progress_) progress_(length, length);
  if (!started) return done;
  const double average =
      std::trunc(static_cast<double>(info.averageSpeed) / 1048576.0 * 100.0) / 100.0;
  LOG(INFO) << " Average speed: " << Format1("%.1fMB/s", average);
  LOG(INFO) << " Download speed range " << Format1("%.1f MB/s", lowest) << " - "
            << Format1("%.1f MB/s", highest);
  return done;
}

int CDownLoadImpl::abandonedRounds() { return g_abandoned.load(); }

void CDownLoadImpl::releaseDownloader(std::unique_ptr<CDownloader> downloader, bool threadsEnded) {
  if (!downloader) return;
  if (threadsEnded) {
    downloader->resetDownloader();
    downloader.reset();
  } else {
    AbandonDownloader(std::move(downloader));
  }
}

bool CDownLoadImpl::checkMD5(const std::wstring& path, const std::wstring& md5One,
                             const std::wstring& md5Two, const std::wstring& recordText) {
  std::string digest;
  if (!platform::Md5HexOfFile(path, &digest)) {
    // An unreadable file is digested as no bytes, which matches no real installer.
    digest = platform::Md5HexOfBytes("", 0);
  }
  return checkMD5Digest(path, digest, md5One, md5Two, recordText);
}

bool CDownLoadImpl::checkMD5Digest(const std::wstring& path, const std::string& digest,
                                   const std::wstring& md5One, const std::wstring& md5Two,
                                   const std::wstring& recordText) {
  LOG(INFO) << " MD5 of file " << platform::WideToAnsi(path) << " is " << digest;
  const std::string record = platform::WideToAnsi(recordText) + "###" + digest;
  if (!platform::WriteFileAtomically(path + L".db", record)) {
    LOG(INFO) << " MD5 record not written, error " << platform::LastErrorCode();
  }
  const std::wstring wide = platform::AnsiToWide(digest);
  return wide == md5One || wide == md5Two;
}

}  // namespace download
