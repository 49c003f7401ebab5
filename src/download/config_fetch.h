// The configuration service's GET for CConfigure (ServerDescriptionEnv::httpGet): a fresh
// CLibcurlTool per request, so the prefetch thread and the install thread never share a handle.
// Threading: any thread. Ownership: nothing is kept between calls.
#pragma once

#include <string>

namespace download {

// CLibcurlTool::httpGet of url into *body; the CURLcode as an int.
int FetchConfigurationText(const std::string& url, std::string* body);

}  // namespace download
