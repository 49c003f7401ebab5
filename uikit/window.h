// A toolkit window: a native window from the backend, the control tree built from a layout
// file of the resource package, its layout, painting, input, focus, timers and messages.
//
// The owner of a window (the installer window, a message box) hears of it through two small
// interfaces: INotifyHandler for what the user did to controls ("click", "link",
// "itemselect", "selectchanged", "textchanged", "setfocus", "killfocus") and IMessageHandler
// for private messages, timers and close requests.
//
// Threading: window thread only, except PostMessage and PostTask (any thread) and the
// Progress value. Posted tasks run on the window thread, in order.
// Ownership: the Window owns its native window, its control tree and its posted tasks; the
// handlers and the owner window are not owned and must outlive it.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "uikit/backend.h"
#include "uikit/canvas.h"
#include "uikit/control.h"
#include "uikit/geometry.h"

namespace uikit {

struct Notification {
  std::wstring type;
  Control* sender = nullptr;
  int linkIndex = -1;  // "link": the link's index in text order
  int itemIndex = -1;  // "itemselect": the item; "selectchanged" of a TabLayout: the page
};

class INotifyHandler {
 public:
  virtual ~INotifyHandler() = default;
  virtual void Notify(const Notification& notification) = 0;
};

class IMessageHandler {
 public:
  virtual ~IMessageHandler() = default;
  // Messages the toolkit does not handle itself (private ones above kMsgUser among them).
  // Set handled to true to stop the default; the return value is the message's result.
  virtual intptr_t HandleCustomMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam,
                                       bool& handled) {
    (void)msg, (void)wParam, (void)lParam;
    handled = false;
    return 0;
  }
  virtual void OnTimer(uint32_t id) { (void)id; }
  // A close request (Close(), Alt+F4, the system menu). True lets the window be destroyed;
  // false keeps it (it may hide itself instead).
  virtual bool OnClose() { return true; }
};

struct WindowSpec {
  std::wstring className;
  std::wstring caption;
  uint32_t style = 0;
  uint32_t exStyle = 0;
  class Window* owner = nullptr;
  Rect rect;  // device pixels; an empty size takes the layout's `size`
  bool rtl = false;
};

class Window : public IWindowEvents {
 public:
  Window();
  ~Window() override;
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // Builds the tree from skinFile (a layout in the Toolkit's package) and creates the native
  // window (hidden unless the style asks to be visible). False, with a log line, when the
  // file is missing or not a layout; the window is then unusable but safe to destroy.
  bool Create(const WindowSpec& spec, const std::wstring& skinFile);
  bool IsCreated() const { return native_ != nullptr && !nativeDestroyed_; }

  Control* Root() const { return root_.get(); }
  Control* FindControl(const std::wstring& name) const;
  // The control of that name and kind (dynamic type); null, logged once per name, when it is
  // missing or of another kind.
  template <class T>
  T* Find(const std::wstring& name) {
    Control* c = FindControl(name);
    T* typed = dynamic_cast<T*>(c);
    if (!typed) LogMissing(name, c);
    return typed;
  }

  void SetNotifyHandler(INotifyHandler* handler) { notifyHandler_ = handler; }
  void SetMessageHandler(IMessageHandler* handler) { messageHandler_ = handler; }
  // Controls report through this; it forwards to the notify handler.
  void SendNotify(Control* sender, const std::wstring& type, int linkIndex = -1,
                  int itemIndex = -1);

  bool SetTimer(uint32_t id, uint32_t elapseMs);
  void KillTimer(uint32_t id);
  // Any thread. False when the window is gone.
  bool PostMessage(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);
  // Any thread: runs task on the window thread. False when the window is gone.
  bool PostTask(std::function<void()> task);
  intptr_t SendMessage(uint32_t msg, uintptr_t wParam = 0, intptr_t lParam = 0);

  // Screen position, device pixels.
  void Move(int x, int y);
  // Client size in logical pixels (scaled by the DPI factor).
  void Resize(int width, int height);
  void SetRect(const Rect& screenRect);
  Rect GetRect() const;
  Size GetClientSize() const;  // device pixels
  void CenterWindow();
  void Show(ShowCommand cmd);
  void ShowWindow(bool show = true, bool focus = true);
  bool IsVisible() const;
  bool IsMinimized() const;
  // Sends kMsgSysCommand with kScMinimize (the owner sees it like a caption button press).
  void Minimize();
  // A close request with a result: posted; OnClose decides; when it agrees the window is
  // destroyed and a modal loop returns result.
  void Close(int result = 0);
  // Shows the window (owner disabled) and runs a modal loop; returns the Close() result.
  int ShowModal();
  // Ends a running modal loop with result (the window is destroyed when ShowModal returns).
  void EndModal(int result);
  void SetCaption(const std::wstring& caption);
  void SetTaskbarProgress(TaskbarState state, int value, int total);
  void* NativeHandle() const;
  INativeWindow* Native() const { return native_.get(); }
  Window* Owner() const { return owner_; }

  bool IsRtl() const { return rtl_; }
  void SetRtl(bool rtl);
  double Scale() const { return scale_; }

  // Fonts of the layout (`Font` elements), at device size. Index -1 or unknown: the default.
  FontSpec GetFont(int index) const;
  bool HasFont(int index) const;
  // A face that replaces every font's face (the UI language's face); empty: the skin's.
  void SetFontFace(const std::wstring& face);
  Color GetDefaultTextColor() const { return defaultTextColor_; }

  // Focus (keyboard).
  Control* GetFocus() const { return focus_; }
  void SetFocus(Control* control);
  // Moves the focus to the next (or previous) enabled, visible tab stop.
  void MoveFocus(bool backwards);
  Control* GetHot() const { return hot_; }
  // The control whose tooltip shows: the one under the pointer, or its nearest ancestor with a
  // tooltip. Null when none.
  Control* GetToolTipControl() const { return tipControl_; }
  // The scroll bar look of the layout (`Default name="ScrollBar"`).
  const ScrollBarStyle& GetScrollBarStyle() const { return scrollBarStyle_; }

  // Layout: recomputed lazily before painting, hit testing and GetPos.
  void NeedLayout();
  void LayoutIfNeeded();
  void Invalidate();
  void Invalidate(const Rect& r);
  // Logical pixels -> device pixels.
  int ScaleValue(int logical) const;
  // The caption area (device pixels).
  Rect CaptionRect() const;

  // Options of a group (document order).
  std::vector<Option*> GroupOptions(const std::wstring& group) const;
  // Called by controls being destroyed, so the window forgets them.
  void ForgetControl(Control* control);
  // A control was hidden or disabled: it loses hover, press and focus.
  void ControlChanged(Control* control);
  // Whether the calling thread is the window's thread.
  bool IsWindowThread() const;
  // The open drop list (a Combo without a native one), drawn over everything.
  void SetPopup(Control* popup);
  Control* GetPopup() const { return popup_; }
  // Whether control is still part of this window's tree (for posted work).
  bool Contains(const Control* control) const;
  // Acts as a click on control (mouse, Space/Enter or a screen reader).
  void ClickControl(Control* control, int linkIndex = -1);

  // IWindowEvents (called by the backend).
  void OnPaint(ICanvas& canvas, const Rect& dirty) override;
  void OnSize(Size clientSize) override;
  void OnMouseMove(Point p) override;
  void OnMouseLeave() override;
  void OnMouseDown(Point p, MouseButton b) override;
  void OnMouseUp(Point p, MouseButton b) override;
  void OnMouseWheel(Point p, int delta) override;
  bool OnKeyDown(int key, uint32_t modifiers) override;
  void OnChar(wchar_t ch) override;
  void OnFocusChanged(bool focused) override;
  void OnTimer(uint32_t id) override;
  bool OnMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, intptr_t* result) override;
  bool OnCloseRequest() override;
  void OnDestroyed() override;
  HitArea HitTest(Point p) override;
  void OnDpiChanged(double scale) override;
  std::vector<AccessibleItem> AccessibleItems() override;
  void InvokeAccessible(size_t index) override;

 private:
  friend class LayoutBuilder;
  struct FontEntry {
    FontSpec spec;  // logical size
  };
  void LogMissing(const std::wstring& name, const Control* found);
  void RunTasks();
  void UpdateHot(Point p);
  void UpdateToolTip(Control* under);
  Control* TargetAt(Point p);
  void SetFocusFrom(Control* control, bool backwards);
  void RequestClose();
  std::vector<Control*> TabStops() const;
  void DestroyNative();
  void ApplyRtlToNatives();

  std::unique_ptr<INativeWindow> native_;
  std::unique_ptr<Control> root_;
  std::wstring skinFile_;
  Window* owner_ = nullptr;
  INotifyHandler* notifyHandler_ = nullptr;
  IMessageHandler* messageHandler_ = nullptr;

  // Layout-file values.
  Size initSize_;       // logical
  Insets caption_;      // logical
  Size minInfo_;        // logical
  Color bkColor_ = kTransparent;
  std::wstring bkImage_;
  Color defaultTextColor_ = kBlack;
  std::map<int, FontEntry> fonts_;
  int defaultFont_ = -1;
  std::wstring fontFace_;

  bool rtl_ = false;
  double scale_ = 1.0;
  bool needLayout_ = true;
  bool inLayout_ = false;
  Control* hot_ = nullptr;
  Control* pressed_ = nullptr;
  Control* focus_ = nullptr;
  Control* popup_ = nullptr;
  Control* tipControl_ = nullptr;
  ScrollBarStyle scrollBarStyle_;
  std::thread::id thread_;
  bool focusCue_ = false;  // the focus rectangle shows after keyboard use
  bool modal_ = false;
  int closeResult_ = 0;
  bool closing_ = false;
  bool nativeDestroyed_ = false;
  std::vector<std::wstring> missingLogged_;
  std::vector<std::pair<Control*, int>> accessibleTargets_;  // item -> control, link

  std::mutex taskLock_;
  std::deque<std::function<void()>> tasks_;  // guarded by taskLock_
  bool alive_ = false;                       // guarded by taskLock_
};

}  // namespace uikit
