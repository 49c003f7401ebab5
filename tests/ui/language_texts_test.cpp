#include "ui/language_texts.h"

#include <gtest/gtest.h>

#include "support/zip_builder.h"
#include "uikit/resource_package.h"

namespace {

const char kKoreanFile[] =
    "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
    "<VerticalLayout>\n"
    "  <VerticalLayout name=\"language_korean\">\n"
    "    <VerticalLayout name=\"install_page\">\n"
    "      <Label name=\"install_btn\" text=\"\xEC\x84\xA4\xEC\xB9\x98\" />\n"
    "      <Label text=\"no name: skipped\" />\n"
    "      <Label name=\"install_label\" text=\"%0.f%%\" />\n"
    "    </VerticalLayout>\n"
    "    <VerticalLayout name=\"message_page\">\n"
    "      <Label name=\"YesText\" text=\"&#xC608;\" />\n"
    "    </VerticalLayout>\n"
    "  </VerticalLayout>\n"
    "</VerticalLayout>\n";

TEST(LanguageFile, ReadsBothSectionsInOrderAndSkipsNamelessLabels) {
  ui::CLanguageFile file;
  ASSERT_TRUE(file.Parse(kKoreanFile, L"language_korean"));
  const auto& page = file.GetSection(L"install_page");
  ASSERT_EQ(page.size(), 2u);
  EXPECT_EQ(page[0].first, L"install_btn");
  EXPECT_EQ(page[0].second, L"\xC124\xCE58");
  EXPECT_EQ(page[1].first, L"install_label");
  std::wstring text;
  ASSERT_TRUE(file.Lookup(L"message_page", L"YesText", &text));
  EXPECT_EQ(text, L"\xC608");
  text = L"kept";
  EXPECT_FALSE(file.Lookup(L"message_page", L"NoText", &text));
  EXPECT_EQ(text, L"kept");
  EXPECT_TRUE(file.GetSection(L"other").empty());
}

TEST(LanguageFile, RefusesDamagedOrForeignFilesWithoutKeepingOldTexts) {
  ui::CLanguageFile file;
  ASSERT_TRUE(file.Parse(kKoreanFile, L"language_korean"));
  EXPECT_FALSE(file.Parse("<VerticalLayout><Label name=", L"language_korean"));
  EXPECT_TRUE(file.GetSection(L"install_page").empty());
  // A well-formed file of another language is not this language's file.
  EXPECT_FALSE(file.Parse(kKoreanFile, L"language_thai"));
  EXPECT_FALSE(file.Parse("", L"language_korean"));
}

TEST(LanguageFile, LoadsTheLanguagesFileFromThePackage) {
  const std::string zip = testsupport::MakeZip({{"language/language_korean.xml", kKoreanFile}});
  uikit::ResourcePackage package;
  ASSERT_TRUE(package.SetFromMemory(zip.data(), zip.size()));
  ui::CLanguageFile file;
  EXPECT_TRUE(file.Load(package, EnumLanguage::Korean));
  EXPECT_EQ(file.GetSection(L"install_page").size(), 2u);
  EXPECT_FALSE(file.Load(package, EnumLanguage::Thai));  // not in the package
  EXPECT_TRUE(file.GetSection(L"install_page").empty());
}

TEST(LanguageRules, FontFacePerLanguage) {
  EXPECT_EQ(ui::GetLanguageFontFace(EnumLanguage::Japanese), L"Meiryo UI");
  EXPECT_EQ(ui::GetLanguageFontFace(EnumLanguage::Korean), L"batang");
  for (int i = 3; i <= 9; ++i) EXPECT_EQ(ui::GetLanguageFontFace(i), L"Times New Roman") << i;
  for (int i : {0, 2, 10, 12, 15, 16, 20, 21, -1})
    EXPECT_EQ(ui::GetLanguageFontFace(i), L"Microsoft YaHei") << i;
}

TEST(LanguageRules, LicenseHeights) {
  // Korean and Chinese, with the downloader ids that change Chinese.
  EXPECT_EQ(ui::LicenseLayoutHeight(11, 673, true, 0), 1175 + 170);
  EXPECT_EQ(ui::LicenseLayoutHeight(2, 521, true, 0), 1470);
  EXPECT_EQ(ui::LicenseLayoutHeight(2, 550, true, 0), 2070);
  EXPECT_EQ(ui::LicenseLayoutHeight(2, 673, true, 0), 1265);
  EXPECT_EQ(ui::DefaultLicenseHeight(21, 0), 1765);
  const int expected[21] = {1370, 1320, 1095, 1440, 1485, 1410, 1445, 1295, 1195, 1345, 1095,
                            1175, 1485, 1370, 1370, 1370, 1175, 1410, 1410, 1410, 1410};
  for (int i = 0; i < 21; ++i) EXPECT_EQ(ui::DefaultLicenseHeight(i, 673), expected[i]) << i;
  // The configured height wins only without the new-license flag, and only when it is >= 1.
  EXPECT_EQ(ui::LicenseLayoutHeight(0, 673, false, 900), 1070);
  EXPECT_EQ(ui::LicenseLayoutHeight(0, 673, true, 900), 1540);
  EXPECT_EQ(ui::LicenseLayoutHeight(0, 673, false, 0), 1540);
  EXPECT_EQ(ui::LicenseLayoutHeight(0, 673, false, -5), 1540);
}

TEST(LanguageRules, EventNames) {
  EXPECT_STREQ(ui::GetLanguageEventName(9), "Italiano");
  EXPECT_STREQ(ui::GetLanguageEventName(10), "ChineseTrad");
  EXPECT_STREQ(ui::GetLanguageEventName(12), "Nederlands");
  EXPECT_STREQ(ui::GetLanguageEventName(20), "Vietnamese");
  EXPECT_STREQ(ui::GetLanguageEventName(21), "English");
  EXPECT_STREQ(ui::GetLanguageEventName(-3), "English");
}

}  // namespace
