// The seam between the toolkit's logic (control tree, layout, notifications, focus, timers)
// and a window system. Two implementations: win32/ (real windows, GDI+ images, GDI text,
// double-buffered painting) and headless/ (no window system: tests drive clicks, keys, timers
// and modal loops deterministically). Nothing above this header knows which one runs.
//
// Threading: every call is made on the thread that runs the message loop (the window thread),
// except INativeWindow::PostMessage, which any thread may call.
// Ownership: the backend owns nothing of the toolkit; the toolkit's Window owns its native
// window (unique_ptr) and the native children it creates.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "uikit/canvas.h"
#include "uikit/geometry.h"
#include "uikit/image.h"

namespace uikit {

// Message numbers shared with the platform (the same values as Windows, so logic that posts
// them behaves alike on every backend). Private messages of the product are above kMsgUser.
constexpr uint32_t kMsgClose = 0x0010;
constexpr uint32_t kMsgSysCommand = 0x0112;
constexpr uint32_t kMsgUser = 0x0400;
constexpr uintptr_t kScMinimize = 0xF020;
constexpr uintptr_t kScRestore = 0xF120;
constexpr uintptr_t kScClose = 0xF060;
// Reserved by the toolkit for closures posted with Window::PostTask.
constexpr uint32_t kMsgToolkitTask = 0x8000 + 0x1A5;

// Virtual keys the toolkit understands (Windows values).
enum Key : int {
  kKeyBack = 0x08,
  kKeyTab = 0x09,
  kKeyReturn = 0x0D,
  kKeyEscape = 0x1B,
  kKeySpace = 0x20,
  kKeyEnd = 0x23,
  kKeyHome = 0x24,
  kKeyLeft = 0x25,
  kKeyUp = 0x26,
  kKeyRight = 0x27,
  kKeyDown = 0x28,
  kKeyDelete = 0x2E,
  kKeyF4 = 0x73,
};
enum KeyModifier : uint32_t { kModShift = 1, kModCtrl = 2, kModAlt = 4 };

enum class MouseButton { kLeft, kRight };

// Where a point of the window is, for the window system: the caption area drags the window.
enum class HitArea { kClient, kCaption };

enum class ShowCommand { kHide, kShow, kShowNoActivate, kMinimize, kRestore };

// Taskbar button progress (ITaskbarList3 on Win32).
enum class TaskbarState { kNone, kNormal, kError, kPaused, kIndeterminate };

struct NativeWindowParams {
  std::wstring className;
  std::wstring caption;
  uint32_t style = 0;    // Windows style bits (WS_*); the headless backend records them
  uint32_t exStyle = 0;  // WS_EX_*
  void* owner = nullptr; // INativeWindow::Handle() of the owner, or null
  Rect rect;             // initial position and size, device pixels
  bool rtl = false;      // right-to-left window (mirrored caption buttons in the system menu)
};

// What a native window tells the toolkit window that owns it.
class IWindowEvents {
 public:
  virtual ~IWindowEvents() = default;
  virtual void OnPaint(ICanvas& canvas, const Rect& dirty) = 0;
  virtual void OnSize(Size clientSize) = 0;
  virtual void OnMouseMove(Point p) = 0;
  virtual void OnMouseLeave() = 0;
  virtual void OnMouseDown(Point p, MouseButton b) = 0;
  virtual void OnMouseUp(Point p, MouseButton b) = 0;
  virtual void OnMouseWheel(Point p, int delta) = 0;
  // True when the key was used (the backend then suppresses its default).
  virtual bool OnKeyDown(int key, uint32_t modifiers) = 0;
  virtual void OnChar(wchar_t ch) = 0;
  virtual void OnFocusChanged(bool focused) = 0;
  virtual void OnTimer(uint32_t id) = 0;
  // Every other message, private ones included; true when handled (*result is returned).
  virtual bool OnMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, intptr_t* result) = 0;
  // The user or the system asked to close (Alt+F4, the system menu, WM_CLOSE). True lets
  // the window be destroyed.
  virtual bool OnCloseRequest() = 0;
  virtual void OnDestroyed() = 0;
  virtual HitArea HitTest(Point p) = 0;
  virtual void OnDpiChanged(double scale) = 0;

  // Accessibility: what a screen reader should see. One entry per focusable or readable
  // control, in tab order.
  struct AccessibleItem {
    std::wstring name;  // the visible text or the control's caption
    enum class Role { kButton, kCheckBox, kRadio, kLink, kText, kProgress, kCombo, kEdit } role;
    Rect rect;          // device pixels, client coordinates
    bool checked = false;
    bool enabled = true;
    bool focused = false;
    int value = 0;      // progress value
    std::wstring description;  // the control's tooltip
  };
  virtual std::vector<AccessibleItem> AccessibleItems() = 0;
  // A screen reader (or UI automation) invoked item index i (a click).
  virtual void InvokeAccessible(size_t index) = 0;
};

// A native text box child: real editing, caret, selection, clipboard and IME.
class INativeEdit {
 public:
  virtual ~INativeEdit() = default;
  virtual void SetRect(const Rect& r) = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual void SetText(const std::wstring& text) = 0;
  virtual std::wstring GetText() const = 0;
  virtual void SetFont(const FontSpec& font, Color text, Color background) = 0;
  virtual void SetFocus() = 0;
  virtual bool HasFocus() const = 0;
  virtual void SetRtl(bool rtl) = 0;
  // Called on the window thread whenever the user changed the text.
  virtual void SetOnChange(std::function<void()> onChange) = 0;
  // Called when Tab or Shift+Tab is pressed inside the box (focus moves on in the toolkit).
  virtual void SetOnTab(std::function<void(bool backwards)> onTab) = 0;
};

// A native drop-down list child (the language choice): its own popup, keyboard, screen-reader
// role. Items are drawn by the backend with a face suited to each item's script.
class INativeCombo {
 public:
  virtual ~INativeCombo() = default;
  virtual void SetRect(const Rect& r) = 0;
  virtual void SetVisible(bool visible) = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual void SetItems(const std::vector<std::wstring>& items) = 0;
  virtual void SetCurSel(int index) = 0;  // -1 for none; does not call onSelect
  virtual int GetCurSel() const = 0;
  virtual void SetFont(const FontSpec& font, Color text, Color background) = 0;
  virtual void SetFocus() = 0;
  virtual bool HasFocus() const = 0;
  virtual void SetRtl(bool rtl) = 0;
  // Called on the window thread when the user picked another item.
  virtual void SetOnSelect(std::function<void(int index)> onSelect) = 0;
  virtual void SetOnTab(std::function<void(bool backwards)> onTab) = 0;
};

class INativeWindow {
 public:
  virtual ~INativeWindow() = default;
  virtual void* Handle() const = 0;  // HWND on Win32; an opaque id on the headless backend

  virtual void Invalidate(const Rect* r = nullptr) = 0;  // null: everything
  virtual void SetRect(const Rect& r) = 0;               // screen position and size
  virtual Rect GetRect() const = 0;
  virtual Size ClientSize() const = 0;
  virtual void CenterOn(void* ownerHandle) = 0;          // null: the work area of its screen
  virtual void Show(ShowCommand cmd) = 0;
  virtual bool IsVisible() const = 0;
  virtual bool IsMinimized() const = 0;
  virtual void SetFocus() = 0;
  virtual void SetCaption(const std::wstring& caption) = 0;
  virtual void SetCursorHand(bool hand) = 0;
  // Destroys the native window (OnDestroyed follows). Not a close request.
  virtual void Destroy() = 0;

  virtual void SetTimer(uint32_t id, uint32_t elapseMs) = 0;  // replaces a timer of that id
  virtual void KillTimer(uint32_t id) = 0;
  // Any thread. False when the window is gone.
  virtual bool PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;
  // Window thread; delivered synchronously to OnMessage (or the system's default).
  virtual intptr_t SendMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) = 0;

  // Runs a nested loop until EndModal; the owner (if any) is disabled meanwhile.
  virtual int RunModal() = 0;
  virtual void EndModal(int result) = 0;

  virtual void SetTaskbarProgress(TaskbarState state, int value, int total) = 0;

  // The tooltip of the control under the pointer: text shown (after the system's delay) while
  // the pointer stays inside area (device pixels, client coordinates). Empty text hides it.
  virtual void SetToolTip(const std::wstring& text, const Rect& area) = 0;

  virtual std::unique_ptr<INativeEdit> CreateEdit() = 0;
  virtual std::unique_ptr<INativeCombo> CreateCombo() = 0;
};

class IBackend : public IImageDecoder {
 public:
  virtual ~IBackend() = default;

  virtual std::unique_ptr<INativeWindow> CreateNativeWindow(const NativeWindowParams& params,
                                                            IWindowEvents* events) = 0;
  // Runs the main message loop until Quit; returns its code.
  virtual int RunMessageLoop() = 0;
  virtual void Quit(int code) = 0;

  // Offscreen drawing: a new transparent image, and a canvas that draws into it (the image is
  // complete when the canvas is destroyed).
  virtual std::shared_ptr<Image> CreateImage(int width, int height) = 0;
  virtual std::unique_ptr<ICanvas> CanvasFor(const std::shared_ptr<Image>& image) = 0;

  // The installed face to use for a face name and a sample of the text it will draw: the
  // face itself when installed, else one that covers the sample's script.
  virtual std::wstring ResolveFace(const std::wstring& face, const std::wstring& sample) = 0;

  // Device pixels per logical pixel of the primary screen (1.0 at 96 DPI).
  virtual double DpiScale() const = 0;

  // Milliseconds of a monotonic clock (the headless backend's is virtual).
  virtual uint64_t TickCount() const = 0;
};

}  // namespace uikit
