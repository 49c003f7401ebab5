// Message boxes on the headless backend, over the real skin package: each type's texts,
// icon and buttons, what each button answers and posts to the owner, and background mode.
#include "ui/message_box_wnd.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/text.h"
#include "system/language.h"
#include "ui/language_texts.h"
#include "ui/skin_toolkit.h"
#include "uikit/headless/headless_backend.h"
#include "uikit/toolkit.h"

namespace {

using uikit::headless::Driver;
using uikit::headless::HeadlessBackend;

class OwnerHandler : public uikit::IMessageHandler {
 public:
  intptr_t HandleCustomMessage(uint32_t msg, uintptr_t, intptr_t, bool& handled) override {
    messages.push_back(msg);
    handled = true;
    return 0;
  }
  bool OnClose() override {
    ++closeRequests;
    return false;  // the owner stays, so the test can look at it
  }
  std::vector<uint32_t> messages;
  int closeRequests = 0;
};

class MessageBoxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(testsupport::InstallSkinToolkit(&package_, &backend_));
    uikit::WindowSpec spec;
    spec.className = L"QD_UI_Frame_test";
    owner_->SetMessageHandler(&ownerHandler_);
    ASSERT_TRUE(owner_->Create(spec, L"InstallMainWnd.xml"));
    owner_->ShowWindow(true, true);
  }
  void TearDown() override {
    owner_.reset();  // before the backend it lives on
    uikit::Toolkit::Uninstall();
  }

  // Shows the box, lets `script` act on it, returns the box's result; *seen receives the
  // texts of the box's controls as they were shown.
  struct Seen {
    std::wstring describe, question, yes, no, icon;
    bool noVisible = false;
  };
  int Run(int type, int language, const std::wstring& press, Seen* seen,
          const std::wstring& text = L"") {
    backend_->SetModalScript([&](uikit::Window& box) {
      auto text_of = [&](const wchar_t* name) {
        uikit::Control* c = box.FindControl(name);
        return c ? c->GetText() : std::wstring(L"<missing>");
      };
      seen->describe = text_of(L"msg_describe");
      seen->question = text_of(L"msg_question");
      seen->yes = text_of(L"btn_yes");
      seen->no = text_of(L"btn_no");
      if (uikit::Control* icon = box.FindControl(L"iconimage")) seen->icon = icon->GetBkImage();
      uikit::Control* no = box.FindControl(L"btn_no");
      seen->noVisible = no && no->IsVisible();
      Driver(*backend_).Click(box, press);
    });
    const int result = ui::ShowMessageBox(type, text, language, owner_.get(), false, nullptr);
    backend_->PumpMessages();
    return result;
  }

  std::wstring Text(int language, const wchar_t* key) {
    ui::CLanguageFile file;
    EXPECT_TRUE(file.Load(package_, FuntionImpl::LanguageFromIndex(language)));
    std::wstring text;
    EXPECT_TRUE(file.Lookup(L"message_page", key, &text)) << key;
    return text;
  }

  uikit::ResourcePackage package_;
  HeadlessBackend* backend_ = nullptr;
  OwnerHandler ownerHandler_;
  std::unique_ptr<uikit::Window> owner_ = std::make_unique<uikit::Window>();
};

TEST_F(MessageBoxTest, EveryTypeShowsItsTextsIconAndButtons) {
  for (int type = 0; type < ui::kMsgTypeCount; ++type) {
    if (type == MSG_NONE || type == MSG_DOWN) continue;  // no texts of their own
    SCOPED_TRACE(type);
    const ui::MessageBoxTexts& keys = ui::GetMessageBoxTexts(type);
    Seen seen;
    EXPECT_EQ(Run(type, 0, L"btn_yes", &seen, L"E:\\Fast"), 1);
    std::wstring describe = Text(0, keys.description);
    if (type == MSG_SUGGEST_SSD) describe = ui::ReplaceSsdPlaceholder(describe, L"E:\\Fast");
    EXPECT_EQ(seen.describe, describe);
    EXPECT_FALSE(seen.describe.empty());
    if (*keys.question) {
      EXPECT_EQ(seen.question, Text(0, keys.question));
    }
    EXPECT_EQ(seen.yes, Text(0, keys.firstButton));
    EXPECT_EQ(seen.noVisible, *keys.secondButton != L'\0');
    if (*keys.secondButton) {
      EXPECT_EQ(seen.no, Text(0, keys.secondButton));
    }
    EXPECT_EQ(seen.icon, keys.icon);
  }
}

TEST_F(MessageBoxTest, SuggestSsdShowsTheFolderInPlaceOfThePlaceholder) {
  Seen seen;
  Run(MSG_SUGGEST_SSD, 1, L"btn_no", &seen, L"D:\\Programs\\Kerfo");
  EXPECT_NE(seen.describe.find(L"D:\\Programs\\Kerfo"), std::wstring::npos) << "Japanese";
  EXPECT_EQ(seen.describe.find(L"**1**"), std::wstring::npos);
}

TEST_F(MessageBoxTest, ButtonsAnswerAndTellTheOwner) {
  struct Row {
    int type;
    const wchar_t* press;
    int result;
    bool clearAppData;
    bool closeOwner;
  } rows[] = {
      {MSG_EXIT_CONFIRM, L"btn_yes", 1, false, false},
      {MSG_EXIT_CONFIRM, L"btn_no", 2, false, false},
      {MSG_EXIT_CONFIRM, L"closebtn", 2, false, false},
      {MSG_INSTALL_TIMEOUT, L"btn_yes", 1, true, false},
      {MSG_INSTALL_TIMEOUT, L"btn_no", 1, true, false},
      {MSG_VERIFY_FAIL, L"closebtn", 2, true, false},
      {MSG_DOWNLOAD_FAIL, L"btn_no", 2, false, true},
      {MSG_NETWORK_DOWN, L"btn_no", 2, false, true},
      {MSG_DOWNLOAD_STALLED, L"btn_no", 2, false, true},
      {MSG_NETWORK_DOWN, L"btn_yes", 1, false, false},
      {MSG_AGREE_LICENSE, L"btn_no", 2, false, false},
      {MSG_AGREE_LICENSE, L"btn_yes", 1, false, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.type) + " " + platform::WideToUtf8(row.press));
    ownerHandler_.messages.clear();
    ownerHandler_.closeRequests = 0;
    owner_->ShowWindow(true, true);
    Seen seen;
    EXPECT_EQ(Run(row.type, 0, row.press, &seen), row.result);
    const bool cleared = !ownerHandler_.messages.empty() &&
                         ownerHandler_.messages.front() == ui::WM_CLEAR_APP_DATA;
    EXPECT_EQ(cleared, row.clearAppData);
    EXPECT_EQ(ownerHandler_.closeRequests, row.closeOwner ? 1 : 0);
  }
}

TEST_F(MessageBoxTest, ExitConfirmationHidesTheOwnerOnYes) {
  Seen seen;
  ASSERT_TRUE(owner_->IsVisible());
  EXPECT_EQ(Run(MSG_EXIT_CONFIRM, 0, L"btn_yes", &seen), 1);
  EXPECT_FALSE(owner_->IsVisible());
}

TEST_F(MessageBoxTest, EscapeIsTheCloseButton) {
  backend_->SetModalScript([&](uikit::Window& box) {
    Driver(*backend_).KeyPress(box, uikit::kKeyEscape);
  });
  EXPECT_EQ(ui::ShowMessageBox(MSG_VERIFY_FAIL, L"", 0, owner_.get(), false, nullptr), 2);
  backend_->PumpMessages();
  ASSERT_FALSE(ownerHandler_.messages.empty());
  EXPECT_EQ(ownerHandler_.messages.front(), ui::WM_CLEAR_APP_DATA);
}

TEST_F(MessageBoxTest, BackgroundModeRemembersTheTypeAndShowsNothing) {
  bool shown = false;
  backend_->SetModalScript([&](uikit::Window&) { shown = true; });
  int last = -1;
  EXPECT_EQ(ui::ShowMessageBox(MSG_NETWORK_DOWN, L"", 0, owner_.get(), true, &last), 1);
  EXPECT_EQ(last, MSG_NETWORK_DOWN);
  EXPECT_EQ(ui::ShowMessageBox(MSG_INSTALL_TIMEOUT, L"", 0, owner_.get(), true, &last), 1);
  EXPECT_EQ(last, MSG_INSTALL_TIMEOUT);
  EXPECT_FALSE(shown);
}

TEST_F(MessageBoxTest, ArabicBoxIsRightToLeftInItsLanguage) {
  Seen seen;
  bool rtl = false;
  backend_->SetModalScript([&](uikit::Window& box) {
    rtl = box.IsRtl();
    seen.describe = box.FindControl(L"msg_describe")->GetText();
    Driver(*backend_).Click(box, L"btn_yes");
  });
  ui::ShowMessageBox(MSG_NO_SPACE, L"", static_cast<int>(EnumLanguage::Arabic), owner_.get(), false,
                     nullptr);
  EXPECT_TRUE(rtl);
  EXPECT_EQ(seen.describe, Text(8, L"NoEnoughSpaceDesText"));
}

}  // namespace
