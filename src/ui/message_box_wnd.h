// MessageBoxWnd: the installer's one modal question/error box, chosen by an EnumMsgType and
// filled from the "message_page" texts of a language; and ShowMessageBox, the installer
// window's way to raise one (which, while the installer runs on in the background, only
// remembers the type).
//
// Threading: window thread only (the box runs a nested modal loop on it).
// Ownership: the box owns its toolkit window; the owner window is borrowed and must outlive
// the call.
#pragma once

#include <string>

#include "ui/message_box_types.h"
#include "uikit/window.h"

namespace ui {

// The installer window's own private message (posted to the owner by types 6 and 7).
constexpr uint32_t WM_CLEAR_APP_DATA = 2943;

class MessageBoxWnd : public uikit::INotifyHandler, public uikit::IMessageHandler {
 public:
  static constexpr const wchar_t* kClassName = L"MESSAGEBOX_UI_Frame";
  static constexpr const wchar_t* kCaption = L"MSGUIDemo";
  static constexpr int kWidth = 452;
  static constexpr int kHeight = 190;

  // text: the argument of type 15 (the proposed folder); ignored by the other types.
  MessageBoxWnd(int type, int language, const std::wstring& text);

  // Creates the box owned by owner (null: no owner), restores it, centres it on the owner,
  // shows it with focus and runs it modally. 1 for the first button, 2 for the second button
  // or the close button; 2 when the box could not be created (logged).
  int ShowModal(uikit::Window* owner);

  // The box's toolkit window while it is shown (tests drive it through this).
  uikit::Window& GetWindow() { return window_; }

  void Notify(const uikit::Notification& notification) override;
  bool OnClose() override;

 private:
  void Fill();
  void Press(const std::wstring& control);

  const int type_;
  const int language_;
  const std::wstring text_;
  uikit::Window* owner_ = nullptr;
  uikit::Window window_;
  bool answered_ = false;
};

// The installer window's ShowMessageBox: logs "ShowMsgBox:" with the type; in background
// mode stores the type in *lastBackgroundType and returns 1 without showing anything;
// otherwise shows the box modally over owner and returns its result.
int ShowMessageBox(int type, const std::wstring& text, int language, uikit::Window* owner,
                   bool backgroundMode, int* lastBackgroundType);

}  // namespace ui
