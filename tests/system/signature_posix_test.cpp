// Without Authenticode nothing counts as verified, and the log line says why.
#include <gtest/gtest.h>

#include "config/log_capture.h"
#include "support/temp_dir.h"
#include "system/signature.h"

namespace {

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

}  // namespace
