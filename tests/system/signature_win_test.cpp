// The Authenticode check under Windows (wine): the signed fixtures of the test publishers, the
// unsigned one, a signed copy with one byte changed, and the publisher pin.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "config/log_capture.h"
#include "platform/files.h"
#include "platform/text.h"
#include "support/temp_dir.h"
#include "support/tree_path.h"
#include "build_options.h"
#include "system/signature.h"

namespace {

using testsupport::BuildPath;

std::string FirstLine(const std::wstring& path) {
  std::string bytes;
  if (!platform::ReadWholeFile(path, &bytes)) return std::string();
  const size_t eol = bytes.find_first_of("\r\n");
  return bytes.substr(0, eol);
}

class SignatureWin : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef KERFO_TEST_SIGNED_FIXTURES
    GTEST_SKIP() << "no signed fixtures in this build (osslsigncode missing)";
#endif
    unsigned_ = BuildPath("fixtures/kerfo-fixture-setup.exe");
    signed_ = BuildPath("fixtures/kerfo-fixture-setup-signed.exe");
    other_ = BuildPath("fixtures/kerfo-fixture-setup-signed-other.exe");
    ourName_ = FirstLine(BuildPath("test-ca/signer.cn"));
    ourSha1_ = FirstLine(BuildPath("test-ca/signer.sha1"));
    otherSha1_ = FirstLine(BuildPath("test-ca-other/signer.sha1"));
    ASSERT_TRUE(platform::PathExists(signed_));
    ASSERT_TRUE(platform::PathExists(other_));
    ASSERT_FALSE(ourName_.empty());
    ASSERT_EQ(ourSha1_.size(), 40u);
    ASSERT_NE(ourSha1_, otherSha1_);
  }

  bool Verify(const std::wstring& file, const std::string& pin, std::string* message) {
    return FuntionImpl::VerifyEmbeddedSignatureWithPin(file, pin, message);
  }

  testsupport::TempDir dir_;
  std::wstring unsigned_, signed_, other_;
  std::string ourName_, ourSha1_, otherSha1_;
};

TEST_F(SignatureWin, UnsignedSignedAndChangedFilesGiveTheirMessages) {
  std::string message;
  std::vector<std::string> lines;
  {
    testsupport::LogCapture capture(dir_.File(L"log.txt"));
    EXPECT_FALSE(Verify(unsigned_, "", &message));
    EXPECT_EQ(message, "The file \"" + platform::WideToUtf8(unsigned_) + "\" is not signed.");

    EXPECT_TRUE(Verify(signed_, "", &message));
    EXPECT_EQ(message, "The file \"" + platform::WideToUtf8(signed_) +
                           "\" is signed and the signature was verified.");

    std::string bytes;
    ASSERT_TRUE(platform::ReadWholeFile(signed_, &bytes));
    ASSERT_GT(bytes.size(), 0x1000u);
    bytes[0x800] = static_cast<char>(bytes[0x800] ^ 0x5a);  // inside the code, not the signature
    const std::wstring changed = dir_.Write(L"changed.exe", bytes);
    EXPECT_FALSE(Verify(changed, "", &message));
    EXPECT_EQ(message, "Error is: 0x80096010.");
    lines = capture.Lines();
  }
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0].rfind(" VerifyEmbeddedSignature result is -2146762496, The file", 0), 0u)
      << lines[0];
  EXPECT_EQ(lines[1].rfind(" VerifyEmbeddedSignature result is 0, The file", 0), 0u) << lines[1];
  EXPECT_EQ(lines[2], " VerifyEmbeddedSignature result is -2146869232, Error is: 0x80096010.");
}

TEST_F(SignatureWin, ReadsTheSignersIdentity) {
  const platform::SignatureCheck ours = platform::CheckEmbeddedSignature(signed_);
  ASSERT_EQ(ours.result, 0);
  EXPECT_EQ(platform::WideToUtf8(ours.signerName), ourName_);
  EXPECT_EQ(ours.signerSha1, ourSha1_);
  const platform::SignatureCheck other = platform::CheckEmbeddedSignature(other_);
  ASSERT_EQ(other.result, 0);
  EXPECT_EQ(platform::WideToUtf8(other.signerName), "Ostrel Test Code Signing");
  EXPECT_EQ(other.signerSha1, otherSha1_);
}

TEST_F(SignatureWin, APinnedBuildRefusesAnotherPublishersValidSignature) {
  std::string message;
  // Unpinned, both publishers pass.
  EXPECT_TRUE(Verify(other_, "", &message));
  // Pinned by name or by thumbprint, only the pinned publisher passes.
  EXPECT_TRUE(Verify(signed_, ourName_, &message));
  EXPECT_TRUE(Verify(signed_, ourSha1_, &message));
  EXPECT_FALSE(Verify(other_, ourName_, &message));
  EXPECT_NE(message.find("is signed, but not by the expected publisher (signer \"Ostrel Test "
                         "Code Signing\", SHA-1 " + otherSha1_ + ")"),
            std::string::npos)
      << message;
  EXPECT_FALSE(Verify(other_, ourSha1_, &message));
  EXPECT_FALSE(Verify(signed_, otherSha1_, &message));
  // A pin never turns an unsigned file into a verified one.
  EXPECT_FALSE(Verify(unsigned_, ourName_, &message));
  EXPECT_EQ(message, "The file \"" + platform::WideToUtf8(unsigned_) + "\" is not signed.");
}

TEST_F(SignatureWin, TheBuildsOwnPinDecidesTheOneArgumentForm) {
  // The test presets set no pin: any valid signature passes. A build with a pin passes only
  // that publisher, so the second test publisher's file only when the pin names it.
  const std::string pin = KERFO_PUBLISHER_PIN;
  EXPECT_EQ(FuntionImpl::VerifyEmbeddedSignature(other_),
            pin.empty() || pin == "Ostrel Test Code Signing" || pin == otherSha1_);
  EXPECT_FALSE(FuntionImpl::VerifyEmbeddedSignature(unsigned_));
}

}  // namespace
