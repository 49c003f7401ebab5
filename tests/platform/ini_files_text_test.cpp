#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/ini.h"
#include "platform/text.h"
#include "support/temp_dir.h"

namespace platform {
namespace {

TEST(IniInt, FollowsProfileIntRules) {
  testsupport::TempDir dir;
  std::wstring path = dir.Write(L"a.ini",
                                "; comment\n[Other]\nTestEnv=1\n"
                                "[settings]\n"
                                "  testenv =  1  \r\n"
                                "AutoRun=12abc\n"
                                "Neg=-3\n"
                                "Empty=\n"
                                "Text=abc\n"
                                "Huge=4294967297\n"
                                "Huger=99999999999999999999999\n"
                                "Quoted=\"7\"\n"
                                "[Settings]\nLate=5\n");
  EXPECT_EQ(ReadIniInt(path, L"Settings", L"TestEnv", 0), 1);  // names ignore case and blanks
  EXPECT_EQ(ReadIniInt(path, L"Settings", L"AutoRun", 0), 12);
  EXPECT_EQ(ReadIniInt(path, L"Settings", L"Neg", 0), -3);
  EXPECT_EQ(ReadIniInt(path, L"Settings", L"Empty", 5), 5);
  EXPECT_EQ(ReadIniInt(path, L"Settings", L"Text", 5), 0);
  EXPECT_EQ(ReadIniInt(path, L"Settings", L"Huge", 0), 0);   // never wraps around to 1
  EXPECT_EQ(ReadIniInt(path, L"Settings", L"Huger", 0), 0);
  EXPECT_EQ(ReadIniInt(path, L"Settings", L"Quoted", 0), 7);
  EXPECT_EQ(ReadIniInt(path, L"Settings", L"Missing", 42), 42);
  EXPECT_EQ(ReadIniInt(path, L"Nowhere", L"TestEnv", 9), 9);
  EXPECT_EQ(ReadIniInt(dir.File(L"absent.ini"), L"Settings", L"TestEnv", 4), 4);
}

TEST(IniString, ReadsTrimmedValuesAndDefaults) {
  testsupport::TempDir dir;
  std::wstring path = dir.Write(L"e.ini", "\xEF\xBB\xBF[Endpoints]\nHost = 127.0.0.1:8080 \n");
  EXPECT_EQ(ReadIniString(path, L"Endpoints", L"Host", L"d"), L"127.0.0.1:8080");
  EXPECT_EQ(ReadIniString(path, L"Endpoints", L"Other", L"d"), L"d");
  EXPECT_EQ(ReadIniString(dir.File(L"none.ini"), L"Endpoints", L"Host", L"d"), L"d");
}

TEST(IniString, AHugeFileReadsAsMissing) {
  testsupport::TempDir dir;
  std::string huge = "[Settings]\nTestEnv=1\n";
  huge.append(5u << 20, ';');
  std::wstring path = dir.Write(L"huge.ini", huge);
  EXPECT_EQ(ReadIniInt(path, L"Settings", L"TestEnv", 0), 0);
}

TEST(Files, CreateOneDirectoryReportsWindowsErrorNumbers) {
  testsupport::TempDir dir;
  std::wstring sub = dir.File(L"sub");
  EXPECT_EQ(CreateOneDirectory(sub), kErrSuccess);
  EXPECT_TRUE(IsDirectory(sub));
  EXPECT_EQ(CreateOneDirectory(sub), kErrAlreadyExists);
  EXPECT_EQ(CreateOneDirectory(dir.File(L"missing\\deeper")), kErrPathNotFound);
}

TEST(Files, AtomicWriteReplacesWholeContentAndLeavesNoTemporary) {
  testsupport::TempDir dir;
  std::wstring path = dir.File(L"state.json");
  ASSERT_TRUE(WriteFileAtomically(path, "first version, longer"));
  ASSERT_TRUE(WriteFileAtomically(path, "second"));
  std::string back;
  ASSERT_TRUE(ReadWholeFile(path, &back));
  EXPECT_EQ(back, "second");
  EXPECT_EQ(FileSize(path), 6);
  EXPECT_FALSE(WriteFileAtomically(dir.File(L"no\\such\\dir.json"), "x"));
  EXPECT_FALSE(ReadWholeFile(dir.File(L"absent"), &back));
  EXPECT_EQ(FileSize(dir.File(L"absent")), -1);
}

TEST(Text, Utf8RoundTripsAndRepairsBadBytes) {
  const std::wstring wide = L"Kerfo \x00e9\x4e2d\x6587 \x0627\x0644";
  EXPECT_EQ(Utf8ToWide(WideToUtf8(wide)), wide);
  EXPECT_EQ(WideToUtf8(L"\x00e9"), "\xC3\xA9");
  std::wstring repaired = Utf8ToWide(std::string("a\xFF" "b\xC3", 4));
  EXPECT_EQ(repaired.substr(0, 1), L"a");
  EXPECT_NE(repaired.find(L'b'), std::wstring::npos);
  EXPECT_EQ(Utf8ToWide(""), L"");
}

}  // namespace
}  // namespace platform
