// The data service's "verify" check: MD5 of the query before "&verify=" plus the salt, and a
// timestamp close to now.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>

#include "signature.h"

namespace vendorsim {
namespace {

const char kSalt[] = "Wm4tPq9eXz2LbR7c";
const int64_t kNow = 1700000000;

// Builds a banner query the way the installer signs it.
std::string BannerQuery(int64_t stamp, const std::string& salt = kSalt) {
  char text[260];
  std::snprintf(text, sizeof text, "lang_code=%s&parent_pid=%d&timestamp=%lld&type=1", "se", 2900,
                static_cast<long long>(stamp));
  return std::string(text) + "&verify=" + Md5Hex(std::string(text) + salt);
}

TEST(SimSignature, Md5MatchesReferenceVectors) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(SimSignature, AcceptsAGoodSignatureAndRefusesEveryBadOne) {
  struct Case {
    const char* name;
    std::string query;
    VerifyVerdict verdict;
  };
  std::string tampered = BannerQuery(kNow);
  tampered.back() = tampered.back() == '0' ? '1' : '0';
  std::string upper = BannerQuery(kNow);
  for (size_t i = upper.find("verify=") + 7; i < upper.size(); ++i) {
    upper[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(upper[i])));
  }
  std::string otherLanguage = BannerQuery(kNow);
  otherLanguage.replace(otherLanguage.find("lang_code=se"), 12, "lang_code=cz");
  const std::string privacyText = "parent_pid=2900&timestamp=" + std::to_string(kNow);
  const Case cases[] = {
      {"good banner", BannerQuery(kNow), VerifyVerdict::kOk},
      {"good privacy", privacyText + "&verify=" + Md5Hex(privacyText + kSalt), VerifyVerdict::kOk},
      {"300 s old", BannerQuery(kNow - 300), VerifyVerdict::kOk},
      {"301 s old", BannerQuery(kNow - 301), VerifyVerdict::kStaleTimestamp},
      {"301 s ahead", BannerQuery(kNow + 301), VerifyVerdict::kStaleTimestamp},
      {"last digit changed", tampered, VerifyVerdict::kBadSignature},
      {"upper-case digest", upper, VerifyVerdict::kBadSignature},
      {"parameter changed after signing", otherLanguage, VerifyVerdict::kBadSignature},
      {"other salt", BannerQuery(kNow, "0000000000000000"), VerifyVerdict::kBadSignature},
      {"no verify", "lang_code=se&parent_pid=2900&timestamp=1&type=1", VerifyVerdict::kMissingVerify},
      {"nothing signed", "&verify=" + Md5Hex(kSalt), VerifyVerdict::kMissingVerify},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const VerifyResult result = CheckSignedQuery(c.query, kSalt, kNow, 300);
    EXPECT_EQ(result.verdict, c.verdict) << VerdictName(result.verdict);
  }
}

TEST(SimSignature, SignedTextWithoutTimestampIsRefusedEvenWhenSigned) {
  const std::string text = "parent_pid=2900&time=5";
  const VerifyResult result =
      CheckSignedQuery(text + "&verify=" + Md5Hex(text + kSalt), kSalt, kNow, 300);
  EXPECT_EQ(result.verdict, VerifyVerdict::kMissingTimestamp);
}

}  // namespace
}  // namespace vendorsim
