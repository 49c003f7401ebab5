// Result codes of the download engine: 1 for success, 6 to 15 for the ways a download round
// can fail. Shared by the plan, the driver and the orchestration; plain values.
#pragma once

namespace download {

enum EnumErrorCode {
  ErrSuccess = 1,
  ErrContentLength = 6,     // no remote size after 10 probes
  ErrOpenLocalFile = 7,     // the local file cannot be opened, even after ending its holder
  ErrNoWorkerThreads = 8,   // no worker thread could be started
  ErrNetworkDown = 9,       // the system reports no network
  ErrNoProgress = 10,       // no new bytes for 60 seconds
  ErrCdnFailure = 11,       // a CDN address failed too often
  ErrFileTooShort = 12,     // fewer bytes than the remote size after the download
  ErrTooManyRedirects = 13, // the size probe ended with too many redirects
  ErrFileTooSmall = 15,     // the downloaded file is smaller than 1 MiB
};

}  // namespace download
