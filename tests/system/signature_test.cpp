// The messages of the signature check and the publisher pin, on data (both platforms).
#include <gtest/gtest.h>

#include "system/signature.h"

namespace {

using FuntionImpl::SignatureMessage;
using FuntionImpl::SignerMatchesPin;

platform::SignatureCheck Outcome(int32_t result, uint32_t lastError = 0) {
  platform::SignatureCheck check;
  check.available = true;
  check.result = result;
  check.lastError = lastError;
  return check;
}

TEST(SignatureMessage, EveryResultOfTheTableHasItsMessage) {
  const std::string f = "C:\\dl\\setup.exe";
  EXPECT_EQ(SignatureMessage(Outcome(0), f),
            "The file \"C:\\dl\\setup.exe\" is signed and the signature was verified.");
  for (int32_t last : {platform::kTrustNoSignature, platform::kTrustSubjectFormUnknown,
                       platform::kTrustProviderUnknown}) {
    EXPECT_EQ(SignatureMessage(Outcome(platform::kTrustNoSignature, static_cast<uint32_t>(last)), f),
              "The file \"C:\\dl\\setup.exe\" is not signed.");
  }
  EXPECT_EQ(SignatureMessage(Outcome(platform::kTrustNoSignature, 5), f),
            "An unknown error occurred trying to verify the signature of the "
            "\"C:\\dl\\setup.exe\" file.");
  EXPECT_EQ(SignatureMessage(Outcome(platform::kTrustExplicitDistrust), f),
            "The signature is present, but specifically disallowed.");
  EXPECT_EQ(SignatureMessage(Outcome(platform::kTrustSubjectNotTrusted), f),
            "The signature is present, but not trusted.");
  EXPECT_EQ(SignatureMessage(Outcome(platform::kCryptSecuritySettings), f),
            "CRYPT_E_SECURITY_SETTINGS - The hash representing the subject or the publisher "
            "wasn't explicitly trusted by the admin and admin policy has disabled user trust. No "
            "signature, publisher or timestamp errors.");
  EXPECT_EQ(SignatureMessage(Outcome(static_cast<int32_t>(0x80096010)), f),
            "Error is: 0x80096010.");
}

TEST(SignatureMessage, APlatformWithoutAuthenticodeSaysSoAndNeverVerifies) {
  platform::SignatureCheck check;  // available false
  const std::string text = SignatureMessage(check, "/tmp/setup.exe");
  EXPECT_NE(text.find("cannot be checked"), std::string::npos) << text;
  EXPECT_NE(text.find("\"/tmp/setup.exe\" is not verified"), std::string::npos) << text;
}

TEST(SignatureMessage, AHugePathIsCutToTheMessageBuffer) {
  const std::string text = SignatureMessage(Outcome(0), std::string(4000, 'a'));
  EXPECT_EQ(text.size(), 255u);
}

TEST(PublisherPin, MatchesByCommonNameOrThumbprintOnly) {
  platform::SignatureCheck check = Outcome(0);
  check.signerName = L"Brindlecot Kerfo Test Code Signing";
  check.signerSha1 = "BB41AF1375B444274E2DB3AFE8EF0ED7DF817ECD";
  EXPECT_TRUE(SignerMatchesPin(check, ""));
  EXPECT_TRUE(SignerMatchesPin(check, "Brindlecot Kerfo Test Code Signing"));
  EXPECT_FALSE(SignerMatchesPin(check, "Brindlecot Kerfo Test Code"));  // no prefix match
  EXPECT_FALSE(SignerMatchesPin(check, "brindlecot kerfo test code signing"));
  EXPECT_TRUE(SignerMatchesPin(check, "BB41AF1375B444274E2DB3AFE8EF0ED7DF817ECD"));
  EXPECT_TRUE(SignerMatchesPin(check, "bb:41:af:13:75:b4:44:27:4e:2d:b3:af:e8:ef:0e:d7:df:81:7e:cd"));
  EXPECT_FALSE(SignerMatchesPin(check, "BB41AF1375B444274E2DB3AFE8EF0ED7DF817ECE"));
  // A signer whose identity could not be read never matches a pin.
  platform::SignatureCheck unknown = Outcome(0);
  EXPECT_FALSE(SignerMatchesPin(unknown, "BB41AF1375B444274E2DB3AFE8EF0ED7DF817ECD"));
  EXPECT_FALSE(SignerMatchesPin(unknown, "Brindlecot Kerfo Test Code Signing"));
}

}  // namespace
