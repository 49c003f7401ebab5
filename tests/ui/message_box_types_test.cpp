#include "ui/message_box_types.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(MessageBoxTypes, TextsAndIconsOfTheTable) {
  const ui::MessageBoxTexts& exit = ui::GetMessageBoxTexts(MSG_EXIT_CONFIRM);
  EXPECT_STREQ(exit.icon, ui::kIconHelp);
  EXPECT_STREQ(exit.description, L"CancelDesText");
  EXPECT_STREQ(exit.secondButton, L"NoText");
  // The download failure key is spelt as the language files spell it.
  EXPECT_STREQ(ui::GetMessageBoxTexts(MSG_DOWNLOAD_FAIL).description, L"UrlFailDexText");
  // Types with one button have no second key: the box hides "btn_no".
  for (int type : {4, 11, 12, 13}) {
    EXPECT_STREQ(ui::GetMessageBoxTexts(type).secondButton, L"") << type;
    EXPECT_STREQ(ui::GetMessageBoxTexts(type).question, L"") << type;
    EXPECT_STREQ(ui::GetMessageBoxTexts(type).icon, ui::kIconExclamation) << type;
  }
  EXPECT_STREQ(ui::GetMessageBoxTexts(MSG_AGREE_LICENSE).secondButton, L"NotAgreeText");
  for (int type : {1, 5, -1, 16}) EXPECT_STREQ(ui::GetMessageBoxTexts(type).firstButton, L"");
  EXPECT_STREQ(ui::GetMessageBoxSkin(5), L"MessageBox_down.xml");
  EXPECT_STREQ(ui::GetMessageBoxSkin(9), L"MessageBox.xml");
}

TEST(MessageBoxTypes, SsdPlaceholderTakesTheFolder) {
  EXPECT_EQ(ui::ReplaceSsdPlaceholder(L"Install to **1** instead?", L"D:\\Apps\\Kerfo"),
            L"Install to D:\\Apps\\Kerfo instead?");
  EXPECT_EQ(ui::ReplaceSsdPlaceholder(L"no placeholder", L"x"), L"no placeholder");
  // A folder that itself looks like the placeholder is not expanded again.
  EXPECT_EQ(ui::ReplaceSsdPlaceholder(L"**1** / **1**", L"**1**"), L"**1** / **1**");
}

TEST(MessageBoxTypes, ButtonTable) {
  using ui::GetButtonEffect;
  for (int type = 0; type < ui::kMsgTypeCount; ++type) {
    SCOPED_TRACE(type);
    const bool clears = type == 6 || type == 7;
    const auto close = GetButtonEffect(type, L"closebtn");
    EXPECT_TRUE(close.closesBox);
    EXPECT_EQ(close.result, 2);
    EXPECT_EQ(close.postClearAppData, clears);

    const auto yes = GetButtonEffect(type, L"btn_yes");
    EXPECT_EQ(yes.result, 1);
    EXPECT_EQ(yes.hideBoxAndOwner, type == 1 || type == 2);
    EXPECT_EQ(yes.postClearAppData, clears);
    EXPECT_FALSE(yes.postCloseOwner);

    const auto no = GetButtonEffect(type, L"btn_no");
    EXPECT_TRUE(no.closesBox);
    EXPECT_EQ(no.result, clears ? 1 : 2);
    EXPECT_EQ(no.postClearAppData, clears);
    EXPECT_EQ(no.postCloseOwner, type == 8 || type == 9 || type == 10);

    const auto min = GetButtonEffect(type, L"minbtn");
    EXPECT_TRUE(min.minimizeBox);
    EXPECT_FALSE(min.closesBox);
    EXPECT_FALSE(GetButtonEffect(type, L"msg_describe").closesBox);
  }
}

}  // namespace
