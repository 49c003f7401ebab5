// CDownLoadImpl: the two calls the rest of the program makes of the download engine.
// SuperDownloadFile runs one download round of one URL into one local file and watches it from
// the calling thread (progress, stall, CDN failures, network) until it ends or must be stopped;
// checkMD5 digests a downloaded file, records the digest beside it and compares it.
//
// Threading: each call runs on the caller's thread (the install thread, a banner thread, a
// command-line tool); the progress callback is called on that thread too. Several objects may
// run rounds of different files at once.
// Ownership: one round owns one CDownloader from start to end; the task file and the partly
// written local file stay on disk for the next round.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "download/error_code.h"

namespace download {

class CDownloader;

class CDownLoadImpl {
 public:
  // Called with (downloaded bytes, content length) during a main download.
  using ProgressCallback = std::function<void(int64_t downloaded, int64_t total)>;

  static constexpr uint32_t kNoProgressMs = 60000;
  static constexpr uint32_t kDriverWaitMs = 180000;  // EngineDriverWaitMs may shorten it
  static constexpr uint32_t kWatchdogPauseMs = 10;
  static constexpr int64_t kMinMainDownload = 1048576;

  // The progress target; an empty function removes it.
  void setProgressCallback(ProgressCallback callback) { progress_ = std::move(callback); }

  EnumErrorCode SuperDownloadFile(const std::wstring& url, const std::wstring& localPath,
                                  std::string* cdnText, bool mainDownload);
  bool checkMD5(const std::wstring& path, const std::wstring& md5One, const std::wstring& md5Two,
                const std::wstring& recordText);
  // The second half of checkMD5 for a digest the caller computed (a held file's): logs it,
  // writes the record beside path and compares it with the two expected digests.
  static bool checkMD5Digest(const std::wstring& path, const std::string& digest,
                             const std::wstring& md5One, const std::wstring& md5Two,
                             const std::wstring& recordText);

  // Frees a stopped downloader whose threads may still be running: at once when they ended,
  // otherwise on a thread of its own once they have (counted by abandonedRounds meanwhile).
  static void releaseDownloader(std::unique_ptr<CDownloader> downloader, bool threadsEnded);

  // Rounds whose threads did not end in time and are still being waited for.
  static int abandonedRounds();

  // "//cdn." or "//dl." in the URL.
  static bool isCdnUrl(const std::string& url);
  // processors * 8 / 5, at least 4.
  static int workerCount(unsigned processors);

 private:
  // What a round returns when a reply contradicted its plan's size and the plan was dropped.
  static constexpr EnumErrorCode kPlanDropped = static_cast<EnumErrorCode>(2);
  EnumErrorCode runRound(const std::wstring& url, const std::wstring& localPath,
                         std::string* cdnText, bool mainDownload, bool restarted);

  ProgressCallback progress_;
};

}  // namespace download
