#include "ui/message_box_types.h"

namespace ui {

const wchar_t kIconHelp[] = L"skin\\message_help.png";
const wchar_t kIconExclamation[] = L"skin\\message_exclamation.png";

namespace {

const MessageBoxTexts kNoTexts = {L"", L"", L"", L"", L""};

const MessageBoxTexts kTexts[kMsgTypeCount] = {
    /* 0 */ {kIconHelp, L"ReplaceDesText", L"ReplaceQueText", L"ReplaceText", L"CancelText"},
    /* 1 */ {L"", L"", L"", L"", L""},
    /* 2 */ {kIconHelp, L"CancelDesText", L"CancelQueText", L"YesText", L"NoText"},
    /* 3 */ {kIconHelp, L"AppExistDesText", L"AppExistQueText", L"OkButtonText", L"NoText"},
    /* 4 */ {kIconExclamation, L"PathErrorDesText", L"", L"OkButtonText", L""},
    /* 5 */ {L"", L"", L"", L"", L""},
    /* 6 */
    {kIconExclamation, L"InstallRunTimeOutDesText", L"InstallRunTimeOutQueText", L"ConfirmText",
     L"CancelText"},
    /* 7 */ {kIconExclamation, L"MD5FailDesText", L"MD5FailQueText", L"ConfirmText", L"CancelText"},
    /* 8 */ {kIconExclamation, L"UrlFailDexText", L"UrlFailQueText", L"ConfirmText", L"CancelText"},
    /* 9 */
    {kIconExclamation, L"InternetFailDesText", L"InternetFailQueText", L"ConfirmText",
     L"CancelText"},
    /* 10 */
    {kIconExclamation, L"InternetTimeoutDesText", L"InternetTimeoutQueText", L"ConfirmText",
     L"CancelText"},
    /* 11 */ {kIconExclamation, L"NoEnoughSpaceDesText", L"", L"OkButtonText", L""},
    /* 12 */ {kIconExclamation, L"ClickShortcutToLaunchText", L"", L"ConfirmText", L""},
    /* 13 */ {kIconExclamation, L"NotSupportSystemDesText", L"", L"OkButtonText", L""},
    /* 14 */ {kIconExclamation, L"AgreeDesText", L"", L"AgreeInstallText", L"NotAgreeText"},
    /* 15 */ {kIconExclamation, L"SuggestSSDText", L"", L"AcceptText", L"RejectText"},
};

bool PostsClearAppData(int type) { return type == MSG_INSTALL_TIMEOUT || type == MSG_VERIFY_FAIL; }

}  // namespace

const MessageBoxTexts& GetMessageBoxTexts(int type) {
  if (type < 0 || type >= kMsgTypeCount) return kNoTexts;
  return kTexts[type];
}

const wchar_t* GetMessageBoxSkin(int type) {
  return type == MSG_DOWN ? L"MessageBox_down.xml" : L"MessageBox.xml";
}

std::wstring ReplaceSsdPlaceholder(const std::wstring& text, const std::wstring& argument) {
  static const std::wstring kPlaceholder = L"**1**";
  std::wstring out;
  size_t from = 0;
  for (size_t at; (at = text.find(kPlaceholder, from)) != std::wstring::npos;
       from = at + kPlaceholder.size()) {
    out.append(text, from, at - from);
    out += argument;
  }
  out.append(text, from, std::wstring::npos);
  return out;
}

MessageBoxButtonEffect GetButtonEffect(int type, const std::wstring& control) {
  MessageBoxButtonEffect e;
  if (control == L"minbtn") {
    e.minimizeBox = true;
  } else if (control == L"closebtn") {
    e.closesBox = true;
    e.result = 2;
    e.postClearAppData = PostsClearAppData(type);
  } else if (control == L"btn_yes") {
    e.closesBox = true;
    e.result = 1;
    e.hideBoxAndOwner = type == MSG_NONE || type == MSG_EXIT_CONFIRM;
    e.postClearAppData = PostsClearAppData(type);
  } else if (control == L"btn_no") {
    e.closesBox = true;
    if (PostsClearAppData(type)) {
      // Declining after a time-out or a failed check still clears the data; the box answers
      // as its first button does.
      e.result = 1;
      e.postClearAppData = true;
    } else if (type == MSG_DOWNLOAD_FAIL || type == MSG_NETWORK_DOWN ||
               type == MSG_DOWNLOAD_STALLED) {
      e.result = 2;
      e.postCloseOwner = true;
    } else {
      e.result = 2;
    }
  }
  return e;
}

}  // namespace ui
