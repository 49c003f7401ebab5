// What every message box type shows and what its buttons do: the fixed tables behind
// MessageBoxWnd, kept apart from the window so they can be read and tested on their own.
// Thread-safe: pure functions over constant tables.
#pragma once

#include <string>

// Message box types; the numbers are shared with the window's messages and the analytics
// ("error_page_" + the last type), so they never change.
enum EnumMsgType : int {
  MSG_REPLACE = 0,             // product already installed, replace (not raised)
  MSG_NONE = 1,                // no texts of its own
  MSG_EXIT_CONFIRM = 2,        // the close button
  MSG_APP_RUNNING = 3,         // the product is running, close it first
  MSG_PATH_INVALID = 4,        // invalid install path
  MSG_DOWN = 5,                // no texts of its own; its own skin file
  MSG_INSTALL_TIMEOUT = 6,     // the silent installer ran past its time-out
  MSG_VERIFY_FAIL = 7,         // code signature check failed
  MSG_DOWNLOAD_FAIL = 8,       // download failed (any other result)
  MSG_NETWORK_DOWN = 9,        // network down
  MSG_DOWNLOAD_STALLED = 10,   // no progress, or a maker's own host failed too often
  MSG_NO_SPACE = 11,           // not enough disk space
  MSG_LAUNCH_SHORTCUT = 12,    // start the product from its shortcut (not raised)
  MSG_UNSUPPORTED_SYSTEM = 13, // 64-bit Windows only
  MSG_AGREE_LICENSE = 14,      // the license agreement is not yet accepted
  MSG_SUGGEST_SSD = 15,        // propose an install folder on an SSD
};

namespace ui {

constexpr int kMsgTypeCount = 16;

// The language-file keys ("message_page") and the icon of one type. Empty key: the control
// keeps what the skin gave it (a type without a second button hides "btn_no").
struct MessageBoxTexts {
  const wchar_t* icon;         // image in the skin package, or empty
  const wchar_t* description;  // -> "msg_describe"
  const wchar_t* question;     // -> "msg_question"
  const wchar_t* firstButton;  // -> "btn_yes"
  const wchar_t* secondButton; // -> "btn_no"; empty hides it
};

extern const wchar_t kIconHelp[];         // "skin\message_help.png"
extern const wchar_t kIconExclamation[];  // "skin\message_exclamation.png"

// The texts of a type; a type outside 0..15 has none (everything empty).
const MessageBoxTexts& GetMessageBoxTexts(int type);
// The skin file of a type: "MessageBox_down.xml" for type 5, "MessageBox.xml" otherwise.
const wchar_t* GetMessageBoxSkin(int type);
// The placeholder in the SSD proposal that the box's text argument replaces (every occurrence).
std::wstring ReplaceSsdPlaceholder(const std::wstring& text, const std::wstring& argument);

// What a press on one of the box's controls does.
struct MessageBoxButtonEffect {
  bool closesBox = false;         // the box ends with `result`
  int result = 0;                 // 1 first button, 2 second button or close
  bool postClearAppData = false;  // WM_CLEAR_APP_DATA to the owner
  bool postCloseOwner = false;    // WM_CLOSE to the owner (the installer closes)
  bool hideBoxAndOwner = false;   // hide the box and the installer window
  bool minimizeBox = false;
};
// control: "closebtn", "minbtn", "btn_yes" or "btn_no"; any other name does nothing.
MessageBoxButtonEffect GetButtonEffect(int type, const std::wstring& control);

}  // namespace ui
