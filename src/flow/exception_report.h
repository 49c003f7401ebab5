// The two exception reports to the maker's alert service: report 1 when a download round ends
// in a redirect loop, report 2 when the downloaded installer fails its MD5 or signature check.
// Each is one form POST to "/api/exception/send"; the answer is only logged and nothing depends
// on it, so a failed report never changes the install flow.
// Thread-safe: every call builds its own request (the install thread sends them).
#pragma once

#include <curl/curl.h>

#include <functional>
#include <string>

namespace flow {

// The form POST used to send a report (CLibcurlTool::HttpPost by default).
using FormPoster =
    std::function<CURLcode(const std::string& url, const std::string& body, std::string* response)>;

// "https://<alert host>/api/exception/send"; the test host when testEnvironment is set.
std::string AlertServiceUrl(bool testEnvironment);

// "pid=%d&type=2&exception_code=Url_Too_Many_Redirects&other=%s,%s", at most 2047 characters.
std::string ExceptionReport1Body(int downloaderId, const std::string& configRequestAddress,
                                 const std::string& addressInUse);
// The MD5 / signature report, at most 1023 characters; empty when both checks passed.
// configSource: where the configuration came from (2 = the built-in values).
std::string ExceptionReport2Body(int downloaderId, int configSource, bool md5Good,
                                 bool signatureGood, const std::string& configRequestAddress,
                                 const std::string& addressInUse);

// Posts the body and logs "Send error report<n>, response is" with the answer, ", return" and
// the transfer result, which it returns. A null poster uses a fresh CLibcurlTool; an empty url
// uses AlertServiceUrl for the current test-environment switch.
CURLcode SendExceptionReport(int reportNumber, const std::string& body,
                             const FormPoster& poster = FormPoster(),
                             const std::string& url = std::string());

// Report 1 and report 2 built and sent in one call.
CURLcode SendExceptionReport1(int downloaderId, const std::string& configRequestAddress,
                              const std::string& addressInUse);
CURLcode SendExceptionReport2(int downloaderId, int configSource, bool md5Good, bool signatureGood,
                              const std::string& configRequestAddress,
                              const std::string& addressInUse);

}  // namespace flow
