#include "report_sdk/post_data.h"

#include <curl/curl.h>

#include <algorithm>

#include "platform/curl_callback.h"
#include "platform/files.h"
#include "report_sdk/report_format.h"

namespace reportsdk {
namespace {

constexpr int64_t kMaxProxyFileBytes = 64 * 1024;
// The answer is only read for its status; more than this is received and dropped.
constexpr size_t kMaxKeptResponse = 64 * 1024;

size_t KeepSome(char* data, size_t size, size_t count, void* user) {
  std::string* text = static_cast<std::string*>(user);
  const size_t n = size * count;
  if (text->size() < kMaxKeptResponse) {
    text->append(data, std::min(n, kMaxKeptResponse - text->size()));
  }
  return n;
}

}  // namespace

std::string ReadProxyFile(const std::wstring& path) {
  if (path.empty() || !platform::PathExists(path)) return std::string();
  const int64_t size = platform::FileSize(path);
  if (size < 0 || size > kMaxProxyFileBytes) return std::string();
  std::string text;
  if (!platform::ReadWholeFile(path, &text)) return std::string();
  return ProxyFromText(text);
}

long PostDataError(const std::string& url, const std::string& body, const std::wstring& proxyFile,
                   const std::function<void(const std::string&)>& log) {
  CURL* curl = curl_easy_init();
  if (curl == nullptr) {
    if (log) log("PostDataError: 2, " + std::string(curl_easy_strerror(CURLE_FAILED_INIT)) + ", 0");
    return 0;
  }
  struct curl_slist* headers = nullptr;
  headers = curl_slist_append(headers, "User-Agent:PostmanRuntime/7.29.2");
  headers = curl_slist_append(headers, "Accept:*/*");
  headers = curl_slist_append(headers, "Accept-Encoding:gzip, deflate, br");
  headers = curl_slist_append(headers, "Connection:keep-alive");
  headers = curl_slist_append(headers, "Content-Type:application/json; charset=utf-8");
  std::string response;
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_POST, 1L);
  curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size()));
  curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
  curl_easy_setopt(curl, CURLOPT_HEADER, 1L);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 40L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &platform::CurlGuard<&KeepSome>::Call);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &response);
  // Stored payloads name their own address: never let one reach a file or another protocol.
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  const std::string proxy = ReadProxyFile(proxyFile);
  if (!proxy.empty()) curl_easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());

  const CURLcode result = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  curl_slist_free_all(headers);
  if (result != CURLE_OK || (status != 200 && status != 204)) {
    if (log) {
      log("PostDataError: " + std::to_string(static_cast<int>(result)) + ", " +
          curl_easy_strerror(result) + ", " + std::to_string(status));
    }
  }
  return status;
}

}  // namespace reportsdk
