#include "platform/url_download.h"

#include <windows.h>
#include <urlmon.h>

#include "platform/files.h"

namespace platform {

long DownloadUrlToFile(const std::wstring& url, const std::wstring& path) {
  const HRESULT hr = URLDownloadToFileW(nullptr, url.c_str(), path.c_str(), 0, nullptr);
  if (FAILED(hr)) {
    RemoveFile(path);
    return static_cast<long>(hr);
  }
  const int64_t size = FileSize(path);
  if (size < 0 || size > kMaxUrlDownloadBytes) {
    RemoveFile(path);
    return static_cast<long>(E_FAIL);
  }
  return 0;
}

}  // namespace platform
