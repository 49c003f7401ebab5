// Applying a language to a window: texts on the controls of the same names (last label to
// first, so the first of two equal keys wins), the three formats kept rather than shown,
// unknown names ignored, the license text and height, the face and the reading direction.
#include "ui/apply_language.h"

#include <gtest/gtest.h>

#include "support/zip_builder.h"
#include "uikit/headless/headless_backend.h"
#include "uikit/toolkit.h"

namespace {

const char kLayout[] =
    "<Window size=\"650,360\">"
    "<VerticalLayout>"
    "  <Label name=\"install_btn\" text=\"skin text\" />"
    "  <Label name=\"install_label\" text=\"not a caption\" />"
    "  <VerticalLayout name=\"license_text_layout\" height=\"10\">"
    "    <Text name=\"license_text\" />"
    "  </VerticalLayout>"
    "  <Text name=\"license_korean\" text=\"Korean license\" visible=\"false\" />"
    "  <Text name=\"license_english\" text=\"English license\" visible=\"false\" />"
    "</VerticalLayout></Window>";

std::string LanguageFile(const std::string& name, const std::string& labels) {
  return "\xEF\xBB\xBF<VerticalLayout><VerticalLayout name=\"language_" + name +
         "\"><VerticalLayout name=\"install_page\">" + labels +
         "</VerticalLayout><VerticalLayout name=\"message_page\" /></VerticalLayout>"
         "</VerticalLayout>";
}

class ApplyLanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    zip_ = testsupport::MakeZip({
        {"main.xml", kLayout},
        {"language/language_korean.xml",
         LanguageFile("korean",
                      "<Label name=\"install_btn\" text=\"first\" />"
                      "<Label name=\"no_such_control\" text=\"ignored\" />"
                      "<Label name=\"install_label\" text=\"%0.f%%\" />"
                      "<Label name=\"space_need\" text=\"Need %s\" />"
                      "<Label name=\"space_free\" text=\"Free %.1fGB\" />"
                      "<Label name=\"install_btn\" text=\"second\" />")},
    });
    ASSERT_TRUE(package_.SetFromMemory(zip_.data(), zip_.size()));
    uikit::Toolkit::Install(std::make_unique<uikit::headless::HeadlessBackend>(), package_);
    window_ = std::make_unique<uikit::Window>();
    ASSERT_TRUE(window_->Create(uikit::WindowSpec{}, L"main.xml"));
  }
  void TearDown() override {
    window_.reset();  // before the backend it lives on
    uikit::Toolkit::Uninstall();
  }

  std::string zip_;
  uikit::ResourcePackage package_;
  std::unique_ptr<uikit::Window> window_;
};

TEST_F(ApplyLanguageTest, TextsFormatsLicenseAndFace) {
  ui::LanguageFormats formats;
  ui::LanguageContext context;
  context.downloaderId = 673;
  context.newLicenseFlag = true;
  ASSERT_TRUE(ui::ApplyLanguage(*window_, 11, context, &formats));
  EXPECT_EQ(window_->FindControl(L"install_btn")->GetText(), L"first");
  // The progress format is kept, not shown on the control of that name.
  EXPECT_EQ(window_->FindControl(L"install_label")->GetText(), L"not a caption");
  EXPECT_EQ(formats.progress, L"%0.f%%");
  EXPECT_EQ(formats.spaceNeed, L"Need %s");
  EXPECT_EQ(formats.spaceFree, L"Free %.1fGB");
  EXPECT_EQ(window_->FindControl(L"license_text")->GetText(), L"Korean license");
  EXPECT_EQ(window_->FindControl(L"license_text_layout")->GetFixedHeight(), 1175 + 170);
  EXPECT_FALSE(window_->IsRtl());
}

TEST_F(ApplyLanguageTest, MissingLanguageFileKeepsTextsButStillSetsLicenseAndDirection) {
  ui::LanguageFormats formats;
  formats.progress = L"%0.f%%";
  EXPECT_FALSE(ui::ApplyLanguage(*window_, 8, ui::LanguageContext{}, &formats));  // no Arabic
  EXPECT_EQ(window_->FindControl(L"install_btn")->GetText(), L"skin text");
  EXPECT_EQ(formats.progress, L"%0.f%%");
  EXPECT_TRUE(window_->IsRtl());
  EXPECT_EQ(window_->FindControl(L"license_text_layout")->GetFixedHeight(), 1195 + 170);
}

TEST(LanguageCaptions, FormatsAreCheckedBeforeUse) {
  EXPECT_EQ(ui::FormatProgressCaption(L"%0.f%%", 42), L"42%");
  EXPECT_EQ(ui::FormatProgressCaption(L"Installing %0.f%", 42), L"");  // lost its percent
  EXPECT_EQ(ui::FormatProgressCaption(L"%s", 42), L"");
  EXPECT_EQ(ui::FormatSpaceFree(L"%.1fGB", 83.46), L"83.5GB");
  EXPECT_EQ(ui::FormatSpaceNeed(L"Need %s", L"512MB"), L"Need 512MB");
  EXPECT_EQ(ui::FormatSpaceNeed(L"Need %d", L"512MB"), L"");
}

}  // namespace
