// The headless backend: the toolkit's window system for tests, with no display.
//
// Windows are records (params, visibility, minimised, rectangle, focus, caption, timers,
// taskbar state); time is a virtual clock that only AdvanceTime moves, firing due timers in
// order; posted messages wait in one queue until PumpMessages delivers them; a modal loop
// runs the scripted handler (SetModalScript) and returns the code given to EndModal. Nothing
// blocks: a loop that has nothing left to do returns.
//
// Real-time mode (SetRealTime, for unattended runs of the real windows without a display):
// the clock is the steady wall clock, timers fall due on it, and the message loop and modal
// loops wait for posted messages and due timers like a window system's loop does, until Quit
// (a modal loop: until EndModal or Quit) or until no window is left. AdvanceTime is for the
// virtual clock only.
//
// Images: the decoder reads PNG headers (IHDR width and height); anything else does not
// decode. Canvases record their draw calls (with the clip in force) so tests can assert what
// was drawn where. Text metrics are fixed: each character is (size + 1) / 2 pixels wide and a
// line is `size` pixels high.
//
// Edits are real in-memory editing models (caret, selection, insert, backspace, delete,
// home/end, a clipboard shared within the process); combos keep their items and selection.
//
// Threading: like the real backends, everything on one thread except PostMessage (any
// thread; the queue is locked).
// Ownership: the backend keeps a non-owning list of the live native windows.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "uikit/backend.h"

namespace uikit {
class Window;
}

namespace uikit::headless {

struct DrawOp {
  enum class Kind { kFill, kRoundFill, kFrame, kFocus, kImage, kNineGrid, kText };
  Kind kind = Kind::kFill;
  Rect rect;  // as asked (the text box for kText, dest for images)
  Rect clip;  // the clip in force (the target's bounds when none was pushed)
  Color color = 0;
  std::wstring text;
  FontSpec font;
  uint32_t format = 0;
  Size imageSize;  // kImage, kNineGrid
  Rect src;        // kImage: the source rectangle; kNineGrid: the corners
  uint8_t opacity = 255;
};

class HeadlessImage : public Image {
 public:
  HeadlessImage(int width, int height) : width_(width), height_(height) {}
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  // What canvases drew into it.
  std::vector<DrawOp> ops;

 private:
  int width_;
  int height_;
};

class RecordingCanvas : public ICanvas {
 public:
  RecordingCanvas(Size target, std::vector<DrawOp>* sink);
  Size TargetSize() const override { return target_; }
  void PushClip(const Rect& r) override;
  void PopClip() override;
  void FillRect(const Rect& r, Color c) override;
  void FillRoundRect(const Rect& r, int radius, Color c) override;
  void FrameRect(const Rect& r, Color c, int width) override;
  void FocusRect(const Rect& r) override;
  void DrawImage(const Image& image, const Rect& dest, const Rect& src,
                 uint8_t opacity) override;
  void DrawImageNineGrid(const Image& image, const Rect& dest, const Rect& corners) override;
  void DrawText(const std::wstring& text, const Rect& box, const FontSpec& font, Color c,
                uint32_t format) override;
  Size MeasureText(const std::wstring& text, const FontSpec& font, uint32_t format,
                   int maxWidth) override;
  size_t ClipDepth() const { return clips_.size(); }

 private:
  Rect Clip() const;
  void Record(DrawOp op);
  Size target_;
  std::vector<DrawOp>* sink_;
  std::vector<Rect> clips_;
};

// The fixed text metric of the headless backend (MeasureText).
Size MeasureHeadlessText(const std::wstring& text, const FontSpec& font, uint32_t format,
                         int maxWidth);

// The in-memory editing model behind headless edits.
class HeadlessEdit : public INativeEdit {
 public:
  explicit HeadlessEdit(class HeadlessBackend& backend);
  ~HeadlessEdit() override;
  void SetRect(const Rect& r) override { rect_ = r; }
  void SetVisible(bool visible) override { visible_ = visible; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  void SetText(const std::wstring& text) override;
  std::wstring GetText() const override { return text_; }
  void SetFont(const FontSpec& font, Color text, Color background) override;
  void SetFocus() override;
  bool HasFocus() const override;
  void SetRtl(bool rtl) override { rtl_ = rtl; }
  void SetOnChange(std::function<void()> onChange) override { onChange_ = std::move(onChange); }
  void SetOnTab(std::function<void(bool backwards)> onTab) override { onTab_ = std::move(onTab); }

  // Keyboard input while focused. True when the key was used.
  bool KeyDown(int key, uint32_t modifiers);
  void Char(wchar_t ch);
  void SetSelection(size_t anchor, size_t caret);
  size_t Caret() const { return caret_; }
  size_t Anchor() const { return anchor_; }
  std::wstring SelectedText() const;
  void SetMaxChar(size_t maxChar) { maxChar_ = maxChar; }
  void SetReadOnly(bool readOnly) { readOnly_ = readOnly; }
  const Rect& GetRect() const { return rect_; }
  bool IsVisible() const { return visible_; }
  bool IsEnabled() const { return enabled_; }
  bool IsRtl() const { return rtl_; }
  const FontSpec& Font() const { return font_; }
  void Detach() { backend_ = nullptr; }

 private:
  void ReplaceSelection(const std::wstring& with);
  void Changed();
  HeadlessBackend* backend_;
  std::wstring text_;
  size_t caret_ = 0;
  size_t anchor_ = 0;
  size_t maxChar_ = 0;
  bool readOnly_ = false;
  Rect rect_;
  bool visible_ = true;
  bool enabled_ = true;
  bool rtl_ = false;
  FontSpec font_;
  std::function<void()> onChange_;
  std::function<void(bool)> onTab_;
};

class HeadlessCombo : public INativeCombo {
 public:
  explicit HeadlessCombo(class HeadlessBackend& backend);
  ~HeadlessCombo() override;
  void SetRect(const Rect& r) override { rect_ = r; }
  void SetVisible(bool visible) override { visible_ = visible; }
  void SetEnabled(bool enabled) override { enabled_ = enabled; }
  void SetItems(const std::vector<std::wstring>& items) override;
  void SetCurSel(int index) override;
  int GetCurSel() const override { return curSel_; }
  void SetFont(const FontSpec& font, Color text, Color background) override;
  void SetFocus() override;
  bool HasFocus() const override;
  void SetRtl(bool rtl) override { rtl_ = rtl; }
  void SetOnSelect(std::function<void(int)> onSelect) override { onSelect_ = std::move(onSelect); }
  void SetOnTab(std::function<void(bool)> onTab) override { onTab_ = std::move(onTab); }

  // The user picks item index (as shown). False when out of range.
  bool Pick(int index);
  bool KeyDown(int key, uint32_t modifiers);
  const std::vector<std::wstring>& Items() const { return items_; }
  const Rect& GetRect() const { return rect_; }
  bool IsVisible() const { return visible_; }
  bool IsEnabled() const { return enabled_; }
  void Detach() { backend_ = nullptr; }

 private:
  HeadlessBackend* backend_;
  std::vector<std::wstring> items_;
  int curSel_ = -1;
  Rect rect_;
  bool visible_ = true;
  bool enabled_ = true;
  bool rtl_ = false;
  std::function<void(int)> onSelect_;
  std::function<void(bool)> onTab_;
};

class HeadlessWindow : public INativeWindow {
 public:
  HeadlessWindow(HeadlessBackend& backend, const NativeWindowParams& params,
                 IWindowEvents* events, uintptr_t id);
  ~HeadlessWindow() override;

  void* Handle() const override { return reinterpret_cast<void*>(id_); }
  void Invalidate(const Rect* r) override;
  void SetRect(const Rect& r) override;
  Rect GetRect() const override { return rect_; }
  Size ClientSize() const override { return Size{rect_.Width(), rect_.Height()}; }
  void CenterOn(void* ownerHandle) override;
  void Show(ShowCommand cmd) override;
  bool IsVisible() const override { return visible_; }
  bool IsMinimized() const override { return minimized_; }
  void SetFocus() override;
  void SetCaption(const std::wstring& caption) override { caption_ = caption; }
  void SetCursorHand(bool hand) override { cursorHand_ = hand; }
  void Destroy() override;
  void SetTimer(uint32_t id, uint32_t elapseMs) override;
  void KillTimer(uint32_t id) override;
  bool PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  intptr_t SendMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  int RunModal() override;
  void EndModal(int result) override;
  void SetTaskbarProgress(TaskbarState state, int value, int total) override;
  void SetToolTip(const std::wstring& text, const Rect& area) override {
    toolTip_ = text;
    toolTipArea_ = text.empty() ? Rect{} : area;
  }
  std::unique_ptr<INativeEdit> CreateEdit() override;
  std::unique_ptr<INativeCombo> CreateCombo() override;

  // Recorded state.
  const NativeWindowParams& Params() const { return params_; }
  const std::wstring& Caption() const { return caption_; }
  bool HasFocus() const;
  bool IsCursorHand() const { return cursorHand_; }
  bool IsDestroyed() const { return destroyed_; }
  bool IsEnabled() const { return enabledCount_ == 0; }
  bool IsModal() const { return modalDepth_ > 0; }
  TaskbarState GetTaskbarState() const { return taskbarState_; }
  int TaskbarValue() const { return taskbarValue_; }
  int TaskbarTotal() const { return taskbarTotal_; }
  int InvalidateCount() const { return invalidates_; }
  // The tooltip that shows now (shown at once, no delay) and where the pointer keeps it.
  const std::wstring& ToolTip() const { return toolTip_; }
  const Rect& ToolTipArea() const { return toolTipArea_; }
  bool HasTimer(uint32_t id) const;
  uint32_t TimerElapse(uint32_t id) const;  // 0 when not set
  IWindowEvents* Events() const { return events_; }
  // Paints the whole client area and returns what was drawn.
  std::vector<DrawOp> Paint();
  void Disable(bool disable) { enabledCount_ += disable ? 1 : -1; }

 private:
  friend class HeadlessBackend;
  struct Timer {
    uint32_t id;
    uint32_t elapse;
    uint64_t due;
    uint64_t seq;
  };
  HeadlessBackend& backend_;
  NativeWindowParams params_;
  IWindowEvents* events_;
  uintptr_t id_;
  Rect rect_;
  std::wstring caption_;
  bool visible_ = false;
  bool minimized_ = false;
  bool cursorHand_ = false;
  bool destroyed_ = false;
  int enabledCount_ = 0;
  int modalDepth_ = 0;
  struct ModalFrame {
    bool ended = false;
    int result = -1;
  };
  std::vector<ModalFrame> modal_;
  TaskbarState taskbarState_ = TaskbarState::kNone;
  int taskbarValue_ = 0;
  int taskbarTotal_ = 0;
  int invalidates_ = 0;
  std::wstring toolTip_;
  Rect toolTipArea_;
  std::vector<Timer> timers_;
};

class HeadlessBackend : public IBackend {
 public:
  HeadlessBackend();
  ~HeadlessBackend() override;

  // IBackend.
  std::unique_ptr<INativeWindow> CreateNativeWindow(const NativeWindowParams& params,
                                                    IWindowEvents* events) override;
  // Delivers messages until Quit or until the queue is empty; returns the Quit code, or -1
  // when the loop ran idle without one. In real-time mode: waits for messages and timers
  // until Quit, or returns -1 once no window is left.
  int RunMessageLoop() override;
  void Quit(int code) override;
  std::shared_ptr<Image> CreateImage(int width, int height) override;
  std::unique_ptr<ICanvas> CanvasFor(const std::shared_ptr<Image>& image) override;
  std::wstring ResolveFace(const std::wstring& face, const std::wstring& sample) override;
  double DpiScale() const override { return dpiScale_; }
  uint64_t TickCount() const override;
  ImagePtr Decode(const std::string& bytes) override;

  // Test controls.
  void SetDpiScale(double scale) { dpiScale_ = scale; }
  // Switches to the wall clock (see the header comment); set before the first timer.
  void SetRealTime(bool realTime);
  bool RealTime() const { return realTime_; }
  // Moves the virtual clock by ms, firing every timer that falls due on the way, in time
  // order (then the order they were set), with the clock at each timer's due time; posted
  // messages are delivered after each timer.
  void AdvanceTime(uint64_t ms);
  // Delivers queued messages (those posted meanwhile too, up to a bound that stops a
  // message that re-posts itself); returns how many were delivered.
  size_t PumpMessages();
  size_t PendingMessages() const;
  bool QuitRequested() const { return quitRequested_.load(); }
  int QuitCode() const { return quitCode_.load(); }
  void ResetQuit() { quitRequested_ = false; }
  // Called when a window enters its modal loop (the Window behind it, when it is a toolkit
  // window). The script clicks a button, types, advances time; when the box has not ended
  // its modal loop after the script (and the queue is drained), RunModal returns -1.
  void SetModalScript(std::function<void(Window&)> script) { modalScript_ = std::move(script); }
  // Windows not yet destroyed, in creation order.
  std::vector<HeadlessWindow*> Windows() const;
  HeadlessWindow* Find(const Window& window) const;
  HeadlessWindow* FindByClass(const std::wstring& className) const;
  HeadlessWindow* FocusWindow() const { return focusWindow_; }
  void SetFocusWindow(HeadlessWindow* window);
  // The focused native child (edit or combo) of the focus window, if any.
  HeadlessEdit* FocusedEdit() const { return focusEdit_; }
  HeadlessCombo* FocusedCombo() const { return focusCombo_; }
  void SetFocusedChild(HeadlessEdit* edit, HeadlessCombo* combo);
  std::wstring& Clipboard() { return clipboard_; }
  // Faces ResolveFace reports as missing (mapped to "Fallback Sans").
  void SetMissingFaces(std::vector<std::wstring> faces) { missingFaces_ = std::move(faces); }
  // Whether windows give native edit and combo children (true); false makes CreateEdit and
  // CreateCombo return null, as a backend without them would.
  void SetNativeChildren(bool enabled) { nativeChildren_ = enabled; }
  bool NativeChildren() const { return nativeChildren_; }
  // Work area that CenterOn(null) centres on.
  void SetWorkArea(const Rect& r) { workArea_ = r; }
  const Rect& WorkArea() const { return workArea_; }

 private:
  friend class HeadlessWindow;
  struct Posted {
    HeadlessWindow* window;
    uint32_t msg;
    uintptr_t wParam;
    intptr_t lParam;
  };
  bool Enqueue(HeadlessWindow* window, uint32_t msg, uintptr_t wParam, intptr_t lParam);
  void Unregister(HeadlessWindow* window);
  bool Deliver(const Posted& p);
  // The current time: the virtual clock, or the steady clock in real-time mode.
  uint64_t Now() const;
  // Fires the earliest timer due at or before upTo (moving the virtual clock to it); false
  // when none is due.
  bool FireNextTimer(uint64_t upTo);
  // Real-time mode: delivers messages and fires due timers, waiting for either, until done()
  // holds, Quit is asked for or no window is left.
  void RunRealTimeUntil(const std::function<bool()>& done);

  double dpiScale_ = 1.0;
  uint64_t now_ = 1000;
  bool realTime_ = false;
  uint64_t realTimeBase_ = 0;  // steady-clock ms that read as 1000
  uint64_t timerSeq_ = 0;
  uintptr_t nextId_ = 0x1000;
  std::atomic<bool> quitRequested_{false};
  std::atomic<int> quitCode_{0};
  mutable std::mutex queueLock_;
  std::condition_variable queueChanged_;  // a message was posted or Quit asked for
  std::deque<Posted> queue_;  // guarded by queueLock_
  std::vector<HeadlessWindow*> windows_;
  HeadlessWindow* focusWindow_ = nullptr;
  HeadlessEdit* focusEdit_ = nullptr;
  HeadlessCombo* focusCombo_ = nullptr;
  std::wstring clipboard_;
  std::vector<std::wstring> missingFaces_;
  Rect workArea_{0, 0, 1920, 1040};
  std::function<void(Window&)> modalScript_;
  bool nativeChildren_ = true;
};

// Drives toolkit windows as a user would, then delivers what the action posted.
class Driver {
 public:
  explicit Driver(HeadlessBackend& backend) : backend_(backend) {}
  // Moves over the control's centre, presses and releases. False when the control is missing,
  // hidden or has no area.
  bool Click(Window& window, const std::wstring& name);
  // Clicks link index of a Text/Label with markup. False when the link is not drawn.
  bool ClickLink(Window& window, const std::wstring& name, int linkIndex);
  bool Hover(Window& window, const std::wstring& name);
  void MouseMove(Window& window, Point p);
  void MouseDown(Window& window, Point p);
  void MouseUp(Window& window, Point p);
  void Wheel(Window& window, Point p, int delta);
  // A key down: to the focused native edit or combo first, to the window when that does not
  // use it. True when something used the key.
  bool KeyPress(Window& window, int key, uint32_t modifiers = 0);
  // Characters to the focused edit (or to the window).
  void TypeText(Window& window, const std::wstring& text);
  void AdvanceTime(uint64_t ms) { backend_.AdvanceTime(ms); }
  std::vector<DrawOp> Paint(Window& window);

 private:
  HeadlessBackend& backend_;
};

}  // namespace uikit::headless
