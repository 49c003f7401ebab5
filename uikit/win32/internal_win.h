// Pieces of the Win32 backend shared between its files (never included outside uikit/win32).
#pragma once

#include <windows.h>
// The toolkit's own methods share names with these A/W macros; inside the backend the
// Windows functions are always called by their W names.
#undef PostMessage
#undef SendMessage
#undef DrawText
#undef IsMinimized

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "uikit/backend.h"
#include "uikit/win32/win32_backend.h"

namespace uikit {
namespace win32 {

// Pixels of an image: premultiplied BGRA words (the layout of a top-down 32-bit DIB and of
// GDI+'s PixelFormat32bppPARGB), so canvases and GDI+ read and write them in place.
class PixelImage : public Image {
 public:
  PixelImage(int width, int height)
      : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, 0u) {}
  int Width() const override { return width_; }
  int Height() const override { return height_; }
  uint32_t* Bits() { return pixels_.data(); }
  const uint32_t* Bits() const { return pixels_.data(); }

 private:
  int width_;
  int height_;
  std::vector<uint32_t> pixels_;
};

// A top-down 32-bit DIB section selected into its own memory DC.
class Dib {
 public:
  Dib() = default;
  ~Dib() { Release(); }
  Dib(const Dib&) = delete;
  Dib& operator=(const Dib&) = delete;
  bool Create(int width, int height);
  void Release();
  HDC Dc() const { return dc_; }
  uint32_t* Bits() const { return bits_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint32_t* bits_ = nullptr;
  int width_ = 0;
  int height_ = 0;
};

// What the backend keeps for all its windows and canvases. The font and face caches take
// `lock` (a canvas on another thread may draw text while the window thread paints).
struct BackendState {
  HINSTANCE instance = nullptr;
  ULONG_PTR gdiplusToken = 0;
  bool gdiplusReady = false;
  UINT accessibleInvokeMessage = 0;  // registered: invoke an accessible item after the call
  UINT taskbarButtonCreatedMessage = 0;
  std::set<std::wstring> registeredClasses;  // window thread only

  std::mutex lock;
  bool facesEnumerated = false;           // guarded by lock
  std::set<std::wstring> installedFaces;  // lower case; guarded by lock
  // Per face (lower case): characters known to have a glyph, or none. Guarded by lock.
  std::map<std::wstring, std::set<wchar_t>> glyphsPresent;
  std::map<std::wstring, std::set<wchar_t>> glyphsMissing;
  std::map<std::wstring, std::wstring> resolved;  // "face|sample" -> face; guarded by lock
  std::set<std::wstring> loggedFallbacks;         // "face|script" logged once; guarded by lock
  std::map<std::tuple<std::wstring, int, bool, bool, bool>, HFONT> fonts;  // guarded by lock

  ~BackendState();
  // The cached GDI font of a spec drawn with an already resolved face (never null).
  HFONT Font(const FontSpec& spec, const std::wstring& resolvedFace);
  // The cached font for a spec and the text it draws (face resolved for the text's script).
  HFONT FontFor(const FontSpec& spec, const std::wstring& text);
  std::wstring Resolve(const std::wstring& face, const std::wstring& sample);

  // A text split where its characters need different faces (a Hindi sentence with the Latin
  // product name under fonts that cover one script each). One run when one face draws all.
  struct FaceRun {
    size_t begin;
    size_t end;
    std::wstring face;
  };
  std::vector<FaceRun> SplitByFace(const std::wstring& face, const std::wstring& text);

 private:
  void EnumerateFacesLocked();
  bool CoversLocked(const std::wstring& face, const std::wstring& sample, int script);
  std::wstring ResolveLocked(const std::wstring& face, const std::wstring& sample);
};

// Draws into premultiplied BGRA memory: a window's back buffer or an offscreen image. Shapes
// and images through GDI+ on the same memory, text through GDI into a scratch DIB whose
// coverage is then blended in, so text is opaque where it is drawn on any target.
std::unique_ptr<ICanvas> MakeCanvas(BackendState& state, uint32_t* bits, int width, int height,
                                    const Rect& clip);

// Premultiplied BGRA of a 0xAARRGGBB colour.
inline uint32_t Premultiply(Color c) {
  const uint32_t a = AlphaOf(c);
  if (a == 255) return c;
  const uint32_t r = (RedOf(c) * a + 127) / 255, g = (GreenOf(c) * a + 127) / 255,
                 b = (BlueOf(c) * a + 127) / 255;
  return (a << 24) | (r << 16) | (g << 8) | b;
}

inline COLORREF ToColorRef(Color c) {
  return RGB(RedOf(c), GreenOf(c), BlueOf(c));
}

inline RECT ToRECT(const Rect& r) {
  return RECT{r.left, r.top, r.right, r.bottom};
}
inline Rect FromRECT(const RECT& r) {
  return Rect{r.left, r.top, r.right, r.bottom};
}

class NativeWindow;

// A native child (edit or combo) as its parent window sees it: the parent forwards the
// notifications and colour/draw requests that Windows sends to it about the child.
class NativeChild {
 public:
  virtual ~NativeChild() = default;
  virtual HWND Hwnd() const = 0;
  virtual int Id() const = 0;  // the child window id (WM_MEASUREITEM names children by it)
  virtual void OnCommand(int code) = 0;
  virtual LRESULT OnCtlColor(HDC dc) = 0;
  virtual bool OnDrawItem(const DRAWITEMSTRUCT& item) { return false; }
  virtual bool OnMeasureItem(MEASUREITEMSTRUCT* item) { return false; }
  virtual void ParentGone() = 0;
};

std::unique_ptr<INativeEdit> CreateEditChild(BackendState& state, NativeWindow& parent);
std::unique_ptr<INativeCombo> CreateComboChild(BackendState& state, NativeWindow& parent);

// The IAccessible of a window's client area; the window disconnects it when it goes.
class AccessibleRoot;
AccessibleRoot* CreateAccessibleRoot(HWND hwnd, IWindowEvents* events, UINT invokeMessage);
LRESULT AccessibleResult(AccessibleRoot* root, WPARAM wParam);
void DisconnectAccessible(AccessibleRoot* root);  // also releases the window's reference

class NativeWindow : public INativeWindow {
 public:
  NativeWindow(BackendState& state, IWindowEvents* events);
  ~NativeWindow() override;
  bool Create(const NativeWindowParams& params);

  void* Handle() const override { return hwnd_.load(); }
  void Invalidate(const Rect* r) override;
  void SetRect(const Rect& r) override;
  Rect GetRect() const override;
  Size ClientSize() const override;
  void CenterOn(void* ownerHandle) override;
  void Show(ShowCommand cmd) override;
  bool IsVisible() const override;
  bool IsMinimized() const override;
  void SetFocus() override;
  void SetCaption(const std::wstring& caption) override;
  void SetCursorHand(bool hand) override;
  void Destroy() override;
  void SetTimer(uint32_t id, uint32_t elapseMs) override;
  void KillTimer(uint32_t id) override;
  bool PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  intptr_t SendMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) override;
  int RunModal() override;
  void EndModal(int result) override;
  void SetTaskbarProgress(TaskbarState state, int value, int total) override;
  void SetToolTip(const std::wstring& text, const Rect& area) override;
  std::unique_ptr<INativeEdit> CreateEdit() override;
  std::unique_ptr<INativeCombo> CreateCombo() override;

  HWND Hwnd() const { return hwnd_.load(); }
  HWND ToolTipHwnd() const { return tooltip_; }
  int NextChildId() { return nextChildId_++; }
  void AddChild(NativeChild* child);
  void RemoveChild(NativeChild* child);
  // A key that a native child passes on (Enter, Esc): as if pressed in the window.
  void ForwardKey(UINT msg, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);
  void Paint();
  NativeChild* ChildOf(HWND child) const;
  NativeChild* ChildById(int id) const;
  void ReenableOwner();
  bool EnsureTaskbar();
  // Tells screen readers (once one has asked for the accessible object) what changed in the
  // toolkit's items after an input or timer event: focus, check state, progress value.
  void NotifyAccessibleChanges();
  void ReleaseTaskbar();
  // Passes a mouse message on to the tooltip control (it shows and hides itself from them).
  void RelayToToolTip(UINT msg, WPARAM wParam, LPARAM lParam);
  void DestroyToolTip();

  BackendState& state_;
  IWindowEvents* events_;
  std::atomic<HWND> hwnd_{nullptr};
  Dib backBuffer_;
  bool trackingLeave_ = false;
  bool cursorHand_ = false;
  HWND focusBeforeDeactivate_ = nullptr;
  std::vector<NativeChild*> children_;
  AccessibleRoot* accessible_ = nullptr;
  struct AccessibleSnapshot {
    int focused = -1;
    std::vector<std::pair<bool, int>> checkedAndValue;
  } accessibleSnapshot_;
  // False once this object is deleted; held across calls into the toolkit, which may delete it.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

  int nextChildId_ = 1000;
  bool destroying_ = false;

  // The running modal loop; RunModal holds it too, as the window may be deleted inside it.
  struct ModalFrame {
    bool running = true;
    bool alive = true;
    int result = 0;
    HWND owner = nullptr;
    bool ownerDisabled = false;
  };
  std::shared_ptr<ModalFrame> modal_;

  // The tooltip control (TOOLTIPS_CLASS), made when the first tooltip shows; one tool, the
  // area of the control under the pointer, replaced whenever that control changes.
  HWND tooltip_ = nullptr;
  bool tooltipFailureLogged_ = false;
  std::wstring tooltipText_;

  // Taskbar progress (ITaskbarList3), made on first use.
  void* taskbar_ = nullptr;  // ITaskbarList3*
  bool taskbarTried_ = false;
  bool taskbarFailureLogged_ = false;
};

}  // namespace win32
}  // namespace uikit
