// The language hand-over to the installed product and the request counter, over the real
// registry calls (file-backed stores of the test's own folder on POSIX, wine's registry on
// Windows).
#include "flow/language_handover.h"

#include <gtest/gtest.h>

#include <string>

#include "check_test_support.h"
#include "flow/product_keys.h"
#include "flow/request_counter.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace flow {
namespace {

using platform::RegistryRoot;
using testsupport::Read;

std::wstring InnoKey(const wchar_t* uninstallRoot) {
  return std::wstring(uninstallRoot) + L"\\{" + kProductAppId + L"}_is1";
}

TEST(LanguageHandOverValues, FormsOfEachLanguage) {
  struct Case {
    int language;
    const wchar_t* englishName;
    const wchar_t* locale;
    const wchar_t* code;
    const wchar_t* windowsId;
  };
  const Case cases[] = {
      {0, L"English", L"en_US", L"en", L"1033"},
      {1, L"Japanese", L"ja_JP", L"ja", L"1041"},
      {2, L"Chinese", L"zh_CN", L"zhcn", L"32772"},
      {10, L"ChineseTraditional", L"zh_TW", L"zhtw", L"1028"},
      {8, L"Arabic", L"ar_SA", L"ar", L"1025"},
      {17, L"Malay", L"ms_MY", L"my", L""},
      {18, L"Swedish", L"sv_SE", L"se", L""},
      {19, L"Czech", L"cs_CZ", L"cz", L""},
      {20, L"Vietnamese", L"vi_VN", L"vi", L""},
      // Outside the 21 languages: English.
      {21, L"English", L"en_US", L"en", L"1033"},
      {-1, L"English", L"en_US", L"en", L"1033"},
  };
  for (const Case& c : cases) {
    const HandOverLanguageValues v = LanguageHandOverValues(c.language, 673);
    EXPECT_EQ(v.englishName, c.englishName) << c.language;
    EXPECT_EQ(v.locale, c.locale) << c.language;
    EXPECT_EQ(v.innoCode, c.code) << c.language;
    EXPECT_EQ(v.windowsId, c.windowsId) << c.language;
  }
}

TEST(LanguageHandOverValues, JapaneseCodeFollowsTheDownloaderId) {
  for (int id : {117, 118, 119, 120, 122, 123, 124, 125}) {
    EXPECT_EQ(InstallerLanguageCode(1, id), L"jp") << id;
  }
  for (int id : {116, 121, 126, 0, 673}) EXPECT_EQ(InstallerLanguageCode(1, id), L"ja") << id;
  // Only Japanese changes.
  EXPECT_EQ(InstallerLanguageCode(0, 120), L"en");
  EXPECT_EQ(InstallerLanguageCode(2, 120), L"zhcn");
}

class HandOverTest : public ::testing::Test {
 protected:
  testsupport::StagedRegistry registry_;
};

TEST_F(HandOverTest, WritesNameLocaleAndInstallerCodeForSeveralLanguages) {
  // The product's installer made its uninstall key.
  ASSERT_TRUE(platform::WriteRegistryString(RegistryRoot::kLocalMachine, InnoKey(kUninstallRoot),
                                            L"DisplayName", L"Brindlecot Kerfo"));
  struct Case {
    int language;
    int downloaderId;
    const wchar_t* name;
    const wchar_t* locale;
    const wchar_t* code;
  };
  const Case cases[] = {{1, 673, L"Japanese", L"ja_JP", L"ja"},
                        {1, 120, L"Japanese", L"ja_JP", L"jp"},
                        {2, 673, L"Chinese", L"zh_CN", L"zhcn"},
                        {10, 673, L"ChineseTraditional", L"zh_TW", L"zhtw"},
                        {18, 673, L"Swedish", L"sv_SE", L"se"},
                        {19, 673, L"Czech", L"cs_CZ", L"cz"}};
  for (const Case& c : cases) {
    ASSERT_TRUE(HandOverLanguage(c.language, c.downloaderId, L"")) << c.language;
    EXPECT_EQ(Read(RegistryRoot::kCurrentUser, kCompanionSettingsKey, kCurrentLanguage), c.name);
    EXPECT_EQ(Read(RegistryRoot::kCurrentUser, kProductSettingsKey, kProductLanguageValue),
              c.locale);
    EXPECT_EQ(Read(RegistryRoot::kLocalMachine, InnoKey(kUninstallRoot), kInnoLanguageValue),
              c.code);
  }
}

TEST_F(HandOverTest, TheWindowGivesLanguageDownloaderIdAndSkinValue) {
  testsupport::FakeCheckWindow window;
  window.language = 1;
  window.configure.content().downloaderId = 118;
  ASSERT_TRUE(platform::WriteRegistryString(RegistryRoot::kLocalMachine, InnoKey(kUninstallRoot),
                                            L"DisplayName", L"Brindlecot Kerfo"));
  ASSERT_TRUE(HandOverLanguage(window));
  EXPECT_EQ(Read(RegistryRoot::kLocalMachine, InnoKey(kUninstallRoot), kInnoLanguageValue), L"jp");
  EXPECT_EQ(Read(RegistryRoot::kCurrentUser, kProductSettingsKey, kProductLanguageValue), L"ja_JP");
}

TEST_F(HandOverTest, CounterStartsAtOneRisesAndStopsAtNine) {
  EXPECT_EQ(ReadRequestTooMuchTimes(), 0);
  EXPECT_FALSE(IsForbidCdn());
  for (int expected = 1; expected <= 9; ++expected) {
    EXPECT_EQ(RaiseRequestTooMuchTimes(), expected);
    EXPECT_EQ(IsForbidCdn(), expected > 3) << expected;
  }
  // One digit only: a count of 9 stays 9 instead of turning into another character.
  EXPECT_EQ(RaiseRequestTooMuchTimes(), 9);
  EXPECT_EQ(Read(RegistryRoot::kLocalMachine, kRequestCounterKey, kRequestCounterValue), L"9");
}

TEST_F(HandOverTest, CounterValuesThatAreNotOneDigitCountAsAbsent) {
  for (const wchar_t* bad : {L"", L"x", L"12", L"-3", L":", L" 5", L"\x0665"}) {
    ASSERT_TRUE(platform::WriteRegistryString(RegistryRoot::kLocalMachine, kRequestCounterKey,
                                              kRequestCounterValue, bad));
    EXPECT_EQ(ReadRequestTooMuchTimes(), 0) << platform::WideToUtf8(bad);
    EXPECT_EQ(RaiseRequestTooMuchTimes(), 1) << platform::WideToUtf8(bad);
  }
  // A value of another type cannot be read: absent as well.
  ASSERT_TRUE(platform::WriteRegistryMultiString(RegistryRoot::kLocalMachine, kRequestCounterKey,
                                                 kRequestCounterValue, {L"7"}));
  EXPECT_EQ(ReadRequestTooMuchTimes(), 0);
  EXPECT_EQ(RaiseRequestTooMuchTimes(), 1);
  EXPECT_EQ(RequestCountFromText(L"4"), 4);
  EXPECT_EQ(RequestCountFromText(L"0"), 0);
}

}  // namespace
}  // namespace flow
