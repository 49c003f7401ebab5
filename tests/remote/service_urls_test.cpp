// The signed request addresses of the data service and the duration buckets of its events.
#include "remote/service_urls.h"

#include <gtest/gtest.h>

#include <string>

namespace {

Endpoints Hosts() {
  Endpoints e;
  e.dataService = "data.kerfo.example";
  e.dataServiceTest = "data-test.kerfo.example:8443";
  return e;
}

std::string VerifyOf(const std::string& url) {
  const size_t at = url.find("&verify=");
  return at == std::string::npos ? std::string() : url.substr(at + 8);
}

TEST(ServiceUrls, BannerAddressCarriesTheSignedQueryOnTheChosenHost) {
  const std::string url =
      remote::BuildBannerUrl(Hosts(), false, 7001, EnumLanguage::Swedish, 1700000000);
  // MD5 of "lang_code=se&parent_pid=7001&timestamp=1700000000&type=1" + salt, computed apart.
  EXPECT_EQ(url,
            "https://data.kerfo.example/api/v1/banners?lang_code=se&parent_pid=7001"
            "&timestamp=1700000000&type=1&verify=351b5d69d4e728e6f1ca892b0737e0aa");
  const std::string test =
      remote::BuildBannerUrl(Hosts(), true, 7001, EnumLanguage::Swedish, 1700000000);
  EXPECT_EQ(test.rfind("https://data-test.kerfo.example:8443/api/v1/banners?", 0), 0u) << test;
  EXPECT_EQ(VerifyOf(test), VerifyOf(url));
}

TEST(ServiceUrls, PrivacyAddressCarriesTheSignedQuery) {
  EXPECT_EQ(remote::BuildPrivacyUrl(Hosts(), false, 7001, 1700000000),
            "https://data.kerfo.example/api/v1/user_privacy_info?parent_pid=7001"
            "&timestamp=1700000000&verify=1447ea21aef91930097362215eaa1a36");
}

TEST(ServiceUrls, SignatureChangesEverySecondAndRepeatsWithinOne) {
  const Endpoints hosts = Hosts();
  const std::string a = VerifyOf(remote::BuildBannerUrl(hosts, false, 5, EnumLanguage::English, 100));
  const std::string b = VerifyOf(remote::BuildBannerUrl(hosts, false, 5, EnumLanguage::English, 100));
  const std::string c = VerifyOf(remote::BuildBannerUrl(hosts, false, 5, EnumLanguage::English, 101));
  EXPECT_EQ(a.size(), 32u);
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
  EXPECT_NE(VerifyOf(remote::BuildPrivacyUrl(hosts, false, 5, 100)),
            VerifyOf(remote::BuildPrivacyUrl(hosts, false, 5, 101)));
  // The live forms read the clock: two calls a second apart at most differ only then.
  const std::string live = remote::GetBannerPicUrl(5, EnumLanguage::English);
  EXPECT_NE(live.find("/api/v1/banners?lang_code=en&parent_pid=5&timestamp="), std::string::npos);
  EXPECT_EQ(VerifyOf(live).size(), 32u);
}

TEST(ServiceUrls, LanguagesSendTheServiceCodes) {
  const Endpoints hosts = Hosts();
  struct Case {
    EnumLanguage language;
    const char* code;
  } cases[] = {{EnumLanguage::Swedish, "se"}, {EnumLanguage::Czech, "cz"},
               {EnumLanguage::Malay, "my"}, {EnumLanguage::English, "en"}};
  for (const Case& c : cases) {
    const std::string url = remote::BuildBannerUrl(hosts, false, 1, c.language, 9);
    EXPECT_NE(url.find(std::string("?lang_code=") + c.code + "&"), std::string::npos) << url;
    EXPECT_EQ(VerifyOf(url), remote::SignQuery(remote::BannerQuery(c.code, 1, 9)));
  }
}

TEST(ServiceUrls, DurationBucketsAreThreeSecondsWide) {
  EXPECT_EQ(remote::DurationBucket(0), "[0~3]s");
  EXPECT_EQ(remote::DurationBucket(2), "[0~3]s");
  EXPECT_EQ(remote::DurationBucket(3), "[3~6]s");
  EXPECT_EQ(remote::DurationBucket(4), "[3~6]s");
  EXPECT_EQ(remote::DurationBucket(61), "[60~63]s");
  EXPECT_EQ(remote::DurationBucket(-5), "[0~3]s");
}

}  // namespace
