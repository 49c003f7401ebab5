// Containers and the flow layouts.
#include <algorithm>

#include "platform/text.h"
#include "uikit/logging.h"
#include "uikit/window.h"

namespace uikit {
namespace {

int Clamp(int v, int minV, int maxV) {
  if (maxV > 0) v = std::min(v, maxV);
  if (minV > 0) v = std::max(v, minV);
  return std::max(0, v);
}

struct Pads {
  int left, top, right, bottom;
};

}  // namespace

std::vector<std::wstring> ParseScrollBarStyle(
    const std::vector<std::pair<std::wstring, std::wstring>>& attributes, ScrollBarStyle* style) {
  std::vector<std::wstring> unknown;
  for (const auto& [name, value] : attributes) {
    bool ok = true;
    int n = 0;
    if (name == L"width") {
      ok = ParseInt(value, &n) && n > 0 && n <= 64;
      if (ok) style->width = n;
    } else if (name == L"showbutton1") {
      ok = ParseBool(value, &style->showButton1);
    } else if (name == L"showbutton2") {
      ok = ParseBool(value, &style->showButton2);
    } else if (name == L"railimage" || name == L"bkimage") {
      style->railImage = value;
    } else if (name == L"railcolor" || name == L"bkcolor") {
      ok = ParseColor(value, &style->railColor);
    } else if (name == L"thumbnormalimage") {
      style->thumbImage[ScrollBarStyle::kNormal] = value;
    } else if (name == L"thumbhotimage") {
      style->thumbImage[ScrollBarStyle::kHot] = value;
    } else if (name == L"thumbpushedimage") {
      style->thumbImage[ScrollBarStyle::kPushed] = value;
    } else if (name == L"thumbcolor") {
      ok = ParseColor(value, &style->thumbColor[ScrollBarStyle::kNormal]);
    } else if (name == L"thumbhotcolor") {
      ok = ParseColor(value, &style->thumbColor[ScrollBarStyle::kHot]);
    } else if (name == L"thumbpushedcolor") {
      ok = ParseColor(value, &style->thumbColor[ScrollBarStyle::kPushed]);
    } else {
      unknown.push_back(name);
      continue;
    }
    if (!ok) {
      LOG(INFO) << " Layout: ScrollBar ignores " << platform::WideToUtf8(name) << "=\""
                << platform::WideToUtf8(value) << "\" (not a valid value)";
    }
  }
  if (style->showButton1 || style->showButton2) {
    LOG(INFO) << " Layout: ScrollBar arrow buttons are not drawn (rail and thumb only)";
  }
  return unknown;
}

Container::Container(ControlKind kind) : Control(kind) {}

Container::~Container() {
  // Children go first, while this container is still whole for their ForgetControl calls.
  RemoveAll();
}

bool Container::Add(std::unique_ptr<Control> child) {
  return AddAt(std::move(child), GetCount());
}

bool Container::AddAt(std::unique_ptr<Control> child, int index) {
  if (!child || index < 0 || index > GetCount()) return false;
  Control* raw = child.get();
  children_.insert(children_.begin() + index, std::move(child));
  raw->Attach(window_, this);
  if (window_ && window_->Native()) raw->ForEach([](Control& c) { c.OnWindowCreated(); });
  NeedLayout();
  return true;
}

bool Container::Remove(Control* child) {
  for (auto it = children_.begin(); it != children_.end(); ++it) {
    if (it->get() == child) {
      std::unique_ptr<Control> gone = std::move(*it);
      children_.erase(it);
      gone.reset();
      NeedLayout();
      return true;
    }
  }
  return false;
}

void Container::RemoveAll() {
  while (!children_.empty()) {
    std::unique_ptr<Control> gone = std::move(children_.back());
    children_.pop_back();
  }
  NeedLayout();
}

Control* Container::GetItemAt(int index) const {
  if (index < 0 || index >= GetCount()) return nullptr;
  return children_[static_cast<size_t>(index)].get();
}

int Container::GetItemIndex(const Control* child) const {
  for (size_t i = 0; i < children_.size(); ++i) {
    if (children_[i].get() == child) return static_cast<int>(i);
  }
  return -1;
}

void Container::SetInset(const Insets& inset) {
  inset_ = inset;
  NeedLayout();
}

void Container::SetChildPadding(int padding) {
  childPadding_ = std::max(0, padding);
  NeedLayout();
}

bool Container::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  Insets in;
  int n = 0;
  bool b = false;
  if (name == L"inset") {
    if (ParseInsets(value, &in)) inset_ = in;
  } else if (name == L"childpadding") {
    if (ParseInt(value, &n) && n >= 0) childPadding_ = n;
  } else if (name == L"vscrollbar") {
    if (ParseBool(value, &b)) vscroll_ = b;
  } else {
    return Control::ApplyAttribute(name, value);
  }
  NeedLayout();
  return true;
}

Rect Container::InnerRect() const {
  Insets in = inset_;
  if (window_ && window_->IsRtl()) std::swap(in.left, in.right);
  return Rect{pos_.left + ScaleValue(in.left), pos_.top + ScaleValue(in.top),
              pos_.right - ScaleValue(in.right), pos_.bottom - ScaleValue(in.bottom)};
}

void Container::SetPos(const Rect& pos) {
  pos_ = pos;
  Rect inner = InnerRect();
  if (!vscroll_) {
    scrollPos_ = 0;
    scrollRange_ = 0;
    LayoutChildren(inner);
    return;
  }
  int content = LayoutChildren(inner.Offset(0, -scrollPos_));
  if (content <= inner.Height()) {
    scrollRange_ = 0;
    if (scrollPos_ != 0) {
      scrollPos_ = 0;
      LayoutChildren(inner);
    }
    return;
  }
  const int bar = BarWidth();
  if (window_ && window_->IsRtl()) {
    inner.left += bar;
  } else {
    inner.right -= bar;
  }
  content = LayoutChildren(inner.Offset(0, -scrollPos_));
  scrollRange_ = std::max(0, content - inner.Height());
  const int clamped = std::max(0, std::min(scrollPos_, scrollRange_));
  if (clamped != scrollPos_) {
    scrollPos_ = clamped;
    LayoutChildren(inner.Offset(0, -scrollPos_));
  }
}

Rect Container::ScrollBarRect() const {
  if (!vscroll_ || scrollRange_ <= 0) return Rect{};
  const Rect inner = InnerRect();
  const int bar = BarWidth();
  if (window_ && window_->IsRtl()) return Rect{inner.left, inner.top, inner.left + bar, inner.bottom};
  return Rect{inner.right - bar, inner.top, inner.right, inner.bottom};
}

Rect Container::ScrollThumbRect() const {
  const Rect bar = ScrollBarRect();
  if (bar.IsEmpty()) return Rect{};
  const int track = bar.Height();
  const int thumb = std::max(std::min(ScaleValue(16), track),
                             static_cast<int>(static_cast<int64_t>(track) * track /
                                              (track + scrollRange_)));
  const int top = bar.top + static_cast<int>(static_cast<int64_t>(track - thumb) * scrollPos_ /
                                             std::max(1, scrollRange_));
  return Rect{bar.left, top, bar.right, top + thumb};
}

const ScrollBarStyle& Container::BarStyle() const {
  static const ScrollBarStyle plain;
  return window_ ? window_->GetScrollBarStyle() : plain;
}

int Container::BarWidth() const { return ScaleValue(BarStyle().width); }

ScrollBarStyle::ThumbState Container::ThumbState() const {
  if (thumbDragging_) return ScrollBarStyle::kPushed;
  return thumbHot_ ? ScrollBarStyle::kHot : ScrollBarStyle::kNormal;
}

void Container::PaintScrollBar(ICanvas& canvas) {
  const ScrollBarStyle& style = BarStyle();
  const Rect bar = ScrollBarRect();
  if (style.railImage.empty() || !DrawImageAttr(canvas, style.railImage, bar)) {
    canvas.FillRect(bar, style.railColor);
  }
  const Rect thumb = ScrollThumbRect();
  const ScrollBarStyle::ThumbState state = ThumbState();
  const std::wstring& image = style.thumbImage[state].empty()
                                  ? style.thumbImage[ScrollBarStyle::kNormal]
                                  : style.thumbImage[state];
  if (image.empty() || !DrawImageAttr(canvas, image, thumb)) {
    canvas.FillRoundRect(thumb, thumb.Width() / 2, style.thumbColor[state]);
  }
}

void Container::SetScrollPos(int pos) {
  pos = std::max(0, std::min(pos, scrollRange_));
  if (pos == scrollPos_) return;
  scrollPos_ = pos;
  NeedLayout();
  Invalidate();
}

bool Container::ScrollIntoView(const Control& descendant) {
  if (!vscroll_ || scrollRange_ <= 0) return false;
  const Rect inner = InnerRect();
  const Rect r = descendant.GetPos();
  if (r.top < inner.top) {
    SetScrollPos(scrollPos_ - (inner.top - r.top));
    return true;
  }
  if (r.bottom > inner.bottom) {
    const int by = std::min(r.bottom - inner.bottom, r.top - inner.top);
    SetScrollPos(scrollPos_ + by);
    return true;
  }
  return false;
}

Size Container::EstimateSize(Size available) const { return Control::EstimateSize(available); }

void Container::PlaceFloat(Control& child, const Rect& inner) {
  (void)inner;
  const Rect fp = child.GetFloatPos();
  const int l = ScaleValue(fp.left);
  const int t = ScaleValue(fp.top);
  const int w = fp.right > fp.left ? ScaleValue(fp.right) - l : ScaleValue(child.GetFixedWidth());
  const int h = fp.bottom > fp.top ? ScaleValue(fp.bottom) - t : ScaleValue(child.GetFixedHeight());
  Rect r{pos_.left + l, pos_.top + t, pos_.left + l + w, pos_.top + t + h};
  if (window_ && window_->IsRtl()) r = Rect{pos_.right - l - w, r.top, pos_.right - l, r.bottom};
  child.SetPos(r);
}

int Container::LayoutChildren(const Rect& inner) {
  int content = 0;
  const bool rtl = window_ && window_->IsRtl();
  for (auto& child : children_) {
    if (!child->IsVisible()) continue;
    if (child->IsFloat()) {
      PlaceFloat(*child, inner);
      continue;
    }
    Insets p = child->GetPadding();
    if (rtl) std::swap(p.left, p.right);
    Rect r{inner.left + ScaleValue(p.left), inner.top + ScaleValue(p.top),
           inner.right - ScaleValue(p.right), inner.bottom - ScaleValue(p.bottom)};
    if (child->GetFixedWidth() > 0) {
      const int w = Clamp(ScaleValue(child->GetFixedWidth()), ScaleValue(child->GetMinWidth()),
                          ScaleValue(child->GetMaxWidth()));
      if (rtl) r.left = r.right - w; else r.right = r.left + w;
    }
    if (child->GetFixedHeight() > 0) {
      r.bottom = r.top + Clamp(ScaleValue(child->GetFixedHeight()),
                               ScaleValue(child->GetMinHeight()), ScaleValue(child->GetMaxHeight()));
    }
    child->SetPos(r);
    content = std::max(content, r.bottom + ScaleValue(p.bottom) - inner.top);
  }
  return content;
}

void Container::Paint(ICanvas& canvas, const Rect& clip) {
  Rect r = pos_.Intersect(clip);
  if (r.IsEmpty()) return;
  canvas.PushClip(r);
  PaintBackground(canvas);
  Rect childClip = r;
  if (vscroll_ && scrollRange_ > 0) {
    Rect inner = InnerRect();
    const Rect bar = ScrollBarRect();
    if (window_ && window_->IsRtl()) inner.left = bar.right; else inner.right = bar.left;
    childClip = r.Intersect(inner);
  }
  for (auto& child : children_) {
    if (!child->IsVisible()) continue;
    if (child->GetPos().Intersect(childClip).IsEmpty()) continue;
    child->Paint(canvas, childClip);
  }
  if (vscroll_ && scrollRange_ > 0) PaintScrollBar(canvas);
  PaintBorder(canvas);
  canvas.PopClip();
}

Control* Container::FindAt(Point p) {
  if (!visible_ || !pos_.Contains(p)) return nullptr;
  if (ScrollBarRect().Contains(p)) return this;
  for (auto it = children_.rbegin(); it != children_.rend(); ++it) {
    if (!(*it)->IsVisible()) continue;
    if (Control* hit = (*it)->FindAt(p)) return hit;
  }
  return this;
}

bool Container::OnEvent(const ControlEvent& event) {
  if (event.type == ControlEvent::Type::kMouseLeave && thumbHot_) {
    thumbHot_ = false;
    Invalidate();
  }
  if (!vscroll_ || scrollRange_ <= 0) return false;
  const int line = ScaleValue(40);
  switch (event.type) {
    case ControlEvent::Type::kWheel: {
      const int before = scrollPos_;
      SetScrollPos(scrollPos_ - event.wheelDelta * line / 120);
      return scrollPos_ != before;
    }
    case ControlEvent::Type::kButtonDown: {
      const Rect thumb = ScrollThumbRect();
      if (thumb.Contains(event.pt)) {
        thumbDragging_ = true;
        Invalidate();
        thumbDragStart_ = event.pt.y;
        thumbDragPos_ = scrollPos_;
        return true;
      }
      if (ScrollBarRect().Contains(event.pt)) {
        const int page = std::max(line, InnerRect().Height() - line);
        SetScrollPos(scrollPos_ + (event.pt.y < thumb.top ? -page : page));
        return true;
      }
      return false;
    }
    case ControlEvent::Type::kMouseMove: {
      const bool overThumb = ScrollThumbRect().Contains(event.pt);
      if (overThumb != thumbHot_) {
        thumbHot_ = overThumb;
        Invalidate();
      }
      if (!thumbDragging_) return false;
      const Rect bar = ScrollBarRect();
      const int free = bar.Height() - ScrollThumbRect().Height();
      if (free > 0) {
        SetScrollPos(thumbDragPos_ + static_cast<int>(static_cast<int64_t>(event.pt.y - thumbDragStart_) *
                                                      scrollRange_ / free));
      }
      return true;
    }
    case ControlEvent::Type::kButtonUp:
      if (thumbDragging_) Invalidate();
      thumbDragging_ = false;
      return true;
    case ControlEvent::Type::kKeyDown: {
      const int before = scrollPos_;
      if (event.key == kKeyUp) SetScrollPos(scrollPos_ - line);
      else if (event.key == kKeyDown) SetScrollPos(scrollPos_ + line);
      else if (event.key == kKeyHome) SetScrollPos(0);
      else if (event.key == kKeyEnd) SetScrollPos(scrollRange_);
      else return false;
      return scrollPos_ != before || true;
    }
    default:
      return false;
  }
}

void Container::Attach(Window* window, Control* parent) {
  Control::Attach(window, parent);
  for (auto& child : children_) child->Attach(window, this);
}

void Container::OnWindowCreated() {}

void Container::ForEach(const std::function<void(Control&)>& visit) {
  visit(*this);
  for (size_t i = 0; i < children_.size(); ++i) children_[i]->ForEach(visit);
}

bool Container::IsInteractive() const { return false; }

bool Container::WantsHandCursor(Point p) const { return Control::WantsHandCursor(p); }

// ---- flow layouts ----

namespace {

// Sizes along the flow axis: fixed ones as given, the rest sharing what is left; a share
// that breaks a child's min/max fixes that child and the share is computed again.
std::vector<int> ShareSizes(const std::vector<int>& fixed, const std::vector<int>& mins,
                            const std::vector<int>& maxs, int room) {
  const size_t n = fixed.size();
  std::vector<int> sizes(n, -1);
  for (size_t i = 0; i < n; ++i) {
    if (fixed[i] > 0) sizes[i] = Clamp(fixed[i], mins[i], maxs[i]);
  }
  // Each round either fixes at least one clamped child or ends: at most n + 1 rounds.
  for (;;) {
    int used = 0;
    int flexible = 0;
    for (int s : sizes) {
      if (s >= 0) used += s;
      else ++flexible;
    }
    if (flexible == 0) break;
    const int rest = std::max(0, room - used);
    const int share = rest / flexible;
    bool changed = false;
    for (size_t i = 0; i < n; ++i) {
      if (sizes[i] >= 0) continue;
      const int c = Clamp(share, mins[i], maxs[i]);
      if (c != share) {
        sizes[i] = c;
        changed = true;
      }
    }
    if (changed) continue;
    int remainder = rest - share * flexible;
    for (size_t i = n; i-- > 0;) {
      if (sizes[i] >= 0) continue;
      sizes[i] = share + remainder;  // the last flexible child takes the odd pixels
      remainder = 0;
      for (size_t j = 0; j < i; ++j) {
        if (sizes[j] < 0) sizes[j] = share;
      }
      break;
    }
    break;
  }
  return sizes;
}

}  // namespace

// One flow for both axes: sizes along the axis are shared (ShareSizes), across it each child
// takes the inner extent less its padding, or its fixed size when smaller. Returns the extent
// of the content down the layout (for the scroll range).
int Container::FlowChildren(const Rect& inner, bool vertical) {
  const bool rtl = window_ && window_->IsRtl();
  std::vector<Control*> flow;
  for (auto& child : children_) {
    if (!child->IsVisible()) continue;
    if (child->IsFloat()) {
      PlaceFloat(*child, inner);
      continue;
    }
    flow.push_back(child.get());
  }
  if (flow.empty()) return 0;
  // Along: the flow axis; across: the other one. Rectangles are built as {along, across}
  // pairs and turned into x/y only at the end.
  const int alongStart = vertical ? inner.top : inner.left;
  const int alongRoom = vertical ? inner.Height() : inner.Width();
  const int acrossStart = vertical ? inner.left : inner.top;
  const int acrossRoom = vertical ? inner.Width() : inner.Height();
  std::vector<int> fixed, mins, maxs;
  int room = alongRoom - ScaleValue(childPadding_) * static_cast<int>(flow.size() - 1);
  for (Control* c : flow) {
    const Insets& p = c->GetPadding();
    room -= vertical ? ScaleValue(p.top) + ScaleValue(p.bottom)
                     : ScaleValue(p.left) + ScaleValue(p.right);
    fixed.push_back(ScaleValue(vertical ? c->GetFixedHeight() : c->GetFixedWidth()));
    mins.push_back(ScaleValue(vertical ? c->GetMinHeight() : c->GetMinWidth()));
    maxs.push_back(ScaleValue(vertical ? c->GetMaxHeight() : c->GetMaxWidth()));
  }
  const std::vector<int> sizes = ShareSizes(fixed, mins, maxs, room);
  int along = alongStart;
  int content = 0;
  for (size_t i = 0; i < flow.size(); ++i) {
    Control* c = flow[i];
    const Insets& p = c->GetPadding();
    const int padBefore = ScaleValue(vertical ? p.top : p.left);
    const int padAfter = ScaleValue(vertical ? p.bottom : p.right);
    const int crossBefore = ScaleValue(vertical ? p.left : p.top);
    const int crossAfter = ScaleValue(vertical ? p.right : p.bottom);
    const int fixedAcross = vertical ? c->GetFixedWidth() : c->GetFixedHeight();
    along += padBefore;
    const int avail = acrossRoom - crossBefore - crossAfter;
    const int across =
        Clamp(fixedAcross > 0 ? std::min(ScaleValue(fixedAcross), std::max(0, avail)) : avail,
              ScaleValue(vertical ? c->GetMinWidth() : c->GetMinHeight()),
              ScaleValue(vertical ? c->GetMaxWidth() : c->GetMaxHeight()));
    const int a0 = acrossStart + crossBefore;
    Rect r = vertical ? Rect{a0, along, a0 + across, along + sizes[i]}
                      : Rect{along, a0, along + sizes[i], a0 + across};
    if (rtl) r = Rect{inner.left + inner.right - r.right, r.top, inner.left + inner.right - r.left, r.bottom};
    c->SetPos(r);
    content = std::max(content, r.bottom + ScaleValue(p.bottom) - inner.top);
    along += sizes[i] + padAfter;
    if (i + 1 < flow.size()) along += ScaleValue(childPadding_);
  }
  return vertical ? along - inner.top : content;
}

VerticalLayout::VerticalLayout() : Container(ControlKind::kVerticalLayout) {}

Size VerticalLayout::EstimateSize(Size available) const { return Container::EstimateSize(available); }

int VerticalLayout::LayoutChildren(const Rect& inner) { return FlowChildren(inner, true); }

HorizontalLayout::HorizontalLayout() : Container(ControlKind::kHorizontalLayout) {}

Size HorizontalLayout::EstimateSize(Size available) const { return Container::EstimateSize(available); }

int HorizontalLayout::LayoutChildren(const Rect& inner) { return FlowChildren(inner, false); }

// ---- TabLayout ----

TabLayout::TabLayout() : Container(ControlKind::kTabLayout) {}

bool TabLayout::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  int n = 0;
  if (name == L"selectedid") {
    if (ParseInt(value, &n) && n >= 0) curSel_ = n;
    NeedLayout();
    return true;
  }
  return Container::ApplyAttribute(name, value);
}

bool TabLayout::SelectItem(int index) {
  if (index < 0 || index >= GetCount()) return false;
  if (index == curSel_) return true;
  curSel_ = index;
  NeedLayout();
  Invalidate();
  if (window_) {
    window_->ControlChanged(this);
    window_->SendNotify(this, L"selectchanged", -1, index);
  }
  return true;
}

bool TabLayout::SelectItem(Control* child) {
  const int i = GetItemIndex(child);
  return i >= 0 && SelectItem(i);
}

int TabLayout::LayoutChildren(const Rect& inner) {
  Control* page = GetItemAt(curSel_);
  if (!page || !page->IsVisible()) return 0;
  if (page->IsFloat()) {
    PlaceFloat(*page, inner);
    return 0;
  }
  const bool rtl = window_ && window_->IsRtl();
  Insets p = page->GetPadding();
  if (rtl) std::swap(p.left, p.right);
  Rect r{inner.left + ScaleValue(p.left), inner.top + ScaleValue(p.top),
         inner.right - ScaleValue(p.right), inner.bottom - ScaleValue(p.bottom)};
  page->SetPos(r);
  return r.bottom + ScaleValue(p.bottom) - inner.top;
}

void TabLayout::Paint(ICanvas& canvas, const Rect& clip) {
  Rect r = pos_.Intersect(clip);
  if (r.IsEmpty()) return;
  canvas.PushClip(r);
  PaintBackground(canvas);
  Control* page = GetItemAt(curSel_);
  if (page && page->IsVisible()) page->Paint(canvas, r);
  PaintBorder(canvas);
  canvas.PopClip();
}

Control* TabLayout::FindAt(Point p) {
  if (!visible_ || !pos_.Contains(p)) return nullptr;
  Control* page = GetItemAt(curSel_);
  if (page && page->IsVisible()) {
    if (Control* hit = page->FindAt(p)) return hit;
  }
  return this;
}

}  // namespace uikit
