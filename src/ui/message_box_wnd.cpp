#include "ui/message_box_wnd.h"

#include <easylogging++.h>

#include "platform/text.h"
#include "ui/language_texts.h"
#include "ui/window_styles.h"
#include "uikit/toolkit.h"

namespace ui {
namespace {

constexpr int kArabic = static_cast<int>(EnumLanguage::Arabic);

void SetTextIfKnown(uikit::Window& window, const CLanguageFile& file, const wchar_t* control,
                    const wchar_t* key, const std::wstring* ssdArgument = nullptr) {
  if (!key || !*key) return;
  std::wstring text;
  if (!file.Lookup(L"message_page", key, &text)) return;  // the skin's text stays
  uikit::Control* target = window.FindControl(control);
  if (!target) return;
  target->SetText(ssdArgument ? ReplaceSsdPlaceholder(text, *ssdArgument) : text);
}

}  // namespace

MessageBoxWnd::MessageBoxWnd(int type, int language, const std::wstring& text)
    : type_(type), language_(language), text_(text) {}

int MessageBoxWnd::ShowModal(uikit::Window* owner) {
  owner_ = owner;
  uikit::WindowSpec spec;
  spec.className = kClassName;
  spec.caption = kCaption;
  spec.style = kWsPopup | kWsVisible | kWsClipSiblings | kWsClipChildren | kWsCaption |
               kWsSysMenu;
  spec.exStyle = kWsExDlgModalFrame | kWsExToolWindow;
  spec.owner = owner;
  const double scale = uikit::Toolkit::Global().Scale();
  spec.rect = uikit::Rect{0, 0, static_cast<int>(kWidth * scale + 0.5),
                          static_cast<int>(kHeight * scale + 0.5)};
  spec.rtl = language_ == kArabic;
  window_.SetNotifyHandler(this);
  window_.SetMessageHandler(this);
  if (!window_.Create(spec, GetMessageBoxSkin(type_))) {
    LOG(INFO) << " Message box " << type_ << " could not be created";
    return 2;
  }
  window_.SetFontFace(GetLanguageFontFace(language_));
  Fill();
  window_.SendMessage(uikit::kMsgSysCommand, uikit::kScRestore, 0);
  window_.CenterWindow();
  window_.ShowWindow(true, true);
  return window_.ShowModal();
}

void MessageBoxWnd::Fill() {
  const MessageBoxTexts& texts = GetMessageBoxTexts(type_);
  CLanguageFile file;
  file.Load(uikit::Toolkit::Global().Package(), FuntionImpl::LanguageFromIndex(language_));
  if (*texts.icon) {
    if (uikit::Control* icon = window_.FindControl(L"iconimage")) icon->SetBkImage(texts.icon);
  }
  SetTextIfKnown(window_, file, L"msg_describe", texts.description,
                 type_ == MSG_SUGGEST_SSD ? &text_ : nullptr);
  SetTextIfKnown(window_, file, L"msg_question", texts.question);
  SetTextIfKnown(window_, file, L"btn_yes", texts.firstButton);
  if (*texts.secondButton) {
    SetTextIfKnown(window_, file, L"btn_no", texts.secondButton);
  } else if (uikit::Control* no = window_.FindControl(L"btn_no")) {
    no->SetVisible(false);
  }
}

void MessageBoxWnd::Notify(const uikit::Notification& notification) {
  if (notification.type == L"click" && notification.sender) Press(notification.sender->Name());
}

void MessageBoxWnd::Press(const std::wstring& control) {
  const MessageBoxButtonEffect effect = GetButtonEffect(type_, control);
  if (effect.minimizeBox) window_.Minimize();
  if (!effect.closesBox || answered_) return;
  answered_ = true;
  if (effect.hideBoxAndOwner) {
    window_.ShowWindow(false, false);
    if (owner_) owner_->ShowWindow(false, false);
  }
  if (owner_ && effect.postClearAppData) owner_->PostMessage(WM_CLEAR_APP_DATA);
  if (owner_ && effect.postCloseOwner) owner_->PostMessage(uikit::kMsgClose);
  window_.Close(effect.result);
}

bool MessageBoxWnd::OnClose() {
  if (answered_) return true;
  // Alt+F4 or the system menu: the same as the box's own close button.
  Press(L"closebtn");
  return false;
}

int ShowMessageBox(int type, const std::wstring& text, int language, uikit::Window* owner,
                   bool backgroundMode, int* lastBackgroundType) {
  LOG(INFO) << "ShowMsgBox:" << type;
  if (backgroundMode) {
    if (lastBackgroundType) *lastBackgroundType = type;
    return 1;
  }
  MessageBoxWnd box(type, language, text);
  return box.ShowModal(owner);
}

}  // namespace ui
