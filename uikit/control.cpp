#include "uikit/control.h"

#include "uikit/logging.h"

#include <cmath>
#include <cwctype>

#include "platform/text.h"
#include "uikit/markup.h"
#include "uikit/toolkit.h"
#include "uikit/window.h"

namespace uikit {
namespace {

std::wstring TrimSpace(const std::wstring& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::iswspace(s[b])) ++b;
  while (e > b && std::iswspace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool ParseInts(const std::wstring& text, int* values, size_t count) {
  std::wstring rest = text;
  for (size_t i = 0; i < count; ++i) {
    size_t comma = rest.find(L',');
    std::wstring part = i + 1 < count ? rest.substr(0, comma) : rest;
    if (i + 1 < count && comma == std::wstring::npos) return false;
    if (!ParseInt(part, &values[i])) return false;
    rest = comma == std::wstring::npos ? std::wstring() : rest.substr(comma + 1);
  }
  return true;
}

// Parses an image attribute: a plain name, or "file='..' source='l,t,r,b' corner='l,t,r,b'".
struct ImageAttr {
  std::wstring file;
  Rect source;
  Insets corner;
  bool hasSource = false;
  bool hasCorner = false;
};

bool ParseImageAttr(const std::wstring& value, ImageAttr* out) {
  std::wstring v = TrimSpace(value);
  if (v.empty()) return false;
  if (v.find(L'=') == std::wstring::npos || v.find(L'\'') == std::wstring::npos) {
    out->file = v;
    return true;
  }
  size_t i = 0;
  while (i < v.size()) {
    while (i < v.size() && std::iswspace(v[i])) ++i;
    size_t eq = v.find(L'=', i);
    if (eq == std::wstring::npos) break;
    std::wstring key = TrimSpace(v.substr(i, eq - i));
    size_t q1 = v.find(L'\'', eq);
    if (q1 == std::wstring::npos) return false;
    size_t q2 = v.find(L'\'', q1 + 1);
    if (q2 == std::wstring::npos) return false;
    std::wstring val = v.substr(q1 + 1, q2 - q1 - 1);
    if (key == L"file") {
      out->file = val;
    } else if (key == L"source") {
      out->hasSource = ParseRect(val, &out->source) && !out->source.IsEmpty();
    } else if (key == L"corner") {
      out->hasCorner = ParseInsets(val, &out->corner);
    }
    i = q2 + 1;
  }
  return !out->file.empty();
}

}  // namespace

void BadValue(const Control& c, const std::wstring& name, const std::wstring& value) {
  LOG(INFO) << " Layout: " << platform::WideToUtf8(KindName(c.Kind())) << " \""
            << platform::WideToUtf8(c.Name()) << "\" ignores " << platform::WideToUtf8(name)
            << "=\"" << platform::WideToUtf8(value) << "\" (not a valid value)";
}

const wchar_t* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::kControl: return L"Control";
    case ControlKind::kLabel: return L"Label";
    case ControlKind::kText: return L"Text";
    case ControlKind::kButton: return L"Button";
    case ControlKind::kOption: return L"Option";
    case ControlKind::kCheckBox: return L"CheckBox";
    case ControlKind::kCombo: return L"Combo";
    case ControlKind::kEdit: return L"Edit";
    case ControlKind::kProgress: return L"Progress";
    case ControlKind::kVerticalLayout: return L"VerticalLayout";
    case ControlKind::kHorizontalLayout: return L"HorizontalLayout";
    case ControlKind::kTabLayout: return L"TabLayout";
    case ControlKind::kContainer: return L"Container";
  }
  return L"Control";
}

std::unique_ptr<Control> CreateControl(const std::wstring& name) {
  if (name == L"Control") return std::make_unique<Control>();
  if (name == L"Label") return std::make_unique<Label>();
  if (name == L"Text") return std::make_unique<Text>();
  if (name == L"Button") return std::make_unique<Button>();
  if (name == L"Option") return std::make_unique<Option>();
  if (name == L"CheckBox") return std::make_unique<CheckBox>();
  if (name == L"Combo") return std::make_unique<Combo>();
  if (name == L"Edit") return std::make_unique<Edit>();
  if (name == L"Progress") return std::make_unique<Progress>();
  if (name == L"VerticalLayout") return std::make_unique<VerticalLayout>();
  if (name == L"HorizontalLayout") return std::make_unique<HorizontalLayout>();
  if (name == L"TabLayout") return std::make_unique<TabLayout>();
  if (name == L"Container") return std::make_unique<Container>();
  return nullptr;
}

bool ParseColor(const std::wstring& text, Color* out) {
  std::wstring s = TrimSpace(text);
  if (s.empty() || s[0] != L'#') return false;
  s.erase(0, 1);
  if (s.size() != 6 && s.size() != 8) return false;
  uint32_t v = 0;
  for (wchar_t ch : s) {
    int d;
    if (ch >= L'0' && ch <= L'9') d = ch - L'0';
    else if (ch >= L'a' && ch <= L'f') d = ch - L'a' + 10;
    else if (ch >= L'A' && ch <= L'F') d = ch - L'A' + 10;
    else return false;
    v = (v << 4) | static_cast<uint32_t>(d);
  }
  if (s.size() == 6) v |= 0xFF000000u;
  *out = v;
  return true;
}

bool ParseInt(const std::wstring& text, int* out) {
  std::wstring s = TrimSpace(text);
  if (s.empty()) return false;
  size_t i = 0;
  bool negative = false;
  if (s[0] == L'-' || s[0] == L'+') {
    negative = s[0] == L'-';
    i = 1;
  }
  if (i >= s.size()) return false;
  long long v = 0;
  for (; i < s.size(); ++i) {
    if (s[i] < L'0' || s[i] > L'9') return false;
    v = v * 10 + (s[i] - L'0');
    if (v > 1000000000LL) return false;  // no layout value is that large
  }
  *out = static_cast<int>(negative ? -v : v);
  return true;
}

bool ParseBool(const std::wstring& text, bool* out) {
  std::wstring s = TrimSpace(text);
  for (wchar_t& c : s) c = static_cast<wchar_t>(std::towlower(c));
  if (s == L"true" || s == L"1") {
    *out = true;
    return true;
  }
  if (s == L"false" || s == L"0") {
    *out = false;
    return true;
  }
  return false;
}

bool ParseInsets(const std::wstring& text, Insets* out) {
  int v[4];
  if (!ParseInts(text, v, 4)) return false;
  *out = Insets{v[0], v[1], v[2], v[3]};
  return true;
}

bool ParseRect(const std::wstring& text, Rect* out) {
  int v[4];
  if (!ParseInts(text, v, 4)) return false;
  *out = Rect{v[0], v[1], v[2], v[3]};
  return true;
}

bool ParseSize(const std::wstring& text, Size* out) {
  int v[2];
  if (!ParseInts(text, v, 2)) return false;
  *out = Size{v[0], v[1]};
  return true;
}

// ---- Control ----

Control::Control(ControlKind kind) : kind_(kind) {}

Control::~Control() {
  if (window_) window_->ForgetControl(this);
}

void Control::SetText(const std::wstring& text) {
  if (text_ == text) return;
  text_ = text;
  Invalidate();
}

std::wstring Control::AccessibleName() const {
  if (!accessibleName_.empty()) return accessibleName_;
  return StripMarkup(GetText());
}

bool Control::IsVisibleInTree() const {
  const Control* child = nullptr;
  for (const Control* c = this; c; child = c, c = c->parent_) {
    if (!c->visible_) return false;
    if (child && c->kind_ == ControlKind::kTabLayout) {
      const auto* tab = static_cast<const TabLayout*>(c);
      if (tab->GetItemAt(tab->GetCurSel()) != child) return false;
    }
  }
  return true;
}

void Control::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  NeedLayout();
  if (window_) window_->ControlChanged(this);
}

bool Control::IsEnabledInTree() const {
  for (const Control* c = this; c; c = c->parent_) {
    if (!c->enabled_) return false;
  }
  return true;
}

void Control::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Invalidate();
  if (window_) window_->ControlChanged(this);
}

void Control::SetBkImage(const std::wstring& image) {
  bkImage_ = image;
  Invalidate();
}

void Control::SetBkColor(Color c) {
  bkColor_ = c;
  Invalidate();
}

void Control::SetBorderColor(Color c) {
  borderColor_ = c;
  Invalidate();
}

void Control::SetFixedWidth(int width) {
  fixedWidth_ = std::max(0, width);
  NeedLayout();
}

void Control::SetFixedHeight(int height) {
  fixedHeight_ = std::max(0, height);
  NeedLayout();
}

void Control::SetMinWidth(int v) { minWidth_ = std::max(0, v); NeedLayout(); }
void Control::SetMaxWidth(int v) { maxWidth_ = std::max(0, v); NeedLayout(); }
void Control::SetMinHeight(int v) { minHeight_ = std::max(0, v); NeedLayout(); }
void Control::SetMaxHeight(int v) { maxHeight_ = std::max(0, v); NeedLayout(); }

void Control::SetPadding(const Insets& p) {
  padding_ = p;
  NeedLayout();
}

void Control::SetFloatPos(const Rect& pos) {
  floatPos_ = pos;
  float_ = true;
  NeedLayout();
}

Rect Control::GetPos() const {
  if (window_) window_->LayoutIfNeeded();
  return pos_;
}

Rect Control::VisibleRect() const {
  Rect r = pos_;
  for (const Control* c = parent_; c; c = c->parent_) r = r.Intersect(c->pos_);
  return r;
}

std::wstring Control::GetAttribute(const std::wstring& name) const {
  auto it = attributes_.find(name);
  return it == attributes_.end() ? std::wstring() : it->second;
}

bool Control::HasAttribute(const std::wstring& name) const {
  return attributes_.count(name) != 0;
}

bool Control::SetAttribute(const std::wstring& name, const std::wstring& value) {
  attributes_[name] = value;
  return ApplyAttribute(name, value);
}

bool Control::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  int n = 0;
  bool b = false;
  Color c = 0;
  Insets in;
  Rect r;
  auto intAttr = [&](int* field) {
    if (ParseInt(value, &n) && n >= 0) {
      *field = n;
      NeedLayout();
    } else {
      BadValue(*this, name, value);
    }
    return true;
  };
  auto colorAttr = [&](Color* field) {
    if (ParseColor(value, &c)) {
      *field = c;
      Invalidate();
    } else {
      BadValue(*this, name, value);
    }
    return true;
  };
  auto boolAttr = [&](bool* out) {
    if (!ParseBool(value, out)) {
      BadValue(*this, name, value);
      return false;
    }
    return true;
  };
  if (name == L"name") {
    name_ = value;
  } else if (name == L"text") {
    SetText(value);
  } else if (name == L"tooltip") {
    tooltip_ = value;
  } else if (name == L"accessiblename") {
    accessibleName_ = value;
  } else if (name == L"width") {
    return intAttr(&fixedWidth_);
  } else if (name == L"height") {
    return intAttr(&fixedHeight_);
  } else if (name == L"minwidth") {
    return intAttr(&minWidth_);
  } else if (name == L"minheight") {
    return intAttr(&minHeight_);
  } else if (name == L"maxwidth") {
    return intAttr(&maxWidth_);
  } else if (name == L"maxheight") {
    return intAttr(&maxHeight_);
  } else if (name == L"float") {
    if (boolAttr(&b)) float_ = b;
    NeedLayout();
  } else if (name == L"pos") {
    if (ParseRect(value, &r)) {
      floatPos_ = r;
      NeedLayout();
    } else {
      BadValue(*this, name, value);
    }
  } else if (name == L"padding") {
    if (ParseInsets(value, &in)) padding_ = in;
    else BadValue(*this, name, value);
    NeedLayout();
  } else if (name == L"visible") {
    if (boolAttr(&b)) SetVisible(b);
  } else if (name == L"enabled") {
    if (boolAttr(&b)) SetEnabled(b);
  } else if (name == L"bkcolor") {
    return colorAttr(&bkColor_);
  } else if (name == L"bkimage") {
    SetBkImage(value);
  } else if (name == L"bordercolor") {
    return colorAttr(&borderColor_);
  } else if (name == L"bordersize") {
    return intAttr(&borderSize_);
  } else if (name == L"borderround") {
    return intAttr(&borderRound_);
  } else if (name == L"font") {
    if (ParseInt(value, &n) && n >= -1) font_ = n;
    else BadValue(*this, name, value);
    Invalidate();
  } else if (name == L"textcolor") {
    return colorAttr(&textColor_);
  } else if (name == L"disabledtextcolor") {
    return colorAttr(&disabledTextColor_);
  } else if (name == L"align") {
    uint32_t h = value == L"center" ? kAlignCenter : value == L"right" ? kAlignRight : 0u;
    if (value != L"left" && value != L"center" && value != L"right") BadValue(*this, name, value);
    else textStyle_ = (textStyle_ & ~(kAlignCenter | kAlignRight)) | h;
  } else if (name == L"valign") {
    uint32_t v = value == L"vcenter" ? kVCenter : value == L"bottom" ? kBottom : 0u;
    if (value != L"top" && value != L"vcenter" && value != L"bottom") BadValue(*this, name, value);
    else textStyle_ = (textStyle_ & ~(kVCenter | kBottom)) | v;
  } else if (name == L"wordbreak") {
    if (boolAttr(&b)) {
      textStyle_ = b ? ((textStyle_ | kWordBreak) & ~kSingleLine)
                     : ((textStyle_ & ~kWordBreak) | kSingleLine);
    }
  } else if (name == L"endellipsis") {
    if (boolAttr(&b)) textStyle_ = b ? (textStyle_ | kEndEllipsis) : (textStyle_ & ~kEndEllipsis);
  } else if (name == L"textpadding") {
    if (ParseInsets(value, &in)) textPadding_ = in;
    else BadValue(*this, name, value);
  } else if (name == L"cursor") {
    handCursor_ = value == L"hand";
  } else if (name == L"tabstop") {
    if (boolAttr(&b)) tabStop_ = b ? 1 : 0;
  } else {
    return false;
  }
  return true;
}

void Control::SetFont(int index) {
  font_ = index;
  Invalidate();
}

void Control::SetTextColor(Color c) {
  textColor_ = c;
  Invalidate();
}

void Control::SetDisabledTextColor(Color c) {
  disabledTextColor_ = c;
  Invalidate();
}

void Control::SetTextStyle(uint32_t format) {
  textStyle_ = format;
  Invalidate();
}

void Control::SetTextPadding(const Insets& p) {
  textPadding_ = p;
  Invalidate();
}

bool Control::IsTabStop() const { return tabStop_ == 1; }

bool Control::IsFocused() const { return window_ && window_->GetFocus() == this; }

void Control::SetFocus() {
  if (window_) window_->SetFocus(this);
}

bool Control::IsInteractive() const { return handCursor_; }

void Control::Invalidate() {
  if (window_ && window_->IsCreated()) window_->Invalidate(VisibleRect());
}

void Control::NeedLayout() {
  if (window_) window_->NeedLayout();
}

void Control::SetPos(const Rect& pos) { pos_ = pos; }

Size Control::EstimateSize(Size available) const {
  (void)available;
  return Size{ScaleValue(fixedWidth_), ScaleValue(fixedHeight_)};
}

void Control::Paint(ICanvas& canvas, const Rect& clip) {
  Rect r = pos_.Intersect(clip);
  if (r.IsEmpty()) return;
  canvas.PushClip(r);
  PaintBackground(canvas);
  PaintBorder(canvas);
  canvas.PopClip();
}

Control* Control::FindAt(Point p) {
  return visible_ && pos_.Contains(p) ? this : nullptr;
}

bool Control::OnEvent(const ControlEvent& event) {
  // Only a plain picture gets here with a click of its own; every other kind overrides.
  if (event.type == ControlEvent::Type::kClick && kind_ == ControlKind::kControl &&
      handCursor_ && IsEnabledInTree() && window_) {
    window_->SendNotify(this, L"click");
    return true;
  }
  return false;
}

void Control::Attach(Window* window, Control* parent) {
  window_ = window;
  parent_ = parent;
}

void Control::ForEach(const std::function<void(Control&)>& visit) { visit(*this); }

IWindowEvents::AccessibleItem::Role Control::AccessibleRole() const {
  return IWindowEvents::AccessibleItem::Role::kText;
}

void Control::OnWindowCreated() {}
void Control::AfterLayout() {}
void Control::OnFontsChanged() {}
bool Control::MoveInnerFocus(bool backwards) {
  (void)backwards;
  return false;
}

bool Control::WantsHandCursor(Point p) const {
  (void)p;
  return handCursor_ && IsEnabledInTree();
}

void Control::SetHot(bool hot) {
  if (hot_ == hot) return;
  hot_ = hot;
  Invalidate();
}

void Control::SetPushed(bool pushed) {
  if (pushed_ == pushed) return;
  pushed_ = pushed;
  Invalidate();
}

double Control::Scale() const { return window_ ? window_->Scale() : 1.0; }

int Control::ScaleValue(int logical) const {
  return window_ ? window_->ScaleValue(logical) : logical;
}

FontSpec Control::ResolveFont(int index) const {
  if (window_) return window_->GetFont(index);
  return FontSpec{};
}

Color Control::CurrentTextColor() const {
  return IsEnabledInTree() ? textColor_ : disabledTextColor_;
}

void Control::PaintBackground(ICanvas& canvas) {
  if (AlphaOf(bkColor_) != 0) {
    if (borderRound_ > 0) {
      canvas.FillRoundRect(pos_, ScaleValue(borderRound_), bkColor_);
    } else {
      canvas.FillRect(pos_, bkColor_);
    }
  }
  if (!bkImage_.empty()) DrawImageAttr(canvas, bkImage_, pos_);
}

void Control::PaintBorder(ICanvas& canvas) {
  if (borderSize_ > 0 && AlphaOf(borderColor_) != 0) {
    canvas.FrameRect(pos_, borderColor_, std::max(1, ScaleValue(borderSize_)));
  }
}

bool Control::DrawImageAttr(ICanvas& canvas, const std::wstring& value, const Rect& dest) {
  if (!Toolkit::IsInstalled() || dest.IsEmpty()) return false;
  ImageAttr attr;
  if (!ParseImageAttr(value, &attr)) return false;
  ImageCache& cache = Toolkit::Global().Images();
  ImagePtr image = cache.Get(attr.file);
  if (!image) return false;
  const int density = cache.Density(attr.file);
  Rect src;
  if (attr.hasSource) {
    src = Rect{attr.source.left * density, attr.source.top * density,
               attr.source.right * density, attr.source.bottom * density}
              .Intersect(Rect{0, 0, image->Width(), image->Height()});
    if (src.IsEmpty()) return false;
  }
  if (attr.hasCorner) {
    ImagePtr part = image;
    if (attr.hasSource) {
      // The canvas draws nine-grids of whole images: cut the part once and keep it.
      const std::wstring key = attr.file + L"|" + value;
      part = cache.Has(key) ? cache.Get(key) : nullptr;
      if (!part) {
        IBackend& backend = Toolkit::Global().Backend();
        std::shared_ptr<Image> cut = backend.CreateImage(src.Width(), src.Height());
        if (!cut) return false;
        {
          std::unique_ptr<ICanvas> cc = backend.CanvasFor(cut);
          if (!cc) return false;
          cc->DrawImage(*image, Rect{0, 0, src.Width(), src.Height()}, src);
        }
        cache.Register(key, cut);
        part = cut;
      }
    }
    const Rect corners{attr.corner.left * density, attr.corner.top * density,
                       attr.corner.right * density, attr.corner.bottom * density};
    canvas.DrawImageNineGrid(*part, dest, corners);
    return true;
  }
  canvas.DrawImage(*image, dest, src);
  return true;
}

Rect Control::TextBox() const {
  Insets p = textPadding_;
  if (window_ && window_->IsRtl()) std::swap(p.left, p.right);
  return Rect{pos_.left + ScaleValue(p.left), pos_.top + ScaleValue(p.top),
              pos_.right - ScaleValue(p.right), pos_.bottom - ScaleValue(p.bottom)};
}

void Control::PaintPlainText(ICanvas& canvas, const std::wstring& text, Color color) {
  if (text.empty()) return;
  Rect box = TextBox();
  if (box.IsEmpty()) return;
  uint32_t format = textStyle_ & ~kNoClip;
  if (window_ && window_->IsRtl()) {
    // Mirrored window: what the skin calls left is the reading start, now on the right.
    const uint32_t h = format & (kAlignCenter | kAlignRight);
    format &= ~(kAlignCenter | kAlignRight);
    format |= h == kAlignCenter ? kAlignCenter : h == kAlignRight ? kAlignLeft : kAlignRight;
    format |= kRtlReading;
  }
  canvas.PushClip(box.Intersect(pos_));
  canvas.DrawText(text, box, ResolveFont(font_), color, format);
  canvas.PopClip();
}

}  // namespace uikit
