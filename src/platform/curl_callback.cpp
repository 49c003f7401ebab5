#include "platform/curl_callback.h"

#include <easylogging++.h>

namespace platform {

void LogCurlCallbackFault(const char* callback, const char* what) noexcept {
  try {
    LOG(INFO) << " curl " << callback << " callback failed (" << (what ? what : "unknown error")
              << "), transfer aborted";
  } catch (...) {
    // Nothing more can be done for a log line that cannot be written.
  }
}

}  // namespace platform
