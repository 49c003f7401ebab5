// Native top-level windows: one class per class name, double-buffered painting, input, focus,
// timers, caption dragging, DPI changes, modal loops and the taskbar button's progress.
#include <windows.h>
#include <windowsx.h>
#include <commctrl.h>
#include <objbase.h>
#include <shobjidl.h>

#include <easylogging++.h>

#include <algorithm>

#include "uikit/win32/internal_win.h"

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

namespace uikit {
namespace win32 {
namespace {

uint32_t Modifiers() {
  uint32_t m = 0;
  if (GetKeyState(VK_SHIFT) & 0x8000) m |= kModShift;
  if (GetKeyState(VK_CONTROL) & 0x8000) m |= kModCtrl;
  if (GetKeyState(VK_MENU) & 0x8000) m |= kModAlt;
  return m;
}

Point ClientPoint(LPARAM lParam) {
  return Point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
}

bool RegisterClassOnce(BackendState& state, const std::wstring& name, WNDPROC proc) {
  if (state.registeredClasses.count(name)) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = CS_DBLCLKS;  // no CS_HREDRAW/VREDRAW: the back buffer repaints what changed
  wc.lpfnWndProc = proc;
  wc.hInstance = state.instance;
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hIcon = LoadIconW(state.instance, MAKEINTRESOURCEW(1));
  wc.hbrBackground = nullptr;  // the window paints every pixel itself
  wc.lpszClassName = name.c_str();
  if (!RegisterClassExW(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    LOG(INFO) << " RegisterClassEx failed: " << GetLastError();
    return false;
  }
  state.registeredClasses.insert(name);
  return true;
}

}  // namespace

NativeWindow::NativeWindow(BackendState& state, IWindowEvents* events)
    : state_(state), events_(events) {}

NativeWindow::~NativeWindow() {
  *alive_ = false;
  events_ = nullptr;
  if (modal_) {
    modal_->alive = false;
    modal_->running = false;
  }
  for (NativeChild* child : children_) child->ParentGone();
  children_.clear();
  if (accessible_) {
    DisconnectAccessible(accessible_);
    accessible_ = nullptr;
  }
  ReleaseTaskbar();
  DestroyToolTip();
  HWND hwnd = hwnd_.exchange(nullptr);
  if (hwnd) {
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (!destroying_) DestroyWindow(hwnd);
  }
}

bool NativeWindow::Create(const NativeWindowParams& params) {
  const std::wstring className = params.className.empty() ? L"KerfoUikitWindow" : params.className;
  if (!RegisterClassOnce(state_, className, &NativeWindow::Proc)) return false;
  DWORD exStyle = params.exStyle;
  // A top-level window without an owner gets its own taskbar button and Alt+Tab entry even
  // when it is a popup without a caption.
  if (!params.owner && !(params.style & WS_CHILD) && !(exStyle & WS_EX_TOOLWINDOW)) {
    exStyle |= WS_EX_APPWINDOW;
  }
  if (params.rtl) exStyle |= WS_EX_RTLREADING | WS_EX_RIGHT;
  HWND hwnd =
      CreateWindowExW(exStyle, className.c_str(), params.caption.c_str(), params.style,
                      params.rect.left, params.rect.top, params.rect.Width(), params.rect.Height(),
                      static_cast<HWND>(params.owner), nullptr, state_.instance, this);
  if (!hwnd) {
    LOG(INFO) << " CreateWindowEx failed: " << GetLastError();
    return false;
  }
  return true;
}

LRESULT CALLBACK NativeWindow::Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  NativeWindow* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<NativeWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    if (self) self->hwnd_ = hwnd;
  } else {
    self = reinterpret_cast<NativeWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  return self->Dispatch(msg, wParam, lParam);
}

LRESULT NativeWindow::Dispatch(UINT msg, WPARAM wParam, LPARAM lParam) {
  HWND hwnd = hwnd_.load();
  if (!events_ || !hwnd) {
    if (msg == WM_NCDESTROY && hwnd) {
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  switch (msg) {
    case WM_PAINT:
      Paint();
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the back buffer covers every pixel
    case WM_NCCALCSIZE:
      // Skinned windows draw their own caption and frame: the client area is the whole window,
      // also for the first calculation at creation (wParam FALSE), or a WS_CAPTION window
      // keeps the system's frame around its skin.
      return 0;
    case WM_NCPAINT:
      return 0;
    case WM_NCACTIVATE:
      return TRUE;  // nothing of the system's caption to repaint
    case WM_SETTEXT: {
      // The system paints a WS_CAPTION caption straight onto the window while setting its
      // text; hide the style bit meanwhile so the skin stays intact.
      const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
      if (!(style & WS_VISIBLE)) break;
      SetWindowLongPtrW(hwnd, GWL_STYLE, style & ~static_cast<LONG_PTR>(WS_VISIBLE));
      const LRESULT r = DefWindowProcW(hwnd, msg, wParam, lParam);
      SetWindowLongPtrW(hwnd, GWL_STYLE, style);
      return r;
    }
    case WM_SIZE:
      if (wParam != SIZE_MINIMIZED) {
        events_->OnSize(Size{LOWORD(lParam), HIWORD(lParam)});
      }
      return 0;
    case WM_MOUSEMOVE:
      if (!trackingLeave_) {
        TRACKMOUSEEVENT tme{sizeof(tme), TME_LEAVE, hwnd, 0};
        trackingLeave_ = TrackMouseEvent(&tme) != FALSE;
      }
      events_->OnMouseMove(ClientPoint(lParam));
      RelayToToolTip(msg, wParam, lParam);
      return 0;
    case WM_MOUSELEAVE:
      trackingLeave_ = false;
      events_->OnMouseLeave();
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
      RelayToToolTip(msg, wParam, lParam);
      SetCapture(hwnd);
      events_->OnMouseDown(ClientPoint(lParam), (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK)
                                                    ? MouseButton::kLeft
                                                    : MouseButton::kRight);
      return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP: {
      RelayToToolTip(msg, wParam, lParam);
      if (GetCapture() == hwnd) ReleaseCapture();
      if (!events_) return 0;
      auto alive = alive_;
      events_->OnMouseUp(ClientPoint(lParam),
                         msg == WM_LBUTTONUP ? MouseButton::kLeft : MouseButton::kRight);
      if (*alive) NotifyAccessibleChanges();
      return 0;
    }
    case WM_MOUSEWHEEL: {
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ScreenToClient(hwnd, &pt);
      events_->OnMouseWheel(Point{pt.x, pt.y}, GET_WHEEL_DELTA_WPARAM(wParam));
      return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
      auto alive = alive_;
      const bool used = events_->OnKeyDown(static_cast<int>(wParam), Modifiers());
      if (!*alive) return 0;
      NotifyAccessibleChanges();
      if (used) return 0;
      break;
    }
    case WM_CHAR:
      events_->OnChar(static_cast<wchar_t>(wParam));
      return 0;
    case WM_SETFOCUS: {
      auto alive = alive_;
      events_->OnFocusChanged(true);
      if (*alive) NotifyAccessibleChanges();
      return 0;
    }
    case WM_KILLFOCUS:
      events_->OnFocusChanged(false);
      return 0;
    case WM_TIMER: {
      auto alive = alive_;
      events_->OnTimer(static_cast<uint32_t>(wParam));
      if (*alive) NotifyAccessibleChanges();
      return 0;
    }
    case WM_CLOSE:
      if (events_->OnCloseRequest()) DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY: {
      destroying_ = true;
      if (modal_) {
        ReenableOwner();
        modal_->running = false;
      }
      if (GetCapture() == hwnd) ReleaseCapture();
      if (accessible_) {
        DisconnectAccessible(accessible_);
        accessible_ = nullptr;
      }
      ReleaseTaskbar();
      DestroyToolTip();
      // The toolkit may delete this object from OnDestroyed: nothing of it is used after.
      IWindowEvents* events = events_;
      events->OnDestroyed();
      return 0;
    }
    case WM_NCDESTROY:
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      hwnd_ = nullptr;
      return DefWindowProcW(hwnd, msg, wParam, lParam);
    case WM_NCHITTEST: {
      const LRESULT hit = DefWindowProcW(hwnd, msg, wParam, lParam);
      if (hit != HTCLIENT) return hit;
      POINT pt{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      ScreenToClient(hwnd, &pt);
      return events_->HitTest(Point{pt.x, pt.y}) == HitArea::kCaption ? HTCAPTION : HTCLIENT;
    }
    case WM_DPICHANGED: {
      events_->OnDpiChanged(LOWORD(wParam) / 96.0);
      const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
      if (suggested) {
        SetWindowPos(hwnd, nullptr, suggested->left, suggested->top,
                     suggested->right - suggested->left, suggested->bottom - suggested->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
      }
      return 0;
    }
    case WM_SETCURSOR:
      if (LOWORD(lParam) == HTCLIENT && reinterpret_cast<HWND>(wParam) == hwnd && cursorHand_) {
        SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));  // IDC_HAND
        return TRUE;
      }
      break;
    case WM_GETOBJECT:
      if (static_cast<LONG>(static_cast<DWORD>(lParam)) == static_cast<LONG>(OBJID_CLIENT)) {
        if (!accessible_) {
          accessible_ = CreateAccessibleRoot(hwnd, events_, state_.accessibleInvokeMessage);
          accessibleSnapshot_ = AccessibleSnapshot{};
          NotifyAccessibleChanges();  // the baseline; nothing is announced for it
        }
        if (accessible_) return AccessibleResult(accessible_, wParam);
      }
      break;
    case WM_COMMAND:
      if (lParam) {
        if (NativeChild* child = ChildOf(reinterpret_cast<HWND>(lParam))) {
          child->OnCommand(HIWORD(wParam));
          return 0;
        }
      }
      break;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
      if (NativeChild* child = ChildOf(reinterpret_cast<HWND>(lParam))) {
        return child->OnCtlColor(reinterpret_cast<HDC>(wParam));
      }
      break;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (NativeChild* child = item ? ChildOf(item->hwndItem) : nullptr) {
        if (child->OnDrawItem(*item)) return TRUE;
      }
      break;
    }
    case WM_MEASUREITEM: {
      auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
      if (NativeChild* child = item ? ChildById(static_cast<int>(item->CtlID)) : nullptr) {
        if (child->OnMeasureItem(item)) return TRUE;
      }
      break;
    }
    default:
      if (msg == state_.accessibleInvokeMessage && msg != 0) {
        auto alive = alive_;
        events_->InvokeAccessible(static_cast<size_t>(wParam));
        if (*alive) NotifyAccessibleChanges();
        return 0;
      }
      break;
  }

  intptr_t result = 0;
  if (events_->OnMessage(msg, wParam, lParam, &result)) return result;

  if (msg == WM_ACTIVATE) {
    // Give the keyboard focus back to the native child that had it (the path box) when the
    // window is activated again, e.g. after a message box.
    if (LOWORD(wParam) == WA_INACTIVE) {
      HWND focus = GetFocus();
      focusBeforeDeactivate_ = (focus && IsChild(hwnd, focus)) ? focus : nullptr;
    } else if (focusBeforeDeactivate_ && IsWindow(focusBeforeDeactivate_) &&
               IsChild(hwnd, focusBeforeDeactivate_) && !IsIconic(hwnd)) {
      ::SetFocus(focusBeforeDeactivate_);
      return 0;
    }
  }
  return DefWindowProcW(hwnd, msg, wParam, lParam);
}

void NativeWindow::NotifyAccessibleChanges() {
  HWND hwnd = hwnd_.load();
  if (!accessible_ || !events_ || !hwnd) return;
  const auto items = events_->AccessibleItems();
  AccessibleSnapshot now;
  now.checkedAndValue.reserve(items.size());
  for (size_t i = 0; i < items.size(); ++i) {
    if (items[i].focused) now.focused = static_cast<int>(i);
    now.checkedAndValue.emplace_back(items[i].checked, items[i].value);
  }
  const bool baseline =
      accessibleSnapshot_.checkedAndValue.empty() && accessibleSnapshot_.focused == -1;
  const auto& before = accessibleSnapshot_.checkedAndValue;
  if (!baseline && before.size() == items.size()) {
    for (size_t i = 0; i < items.size(); ++i) {
      const LONG child = static_cast<LONG>(i + 1);
      if (before[i].first != now.checkedAndValue[i].first) {
        NotifyWinEvent(EVENT_OBJECT_STATECHANGE, hwnd, OBJID_CLIENT, child);
      }
      if (before[i].second != now.checkedAndValue[i].second) {
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, hwnd, OBJID_CLIENT, child);
      }
    }
  } else if (!baseline) {
    NotifyWinEvent(EVENT_OBJECT_REORDER, hwnd, OBJID_CLIENT, CHILDID_SELF);
  }
  if (!baseline && now.focused != accessibleSnapshot_.focused && now.focused >= 0 &&
      GetFocus() == hwnd) {
    NotifyWinEvent(EVENT_OBJECT_FOCUS, hwnd, OBJID_CLIENT, static_cast<LONG>(now.focused + 1));
  }
  accessibleSnapshot_ = std::move(now);
}

void NativeWindow::Paint() {
  HWND hwnd = hwnd_.load();
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (!dc) return;
  RECT client;
  GetClientRect(hwnd, &client);
  const int w = client.right - client.left, h = client.bottom - client.top;
  if (w > 0 && h > 0 &&
      (backBuffer_.Width() != w || backBuffer_.Height() != h || !backBuffer_.Dc())) {
    backBuffer_.Create(w, h);
  }
  const Rect dirty = FromRECT(ps.rcPaint).Intersect(Rect{0, 0, w, h});
  if (backBuffer_.Dc() && !dirty.IsEmpty()) {
    {
      auto canvas = MakeCanvas(state_, backBuffer_.Bits(), w, h, dirty);
      events_->OnPaint(*canvas, dirty);
    }
    GdiFlush();
    BitBlt(dc, dirty.left, dirty.top, dirty.Width(), dirty.Height(), backBuffer_.Dc(), dirty.left,
           dirty.top, SRCCOPY);
  }
  EndPaint(hwnd, &ps);
}

void NativeWindow::Invalidate(const Rect* r) {
  HWND hwnd = hwnd_.load();
  if (!hwnd) return;
  if (r) {
    const RECT rc = ToRECT(*r);
    InvalidateRect(hwnd, &rc, FALSE);
  } else {
    InvalidateRect(hwnd, nullptr, FALSE);
  }
}

void NativeWindow::SetRect(const Rect& r) {
  if (HWND hwnd = hwnd_.load()) {
    SetWindowPos(hwnd, nullptr, r.left, r.top, r.Width(), r.Height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

Rect NativeWindow::GetRect() const {
  RECT rc{};
  if (HWND hwnd = hwnd_.load()) GetWindowRect(hwnd, &rc);
  return FromRECT(rc);
}

Size NativeWindow::ClientSize() const {
  RECT rc{};
  if (HWND hwnd = hwnd_.load()) GetClientRect(hwnd, &rc);
  return Size{rc.right - rc.left, rc.bottom - rc.top};
}

void NativeWindow::CenterOn(void* ownerHandle) {
  HWND hwnd = hwnd_.load();
  if (!hwnd) return;
  RECT self;
  GetWindowRect(hwnd, &self);
  const int w = self.right - self.left, h = self.bottom - self.top;
  HWND owner = static_cast<HWND>(ownerHandle);
  MONITORINFO mi{};
  mi.cbSize = sizeof(mi);
  GetMonitorInfoW(
      MonitorFromWindow(owner && IsWindow(owner) ? owner : hwnd, MONITOR_DEFAULTTONEAREST), &mi);
  const RECT work = mi.rcWork;
  RECT around = work;
  if (owner && IsWindow(owner) && IsWindowVisible(owner) && !IsIconic(owner)) {
    GetWindowRect(owner, &around);
  }
  int x = around.left + ((around.right - around.left) - w) / 2;
  int y = around.top + ((around.bottom - around.top) - h) / 2;
  // Keep the whole window on the work area when it fits there.
  x = std::max<int>(work.left, std::min<int>(x, work.right - w));
  y = std::max<int>(work.top, std::min<int>(y, work.bottom - h));
  SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void NativeWindow::Show(ShowCommand cmd) {
  HWND hwnd = hwnd_.load();
  if (!hwnd) return;
  switch (cmd) {
    case ShowCommand::kHide:
      ShowWindow(hwnd, SW_HIDE);
      break;
    case ShowCommand::kShow:
      ShowWindow(hwnd, IsIconic(hwnd) ? SW_RESTORE : SW_SHOW);
      SetForegroundWindow(hwnd);
      break;
    case ShowCommand::kShowNoActivate:
      ShowWindow(hwnd, SW_SHOWNOACTIVATE);
      break;
    case ShowCommand::kMinimize:
      SendMessageW(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
      break;
    case ShowCommand::kRestore:
      SendMessageW(hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
      break;
  }
}

bool NativeWindow::IsVisible() const {
  HWND hwnd = hwnd_.load();
  return hwnd && IsWindowVisible(hwnd);
}

bool NativeWindow::IsMinimized() const {
  HWND hwnd = hwnd_.load();
  return hwnd && IsIconic(hwnd);
}

void NativeWindow::SetFocus() {
  if (HWND hwnd = hwnd_.load()) ::SetFocus(hwnd);
}

void NativeWindow::SetCaption(const std::wstring& caption) {
  if (HWND hwnd = hwnd_.load()) SetWindowTextW(hwnd, caption.c_str());
}

void NativeWindow::SetCursorHand(bool hand) {
  if (cursorHand_ == hand) return;
  cursorHand_ = hand;
  HWND hwnd = hwnd_.load();
  POINT pt;
  if (hwnd && GetCursorPos(&pt) && WindowFromPoint(pt) == hwnd) {
    SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(hand ? 32649 : 32512)));
  }
}

void NativeWindow::Destroy() {
  if (HWND hwnd = hwnd_.load()) DestroyWindow(hwnd);
}

void NativeWindow::SetTimer(uint32_t id, uint32_t elapseMs) {
  if (HWND hwnd = hwnd_.load()) ::SetTimer(hwnd, id, elapseMs, nullptr);
}

void NativeWindow::KillTimer(uint32_t id) {
  if (HWND hwnd = hwnd_.load()) ::KillTimer(hwnd, id);
}

bool NativeWindow::PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  HWND hwnd = hwnd_.load();
  return hwnd && PostMessageW(hwnd, msg, wParam, lParam) != FALSE;
}

intptr_t NativeWindow::SendMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  HWND hwnd = hwnd_.load();
  return hwnd ? SendMessageW(hwnd, msg, wParam, lParam) : 0;
}

int NativeWindow::RunModal() {
  HWND hwnd = hwnd_.load();
  if (!hwnd || modal_) return 0;
  auto held = std::make_shared<ModalFrame>();
  ModalFrame& frame = *held;
  frame.owner = GetWindow(hwnd, GW_OWNER);
  if (frame.owner && IsWindowEnabled(frame.owner)) {
    EnableWindow(frame.owner, FALSE);
    frame.ownerDisabled = true;
  }
  modal_ = held;
  bool quit = false;
  int quitCode = 0;
  MSG msg;
  while (frame.running) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      quit = true;
      quitCode = static_cast<int>(msg.wParam);
      break;
    }
    if (got == -1) break;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (frame.alive) {
    modal_ = nullptr;
  }
  if (frame.ownerDisabled && frame.owner && IsWindow(frame.owner)) {
    EnableWindow(frame.owner, TRUE);
  }
  if (frame.owner && IsWindow(frame.owner)) {
    HWND active = GetActiveWindow();
    if (!active || active == hwnd || !IsWindow(active)) SetActiveWindow(frame.owner);
  }
  // The outer loop must still see a quit request that arrived inside this one.
  if (quit) PostQuitMessage(quitCode);
  return frame.result;
}

void NativeWindow::EndModal(int result) {
  if (!modal_) return;
  modal_->result = result;
  modal_->running = false;
  // The owner is enabled again before this window goes, so the system activates it next.
  ReenableOwner();
  if (HWND hwnd = hwnd_.load()) PostMessageW(hwnd, WM_NULL, 0, 0);
}

void NativeWindow::ReenableOwner() {
  if (!modal_ || !modal_->ownerDisabled) return;
  if (modal_->owner && IsWindow(modal_->owner)) EnableWindow(modal_->owner, TRUE);
  modal_->ownerDisabled = false;
}

bool NativeWindow::EnsureTaskbar() {
  if (taskbar_) return true;
  if (taskbarTried_) return false;
  APTTYPE type;
  APTTYPEQUALIFIER qualifier;
  if (FAILED(CoGetApartmentType(&type, &qualifier))) {
    if (!taskbarFailureLogged_) {
      LOG(INFO) << " Taskbar progress off: COM is not initialised on the window thread";
      taskbarFailureLogged_ = true;
    }
    return false;  // may work once COM is up
  }
  taskbarTried_ = true;
  ITaskbarList3* list = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                reinterpret_cast<void**>(&list));
  if (SUCCEEDED(hr)) {
    hr = list->HrInit();
    if (FAILED(hr)) {
      list->Release();
      list = nullptr;
    }
  }
  if (!list) {
    if (!taskbarFailureLogged_) {
      LOG(INFO) << " Taskbar progress off: ITaskbarList3 failed with 0x" << std::hex
                << static_cast<unsigned long>(hr) << std::dec;
      taskbarFailureLogged_ = true;
    }
    return false;
  }
  taskbar_ = list;
  return true;
}

void NativeWindow::ReleaseTaskbar() {
  if (taskbar_) static_cast<ITaskbarList3*>(taskbar_)->Release();
  taskbar_ = nullptr;
}

void NativeWindow::SetToolTip(const std::wstring& text, const Rect& area) {
  HWND hwnd = hwnd_.load();
  if (!hwnd || destroying_) return;
  if (!tooltip_) {
    if (text.empty()) return;
    INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    tooltip_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, hwnd, nullptr,
                               state_.instance, nullptr);
    if (!tooltip_) {
      if (!tooltipFailureLogged_) {
        LOG(INFO) << " Tooltip control not created, error " << GetLastError();
        tooltipFailureLogged_ = true;
      }
      return;
    }
    // Long tips wrap instead of running off the screen.
    SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);
  }
  // The V2 size works with every comctl32 (version 6 or not).
  TTTOOLINFOW tool{};
  tool.cbSize = TTTOOLINFOW_V2_SIZE;
  tool.hwnd = hwnd;
  tool.uId = 1;
  SendMessageW(tooltip_, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  tooltipText_ = text;
  if (text.empty() || area.IsEmpty()) return;
  tool.uFlags = (GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_RTLREADING) ? TTF_RTLREADING : 0;
  tool.rect = ToRECT(area);
  tool.lpszText = const_cast<wchar_t*>(tooltipText_.c_str());
  SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void NativeWindow::RelayToToolTip(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!tooltip_) return;
  MSG m{hwnd_.load(), msg, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
  const DWORD pos = GetMessagePos();
  m.pt = POINT{GET_X_LPARAM(pos), GET_Y_LPARAM(pos)};
  SendMessageW(tooltip_, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&m));
}

void NativeWindow::DestroyToolTip() {
  if (tooltip_) DestroyWindow(tooltip_);
  tooltip_ = nullptr;
  tooltipText_.clear();
}

void NativeWindow::SetTaskbarProgress(TaskbarState state, int value, int total) {
  HWND hwnd = hwnd_.load();
  if (!hwnd || !EnsureTaskbar()) return;
  auto* list = static_cast<ITaskbarList3*>(taskbar_);
  TBPFLAG flag = TBPF_NOPROGRESS;
  switch (state) {
    case TaskbarState::kNone:
      flag = TBPF_NOPROGRESS;
      break;
    case TaskbarState::kNormal:
      flag = TBPF_NORMAL;
      break;
    case TaskbarState::kError:
      flag = TBPF_ERROR;
      break;
    case TaskbarState::kPaused:
      flag = TBPF_PAUSED;
      break;
    case TaskbarState::kIndeterminate:
      flag = TBPF_INDETERMINATE;
      break;
  }
  HRESULT hr = list->SetProgressState(hwnd, flag);
  if (SUCCEEDED(hr) && total > 0 &&
      (state == TaskbarState::kNormal || state == TaskbarState::kError ||
       state == TaskbarState::kPaused)) {
    hr = list->SetProgressValue(hwnd, static_cast<ULONGLONG>(std::max(0, std::min(value, total))),
                                static_cast<ULONGLONG>(total));
  }
  if (FAILED(hr) && !taskbarFailureLogged_) {
    LOG(INFO) << " Taskbar progress failed with 0x" << std::hex << static_cast<unsigned long>(hr)
              << std::dec;
    taskbarFailureLogged_ = true;
  }
}

std::unique_ptr<INativeEdit> NativeWindow::CreateEdit() {
  if (!hwnd_.load()) return nullptr;
  return CreateEditChild(state_, *this);
}

std::unique_ptr<INativeCombo> NativeWindow::CreateCombo() {
  if (!hwnd_.load()) return nullptr;
  return CreateComboChild(state_, *this);
}

void NativeWindow::AddChild(NativeChild* child) {
  children_.push_back(child);
}

void NativeWindow::RemoveChild(NativeChild* child) {
  children_.erase(std::remove(children_.begin(), children_.end(), child), children_.end());
}

NativeChild* NativeWindow::ChildOf(HWND hwnd) const {
  if (!hwnd) return nullptr;
  for (NativeChild* child : children_) {
    HWND own = child->Hwnd();
    if (!own) continue;
    if (own == hwnd) return child;
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    if (GetComboBoxInfo(own, &info) && info.hwndList == hwnd) return child;
  }
  return nullptr;
}

NativeChild* NativeWindow::ChildById(int id) const {
  for (NativeChild* child : children_) {
    if (child->Id() == id) return child;
  }
  return nullptr;
}

void NativeWindow::ForwardKey(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (HWND hwnd = hwnd_.load()) SendMessageW(hwnd, msg, wParam, lParam);
}

}  // namespace win32
}  // namespace uikit
