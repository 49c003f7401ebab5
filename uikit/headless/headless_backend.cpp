#include "uikit/headless/headless_backend.h"

#include "uikit/logging.h"

#include <algorithm>
#include <chrono>
#include <cwctype>

#include "platform/text.h"
#include "uikit/window.h"

namespace uikit::headless {
namespace {

constexpr uint32_t kStyleVisible = 0x10000000u;
constexpr size_t kPumpBound = 10000;  // a message that re-posts itself cannot hang a test

bool DefaultHandling(HeadlessWindow& w, uint32_t msg, uintptr_t wParam) {
  if (msg == kMsgClose) {
    if (w.Events()->OnCloseRequest()) w.Destroy();
    return true;
  }
  if (msg == kMsgSysCommand) {
    switch (wParam & 0xFFF0u) {
      case kScMinimize: w.Show(ShowCommand::kMinimize); return true;
      case kScRestore: w.Show(ShowCommand::kRestore); return true;
      case kScClose:
        if (w.Events()->OnCloseRequest()) w.Destroy();
        return true;
      default: return false;
    }
  }
  return false;
}

}  // namespace

// ---- text metric and recording canvas ----

Size MeasureHeadlessText(const std::wstring& text, const FontSpec& font, uint32_t format,
                         int maxWidth) {
  const int cw = std::max(1, (font.size + 1) / 2);
  const int lineHeight = std::max(1, font.size);
  std::vector<int> lines;
  int current = 0;
  const bool wrap = (format & kWordBreak) && maxWidth > 0;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == L'\n' && !(format & kSingleLine)) {
      lines.push_back(current);
      current = 0;
      ++i;
      continue;
    }
    // One word with its trailing blanks.
    size_t j = i;
    while (j < text.size() && !std::iswspace(text[j])) ++j;
    while (j < text.size() && text[j] == L' ') ++j;
    if (j == i) j = i + 1;
    const int w = static_cast<int>(j - i) * cw;
    if (wrap && current > 0 && current + w > maxWidth) {
      lines.push_back(current);
      current = 0;
    }
    current += w;
    i = j;
  }
  lines.push_back(current);
  int width = 0;
  for (int l : lines) width = std::max(width, l);
  return Size{width, static_cast<int>(lines.size()) * lineHeight};
}

RecordingCanvas::RecordingCanvas(Size target, std::vector<DrawOp>* sink)
    : target_(target), sink_(sink) {}

Rect RecordingCanvas::Clip() const {
  return clips_.empty() ? Rect{0, 0, target_.cx, target_.cy} : clips_.back();
}

void RecordingCanvas::PushClip(const Rect& r) { clips_.push_back(Clip().Intersect(r)); }

void RecordingCanvas::PopClip() {
  if (!clips_.empty()) clips_.pop_back();
}

void RecordingCanvas::Record(DrawOp op) {
  op.clip = Clip();
  if (sink_) sink_->push_back(std::move(op));
}

void RecordingCanvas::FillRect(const Rect& r, Color c) {
  DrawOp op;
  op.kind = DrawOp::Kind::kFill;
  op.rect = r;
  op.color = c;
  Record(op);
}

void RecordingCanvas::FillRoundRect(const Rect& r, int radius, Color c) {
  DrawOp op;
  op.kind = DrawOp::Kind::kRoundFill;
  op.rect = r;
  op.color = c;
  op.src = Rect{radius, radius, radius, radius};
  Record(op);
}

void RecordingCanvas::FrameRect(const Rect& r, Color c, int width) {
  DrawOp op;
  op.kind = DrawOp::Kind::kFrame;
  op.rect = r;
  op.color = c;
  op.format = static_cast<uint32_t>(width);
  Record(op);
}

void RecordingCanvas::FocusRect(const Rect& r) {
  DrawOp op;
  op.kind = DrawOp::Kind::kFocus;
  op.rect = r;
  Record(op);
}

void RecordingCanvas::DrawImage(const Image& image, const Rect& dest, const Rect& src,
                                uint8_t opacity) {
  DrawOp op;
  op.kind = DrawOp::Kind::kImage;
  op.rect = dest;
  op.imageSize = Size{image.Width(), image.Height()};
  op.src = src.IsEmpty() ? Rect{0, 0, image.Width(), image.Height()} : src;
  op.opacity = opacity;
  Record(op);
}

void RecordingCanvas::DrawImageNineGrid(const Image& image, const Rect& dest, const Rect& corners) {
  DrawOp op;
  op.kind = DrawOp::Kind::kNineGrid;
  op.rect = dest;
  op.imageSize = Size{image.Width(), image.Height()};
  op.src = corners;
  Record(op);
}

void RecordingCanvas::DrawText(const std::wstring& text, const Rect& box, const FontSpec& font,
                               Color c, uint32_t format) {
  DrawOp op;
  op.kind = DrawOp::Kind::kText;
  op.rect = box;
  op.text = text;
  op.font = font;
  op.color = c;
  op.format = format;
  Record(op);
}

Size RecordingCanvas::MeasureText(const std::wstring& text, const FontSpec& font, uint32_t format,
                                  int maxWidth) {
  return MeasureHeadlessText(text, font, format, maxWidth);
}

// ---- edit ----

HeadlessEdit::HeadlessEdit(HeadlessBackend& backend) : backend_(&backend) {}

HeadlessEdit::~HeadlessEdit() {
  if (backend_ && backend_->FocusedEdit() == this) backend_->SetFocusedChild(nullptr, nullptr);
}

void HeadlessEdit::SetText(const std::wstring& text) {
  text_ = text;
  if (maxChar_ > 0 && text_.size() > maxChar_) text_.resize(maxChar_);
  caret_ = anchor_ = text_.size();
}

void HeadlessEdit::SetFont(const FontSpec& font, Color text, Color background) {
  (void)text, (void)background;
  font_ = font;
}

void HeadlessEdit::SetFocus() {
  if (backend_) backend_->SetFocusedChild(this, nullptr);
}

bool HeadlessEdit::HasFocus() const { return backend_ && backend_->FocusedEdit() == this; }

void HeadlessEdit::SetSelection(size_t anchor, size_t caret) {
  anchor_ = std::min(anchor, text_.size());
  caret_ = std::min(caret, text_.size());
}

std::wstring HeadlessEdit::SelectedText() const {
  const size_t lo = std::min(anchor_, caret_), hi = std::max(anchor_, caret_);
  return text_.substr(lo, hi - lo);
}

void HeadlessEdit::ReplaceSelection(const std::wstring& with) {
  if (readOnly_) return;
  const size_t lo = std::min(anchor_, caret_), hi = std::max(anchor_, caret_);
  std::wstring insert = with;
  const size_t kept = text_.size() - (hi - lo);
  if (maxChar_ > 0 && kept + insert.size() > maxChar_) {
    insert.resize(maxChar_ > kept ? maxChar_ - kept : 0);
  }
  if (lo == hi && insert.empty()) return;
  text_ = text_.substr(0, lo) + insert + text_.substr(hi);
  caret_ = anchor_ = lo + insert.size();
  Changed();
}

void HeadlessEdit::Changed() {
  if (onChange_) onChange_();
}

bool HeadlessEdit::KeyDown(int key, uint32_t modifiers) {
  const bool shift = (modifiers & kModShift) != 0;
  const bool ctrl = (modifiers & kModCtrl) != 0;
  auto moveTo = [&](size_t pos) {
    caret_ = std::min(pos, text_.size());
    if (!shift) anchor_ = caret_;
  };
  switch (key) {
    case kKeyTab:
      if (onTab_) onTab_(shift);
      return true;
    case kKeyLeft:
      if (!shift && anchor_ != caret_) moveTo(std::min(anchor_, caret_));
      else moveTo(caret_ > 0 ? caret_ - 1 : 0);
      return true;
    case kKeyRight:
      if (!shift && anchor_ != caret_) moveTo(std::max(anchor_, caret_));
      else moveTo(caret_ + 1);
      return true;
    case kKeyHome:
      moveTo(0);
      return true;
    case kKeyEnd:
      moveTo(text_.size());
      return true;
    case kKeyBack:
      if (anchor_ == caret_ && caret_ > 0) anchor_ = caret_ - 1;
      ReplaceSelection(L"");
      return true;
    case kKeyDelete:
      if (anchor_ == caret_ && caret_ < text_.size()) anchor_ = caret_ + 1;
      ReplaceSelection(L"");
      return true;
    default:
      break;
  }
  if (ctrl && backend_) {
    if (key == 'A') {
      anchor_ = 0;
      caret_ = text_.size();
      return true;
    }
    if (key == 'C' || key == 'X') {
      if (anchor_ != caret_) backend_->Clipboard() = SelectedText();
      if (key == 'X') ReplaceSelection(L"");
      return true;
    }
    if (key == 'V') {
      std::wstring paste;
      for (wchar_t ch : backend_->Clipboard()) {
        if (ch != L'\r' && ch != L'\n') paste.push_back(ch);  // a single-line box
      }
      ReplaceSelection(paste);
      return true;
    }
  }
  return false;
}

void HeadlessEdit::Char(wchar_t ch) {
  if (ch < 0x20 || ch == 0x7F) return;  // control characters come as keys
  ReplaceSelection(std::wstring(1, ch));
}

// ---- combo ----

HeadlessCombo::HeadlessCombo(HeadlessBackend& backend) : backend_(&backend) {}

HeadlessCombo::~HeadlessCombo() {
  if (backend_ && backend_->FocusedCombo() == this) backend_->SetFocusedChild(nullptr, nullptr);
}

void HeadlessCombo::SetItems(const std::vector<std::wstring>& items) {
  items_ = items;
  if (curSel_ >= static_cast<int>(items_.size())) curSel_ = -1;
}

void HeadlessCombo::SetCurSel(int index) {
  curSel_ = index >= 0 && index < static_cast<int>(items_.size()) ? index : -1;
}

void HeadlessCombo::SetFont(const FontSpec& font, Color text, Color background) {
  (void)font, (void)text, (void)background;
}

void HeadlessCombo::SetFocus() {
  if (backend_) backend_->SetFocusedChild(nullptr, this);
}

bool HeadlessCombo::HasFocus() const { return backend_ && backend_->FocusedCombo() == this; }

bool HeadlessCombo::Pick(int index) {
  if (!enabled_ || index < 0 || index >= static_cast<int>(items_.size())) return false;
  if (index == curSel_) return true;
  curSel_ = index;
  if (onSelect_) onSelect_(index);
  return true;
}

bool HeadlessCombo::KeyDown(int key, uint32_t modifiers) {
  if (key == kKeyTab) {
    if (onTab_) onTab_((modifiers & kModShift) != 0);
    return true;
  }
  if (key == kKeyDown) return Pick(std::min(curSel_ + 1, static_cast<int>(items_.size()) - 1)) || true;
  if (key == kKeyUp) return Pick(std::max(curSel_ - 1, 0)) || true;
  return false;
}

// ---- window ----

HeadlessWindow::HeadlessWindow(HeadlessBackend& backend, const NativeWindowParams& params,
                               IWindowEvents* events, uintptr_t id)
    : backend_(backend), params_(params), events_(events), id_(id), rect_(params.rect),
      caption_(params.caption) {}

HeadlessWindow::~HeadlessWindow() { backend_.Unregister(this); }

void HeadlessWindow::Invalidate(const Rect* r) {
  (void)r;
  ++invalidates_;
}

void HeadlessWindow::SetRect(const Rect& r) {
  const bool resized = r.Width() != rect_.Width() || r.Height() != rect_.Height();
  rect_ = r;
  if (resized && !destroyed_) events_->OnSize(ClientSize());
}

void HeadlessWindow::CenterOn(void* ownerHandle) {
  Rect area = backend_.WorkArea();
  for (HeadlessWindow* w : backend_.Windows()) {
    if (ownerHandle && w->Handle() == ownerHandle) area = w->GetRect();
  }
  const int w = rect_.Width(), h = rect_.Height();
  const int x = area.left + (area.Width() - w) / 2;
  const int y = area.top + (area.Height() - h) / 2;
  rect_ = Rect{x, y, x + w, y + h};
}

void HeadlessWindow::Show(ShowCommand cmd) {
  if (destroyed_) return;
  switch (cmd) {
    case ShowCommand::kHide:
      visible_ = false;
      if (backend_.FocusWindow() == this) backend_.SetFocusWindow(nullptr);
      break;
    case ShowCommand::kShow:
      visible_ = true;
      minimized_ = false;
      backend_.SetFocusWindow(this);
      break;
    case ShowCommand::kShowNoActivate:
      visible_ = true;
      minimized_ = false;
      break;
    case ShowCommand::kMinimize:
      visible_ = true;
      minimized_ = true;
      if (backend_.FocusWindow() == this) backend_.SetFocusWindow(nullptr);
      break;
    case ShowCommand::kRestore:
      visible_ = true;
      minimized_ = false;
      break;
  }
}

void HeadlessWindow::SetFocus() {
  if (destroyed_) return;
  backend_.SetFocusWindow(this);
  backend_.SetFocusedChild(nullptr, nullptr);
}

bool HeadlessWindow::HasFocus() const { return backend_.FocusWindow() == this; }

void HeadlessWindow::Destroy() {
  if (destroyed_) return;
  destroyed_ = true;
  visible_ = false;
  timers_.clear();
  for (ModalFrame& f : modal_) f.ended = true;
  backend_.Unregister(this);
  events_->OnDestroyed();
}

void HeadlessWindow::SetTimer(uint32_t id, uint32_t elapseMs) {
  if (destroyed_) return;
  const uint32_t elapse = std::max<uint32_t>(1, elapseMs);
  for (Timer& t : timers_) {
    if (t.id == id) {
      t.elapse = elapse;
      t.due = backend_.Now() + elapse;
      t.seq = ++backend_.timerSeq_;
      return;
    }
  }
  timers_.push_back(Timer{id, elapse, backend_.Now() + elapse, ++backend_.timerSeq_});
}

void HeadlessWindow::KillTimer(uint32_t id) {
  timers_.erase(std::remove_if(timers_.begin(), timers_.end(),
                               [id](const Timer& t) { return t.id == id; }),
                timers_.end());
}

bool HeadlessWindow::HasTimer(uint32_t id) const { return TimerElapse(id) != 0; }

uint32_t HeadlessWindow::TimerElapse(uint32_t id) const {
  for (const Timer& t : timers_) {
    if (t.id == id) return t.elapse;
  }
  return 0;
}

bool HeadlessWindow::PostMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  return backend_.Enqueue(this, msg, wParam, lParam);
}

intptr_t HeadlessWindow::SendMessage(uint32_t msg, uintptr_t wParam, intptr_t lParam) {
  if (destroyed_) return 0;
  intptr_t result = 0;
  if (!events_->OnMessage(msg, wParam, lParam, &result)) DefaultHandling(*this, msg, wParam);
  return result;
}

int HeadlessWindow::RunModal() {
  if (destroyed_) return -1;
  HeadlessWindow* owner = nullptr;
  for (HeadlessWindow* w : backend_.Windows()) {
    if (params_.owner && w->Handle() == params_.owner) owner = w;
  }
  if (owner) owner->Disable(true);
  ++modalDepth_;
  modal_.push_back(ModalFrame{});
  const size_t frame = modal_.size() - 1;
  if (backend_.modalScript_) {
    if (auto* window = dynamic_cast<Window*>(events_)) backend_.modalScript_(*window);
  }
  const auto ended = [this, frame] { return frame >= modal_.size() || modal_[frame].ended; };
  if (backend_.realTime_) {
    // Its own timers and the workers' messages end it, as in a window system's modal loop.
    backend_.RunRealTimeUntil(ended);
  } else {
    // Deliver what the script caused until the loop ends or nothing is left to do.
    for (size_t i = 0; i < kPumpBound && !ended(); ++i) {
      if (backend_.PumpMessages() == 0) break;
    }
  }
  int result = -1;
  if (frame < modal_.size()) {
    if (modal_[frame].ended) {
      result = modal_[frame].result;
    } else {
      LOG(INFO) << " Headless: modal loop of " << platform::WideToUtf8(params_.className)
                << " ran idle without an end";
    }
    modal_.resize(frame);
  }
  --modalDepth_;
  if (owner) owner->Disable(false);
  return result;
}

void HeadlessWindow::EndModal(int result) {
  if (modal_.empty()) return;
  modal_.back().ended = true;
  modal_.back().result = result;
}

void HeadlessWindow::SetTaskbarProgress(TaskbarState state, int value, int total) {
  taskbarState_ = state;
  taskbarValue_ = value;
  taskbarTotal_ = total;
}

std::unique_ptr<INativeEdit> HeadlessWindow::CreateEdit() {
  if (!backend_.nativeChildren_) return nullptr;
  return std::make_unique<HeadlessEdit>(backend_);
}

std::unique_ptr<INativeCombo> HeadlessWindow::CreateCombo() {
  if (!backend_.nativeChildren_) return nullptr;
  return std::make_unique<HeadlessCombo>(backend_);
}

std::vector<DrawOp> HeadlessWindow::Paint() {
  std::vector<DrawOp> ops;
  if (destroyed_) return ops;
  RecordingCanvas canvas(ClientSize(), &ops);
  const Size s = ClientSize();
  events_->OnPaint(canvas, Rect{0, 0, s.cx, s.cy});
  return ops;
}

// ---- backend ----

HeadlessBackend::HeadlessBackend() = default;

HeadlessBackend::~HeadlessBackend() {
  std::lock_guard<std::mutex> guard(queueLock_);
  queue_.clear();
  windows_.clear();
}

std::unique_ptr<INativeWindow> HeadlessBackend::CreateNativeWindow(const NativeWindowParams& params,
                                                                   IWindowEvents* events) {
  if (!events) return nullptr;
  auto window = std::make_unique<HeadlessWindow>(*this, params, events, nextId_++);
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    windows_.push_back(window.get());
  }
  if (params.style & kStyleVisible) window->Show(ShowCommand::kShow);
  return window;
}

bool HeadlessBackend::Enqueue(HeadlessWindow* window, uint32_t msg, uintptr_t wParam,
                              intptr_t lParam) {
  std::lock_guard<std::mutex> guard(queueLock_);
  if (std::find(windows_.begin(), windows_.end(), window) == windows_.end()) return false;
  queue_.push_back(Posted{window, msg, wParam, lParam});
  queueChanged_.notify_all();
  return true;
}

void HeadlessBackend::Unregister(HeadlessWindow* window) {
  {
    std::lock_guard<std::mutex> guard(queueLock_);
    windows_.erase(std::remove(windows_.begin(), windows_.end(), window), windows_.end());
    queue_.erase(std::remove_if(queue_.begin(), queue_.end(),
                                [window](const Posted& p) { return p.window == window; }),
                 queue_.end());
  }
  if (focusWindow_ == window) {
    focusWindow_ = nullptr;
    focusEdit_ = nullptr;
    focusCombo_ = nullptr;
  }
}

bool HeadlessBackend::Deliver(const Posted& p) {
  HeadlessWindow& w = *p.window;
  intptr_t result = 0;
  if (!w.events_->OnMessage(p.msg, p.wParam, p.lParam, &result)) {
    DefaultHandling(w, p.msg, p.wParam);
  }
  return true;
}

size_t HeadlessBackend::PumpMessages() {
  size_t delivered = 0;
  while (delivered < kPumpBound) {
    Posted p{};
    {
      std::lock_guard<std::mutex> guard(queueLock_);
      if (queue_.empty()) break;
      p = queue_.front();
      queue_.pop_front();
    }
    Deliver(p);
    ++delivered;
  }
  return delivered;
}

size_t HeadlessBackend::PendingMessages() const {
  std::lock_guard<std::mutex> guard(queueLock_);
  return queue_.size();
}

int HeadlessBackend::RunMessageLoop() {
  if (realTime_) {
    RunRealTimeUntil([] { return false; });
    if (!quitRequested_) {
      LOG(INFO) << " Headless: message loop ended, no window left";
      return -1;
    }
    quitRequested_ = false;
    return quitCode_;
  }
  for (size_t i = 0; i < kPumpBound; ++i) {
    if (quitRequested_) {
      quitRequested_ = false;
      return quitCode_;
    }
    Posted p{};
    {
      std::lock_guard<std::mutex> guard(queueLock_);
      if (queue_.empty()) break;
      p = queue_.front();
      queue_.pop_front();
    }
    Deliver(p);
  }
  if (quitRequested_) {
    quitRequested_ = false;
    return quitCode_;
  }
  return -1;
}

void HeadlessBackend::Quit(int code) {
  quitCode_ = code;
  quitRequested_ = true;
  std::lock_guard<std::mutex> guard(queueLock_);
  queueChanged_.notify_all();
}

namespace {
uint64_t SteadyMs() {
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}
}  // namespace

void HeadlessBackend::SetRealTime(bool realTime) {
  if (realTime && !realTime_) realTimeBase_ = SteadyMs() - now_;
  if (!realTime && realTime_) now_ = Now();
  realTime_ = realTime;
}

uint64_t HeadlessBackend::Now() const {
  return realTime_ ? SteadyMs() - realTimeBase_ : now_;
}

uint64_t HeadlessBackend::TickCount() const { return Now(); }

void HeadlessBackend::RunRealTimeUntil(const std::function<bool()>& done) {
  // A wait never sleeps past this, so a Quit or a timer set by a handler that did not wake
  // the loop is still seen promptly.
  constexpr uint64_t kLongestWaitMs = 200;
  for (;;) {
    if (done() || quitRequested_) return;
    if (Windows().empty()) return;
    PumpMessages();
    while (!done() && !quitRequested_ && FireNextTimer(Now())) PumpMessages();
    if (done() || quitRequested_) return;
    uint64_t wait = kLongestWaitMs;
    const uint64_t now = Now();
    for (HeadlessWindow* w : Windows()) {
      for (const HeadlessWindow::Timer& t : w->timers_) {
        wait = std::min(wait, t.due > now ? t.due - now : 0);
      }
    }
    if (wait == 0) continue;
    std::unique_lock<std::mutex> lock(queueLock_);
    queueChanged_.wait_for(lock, std::chrono::milliseconds(wait),
                           [this] { return !queue_.empty() || quitRequested_; });
  }
}

bool HeadlessBackend::FireNextTimer(uint64_t upTo) {
  HeadlessWindow* next = nullptr;
  uint32_t id = 0;
  uint64_t due = 0, seq = 0;
  for (HeadlessWindow* w : Windows()) {
    for (const HeadlessWindow::Timer& t : w->timers_) {
      if (t.due > upTo) continue;
      if (!next || t.due < due || (t.due == due && t.seq < seq)) {
        next = w;
        id = t.id;
        due = t.due;
        seq = t.seq;
      }
    }
  }
  if (!next) return false;
  if (!realTime_) now_ = std::max(now_, due);
  for (HeadlessWindow::Timer& t : next->timers_) {
    if (t.id == id) {
      // On the wall clock a late loop does not fire a periodic timer in a burst to catch up.
      t.due = realTime_ ? std::max(t.due + t.elapse, Now() + 1) : t.due + t.elapse;
      break;
    }
  }
  next->events_->OnTimer(id);
  return true;
}

std::shared_ptr<Image> HeadlessBackend::CreateImage(int width, int height) {
  if (width <= 0 || height <= 0) return nullptr;
  return std::make_shared<HeadlessImage>(width, height);
}

std::unique_ptr<ICanvas> HeadlessBackend::CanvasFor(const std::shared_ptr<Image>& image) {
  auto* target = dynamic_cast<HeadlessImage*>(image.get());
  if (!target) return nullptr;
  return std::make_unique<RecordingCanvas>(Size{target->Width(), target->Height()}, &target->ops);
}

std::wstring HeadlessBackend::ResolveFace(const std::wstring& face, const std::wstring& sample) {
  (void)sample;
  if (std::find(missingFaces_.begin(), missingFaces_.end(), face) != missingFaces_.end()) {
    return L"Fallback Sans";
  }
  return face;
}

ImagePtr HeadlessBackend::Decode(const std::string& bytes) {
  static const char kSignature[] = "\x89PNG\r\n\x1a\n";
  if (bytes.size() < 24 || bytes.compare(0, 8, kSignature, 8) != 0 ||
      bytes.compare(12, 4, "IHDR") != 0) {
    return nullptr;
  }
  auto be32 = [&bytes](size_t at) {
    return (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 3]));
  };
  const uint32_t width = be32(16), height = be32(20);
  // The PNG limit is 2^31 - 1; nothing in a skin comes near 2^15.
  if (width == 0 || height == 0 || width > 32768 || height > 32768) return nullptr;
  return std::make_shared<HeadlessImage>(static_cast<int>(width), static_cast<int>(height));
}

void HeadlessBackend::AdvanceTime(uint64_t ms) {
  const uint64_t target = now_ + ms;
  for (size_t guard = 0; guard < 1000000; ++guard) {
    if (!FireNextTimer(target)) break;
    PumpMessages();
  }
  now_ = target;
  PumpMessages();
}

std::vector<HeadlessWindow*> HeadlessBackend::Windows() const {
  std::lock_guard<std::mutex> guard(queueLock_);
  std::vector<HeadlessWindow*> live;
  for (HeadlessWindow* w : windows_) {
    if (!w->destroyed_) live.push_back(w);
  }
  return live;
}

HeadlessWindow* HeadlessBackend::Find(const Window& window) const {
  const IWindowEvents* events = &window;
  for (HeadlessWindow* w : Windows()) {
    if (w->events_ == events) return w;
  }
  return nullptr;
}

HeadlessWindow* HeadlessBackend::FindByClass(const std::wstring& className) const {
  for (HeadlessWindow* w : Windows()) {
    if (w->params_.className == className) return w;
  }
  return nullptr;
}

void HeadlessBackend::SetFocusWindow(HeadlessWindow* window) {
  if (focusWindow_ == window) return;
  HeadlessWindow* old = focusWindow_;
  focusWindow_ = window;
  focusEdit_ = nullptr;
  focusCombo_ = nullptr;
  if (old && !old->destroyed_) old->events_->OnFocusChanged(false);
  if (window) window->events_->OnFocusChanged(true);
}

void HeadlessBackend::SetFocusedChild(HeadlessEdit* edit, HeadlessCombo* combo) {
  focusEdit_ = edit;
  focusCombo_ = combo;
}

// ---- driver ----

namespace {
Point Centre(const Rect& r) { return Point{(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }
}  // namespace

bool Driver::Click(Window& window, const std::wstring& name) {
  Control* c = window.FindControl(name);
  if (!c || !c->IsVisibleInTree()) return false;
  window.LayoutIfNeeded();
  const Rect r = c->VisibleRect();
  if (r.IsEmpty()) return false;
  const Point p = Centre(r);
  MouseMove(window, p);
  MouseDown(window, p);
  MouseUp(window, p);
  return true;
}

bool Driver::ClickLink(Window& window, const std::wstring& name, int linkIndex) {
  auto* label = dynamic_cast<Label*>(window.FindControl(name));
  if (!label || !label->IsVisibleInTree()) return false;
  Paint(window);  // links are placed when drawn
  const Rect r = label->GetLinkRect(linkIndex).Intersect(label->VisibleRect());
  if (r.IsEmpty()) return false;
  const Point p = Centre(r);
  MouseMove(window, p);
  MouseDown(window, p);
  MouseUp(window, p);
  return true;
}

bool Driver::Hover(Window& window, const std::wstring& name) {
  Control* c = window.FindControl(name);
  if (!c || !c->IsVisibleInTree()) return false;
  const Rect r = c->VisibleRect();
  if (r.IsEmpty()) return false;
  MouseMove(window, Centre(r));
  return true;
}

void Driver::MouseMove(Window& window, Point p) {
  window.OnMouseMove(p);
  backend_.PumpMessages();
}

void Driver::MouseDown(Window& window, Point p) {
  window.OnMouseDown(p, MouseButton::kLeft);
  backend_.PumpMessages();
}

void Driver::MouseUp(Window& window, Point p) {
  window.OnMouseUp(p, MouseButton::kLeft);
  backend_.PumpMessages();
}

void Driver::Wheel(Window& window, Point p, int delta) {
  window.OnMouseWheel(p, delta);
  backend_.PumpMessages();
}

bool Driver::KeyPress(Window& window, int key, uint32_t modifiers) {
  bool used = false;
  if (HeadlessEdit* edit = backend_.FocusedEdit()) {
    used = edit->KeyDown(key, modifiers);
  } else if (HeadlessCombo* combo = backend_.FocusedCombo()) {
    used = combo->KeyDown(key, modifiers);
  }
  if (!used) used = window.OnKeyDown(key, modifiers);
  backend_.PumpMessages();
  return used;
}

void Driver::TypeText(Window& window, const std::wstring& text) {
  for (wchar_t ch : text) {
    if (HeadlessEdit* edit = backend_.FocusedEdit()) {
      edit->Char(ch);
    } else {
      window.OnChar(ch);
    }
  }
  backend_.PumpMessages();
}

std::vector<DrawOp> Driver::Paint(Window& window) {
  HeadlessWindow* w = backend_.Find(window);
  return w ? w->Paint() : std::vector<DrawOp>{};
}

}  // namespace uikit::headless
