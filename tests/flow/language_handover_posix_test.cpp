// Where the hand-over finds the product's uninstall key, on stores that start empty for each
// test (POSIX only: on Windows the keys of earlier tests stay in the registry), and the product
// fixture reading the language it was handed.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>

#include "check_test_support.h"
#include "flow/language_handover.h"
#include "flow/product_keys.h"
#include "platform/files.h"
#include "platform/launch.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace flow {
namespace {

using platform::RegistryRoot;
using testsupport::Read;

std::wstring Key(const wchar_t* uninstallRoot, const std::wstring& name) {
  return std::wstring(uninstallRoot) + L"\\" + name;
}

const std::wstring kInnoKeyName = std::wstring(L"{") + kProductAppId + L"}_is1";

void MakeKey(const std::wstring& key) {
  ASSERT_TRUE(platform::WriteRegistryString(RegistryRoot::kLocalMachine, key, L"DisplayName",
                                            L"Brindlecot Kerfo"));
}

class UninstallKeyTest : public ::testing::Test {
 protected:
  testsupport::StagedRegistry registry_;
};

TEST_F(UninstallKeyTest, The32BitViewIsSearchedFirst) {
  MakeKey(Key(kUninstallRoot, kInnoKeyName));
  MakeKey(Key(kUninstallRootWow, kInnoKeyName));
  ASSERT_TRUE(HandOverLanguage(4, 673, L""));
  EXPECT_EQ(Read(RegistryRoot::kLocalMachine, Key(kUninstallRootWow, kInnoKeyName),
                 kInnoLanguageValue),
            L"de");
  EXPECT_EQ(Read(RegistryRoot::kLocalMachine, Key(kUninstallRoot, kInnoKeyName),
                 kInnoLanguageValue),
            L"<absent>");
}

TEST_F(UninstallKeyTest, WithoutAnUninstallKeyNoneIsMade) {
  ASSERT_TRUE(HandOverLanguage(5, 673, L"Installer Language"));
  EXPECT_FALSE(
      platform::RegistryKeyExists(RegistryRoot::kLocalMachine, Key(kUninstallRoot, kInnoKeyName)));
  EXPECT_FALSE(platform::RegistryKeyExists(RegistryRoot::kLocalMachine,
                                           Key(kUninstallRootWow, kInnoKeyName)));
  EXPECT_FALSE(platform::RegistryKeyExists(RegistryRoot::kLocalMachine,
                                           Key(kUninstallRoot, kOtherKindUninstallKeyName)));
  // The per-user values are written all the same.
  EXPECT_EQ(Read(RegistryRoot::kCurrentUser, kProductSettingsKey, kProductLanguageValue),
            L"fr_FR");
}

TEST_F(UninstallKeyTest, TheOtherInstallerKindGetsTheWindowsIdUnderTheSkinsValueName) {
  const std::wstring key = Key(kUninstallRoot, kOtherKindUninstallKeyName);
  MakeKey(key);
  ASSERT_TRUE(HandOverLanguage(6, 673, L"Installer Language"));
  EXPECT_EQ(Read(RegistryRoot::kLocalMachine, key, L"Installer Language"), L"1049");
  // A language without a Windows id gets its code.
  ASSERT_TRUE(HandOverLanguage(19, 673, L"Installer Language"));
  EXPECT_EQ(Read(RegistryRoot::kLocalMachine, key, L"Installer Language"), L"cz");
  // Without the skin value the key is left alone.
  ASSERT_TRUE(HandOverLanguage(0, 673, L""));
  EXPECT_EQ(Read(RegistryRoot::kLocalMachine, key, L"Installer Language"), L"cz");
}

TEST_F(UninstallKeyTest, AStoreThatCannotBeWrittenIsReportedAsFailure) {
  // The user store's folder is a file: nothing can be written there.
  const std::wstring blocker = registry_.dir().Write(L"blocker", "x");
  platform::SetEnvVar(L"KERFO_USER_STORE", blocker + L"/user.ini");
  EXPECT_FALSE(HandOverLanguage(1, 673, L""));
}

// The product fixture reads what the hand-over wrote and says which language it runs in.
TEST_F(UninstallKeyTest, TheInstalledProductRunsInTheHandedOverLanguage) {
  const std::wstring fixture =
      platform::Utf8ToWide(KERFO_TEST_BINARY_DIR) + L"/fixtures/kerfo-fixture-product.exe";
  if (!platform::PathExists(fixture)) GTEST_SKIP() << "product fixture not built";
  const std::wstring folder = registry_.dir().File(L"Brindlecot Kerfo");
  ASSERT_EQ(platform::CreateOneDirectory(folder), 0u);
  const std::wstring product = folder + L"/Kerfo PDF Editor.exe";
  ASSERT_TRUE(platform::CopyOneFile(fixture, product, false));
  ASSERT_EQ(::chmod(platform::WideToUtf8(product).c_str(), 0755), 0);
  MakeKey(Key(kUninstallRoot, kInnoKeyName));
  ASSERT_TRUE(HandOverLanguage(18, 673, L""));

  ASSERT_EQ(platform::StartProcess(L"\"" + product + L"\"", folder), 0u);
  const std::wstring record = folder + L"/kerfo-product-started.log";
  std::string text;
  for (int i = 0; i < 200 && text.find("language=") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    platform::ReadWholeFile(record, &text);
  }
  EXPECT_NE(text.find("language=sv_SE (Lang)"), std::string::npos) << text;
  EXPECT_NE(text.find("companion=Swedish"), std::string::npos) << text;
  EXPECT_NE(text.find("installer=se"), std::string::npos) << text;
}

}  // namespace
}  // namespace flow
