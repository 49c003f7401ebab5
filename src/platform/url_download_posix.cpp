#include "platform/url_download.h"

#include <curl/curl.h>

#include <cstdio>

#include "platform/curl_callback.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace platform {
namespace {

struct FileSink {
  FILE* file = nullptr;
  int64_t written = 0;
};

size_t WriteToFile(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<FileSink*>(user);
  const size_t n = size * count;
  if (sink->written + static_cast<int64_t>(n) > kMaxUrlDownloadBytes) return 0;  // aborts
  const size_t put = std::fwrite(data, 1, n, sink->file);
  sink->written += static_cast<int64_t>(put);
  return put;
}

}  // namespace

long DownloadUrlToFile(const std::wstring& url, const std::wstring& path) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) return CURLE_FAILED_INIT;
  FileSink sink;
  sink.file = std::fopen(NativePathBytes(path).c_str(), "wb");
  if (sink.file == nullptr) {
    curl_easy_cleanup(curl);
    return CURLE_WRITE_ERROR;
  }
  const std::string narrowUrl = NativePathBytes(url);  // addresses are ASCII in practice
  curl_easy_setopt(curl, CURLOPT_URL, narrowUrl.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &platform::CurlGuard<&WriteToFile>::Call);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  long result = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  if (std::fclose(sink.file) != 0 && result == CURLE_OK) result = CURLE_WRITE_ERROR;
  if (result == CURLE_OK && status >= 400) result = -1;
  if (result != CURLE_OK) RemoveFile(path);
  return result;
}

}  // namespace platform
