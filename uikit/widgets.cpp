// Combo, Edit and Progress.
#include <algorithm>

#include "uikit/window.h"

namespace uikit {

// ---- Combo ----

Combo::Combo() : Label(ControlKind::kCombo) {
  textStyle_ = kAlignLeft | kVCenter | kSingleLine | kEndEllipsis;
}

Combo::~Combo() {
  if (window_ && window_->GetPopup() == this) window_->SetPopup(nullptr);
}

bool Combo::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  int n = 0;
  Color c = 0;
  Size sz;
  if (name == L"normalimage") normalImage_ = value;
  else if (name == L"hotimage") hotImage_ = value;
  else if (name == L"pushedimage") pushedImage_ = value;
  else if (name == L"itemfont") { if (ParseInt(value, &n)) itemFont_ = n; }
  else if (name == L"itemtextcolor") { if (ParseColor(value, &c)) itemTextColor_ = c; }
  else if (name == L"dropboxsize") { if (ParseSize(value, &sz)) dropBoxSize_ = sz; }
  else return Label::ApplyAttribute(name, value);
  Invalidate();
  return true;
}

std::vector<int> Combo::VisibleItems() const {
  std::vector<int> v;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i].visible) v.push_back(static_cast<int>(i));
  }
  return v;
}

bool Combo::SelectItem(int index, bool notify) {
  if (index < 0 || index >= GetCount() || !items_[static_cast<size_t>(index)].visible) {
    return false;
  }
  if (index == curSel_) return true;
  curSel_ = index;
  SyncNative();
  Invalidate();
  if (notify && window_) window_->SendNotify(this, L"itemselect", -1, index);
  return true;
}

int Combo::AddItem(const std::wstring& text) {
  items_.push_back(Item{text, true});
  SyncNative();
  return GetCount() - 1;
}

void Combo::RemoveAll() {
  items_.clear();
  curSel_ = -1;
  ShowDropList(false);
  SyncNative();
  Invalidate();
}

std::wstring Combo::GetItemText(int index) const {
  if (index < 0 || index >= GetCount()) return std::wstring();
  return items_[static_cast<size_t>(index)].text;
}

void Combo::SetItemText(int index, const std::wstring& text) {
  if (index < 0 || index >= GetCount()) return;
  items_[static_cast<size_t>(index)].text = text;
  SyncNative();
  Invalidate();
}

bool Combo::IsItemVisible(int index) const {
  return index >= 0 && index < GetCount() && items_[static_cast<size_t>(index)].visible;
}

void Combo::SetItemVisible(int index, bool visible) {
  if (index < 0 || index >= GetCount()) return;
  items_[static_cast<size_t>(index)].visible = visible;
  SyncNative();
  Invalidate();
}

std::wstring Combo::GetText() const {
  if (curSel_ >= 0 && curSel_ < GetCount()) return items_[static_cast<size_t>(curSel_)].text;
  return text_;
}

void Combo::SyncNative() {
  if (!native_) return;
  std::vector<std::wstring> texts;
  int nativeSel = -1;
  for (int i : VisibleItems()) {
    if (i == curSel_) nativeSel = static_cast<int>(texts.size());
    texts.push_back(items_[static_cast<size_t>(i)].text);
  }
  native_->SetItems(texts);
  native_->SetCurSel(nativeSel);
}

void Combo::OnNativeSelect(int nativeIndex) {
  std::vector<int> visible = VisibleItems();
  if (nativeIndex < 0 || nativeIndex >= static_cast<int>(visible.size())) return;
  const int index = visible[static_cast<size_t>(nativeIndex)];
  if (index == curSel_) return;
  curSel_ = index;
  Invalidate();
  if (window_) window_->SendNotify(this, L"itemselect", -1, index);
}

void Combo::OnWindowCreated() {
  if (!window_ || !window_->Native() || native_) return;
  native_ = window_->Native()->CreateCombo();
  if (!native_) return;
  native_->SetOnSelect([this](int i) { OnNativeSelect(i); });
  native_->SetOnTab([this](bool backwards) {
    if (!window_) return;
    window_->SetFocus(this);
    window_->MoveFocus(backwards);
  });
  OnFontsChanged();
  SyncNative();
  AfterLayout();
}

void Combo::OnFontsChanged() {
  if (!native_) return;
  native_->SetFont(ResolveFont(itemFont_ >= 0 ? itemFont_ : font_), itemTextColor_,
                   AlphaOf(bkColor_) ? bkColor_ : kWhite);
}

void Combo::AfterLayout() {
  if (!native_) return;
  native_->SetRect(pos_);
  native_->SetVisible(IsVisibleInTree() && !VisibleRect().IsEmpty());
  native_->SetEnabled(IsEnabledInTree());
  native_->SetRtl(window_ && window_->IsRtl());
}

void Combo::SetVisible(bool visible) {
  Label::SetVisible(visible);
  if (!visible) ShowDropList(false);
  AfterLayout();
}

void Combo::SetEnabled(bool enabled) {
  Label::SetEnabled(enabled);
  if (!enabled) ShowDropList(false);
  AfterLayout();
}

void Combo::SetPos(const Rect& pos) {
  Label::SetPos(pos);
  if (native_) native_->SetRect(pos);
}

void Combo::ShowDropList(bool show) {
  if (native_ || dropped_ == show) return;
  if (show && (VisibleItems().empty() || !IsEnabledInTree())) return;
  dropped_ = show;
  hotItem_ = show ? curSel_ : -1;
  if (window_) {
    if (show) {
      window_->SetPopup(this);
    } else if (window_->GetPopup() == this) {
      window_->SetPopup(nullptr);
    }
  }
  Invalidate();
}

Rect Combo::DropRect() const {
  if (!dropped_) return Rect{};
  const int itemHeight = ResolveFont(itemFont_ >= 0 ? itemFont_ : font_).size + ScaleValue(8);
  const int count = static_cast<int>(VisibleItems().size());
  int height = std::min(count * itemHeight, ScaleValue(dropBoxSize_.cy));
  int width = dropBoxSize_.cx > 0 ? ScaleValue(dropBoxSize_.cx) : pos_.Width();
  Rect r{pos_.left, pos_.bottom, pos_.left + width, pos_.bottom + height};
  if (window_ && window_->IsRtl()) r = Rect{pos_.right - width, r.top, pos_.right, r.bottom};
  if (window_) {
    const Size client = window_->GetClientSize();
    if (r.bottom > client.cy && pos_.top - height >= 0) {
      r = Rect{r.left, pos_.top - height, r.right, pos_.top};
    }
  }
  return r;
}

Rect Combo::OverlayRect() const { return DropRect(); }

int Combo::ItemAtDrop(Point p) const {
  Rect r = DropRect();
  if (!r.Contains(p)) return -1;
  const int itemHeight = ResolveFont(itemFont_ >= 0 ? itemFont_ : font_).size + ScaleValue(8);
  std::vector<int> visible = VisibleItems();
  const int i = (p.y - r.top) / std::max(1, itemHeight);
  if (i < 0 || i >= static_cast<int>(visible.size())) return -1;
  return visible[static_cast<size_t>(i)];
}

void Combo::PaintOverlay(ICanvas& canvas) {
  Rect r = DropRect();
  if (r.IsEmpty()) return;
  canvas.PushClip(r);
  canvas.FillRect(r, kWhite);
  const FontSpec font = ResolveFont(itemFont_ >= 0 ? itemFont_ : font_);
  const int itemHeight = font.size + ScaleValue(8);
  int y = r.top;
  const bool rtl = window_ && window_->IsRtl();
  for (int i : VisibleItems()) {
    Rect item{r.left, y, r.right, y + itemHeight};
    if (i == hotItem_) canvas.FillRect(item, 0xFFE5F1FBu);
    Rect textBox{item.left + ScaleValue(4), item.top, item.right - ScaleValue(4), item.bottom};
    canvas.DrawText(items_[static_cast<size_t>(i)].text, textBox, font, itemTextColor_,
                    kSingleLine | kVCenter | kEndEllipsis |
                        (rtl ? (kAlignRight | kRtlReading) : kAlignLeft));
    y += itemHeight;
  }
  canvas.FrameRect(r, 0xFF8C8C8Cu, 1);
  canvas.PopClip();
}

void Combo::Paint(ICanvas& canvas, const Rect& clip) {
  Rect r = pos_.Intersect(clip);
  if (r.IsEmpty()) return;
  canvas.PushClip(r);
  PaintBackground(canvas);
  if (!native_) {
    std::wstring image = normalImage_;
    if ((dropped_ || (pushed_ && hot_)) && !pushedImage_.empty()) image = pushedImage_;
    else if (hot_ && !hotImage_.empty()) image = hotImage_;
    if (!image.empty()) DrawImageAttr(canvas, image, pos_);
    PaintPlainText(canvas, GetText(), CurrentTextColor());
  }
  PaintBorder(canvas);
  canvas.PopClip();
}

Control* Combo::FindAt(Point p) {
  if (dropped_ && DropRect().Contains(p)) return this;
  return Label::FindAt(p);
}

bool Combo::OnEvent(const ControlEvent& event) {
  switch (event.type) {
    case ControlEvent::Type::kClick: {
      if (!IsEnabledInTree()) return false;
      if (native_) {
        native_->SetFocus();
        return true;
      }
      if (dropped_ && event.key == 0) {
        const int item = ItemAtDrop(event.pt);
        if (item >= 0) {
          ShowDropList(false);
          SelectItem(item, true);
          return true;
        }
      }
      if (dropped_ && event.key != 0 && hotItem_ >= 0) {
        const int item = hotItem_;
        ShowDropList(false);
        SelectItem(item, true);
        return true;
      }
      ShowDropList(!dropped_);
      return true;
    }
    case ControlEvent::Type::kMouseMove:
      if (dropped_) {
        const int item = ItemAtDrop(event.pt);
        if (item >= 0 && item != hotItem_) {
          hotItem_ = item;
          Invalidate();
          if (window_) window_->Invalidate(DropRect());
        }
      }
      return true;
    case ControlEvent::Type::kKeyDown: {
      if (event.key == kKeyEscape && dropped_) {
        ShowDropList(false);
        return true;
      }
      if (event.key != kKeyUp && event.key != kKeyDown) return false;
      std::vector<int> visible = VisibleItems();
      if (visible.empty()) return true;
      const int from = dropped_ ? hotItem_ : curSel_;
      auto it = std::find(visible.begin(), visible.end(), from);
      int pos = it == visible.end() ? -1 : static_cast<int>(it - visible.begin());
      pos += event.key == kKeyDown ? 1 : -1;
      pos = std::max(0, std::min(pos, static_cast<int>(visible.size()) - 1));
      if (dropped_) {
        hotItem_ = visible[static_cast<size_t>(pos)];
        if (window_) window_->Invalidate(DropRect());
      } else {
        SelectItem(visible[static_cast<size_t>(pos)], true);
      }
      return true;
    }
    case ControlEvent::Type::kSetFocus:
      if (native_) native_->SetFocus();
      Invalidate();
      return true;
    case ControlEvent::Type::kKillFocus:
      ShowDropList(false);
      Invalidate();
      return true;
    default:
      return false;
  }
}

bool Combo::IsTabStop() const {
  if (tabStop_ != -1) return tabStop_ == 1;
  return true;
}

bool Combo::IsInteractive() const { return true; }

IWindowEvents::AccessibleItem::Role Combo::AccessibleRole() const {
  return IWindowEvents::AccessibleItem::Role::kCombo;
}

// ---- Edit ----

Edit::Edit() : Label(ControlKind::kEdit) {
  textStyle_ = kAlignLeft | kVCenter | kSingleLine;
}

Edit::~Edit() = default;

bool Edit::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  int n = 0;
  bool b = false;
  Color c = 0;
  if (name == L"maxchar") {
    if (ParseInt(value, &n) && n >= 0) maxChar_ = n;
  } else if (name == L"readonly") {
    if (ParseBool(value, &b)) readOnly_ = b;
  } else if (name == L"nativebkcolor") {
    if (ParseColor(value, &c)) nativeBkColor_ = c;
  } else {
    return Label::ApplyAttribute(name, value);
  }
  SyncNative();
  return true;
}

std::wstring Edit::GetText() const { return native_ ? native_->GetText() : text_; }

void Edit::SetText(const std::wstring& text) {
  std::wstring t = text;
  if (maxChar_ > 0 && t.size() > static_cast<size_t>(maxChar_)) t.resize(static_cast<size_t>(maxChar_));
  text_ = t;
  if (native_ && native_->GetText() != t) native_->SetText(t);
  Invalidate();
}

void Edit::SetReadOnly(bool readOnly) { readOnly_ = readOnly; }

void Edit::SyncNative() {
  if (!native_) return;
  native_->SetFont(ResolveFont(font_), textColor_, nativeBkColor_);
}

void Edit::OnFontsChanged() { SyncNative(); }

void Edit::OnWindowCreated() {
  if (!window_ || !window_->Native() || native_) return;
  native_ = window_->Native()->CreateEdit();
  if (!native_) return;
  native_->SetText(text_);
  native_->SetOnChange([this]() {
    std::wstring now = native_->GetText();
    // The native box knows no read-only state or limit: the control restores or cuts.
    if (readOnly_ && now != text_) {
      native_->SetText(text_);
      return;
    }
    if (maxChar_ > 0 && now.size() > static_cast<size_t>(maxChar_)) {
      now.resize(static_cast<size_t>(maxChar_));
      native_->SetText(now);
    }
    if (now == text_) return;
    text_ = now;
    if (window_) window_->SendNotify(this, L"textchanged");
  });
  native_->SetOnTab([this](bool backwards) {
    if (!window_) return;
    window_->SetFocus(this);
    window_->MoveFocus(backwards);
  });
  SyncNative();
  AfterLayout();
}

void Edit::AfterLayout() {
  if (!native_) return;
  native_->SetRect(TextBox().Intersect(pos_));
  native_->SetVisible(IsVisibleInTree() && !VisibleRect().IsEmpty());
  native_->SetEnabled(IsEnabledInTree());
  native_->SetRtl(window_ && window_->IsRtl());
}

void Edit::SetVisible(bool visible) {
  Label::SetVisible(visible);
  AfterLayout();
}

void Edit::SetEnabled(bool enabled) {
  Label::SetEnabled(enabled);
  AfterLayout();
}

void Edit::SetPos(const Rect& pos) {
  Label::SetPos(pos);
  if (native_) native_->SetRect(TextBox().Intersect(pos_));
}

void Edit::Paint(ICanvas& canvas, const Rect& clip) {
  Rect r = pos_.Intersect(clip);
  if (r.IsEmpty()) return;
  canvas.PushClip(r);
  PaintBackground(canvas);
  if (!native_) PaintPlainText(canvas, text_, CurrentTextColor());
  PaintBorder(canvas);
  canvas.PopClip();
}

bool Edit::OnEvent(const ControlEvent& event) {
  if (event.type == ControlEvent::Type::kSetFocus) {
    if (native_) native_->SetFocus();
    return true;
  }
  if (event.type == ControlEvent::Type::kClick) {
    if (window_) window_->SetFocus(this);
    return true;
  }
  return false;
}

bool Edit::IsTabStop() const {
  if (tabStop_ != -1) return tabStop_ == 1;
  return true;
}

bool Edit::IsInteractive() const { return true; }

IWindowEvents::AccessibleItem::Role Edit::AccessibleRole() const {
  return IWindowEvents::AccessibleItem::Role::kEdit;
}

// ---- Progress ----

Progress::Progress() : Label(ControlKind::kProgress) {
  textStyle_ = kAlignCenter | kVCenter | kSingleLine;
}

bool Progress::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  int n = 0;
  Color c = 0;
  if (name == L"foreimage") {
    foreImage_ = value;
  } else if (name == L"forecolor") {
    if (ParseColor(value, &c)) foreColor_ = c;
  } else if (name == L"min") {
    if (ParseInt(value, &n)) SetRange(n, std::max(n, max_.load()));
  } else if (name == L"max") {
    if (ParseInt(value, &n)) SetRange(std::min(min_.load(), n), n);
  } else if (name == L"value") {
    if (ParseInt(value, &n)) SetValue(n);
  } else {
    return Label::ApplyAttribute(name, value);
  }
  Invalidate();
  return true;
}

void Progress::SetRange(int min, int max) {
  if (max < min) std::swap(min, max);
  min_ = min;
  max_ = max;
  SetValue(value_.load());
}

void Progress::SetValue(int value) {
  value = std::max(min_.load(), std::min(value, max_.load()));
  if (value_.exchange(value) == value) return;
  Window* window = window_;
  if (!window) return;
  if (window->IsWindowThread()) {
    Invalidate();
    return;
  }
  // From a worker: one repaint in flight at a time, run on the window thread. Only the
  // locked PostTask touches the window here.
  if (repaintPosted_.exchange(true)) return;
  const bool posted = window->PostTask([window, this]() {
    if (!window->Contains(this)) return;
    repaintPosted_ = false;
    Invalidate();
  });
  if (!posted) repaintPosted_ = false;
}

void Progress::Paint(ICanvas& canvas, const Rect& clip) {
  Rect r = pos_.Intersect(clip);
  if (r.IsEmpty()) return;
  canvas.PushClip(r);
  PaintBackground(canvas);
  const int lo = min_.load();
  const int range = max_.load() - lo;
  const int v = value_.load();
  const int width = range > 0 ? static_cast<int>(static_cast<int64_t>(pos_.Width()) *
                                                 (v - lo) / range)
                              : 0;
  Rect fore{pos_.left, pos_.top, pos_.left + width, pos_.bottom};
  if (window_ && window_->IsRtl()) fore = Rect{pos_.right - width, pos_.top, pos_.right, pos_.bottom};
  if (!fore.IsEmpty()) {
    canvas.PushClip(fore.Intersect(r));
    if (foreImage_.empty() || !DrawImageAttr(canvas, foreImage_, pos_)) {
      if (AlphaOf(foreColor_)) canvas.FillRect(fore, foreColor_);
    }
    canvas.PopClip();
  }
  PaintPlainText(canvas, text_, CurrentTextColor());
  PaintBorder(canvas);
  canvas.PopClip();
}

IWindowEvents::AccessibleItem::Role Progress::AccessibleRole() const {
  return IWindowEvents::AccessibleItem::Role::kProgress;
}

}  // namespace uikit
