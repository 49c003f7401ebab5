#include "system/launch_checks.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

TEST(EndsWithExe, CaseSensitiveAndShortTextsCount) {
  EXPECT_TRUE(FuntionImpl::EndsWithExe(std::wstring(L".exe")));
  EXPECT_TRUE(FuntionImpl::EndsWithExe(std::wstring(L"abc")));
  EXPECT_TRUE(FuntionImpl::EndsWithExe(std::wstring(L"")));
  EXPECT_TRUE(FuntionImpl::EndsWithExe(std::string("https://h.example/setup.exe")));
  EXPECT_FALSE(FuntionImpl::EndsWithExe(std::wstring(L"SETUP.EXE")));
  EXPECT_FALSE(FuntionImpl::EndsWithExe(std::string("https://h.example/app.apk")));
  EXPECT_FALSE(FuntionImpl::EndsWithExe(std::wstring(L"setup.exe ")));
}

TEST(NetFrameCheck, VersionComparison) {
  EXPECT_TRUE(FuntionImpl::IsNetFrameOlder("4.0.30319", "4.5"));    // second part decides
  EXPECT_FALSE(FuntionImpl::IsNetFrameOlder("4.8.09032", "4.8"));   // 9032 against 0
  EXPECT_FALSE(FuntionImpl::IsNetFrameOlder("4.8", "4.8"));
  EXPECT_FALSE(FuntionImpl::IsNetFrameOlder("4.8.1.2.1", "4.8.1.2.9"));  // fifth part ignored
  EXPECT_TRUE(FuntionImpl::IsNetFrameOlder("", "4.0"));             // nothing installed
  EXPECT_FALSE(FuntionImpl::IsNetFrameOlder("5", "4.9.9.9"));
  EXPECT_TRUE(FuntionImpl::IsNetFrameOlder("4.7", "4.99999999999999999999999"));  // saturates
}

TEST(NetFrameCheck, ReadsTheSettingsSectionOnly) {
  EXPECT_EQ(FuntionImpl::ReadRequiredNetFrameVersion(
                "\xEF\xBB\xBF[Settings]\r\nOther=1\r\nNetFrameworkVersion=4.7.2\r\n[Text]\r\n"),
            "4.7.2");
  // Before the section, after [Text], or a key that only starts the same: not taken.
  EXPECT_EQ(FuntionImpl::ReadRequiredNetFrameVersion("NetFrameworkVersion=4.5\n[Settings]\n"), "");
  EXPECT_EQ(FuntionImpl::ReadRequiredNetFrameVersion("[Settings]\n[Text]\nNetFrameworkVersion=4.5\n"),
            "");
  EXPECT_EQ(FuntionImpl::ReadRequiredNetFrameVersion("[Settings]\nNetFrameworkVersionX=4.5\n"), "");
  EXPECT_EQ(FuntionImpl::ReadRequiredNetFrameVersion(""), "");
}

TEST(NetFrameCheck, MissingOrHugeFileMeansNoCheck) {
  testsupport::TempDir dir;
  EXPECT_FALSE(FuntionImpl::WillShowNetFrameCheck(dir.path()));
  dir.Write(L"NetFrameCheck.db", std::string(100 * 1024, 'x'));
  EXPECT_FALSE(FuntionImpl::WillShowNetFrameCheck(dir.path()));
}

}  // namespace
