#include "remote/service_urls.h"

#include <easylogging++.h>

#include "config/configure.h"
#include "platform/clock.h"
#include "system/md5.h"

namespace remote {
namespace {

std::string Host(const Endpoints& endpoints, bool testEnvironment) {
  return testEnvironment ? endpoints.dataServiceTest : endpoints.dataService;
}

std::string SignedAddress(const std::string& host, const char* path, const std::string& query,
                          std::string* signature) {
  *signature = SignQuery(query);
  return "https://" + host + path + query + "&verify=" + *signature;
}

}  // namespace

std::string SignQuery(const std::string& query) {
  return FuntionImpl::Md5Hex(query + kSignSalt);
}

std::string BannerQuery(const std::string& languageCode, int productId, int64_t timestamp) {
  return "lang_code=" + languageCode + "&parent_pid=" + std::to_string(productId) +
         "&timestamp=" + std::to_string(timestamp) + "&type=1";
}

std::string PrivacyQuery(int productId, int64_t timestamp) {
  return "parent_pid=" + std::to_string(productId) + "&timestamp=" + std::to_string(timestamp);
}

std::string BuildBannerUrl(const Endpoints& endpoints, bool testEnvironment, int productId,
                           EnumLanguage language, int64_t timestamp) {
  const std::string code = FuntionImpl::GetLanguageCode(language);
  std::string signature;
  const std::string url = SignedAddress(Host(endpoints, testEnvironment), "/api/v1/banners?",
                                        BannerQuery(code, productId, timestamp), &signature);
  LOG(INFO) << " BAN: lang_code=" << code << "&parent_pid=" << productId
            << "&timestamp=" << timestamp << "&type=1&verify=" << signature;
  return url;
}

std::string BuildPrivacyUrl(const Endpoints& endpoints, bool testEnvironment, int productId,
                            int64_t timestamp) {
  std::string signature;
  const std::string url =
      SignedAddress(Host(endpoints, testEnvironment), "/api/v1/user_privacy_info?",
                    PrivacyQuery(productId, timestamp), &signature);
  LOG(INFO) << " TCP: parent_pid=" << productId << "&timestamp=" << timestamp
            << "&verify=" << signature;
  return url;
}

std::string GetBannerPicUrl(int productId, EnumLanguage language) {
  return BuildBannerUrl(GetEndpoints(), CConfigure::IsTestEnvironment(), productId, language,
                        platform::UnixTimeSeconds());
}

std::string GetPrivacyUrl(int productId) {
  return BuildPrivacyUrl(GetEndpoints(), CConfigure::IsTestEnvironment(), productId,
                         platform::UnixTimeSeconds());
}

std::string DurationBucket(int64_t seconds) {
  const int64_t a = seconds < 0 ? 0 : seconds / 3 * 3;
  return "[" + std::to_string(a) + "~" + std::to_string(a + 3) + "]s";
}

}  // namespace remote
