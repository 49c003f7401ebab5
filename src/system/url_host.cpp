#include "system/url_host.h"

#include <easylogging++.h>

#include "platform/text.h"

namespace FuntionImpl {

std::string ExtractUrlHost(const std::string& url) {
  size_t scheme = url.find("://");
  if (scheme == std::string::npos) {
    LOG(INFO) << " ExtractUrlHost: no host in " << url;
    return std::string();
  }
  size_t start = scheme + 3;
  size_t end = url.find_first_of("/?#\\", start);
  std::string authority = url.substr(start, end == std::string::npos ? end : end - start);
  size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);
  std::string host;
  if (!authority.empty() && authority[0] == '[') {
    size_t close = authority.find(']');
    host = close == std::string::npos ? std::string() : authority.substr(0, close + 1);
  } else {
    host = authority.substr(0, authority.find(':'));
  }
  for (char& c : host) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (host.empty()) LOG(INFO) << " ExtractUrlHost: no host in " << url;
  return host;
}

std::wstring ExtractUrlHost(const std::wstring& url) {
  return platform::Utf8ToWide(ExtractUrlHost(platform::WideToUtf8(url)));
}

int ClassifyHost(const std::string& host) {
  auto startsWith = [&](const char* prefix) { return host.rfind(prefix, 0) == 0; };
  if (host.size() < 2) return 10;
  if (startsWith("dl.") || startsWith("cdn.")) return 10;
  if (startsWith("alicdn.")) return 12;
  if (host.find("ali") != std::string::npos) return 12;
  if (startsWith("awscdn.")) return 13;
  return 11;
}

int ClassifyDownloadHost(const std::string& url) {
  return ClassifyHost(ExtractUrlHost(url));
}

int ClassifyDownloadHost(const std::wstring& url) {
  return ClassifyHost(ExtractUrlHost(platform::WideToUtf8(url)));
}

}  // namespace FuntionImpl
