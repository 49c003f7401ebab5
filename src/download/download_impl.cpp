#include "download/download_impl.h"

#include <easylogging++.h>

#include <cmath>
#include <cstdio>
#include <memory>

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
  const std::string remote = platform::WideToAnsi(url);
  const std::string local = platform::WideToAnsi(localPath);
  const std::string taskFile = local + ".xml";
  const int workers = workerCount(EngineProcessorCount());
  const int logFlag = mainDownload ? 1 : 0;

  auto downloader = std::make_unique<CDownloader>(remote, local, taskFile, workers);
  // Every way out stops the driver, waits for it and releases the round; the CDN text is taken
  // first, while the plan still holds the slices it comes from.
  auto finish = [&](EnumErrorCode code) {
    downloader->stop();
    downloader->waitDriver(kDriverWaitMs);
    *cdnText = downloader->getCdnInfo();
    downloader->resetDownloader();
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
  int64_t lastBytes = 0;
  uint32_t lastProgressTick = EngineTick();
  uint32_t lastNetworkCheck = lastProgressTick;
  double lowest = 102400.0;
  double highest = 0.0;
  for (;;) {
    const DownloadInfo info = downloader->downloadInfo();
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
    if (cdn && static_cast<int64_t>(info.requestCount) >
                   3 * static_cast<int64_t>(downloader->taskCount())) {
      LOG(INFO) << " ---cdn fail:" << info.requestCount << " > 3 * " << downloader->taskCount();
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
  downloader->waitDriver(kDriverWaitMs);
  const DownloadInfo info = downloader->downloadInfo();
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
  if (!started) {
    if (mainDownload && progress_) progress_(length, length);
    return done;
  }
  const double average =
      std::trunc(static_cast<double>(info.averageSpeed) / 1048576.0 * 100.0) / 100.0;
  LOG(INFO) << " Average speed: " << Format1("%.1fMB/s", average);
  LOG(INFO) << " Download speed range " << Format1("%.1f MB/s", lowest) << " - "
            << Format1("%.1f MB/s", highest);
  return done;
}

bool CDownLoadImpl::checkMD5(const std::wstring& path, const std::wstring& md5One,
                             const std::wstring& md5Two, const std::wstring& recordText) {
  std::string digest;
  if (!platform::Md5HexOfFile(path, &digest)) {
    // An unreadable file is digested as no bytes, which matches no real installer.
    digest = platform::Md5HexOfBytes("", 0);
  }
  LOG(INFO) << " MD5 of file " << platform::WideToAnsi(path) << " is " << digest;
  const std::string record = platform::WideToAnsi(recordText) + "###" + digest;
  if (!platform::WriteFileAtomically(path + L".db", record)) {
    LOG(INFO) << " MD5 record not written, error " << platform::LastErrorCode();
  }
  const std::wstring wide = platform::AnsiToWide(digest);
  return wide == md5One || wide == md5Two;
}

}  // namespace download
