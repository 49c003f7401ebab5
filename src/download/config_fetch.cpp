#include "download/config_fetch.h"

#include "download/libcurl_tool.h"

namespace download {

int FetchConfigurationText(const std::string& url, std::string* body) {
  CLibcurlTool tool;
  return static_cast<int>(tool.httpGet(url, body));
}

}  // namespace download
