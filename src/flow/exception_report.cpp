#include "flow/exception_report.h"

#include <easylogging++.h>

#include <cstdio>

#include "config/configure.h"
#include "config/endpoints.h"
#include "download/libcurl_tool.h"

namespace flow {
namespace {

// The answer goes into the log; a hostile or broken service must not flood it.
constexpr size_t kMaxLoggedAnswer = 2048;

}  // namespace

std::string AlertServiceUrl(bool testEnvironment) {
  const Endpoints& endpoints = GetEndpoints();
  return "https://" + (testEnvironment ? endpoints.alertServiceTest : endpoints.alertService) +
         "/api/exception/send";
}

std::string ExceptionReport1Body(int downloaderId, const std::string& configRequestAddress,
                                 const std::string& addressInUse) {
  char body[2048] = {0};
  std::snprintf(body, sizeof(body),
                "pid=%d&type=2&exception_code=Url_Too_Many_Redirects&other=%s,%s", downloaderId,
                configRequestAddress.c_str(), addressInUse.c_str());
  return body;
}

std::string ExceptionReport2Body(int downloaderId, int configSource, bool md5Good,
                                 bool signatureGood, const std::string& configRequestAddress,
                                 const std::string& addressInUse) {
  const char* code = nullptr;
  if (!md5Good && !signatureGood) {
    code = "MD5_Hash_Check_Fail_Cfg";
  } else if (!md5Good) {
    code = "MD5_Check_Fail_Cfg";
  } else if (!signatureGood) {
    code = "Hash_Check_Fail_Cfg";
  } else {
    return std::string();
  }
  char body[1024] = {0};
  std::snprintf(body, sizeof(body), "pid=%d&type=2&exception_code=%s%d&other=%s,%s", downloaderId,
                code, configSource, configRequestAddress.c_str(), addressInUse.c_str());
  return body;
}

CURLcode SendExceptionReport(int reportNumber, const std::string& body, const FormPoster& poster,
                             const std::string& url) {
  const std::string address = url.empty() ? AlertServiceUrl(CConfigure::IsTestEnvironment()) : url;
  std::string response;
  CURLcode result = CURLE_FAILED_INIT;
  if (poster) {
    result = poster(address, body, &response);
  } else {
    download::CLibcurlTool tool;
    result = tool.HttpPost(address, body, &response);
  }
  if (response.size() > kMaxLoggedAnswer) response.resize(kMaxLoggedAnswer);
  LOG(INFO) << "Send error report" << reportNumber << ", response is" << response << ", return"
            << static_cast<int>(result);
  return result;
}

CURLcode SendExceptionReport1(int downloaderId, const std::string& configRequestAddress,
                              const std::string& addressInUse) {
  return SendExceptionReport(
      1, ExceptionReport1Body(downloaderId, configRequestAddress, addressInUse));
}

CURLcode SendExceptionReport2(int downloaderId, int configSource, bool md5Good, bool signatureGood,
                              const std::string& configRequestAddress,
                              const std::string& addressInUse) {
  const std::string body = ExceptionReport2Body(downloaderId, configSource, md5Good, signatureGood,
                                                configRequestAddress, addressInUse);
  if (body.empty()) return CURLE_OK;  // both checks passed: nothing to report
  return SendExceptionReport(2, body);
}

}  // namespace flow
