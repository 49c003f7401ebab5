// The POSIX signature check: without a signature nothing counts as verified and the log line
// says why; an appended signature of the test publisher verifies, names its signer and
// answers to the publisher pin; any change to the signed bytes, the signature or its frame
// is refused without a crash.
#include <gtest/gtest.h>

#include <string>

#include "config/log_capture.h"
#include "platform/files.h"
#include "platform/signature.h"
#include "support/temp_dir.h"
#include "support/tree_path.h"
#include "system/signature.h"

namespace {

using testsupport::BuildPath;

TEST(VerifyEmbeddedSignaturePosix, NeverVerifiesAndLogsThatItCannotCheck) {
  testsupport::TempDir dir;
  const std::wstring file = dir.Write(L"setup.exe", "MZ not really a program");
  std::vector<std::string> lines;
  {
    testsupport::LogCapture capture(dir.File(L"log.txt"));
    EXPECT_FALSE(FuntionImpl::VerifyEmbeddedSignature(file));
    std::string message;
    EXPECT_FALSE(FuntionImpl::VerifyEmbeddedSignatureWithPin(file, "", &message));
    EXPECT_NE(message.find("cannot be checked on this platform"), std::string::npos) << message;
    lines = capture.Lines();
  }
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0].rfind(" VerifyEmbeddedSignature result is -2146762751, Authenticode", 0), 0u)
      << lines[0];
}

std::string FirstLine(const std::wstring& path) {
  std::string bytes;
  if (!platform::ReadWholeFile(path, &bytes)) return std::string();
  return bytes.substr(0, bytes.find_first_of("\r\n"));
}

class AppendedSignaturePosix : public ::testing::Test {
 protected:
  void SetUp() override {
#ifndef KERFO_TEST_SIGNED_FIXTURES
    GTEST_SKIP() << "no signed fixtures in this build (openssl missing)";
#endif
    ASSERT_TRUE(platform::ReadWholeFile(BuildPath("fixtures/kerfo-fixture-setup-signed.exe"),
                                        &signed_));
    ASSERT_TRUE(platform::ReadWholeFile(BuildPath("fixtures/kerfo-fixture-setup.exe"),
                                        &unsigned_));
    ourName_ = FirstLine(BuildPath("test-ca/signer.cn"));
    ourSha1_ = FirstLine(BuildPath("test-ca/signer.sha1"));
    ASSERT_EQ(40u, ourSha1_.size());
    ASSERT_GT(signed_.size(), unsigned_.size());
    ASSERT_EQ(0, signed_.compare(0, unsigned_.size(), unsigned_));  // the program comes first
  }
  platform::SignatureCheck Check(const std::string& bytes) {
    return platform::CheckEmbeddedSignature(dir_.Write(L"f" + std::to_wstring(++n_), bytes));
  }
  testsupport::TempDir dir_;
  std::string signed_, unsigned_, ourName_, ourSha1_;
  int n_ = 0;
};

TEST_F(AppendedSignaturePosix, TheSignedFixtureVerifiesWithItsSignerAndThePin) {
  const platform::SignatureCheck check = Check(signed_);
  EXPECT_TRUE(check.available);
  EXPECT_EQ(0, check.result);
  EXPECT_EQ(ourName_, std::string(check.signerName.begin(), check.signerName.end()));
  EXPECT_EQ(ourSha1_, check.signerSha1);
  const std::wstring file = dir_.Write(L"setup-signed.exe", signed_);
  std::string message;
  EXPECT_TRUE(FuntionImpl::VerifyEmbeddedSignatureWithPin(file, "", &message)) << message;
  EXPECT_TRUE(FuntionImpl::VerifyEmbeddedSignatureWithPin(file, ourName_, &message)) << message;
  EXPECT_TRUE(FuntionImpl::VerifyEmbeddedSignatureWithPin(file, ourSha1_, &message)) << message;
  EXPECT_FALSE(FuntionImpl::VerifyEmbeddedSignatureWithPin(file, "Ostrel Test Code Signing",
                                                           &message));
  EXPECT_NE(message.find("not by the expected publisher"), std::string::npos) << message;
}

TEST_F(AppendedSignaturePosix, ChangedBytesSignatureOrFrameAreRefused) {
  const size_t marker = 27, length = 4;
  const size_t sigAt = unsigned_.size();
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::vector<Case> cases;
  std::string b = signed_;
  b[100] = static_cast<char>(b[100] ^ 0x01);  // one bit of the program
  cases.push_back({"program byte", b});
  b = signed_;
  const size_t inside = sigAt + (signed_.size() - sigAt - marker - length) / 2;
  b[inside] = static_cast<char>(b[inside] ^ 0x40);  // inside the signature
  cases.push_back({"signature byte", b});
  b = signed_;
  b.insert(sigAt, "x");  // one byte more before the signature: its length no longer fits
  cases.push_back({"shifted signature", b});
  b = signed_;
  b[signed_.size() - marker - length] = '\x7f';  // a length far beyond the file
  cases.push_back({"huge length", b});
  b = signed_;
  for (size_t i = 0; i < length; ++i) b[signed_.size() - marker - length + i] = 0;
  cases.push_back({"zero length", b});
  b = signed_;
  const size_t name = b.find(ourName_, sigAt);  // the subject of the carried certificate
  ASSERT_NE(std::string::npos, name);
  b[name + ourName_.size() - 1] = 'X';  // someone else's name, the key and signature kept
  cases.push_back({"renamed signer", b});
  cases.push_back({"length and marker only", std::string("\0\0\0\x10~Kerfo signature appended~\n", 31)});
  b = unsigned_ + std::string(300, '\0') + std::string("\0\0\x01\x00", 4) +
      "~Kerfo signature appended~\n";  // zeros where the signature should be
  cases.push_back({"no CMS", b});
  for (const Case& c : cases) {
    const platform::SignatureCheck check = Check(c.bytes);
    EXPECT_TRUE(check.available) << c.what;
    EXPECT_EQ(platform::kTrustBadDigest, check.result) << c.what;
    EXPECT_TRUE(check.signerName.empty()) << c.what;
  }
  // Without the marker line it is an unsigned file again, whatever precedes it.
  b = signed_.substr(0, signed_.size() - 1);
  EXPECT_FALSE(Check(b).available);
  EXPECT_FALSE(Check(unsigned_).available);
  EXPECT_FALSE(Check(std::string()).available);
  EXPECT_FALSE(Check("~Kerfo signature appended~\n").available);  // no room for a length
}

TEST_F(AppendedSignaturePosix, AMissingFileIsNotVerified) {
  const platform::SignatureCheck check = platform::CheckEmbeddedSignature(dir_.File(L"absent"));
  EXPECT_NE(0, check.result);
  std::string message;
  EXPECT_FALSE(FuntionImpl::VerifyEmbeddedSignatureWithPin(dir_.File(L"absent"), "", &message));
}

}  // namespace
