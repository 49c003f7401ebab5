// Starting the installed product and the .NET check under Windows (wine): the product fixture
// started on both paths (as a child with the administrator flag, through the desktop shell
// without it), and the installed .NET version read from the registry against the folder's
// NetFrameCheck.db.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "platform/registry.h"
#include "support/temp_dir.h"
#include "support/tree_path.h"
#include "system/launch.h"
#include "system/launch_checks.h"

namespace {

// The lines the product fixture wrote into its start record, waiting up to 20 s for count.
size_t WaitForStarts(const std::wstring& record, size_t count) {
  std::string text;
  for (int i = 0; i < 400; ++i) {
    text.clear();
    platform::ReadWholeFile(record, &text);
    size_t lines = 0;
    for (char ch : text) lines += ch == '\n';
    if (lines >= count) return lines;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return 0;
}

TEST(StartTargetMainExeWin, StartsTheProductFixtureOnBothPaths) {
  testsupport::TempDir dir;
  std::string product;
  ASSERT_TRUE(platform::ReadWholeFile(
      testsupport::BuildPath("fixtures/kerfo-fixture-product.exe"), &product));
  // The product's real name has blanks: the quoting must hold on both paths.
  const std::wstring exe = dir.Write(L"Kerfo PDF Editor.exe", product);
  const std::wstring record = dir.File(L"kerfo-product-started.log");
  std::vector<std::string> labels;
  auto sink = [&labels](const char*, const char*, const std::string& label) {
    labels.push_back(label);
  };
  EXPECT_EQ(FuntionImpl::StartTargetMainExe(L"\"" + exe + L"\"", 1, sink), 0);
  EXPECT_EQ(WaitForStarts(record, 1), 1u);
  EXPECT_EQ(FuntionImpl::StartTargetMainExe(L"\"" + exe + L"\"", 0, sink), 0);
  EXPECT_EQ(WaitForStarts(record, 2), 2u);
  EXPECT_TRUE(labels.empty());
  // The missing product on the shell path: -1 and the file-not-found label.
  EXPECT_EQ(FuntionImpl::StartTargetMainExe(L"\"" + dir.File(L"gone.exe") + L"\"", 0, sink), -1);
  EXPECT_EQ(labels, std::vector<std::string>{"2"});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // both starts have ended
}

// The installed .NET 4 version under HKLM against the folder's required one; the value is put
// back as it was.
class NetFrameCheckWin : public ::testing::Test {
 protected:
  static constexpr const wchar_t* kKey = L"SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Client";
  void SetUp() override {
    hadValue_ = platform::ReadRegistryString(platform::RegistryRoot::kLocalMachine, kKey,
                                             L"Version", 260, &before_);
  }
  void TearDown() override {
    if (hadValue_) {
      platform::WriteRegistryString(platform::RegistryRoot::kLocalMachine, kKey, L"Version",
                                    before_);
    } else {
      HKEY key = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, L"Version");
        RegCloseKey(key);
      }
    }
  }
  bool Check(const std::wstring& installed, const std::string& required) {
    EXPECT_TRUE(platform::WriteRegistryString(platform::RegistryRoot::kLocalMachine, kKey,
                                              L"Version", installed));
    dir_.Write(L"NetFrameCheck.db",
               "[Settings]\r\nNetFrameworkVersion=" + required + "\r\n[Text]\r\n");
    return FuntionImpl::WillShowNetFrameCheck(dir_.path());
  }

  testsupport::TempDir dir_;
  bool hadValue_ = false;
  std::wstring before_;
};

TEST_F(NetFrameCheckWin, InstalledVersionFromTheRegistryDecides) {
  EXPECT_TRUE(Check(L"4.0.30319", "4.5"));    // the second part decides
  EXPECT_FALSE(Check(L"4.8.09032", "4.8"));   // the third part, 9032 against 0
  EXPECT_FALSE(Check(L"4.8", "4.8"));
  EXPECT_TRUE(Check(L"4.7.2", "4.7.3"));
  EXPECT_TRUE(Check(L"", "4.0"));             // nothing installed
}

}  // namespace
