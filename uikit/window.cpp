#include "uikit/window.h"

#include "uikit/logging.h"

#include <algorithm>
#include <cmath>

#include "platform/text.h"
#include "uikit/layout_builder.h"
#include "uikit/toolkit.h"

namespace uikit {
namespace {

constexpr uint32_t kStyleVisible = 0x10000000u;  // WS_VISIBLE

bool IsDescendant(const Control* c, const Control* ancestor) {
  for (; c; c = c->Parent()) {
    if (c == ancestor) return true;
  }
  return false;
}

}  // namespace

Window::Window() = default;

Window::~Window() {
  {
    std::lock_guard<std::mutex> guard(taskLock_);
    alive_ = false;
    tasks_.clear();
  }
  hot_ = pressed_ = focus_ = popup_ = nullptr;
  root_.reset();
  if (native_ && !nativeDestroyed_) {
    nativeDestroyed_ = true;
    native_->Destroy();
  }
  native_.reset();
}

bool Window::Create(const WindowSpec& spec, const std::wstring& skinFile) {
  if (native_ || root_) {
    LOG(INFO) << " Window: created twice from " << platform::WideToUtf8(skinFile);
    return false;
  }
  if (!Toolkit::IsInstalled()) {
    LOG(INFO) << " Window: the UI toolkit is not installed";
    return false;
  }
  Toolkit& toolkit = Toolkit::Global();
  skinFile_ = skinFile;
  owner_ = spec.owner;
  rtl_ = spec.rtl;
  scale_ = toolkit.Scale();
  thread_ = std::this_thread::get_id();

  LayoutBuilder builder(toolkit.Package(), this);
  std::unique_ptr<Control> root = builder.Build(skinFile);
  if (!root) {
    LOG(INFO) << " Window: cannot create " << platform::WideToUtf8(spec.className) << " from "
              << platform::WideToUtf8(skinFile);
    fonts_.clear();
    return false;
  }
  root_ = std::move(root);
  root_->Attach(this, nullptr);

  NativeWindowParams params;
  params.className = spec.className;
  params.caption = spec.caption;
  params.style = spec.style;
  params.exStyle = spec.exStyle;
  params.owner = owner_ ? owner_->NativeHandle() : nullptr;
  params.rect = spec.rect;
  if (params.rect.Width() <= 0 || params.rect.Height() <= 0) {
    params.rect.right = params.rect.left + ScaleValue(std::max(1, initSize_.cx));
    params.rect.bottom = params.rect.top + ScaleValue(std::max(1, initSize_.cy));
  }
  params.rtl = rtl_;
  {
    std::lock_guard<std::mutex> guard(taskLock_);
    alive_ = true;
  }
  native_ = toolkit.Backend().CreateNativeWindow(params, this);
  if (!native_) {
    std::lock_guard<std::mutex> guard(taskLock_);
    alive_ = false;
    LOG(INFO) << " Window: the backend could not create " << platform::WideToUtf8(spec.className);
    root_.reset();
    return false;
  }
  root_->ForEach([](Control& c) { c.OnWindowCreated(); });
  needLayout_ = true;
  LayoutIfNeeded();
  if (spec.style & kStyleVisible) native_->Show(ShowCommand::kShow);
  return true;
}

Control* Window::FindControl(const std::wstring& name) const {
  if (!root_ || name.empty()) return nullptr;
  Control* found = nullptr;
  root_->ForEach([&](Control& c) {
    if (!found && c.Name() == name) found = &c;
  });
  return found;
}

void Window::LogMissing(const std::wstring& name, const Control* found) {
  if (std::find(missingLogged_.begin(), missingLogged_.end(), name) != missingLogged_.end()) return;
  missingLogged_.push_back(name);
  if (found) {
    LOG(INFO) << " Window " << platform::WideToUtf8(skinFile_) << ": control \""
              << platform::WideToUtf8(name) << "\" is a " << platform::WideToUtf8(KindName(found->Kind()))
              << ", not the kind asked for";
  } else {
    LOG(INFO) << " Window " << platform::WideToUtf8(skinFile_) << ": no control \""
              << platform::WideToUtf8(name) << "\"";
  }
}

void Window::SendNotify(Control* sender, const std::wstring& type, int linkIndex, int itemIndex) {
  if (!notifyHandler_) return;
  Notification n;
  n.type = type;
  n.sender = sender;
  n.linkIndex = linkIndex;
  n.itemIndex = itemIndex;
  notifyHandler_->Notify(n);
}

bool Window::SetTimer(uint32_t id, uint32_t elapseMs) {
  if (!native_ || !alive_) return false;
  native_->SetTimer(id, elapseMs);
  return true;
}

void Window::KillTimer(uint32_t id) {
  if (native_) native_->KillTimer(id);
}

bool Window::PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  std::lock_guard<std::mutex> guard(taskLock_);
  if (!alive_ || !native_) return false;
  return native_->PostMessage(msg, wParam, lParam);
}

bool Window::PostTask(std::function<void()> task) {
  if (!task) return false;
  std::lock_guard<std::mutex> guard(taskLock_);
  if (!alive_ || !native_) return false;
  tasks_.push_back(std::move(task));
  if (!native_->PostMessage(kMsgToolkitTask, 0, 0)) {
    tasks_.pop_back();
    return false;
  }
  return true;
}

void Window::RunTasks() {
  std::deque<std::function<void()>> run;
  {
    std::lock_guard<std::mutex> guard(taskLock_);
    run.swap(tasks_);
  }
  for (auto& task : run) task();
}

intptr_t Window::SendMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  if (!native_ || !alive_) return 0;
  return native_->SendMessage(msg, wParam, lParam);
}

void Window::Move(int x, int y) {
  if (!native_) return;
  Rect r = native_->GetRect();
  native_->SetRect(Rect{x, y, x + r.Width(), y + r.Height()});
}

void Window::Resize(int width, int height) {
  if (!native_) return;
  Rect r = native_->GetRect();
  native_->SetRect(Rect{r.left, r.top, r.left + ScaleValue(width), r.top + ScaleValue(height)});
  NeedLayout();
}

void Window::SetRect(const Rect& screenRect) {
  if (native_) native_->SetRect(screenRect);
  NeedLayout();
}

Rect Window::GetRect() const { return native_ ? native_->GetRect() : Rect{}; }

Size Window::GetClientSize() const {
  if (native_) return native_->ClientSize();
  return Size{ScaleValue(initSize_.cx), ScaleValue(initSize_.cy)};
}

void Window::CenterWindow() {
  if (native_) native_->CenterOn(owner_ ? owner_->NativeHandle() : nullptr);
}

void Window::Show(ShowCommand cmd) {
  if (native_) native_->Show(cmd);
}

void Window::ShowWindow(bool show, bool focus) {
  if (!native_) return;
  if (!show) {
    native_->Show(ShowCommand::kHide);
    return;
  }
  native_->Show(focus ? ShowCommand::kShow : ShowCommand::kShowNoActivate);
  if (focus) native_->SetFocus();
}

bool Window::IsVisible() const { return native_ && native_->IsVisible(); }
bool Window::IsMinimized() const { return native_ && native_->IsMinimized(); }

void Window::Minimize() { SendMessage(kMsgSysCommand, kScMinimize, 0); }

void Window::Close(int result) {
  closeResult_ = result;
  if (!PostMessage(kMsgClose, 0, 0)) {
    LOG(INFO) << " Window " << platform::WideToUtf8(skinFile_) << ": close asked of a closed window";
  }
}

int Window::ShowModal() {
  if (!native_ || !alive_) return -1;
  modal_ = true;
  if (!native_->IsVisible()) native_->Show(ShowCommand::kShow);
  const int result = native_->RunModal();
  modal_ = false;
  if (alive_) DestroyNative();
  return result;
}

void Window::SetCaption(const std::wstring& caption) {
  if (native_) native_->SetCaption(caption);
}

void Window::SetTaskbarProgress(TaskbarState state, int value, int total) {
  if (native_) native_->SetTaskbarProgress(state, value, total);
}

void* Window::NativeHandle() const { return native_ ? native_->Handle() : nullptr; }

void Window::SetRtl(bool rtl) {
  if (rtl_ == rtl) return;
  rtl_ = rtl;
  NeedLayout();
  Invalidate();
}

FontSpec Window::GetFont(int index) const {
  auto it = fonts_.find(index);
  if (it == fonts_.end()) it = fonts_.find(defaultFont_);
  FontSpec f;
  f.face = L"Microsoft YaHei";
  if (it != fonts_.end()) f = it->second.spec;
  if (!fontFace_.empty()) f.face = fontFace_;
  f.size = std::max(1, ScaleValue(f.size));
  return f;
}

bool Window::HasFont(int index) const { return fonts_.count(index) != 0; }

void Window::SetFontFace(const std::wstring& face) {
  if (fontFace_ == face) return;
  fontFace_ = face;
  if (root_) root_->ForEach([](Control& c) { c.OnFontsChanged(); });
  NeedLayout();
  Invalidate();
}

int Window::ScaleValue(int logical) const {
  return static_cast<int>(std::lround(logical * scale_));
}

Rect Window::CaptionRect() const {
  const Size client = GetClientSize();
  Insets c = caption_;
  if (rtl_) std::swap(c.left, c.right);
  return Rect{ScaleValue(c.left), ScaleValue(c.top), client.cx - ScaleValue(c.right),
              ScaleValue(c.bottom)};
}

void Window::NeedLayout() {
  needLayout_ = true;
  // Native children follow at once, so a hidden page never leaves its edit box on screen.
  if (native_ && !inLayout_) LayoutIfNeeded();
}

void Window::LayoutIfNeeded() {
  if (!needLayout_ || inLayout_ || !root_) return;
  inLayout_ = true;
  needLayout_ = false;
  const Size client = GetClientSize();
  Insets p = root_->GetPadding();
  if (rtl_) std::swap(p.left, p.right);
  root_->SetPos(Rect{ScaleValue(p.left), ScaleValue(p.top), client.cx - ScaleValue(p.right),
                     client.cy - ScaleValue(p.bottom)});
  root_->ForEach([](Control& c) { c.AfterLayout(); });
  inLayout_ = false;
  Invalidate();
}

void Window::Invalidate() {
  if (native_) native_->Invalidate(nullptr);
}

void Window::Invalidate(const Rect& r) {
  if (native_ && !r.IsEmpty()) native_->Invalidate(&r);
}

std::vector<Option*> Window::GroupOptions(const std::wstring& group) const {
  std::vector<Option*> options;
  if (!root_ || group.empty()) return options;
  root_->ForEach([&](Control& c) {
    if (c.Kind() == ControlKind::kOption || c.Kind() == ControlKind::kCheckBox) {
      auto& o = static_cast<Option&>(c);
      if (o.GetGroup() == group) options.push_back(&o);
    }
  });
  return options;
}

bool Window::Contains(const Control* control) const {
  if (!root_ || !control) return false;
  bool found = false;
  root_->ForEach([&](Control& c) { found = found || &c == control; });
  return found;
}

void Window::ForgetControl(Control* control) {
  if (hot_ == control) hot_ = nullptr;
  if (pressed_ == control) pressed_ = nullptr;
  if (focus_ == control) focus_ = nullptr;
  if (popup_ == control) popup_ = nullptr;
  if (tipControl_ == control) UpdateToolTip(nullptr);
}

void Window::ControlChanged(Control* control) {
  auto gone = [control](Control* c) {
    return c && IsDescendant(c, control) && (!c->IsVisibleInTree() || !c->IsEnabledInTree());
  };
  if (gone(hot_)) {
    hot_->SetHot(false);
    hot_ = nullptr;
  }
  if (tipControl_ && IsDescendant(tipControl_, control) && !tipControl_->IsVisibleInTree()) {
    UpdateToolTip(nullptr);
  }
  if (gone(pressed_)) {
    pressed_->SetPushed(false);
    pressed_ = nullptr;
  }
  if (gone(popup_)) {
    Combo* combo = static_cast<Combo*>(popup_);
    popup_ = nullptr;
    combo->ShowDropList(false);
  }
  if (gone(focus_)) {
    Control* old = focus_;
    focus_ = nullptr;
    old->OnEvent(ControlEvent{ControlEvent::Type::kKillFocus});
    SendNotify(old, L"killfocus");
  }
}

bool Window::IsWindowThread() const { return std::this_thread::get_id() == thread_; }

void Window::SetPopup(Control* popup) {
  if (popup_ == popup) return;
  Control* old = popup_;
  popup_ = popup;
  if (old) Invalidate(old->OverlayRect());
  Invalidate();
  if (old && old->Kind() == ControlKind::kCombo) static_cast<Combo*>(old)->ShowDropList(false);
}

// ---- focus ----

std::vector<Control*> Window::TabStops() const {
  std::vector<Control*> stops;
  if (!root_) return stops;
  root_->ForEach([&](Control& c) {
    if (c.IsTabStop() && c.IsVisibleInTree() && c.IsEnabledInTree() && !c.GetPos().IsEmpty()) {
      stops.push_back(&c);
    }
  });
  return stops;
}

void Window::SetFocus(Control* control) {
  SetFocusFrom(control, false);
}

void Window::SetFocusFrom(Control* control, bool backwards) {
  if (focus_ == control) return;
  Control* old = focus_;
  focus_ = control;
  if (old) {
    old->OnEvent(ControlEvent{ControlEvent::Type::kKillFocus});
    SendNotify(old, L"killfocus");
    Invalidate(old->VisibleRect());
  }
  if (control) {
    // Scroll the control into view in every scrolling layout around it.
    for (Control* p = control->Parent(); p; p = p->Parent()) {
      if (auto* c = dynamic_cast<Container*>(p)) c->ScrollIntoView(*control);
    }
    const bool nativeChild =
        (control->Kind() == ControlKind::kEdit && static_cast<Edit*>(control)->Native()) ||
        (control->Kind() == ControlKind::kCombo && static_cast<Combo*>(control)->Native());
    if (!nativeChild && native_) native_->SetFocus();
    ControlEvent e{ControlEvent::Type::kSetFocus};
    e.modifiers = backwards ? static_cast<uint32_t>(kModShift) : 0u;
    control->OnEvent(e);
    SendNotify(control, L"setfocus");
    Invalidate(control->VisibleRect());
  }
}

void Window::MoveFocus(bool backwards) {
  LayoutIfNeeded();
  if (focus_ && focus_->MoveInnerFocus(backwards)) return;
  std::vector<Control*> stops = TabStops();
  if (stops.empty()) return;
  auto it = std::find(stops.begin(), stops.end(), focus_);
  size_t next;
  if (it == stops.end()) {
    next = backwards ? stops.size() - 1 : 0;
  } else {
    const size_t i = static_cast<size_t>(it - stops.begin());
    next = backwards ? (i + stops.size() - 1) % stops.size() : (i + 1) % stops.size();
  }
  if (stops[next] == focus_) {
    // The only stop: enter it anew (its first or last link).
    focus_->OnEvent(ControlEvent{ControlEvent::Type::kKillFocus});
    focus_ = nullptr;
  }
  SetFocusFrom(stops[next], backwards);
}

// ---- painting ----

void Window::OnPaint(ICanvas& canvas, const Rect& dirty) {
  LayoutIfNeeded();
  const Size client = GetClientSize();
  Rect area = Rect{0, 0, client.cx, client.cy}.Intersect(dirty);
  if (area.IsEmpty()) return;
  canvas.PushClip(area);
  if (AlphaOf(bkColor_)) canvas.FillRect(Rect{0, 0, client.cx, client.cy}, bkColor_);
  if (!bkImage_.empty()) {
    ImagePtr image = Toolkit::Global().Images().Get(bkImage_);
    if (image) canvas.DrawImage(*image, Rect{0, 0, client.cx, client.cy});
  }
  if (root_ && root_->IsVisible()) root_->Paint(canvas, area);
  if (focus_ && focusCue_ && focus_->IsVisibleInTree()) {
    Rect r = focus_->GetPos();
    if (auto* label = dynamic_cast<Label*>(focus_)) {
      if (label->FocusedLink() >= 0 && !label->GetLinkRect(label->FocusedLink()).IsEmpty()) {
        r = label->GetLinkRect(label->FocusedLink());
      }
    }
    const Rect visible = focus_->VisibleRect().Intersect(area);
    if (!visible.IsEmpty()) {
      canvas.PushClip(visible);
      canvas.FocusRect(Rect{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1});
      canvas.PopClip();
    }
  }
  if (popup_) popup_->PaintOverlay(canvas);
  canvas.PopClip();
}

void Window::OnSize(Size clientSize) {
  (void)clientSize;
  NeedLayout();
  Invalidate();
}

// ---- mouse ----

Control* Window::TargetAt(Point p) {
  LayoutIfNeeded();
  if (popup_ && popup_->OverlayRect().Contains(p)) return popup_;
  if (!root_) return nullptr;
  return root_->FindAt(p);
}

void Window::UpdateHot(Point p) {
  Control* target = TargetAt(p);
  if (target && !target->IsEnabledInTree()) target = nullptr;
  // While pressed, only the pressed control can be hot (it shows pushed only while over it).
  if (pressed_ && target != pressed_) target = nullptr;
  if (target != hot_) {
    Control* old = hot_;
    hot_ = target;
    if (old) {
      old->SetHot(false);
      ControlEvent e{ControlEvent::Type::kMouseLeave};
      e.pt = p;
      old->OnEvent(e);
    }
    if (hot_) {
      hot_->SetHot(true);
      ControlEvent e{ControlEvent::Type::kMouseEnter};
      e.pt = p;
      hot_->OnEvent(e);
    }
  }
}

void Window::UpdateToolTip(Control* under) {
  Control* tip = under;
  while (tip && tip->GetToolTip().empty()) tip = tip->Parent();
  if (tip == tipControl_) return;
  tipControl_ = tip;
  if (native_) native_->SetToolTip(tip ? tip->GetToolTip() : std::wstring(), tip ? tip->VisibleRect() : Rect{});
}

void Window::OnMouseMove(Point p) {
  UpdateHot(p);
  ControlEvent e{ControlEvent::Type::kMouseMove};
  e.pt = p;
  Control* receiver = pressed_ ? pressed_ : hot_;
  if (receiver) receiver->OnEvent(e);
  if (native_) {
    Control* under = TargetAt(p);
    native_->SetCursorHand(under && under == (hot_ ? hot_ : under) && under->WantsHandCursor(p));
    UpdateToolTip(under);
  }
}

void Window::OnMouseLeave() {
  UpdateToolTip(nullptr);
  if (hot_) {
    Control* old = hot_;
    hot_ = nullptr;
    old->SetHot(false);
    old->OnEvent(ControlEvent{ControlEvent::Type::kMouseLeave});
  }
  if (native_) native_->SetCursorHand(false);
}

void Window::OnMouseDown(Point p, MouseButton b) {
  if (b != MouseButton::kLeft) return;
  focusCue_ = false;
  Control* target = TargetAt(p);
  if (popup_ && target != popup_) SetPopup(nullptr);
  if (!target || !target->IsEnabledInTree()) return;
  pressed_ = target;
  UpdateHot(p);
  target->SetPushed(true);
  if (target->IsTabStop()) SetFocus(target);
  if (pressed_ != target) return;  // the focus change removed it
  ControlEvent e{ControlEvent::Type::kButtonDown};
  e.pt = p;
  target->OnEvent(e);
}

void Window::OnMouseUp(Point p, MouseButton b) {
  if (b != MouseButton::kLeft || !pressed_) return;
  Control* was = pressed_;
  pressed_ = nullptr;
  was->SetPushed(false);
  ControlEvent up{ControlEvent::Type::kButtonUp};
  up.pt = p;
  was->OnEvent(up);
  // A click only when released over the control that was pressed.
  if (Contains(was) && TargetAt(p) == was && was->IsEnabledInTree()) {
    ControlEvent click{ControlEvent::Type::kClick};
    click.pt = p;
    was->OnEvent(click);
  }
  UpdateHot(p);
}

void Window::OnMouseWheel(Point p, int delta) {
  ControlEvent e{ControlEvent::Type::kWheel};
  e.pt = p;
  e.wheelDelta = delta;
  for (Control* c = TargetAt(p); c; c = c->Parent()) {
    if (c->OnEvent(e) && dynamic_cast<Container*>(c)) return;
  }
}

// ---- keyboard ----

void Window::ClickControl(Control* control, int linkIndex) {
  if (!control || !control->IsEnabledInTree() || !control->IsVisibleInTree()) return;
  ControlEvent e{ControlEvent::Type::kClick};
  e.key = kKeySpace;
  e.index = linkIndex;
  const Rect r = control->GetPos();
  e.pt = Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  control->OnEvent(e);
}

bool Window::OnKeyDown(int key, uint32_t modifiers) {
  if (key == kKeyF4 && (modifiers & kModAlt)) {
    RequestClose();
    return true;
  }
  if (key == kKeyTab) {
    focusCue_ = true;
    MoveFocus((modifiers & kModShift) != 0);
    Invalidate();
    return true;
  }
  if (focus_) {
    ControlEvent e{ControlEvent::Type::kKeyDown};
    e.key = key;
    e.modifiers = modifiers;
    if (focus_->OnEvent(e)) return true;
  }
  if (key == kKeyEscape) {
    if (popup_) {
      SetPopup(nullptr);
      return true;
    }
    Control* close = FindControl(L"closebtn");
    if (close && close->IsVisibleInTree() && close->IsEnabledInTree()) {
      ClickControl(close);
      return true;
    }
    return false;
  }
  if ((key == kKeySpace || key == kKeyReturn) && focus_) {
    focusCue_ = true;
    ClickControl(focus_, -1);
    return true;
  }
  if (key == kKeyUp || key == kKeyDown || key == kKeyHome || key == kKeyEnd) {
    // Scroll the layout around the focus (or under the mouse).
    Control* start = focus_ ? focus_ : hot_;
    ControlEvent e{ControlEvent::Type::kKeyDown};
    e.key = key;
    for (Control* c = start; c; c = c->Parent()) {
      auto* container = dynamic_cast<Container*>(c);
      if (container && container->HasVScroll() && container->GetScrollRange() > 0) {
        return container->OnEvent(e);
      }
    }
  }
  return false;
}

void Window::OnChar(wchar_t ch) {
  if (!focus_) return;
  ControlEvent e{ControlEvent::Type::kChar};
  e.ch = ch;
  focus_->OnEvent(e);
}

void Window::OnFocusChanged(bool focused) {
  if (!focused) {
    if (pressed_) {
      pressed_->SetPushed(false);
      pressed_ = nullptr;
    }
    SetPopup(nullptr);
  }
  if (focus_) Invalidate(focus_->VisibleRect());
}

// ---- timers, messages, closing ----

void Window::OnTimer(uint32_t id) {
  if (messageHandler_) messageHandler_->OnTimer(id);
}

bool Window::OnMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam, intptr_t* result) {
  if (result) *result = 0;
  if (msg == kMsgToolkitTask) {
    RunTasks();
    return true;
  }
  if (msg == kMsgClose) {
    RequestClose();
    return true;
  }
  if (messageHandler_) {
    bool handled = false;
    intptr_t r = messageHandler_->HandleCustomMessage(msg, wParam, lParam, handled);
    if (handled) {
      if (result) *result = r;
      return true;
    }
  }
  if (msg == kMsgSysCommand && native_) {
    switch (wParam & 0xFFF0u) {
      case kScMinimize:
        native_->Show(ShowCommand::kMinimize);
        return true;
      case kScRestore:
        native_->Show(ShowCommand::kRestore);
        return true;
      case kScClose:
        RequestClose();
        return true;
      default:
        break;
    }
  }
  return false;
}

void Window::RequestClose() {
  if (closing_ || !native_ || !alive_) return;
  closing_ = true;
  const bool agree = messageHandler_ ? messageHandler_->OnClose() : true;
  closing_ = false;
  if (!agree || !alive_) return;
  if (modal_) {
    native_->EndModal(closeResult_);  // ShowModal destroys the window when the loop returns
    return;
  }
  DestroyNative();
}

void Window::EndModal(int result) {
  closeResult_ = result;
  if (native_ && modal_) native_->EndModal(result);
}

bool Window::OnCloseRequest() {
  // The toolkit destroys the window itself once the handler agreed.
  RequestClose();
  return false;
}

void Window::DestroyNative() {
  {
    std::lock_guard<std::mutex> guard(taskLock_);
    if (!alive_) return;
    alive_ = false;
    tasks_.clear();
  }
  if (native_ && !nativeDestroyed_) {
    nativeDestroyed_ = true;
    native_->Destroy();
  }
}

void Window::OnDestroyed() {
  nativeDestroyed_ = true;
  std::lock_guard<std::mutex> guard(taskLock_);
  alive_ = false;
  tasks_.clear();
}

HitArea Window::HitTest(Point p) {
  if (!CaptionRect().Contains(p)) return HitArea::kClient;
  Control* target = TargetAt(p);
  if (auto* c = dynamic_cast<Container*>(target)) {
    if (c->ScrollBarRect().Contains(p)) return HitArea::kClient;
  }
  for (Control* c = target; c; c = c->Parent()) {
    if (c->IsInteractive() && c->IsEnabledInTree()) return HitArea::kClient;
  }
  return HitArea::kCaption;
}

void Window::OnDpiChanged(double scale) {
  if (scale <= 0.0 || scale == scale_) return;
  scale_ = scale;
  if (Toolkit::IsInstalled()) Toolkit::Global().Images().SetHighDensity(scale >= 1.5);
  if (root_) root_->ForEach([](Control& c) { c.OnFontsChanged(); });
  NeedLayout();
  Invalidate();
}

// ---- accessibility ----

std::vector<Window::AccessibleItem> Window::AccessibleItems() {
  LayoutIfNeeded();
  std::vector<AccessibleItem> items;
  accessibleTargets_.clear();
  if (!root_) return items;
  root_->ForEach([&](Control& c) {
    if (!c.IsVisibleInTree() || c.VisibleRect().IsEmpty()) return;
    const bool stop = c.IsTabStop() && c.IsEnabledInTree();
    auto* label = dynamic_cast<Label*>(&c);
    if (label && label->GetLinkCount() > 0 && c.Kind() != ControlKind::kButton &&
        c.Kind() != ControlKind::kOption && c.Kind() != ControlKind::kCheckBox) {
      for (int i = 0; i < label->GetLinkCount(); ++i) {
        AccessibleItem item{};
        item.name = label->GetLinkText(i);
        item.description = c.GetToolTip();
        item.role = AccessibleItem::Role::kLink;
        item.rect = label->GetLinkRect(i).IsEmpty() ? c.GetPos() : label->GetLinkRect(i);
        item.enabled = c.IsEnabledInTree();
        item.focused = focus_ == &c && label->FocusedLink() == i;
        items.push_back(item);
        accessibleTargets_.emplace_back(&c, i);
      }
      return;
    }
    const bool readable = !stop && c.Kind() != ControlKind::kControl && !dynamic_cast<Container*>(&c) &&
                          (!c.AccessibleName().empty() || c.Kind() == ControlKind::kProgress);
    if (!stop && !readable) return;
    AccessibleItem item{};
    item.name = c.AccessibleName();
    item.description = c.GetToolTip();
    item.role = c.AccessibleRole();
    item.rect = c.GetPos();
    item.enabled = c.IsEnabledInTree();
    item.focused = focus_ == &c;
    if (auto* o = dynamic_cast<Option*>(&c)) item.checked = o->IsSelected();
    if (auto* pr = dynamic_cast<Progress*>(&c)) item.value = pr->GetValue();
    if (auto* combo = dynamic_cast<Combo*>(&c)) {
      if (item.name.empty() || item.name == combo->GetText()) item.name = combo->GetText();
    }
    items.push_back(item);
    accessibleTargets_.emplace_back(&c, -1);
  });
  return items;
}

void Window::InvokeAccessible(size_t index) {
  AccessibleItems();
  if (index >= accessibleTargets_.size()) return;
  Control* c = accessibleTargets_[index].first;
  const int link = accessibleTargets_[index].second;
  if (c->IsTabStop() || link >= 0) {
    ClickControl(c, link);
  }
}

}  // namespace uikit
