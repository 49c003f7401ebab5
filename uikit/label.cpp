#include "uikit/markup.h"
#include "uikit/window.h"

#include <cwchar>
#include <cwctype>

namespace uikit {
namespace {

// Splits text into words that each keep their trailing blanks (wrap points).
// Ideographs, kana and full-width forms: Chinese and Japanese lines break between them.
bool IsIdeographic(wchar_t c) {
  return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFF00 && c <= 0xFFEF);
}

// Punctuation and small kana that never start a line, and brackets that never end one: they
// stay with their neighbour (and are drawn in its face).
bool NoBreakBefore(wchar_t c) {
  static const wchar_t kChars[] =
      L"\u3001\u3002\uFF0C\uFF0E\uFF09\u300D\u300F\u3011\u3015\u3009\u300B\u30FB"
      L"\u30FC\uFF01\uFF1F\uFF1A\uFF1B\u3041\u3043\u3045\u3047\u3049\u3063\u3083"
      L"\u3085\u3087\u30A1\u30A3\u30A5\u30A7\u30A9\u30C3\u30E3\u30E5\u30E7";
  return std::wcschr(kChars, c) != nullptr && c != 0;
}
bool NoBreakAfter(wchar_t c) {
  static const wchar_t kChars[] = L"\uFF08\u300C\u300E\u3010\u3014\u3008\u300A";
  return std::wcschr(kChars, c) != nullptr && c != 0;
}

bool IsRightToLeft(const std::wstring& text) {
  for (wchar_t c : text) {
    if ((c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFEFC)) return true;
  }
  return false;
}

// The places a line may break: after blanks, and on either side of an ideograph.
std::vector<std::wstring> Words(const std::wstring& text) {
  std::vector<std::wstring> words;
  std::wstring cur;
  for (size_t i = 0; i < text.size(); ++i) {
    cur.push_back(text[i]);
    const bool blank = std::iswspace(text[i]) != 0;
    const bool last = i + 1 == text.size();
    const bool nextBlank = !last && std::iswspace(text[i + 1]) != 0;
    const bool ideograph = !last && !nextBlank &&
                           (IsIdeographic(text[i]) || IsIdeographic(text[i + 1])) &&
                           !NoBreakBefore(text[i + 1]) && !NoBreakAfter(text[i]);
    if ((blank && !nextBlank) || ideograph) {
      words.push_back(cur);
      cur.clear();
    }
  }
  if (!cur.empty()) words.push_back(cur);
  return words;
}

}  // namespace

void Label::SetShowMarkup(bool show) {
  showHtml_ = show;
  ParseRuns();
  Invalidate();
}

void Label::SetText(const std::wstring& text) {
  Control::SetText(text);
  ParseRuns();
}

void Label::ParseRuns() {
  runs_.clear();
  linkCount_ = 0;
  if (showHtml_) {
    runs_ = ParseMarkup(text_);
    linkCount_ = CountLinks(runs_);
  }
  linkRects_.assign(static_cast<size_t>(linkCount_), {});
  if (hotLink_ >= linkCount_) hotLink_ = -1;
  if (focusedLink_ >= linkCount_) focusedLink_ = linkCount_ - 1;
  pressedLink_ = -1;
}

bool Label::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  if (name == L"showhtml") {
    bool b = false;
    if (ParseBool(value, &b)) SetShowMarkup(b);
    return true;
  }
  if (name == L"linkcolor" || name == L"linkhovercolor") {
    const bool hover = name == L"linkhovercolor";
    Color c = 0;
    if (ParseColor(value, &c)) {
      (hover ? linkHoverColor_ : linkColor_) = c;
      (hover ? hasLinkHoverColor_ : hasLinkColor_) = true;
      Invalidate();
    } else {
      BadValue(*this, name, value);
    }
    return true;
  }
  return Control::ApplyAttribute(name, value);
}

Size Label::EstimateSize(Size available) const { return Control::EstimateSize(available); }

void Label::Paint(ICanvas& canvas, const Rect& clip) {
  Rect r = pos_.Intersect(clip);
  if (r.IsEmpty()) return;
  canvas.PushClip(r);
  PaintBackground(canvas);
  if (showHtml_) {
    PaintMarkup(canvas);
  } else {
    PaintPlainText(canvas, text_, CurrentTextColor());
  }
  PaintBorder(canvas);
  canvas.PopClip();
}

void Label::PaintMarkup(ICanvas& canvas) {
  for (auto& rects : linkRects_) rects.clear();
  const Rect box = TextBox();
  if (box.IsEmpty() || runs_.empty()) return;
  const bool wrap = (textStyle_ & kWordBreak) != 0;
  const bool rtl = window_ && window_->IsRtl();
  const int boxWidth = box.Width();

  struct Piece {
    std::wstring text;
    FontSpec font;
    Color color;
    int link;
    int x;
    int width;
  };
  struct Line {
    std::vector<Piece> pieces;
    int width = 0;
    int height = 0;
  };
  std::vector<Line> lines(1);
  const FontSpec base = ResolveFont(font_);
  lines.back().height = 0;
  for (const MarkupRun& run : runs_) {
    FontSpec font = run.font >= 0 ? ResolveFont(run.font) : base;
    if (run.lineBreak) {
      if (lines.back().height == 0) lines.back().height = font.size;
      lines.emplace_back();
      continue;
    }
    font.underline = font.underline || run.underline || (run.link >= 0 && run.link == hotLink_);
    Color color = run.link >= 0 ? LinkColor(run) : run.hasColor ? run.color : CurrentTextColor();
    if (!IsEnabledInTree()) color = disabledTextColor_;
    std::vector<std::wstring> segments = wrap ? Words(run.text) : std::vector<std::wstring>{run.text};
    for (const std::wstring& seg : segments) {
      Size sz = canvas.MeasureText(seg, font, kSingleLine, 0);
      Line* line = &lines.back();
      if (wrap && line->width > 0 && line->width + sz.cx > boxWidth) {
        lines.emplace_back();
        line = &lines.back();
      }
      line->pieces.push_back(Piece{seg, font, color, run.link, line->width, sz.cx});
      line->width += sz.cx;
      line->height = std::max(line->height, sz.cy);
    }
  }
  int total = 0;
  for (const Line& l : lines) total += l.height;
  int y = box.top;
  if (textStyle_ & kBottom) {
    y = box.bottom - total;
  } else if (textStyle_ & kVCenter) {
    y = box.top + (box.Height() - total) / 2;
  }
  const uint32_t align = textStyle_ & (kAlignCenter | kAlignRight);
  for (const Line& line : lines) {
    int offset = 0;
    if (align == kAlignCenter) offset = (boxWidth - line.width) / 2;
    if (align == kAlignRight) offset = boxWidth - line.width;
    // A mirrored line places its pieces from the right, except that neighbouring
    // left-to-right pieces (Latin words, numbers) keep their own order within their span, and
    // the blanks after that span stand on its left, towards the text that follows.
    size_t groupBegin = 0, groupEnd = 0;
    int trailing = 0;  // width of the blanks that end the current left-to-right span
    for (size_t k = 0; k < line.pieces.size(); ++k) {
      const Piece& p = line.pieces[k];
      int x = box.left + offset + p.x;
      std::wstring shown = p.text;
      int width = p.width;
      const bool ltrPiece = rtl && !IsRightToLeft(p.text);
      if (rtl && k >= groupEnd) {
        groupBegin = groupEnd = k;
        while (groupEnd < line.pieces.size() && !IsRightToLeft(line.pieces[groupEnd].text))
          ++groupEnd;
        trailing = 0;
        if (groupEnd == k) {
          groupEnd = k + 1;  // a right-to-left piece stands alone
        } else {
          const Piece& last = line.pieces[groupEnd - 1];
          const size_t end = last.text.find_last_not_of(L' ');
          if (end != std::wstring::npos && end + 1 < last.text.size())
            trailing = last.width -
                       canvas.MeasureText(last.text.substr(0, end + 1), last.font, kSingleLine, 0).cx;
        }
      }
      if (rtl) {
        const Piece& first = line.pieces[groupBegin];
        const Piece& last = line.pieces[groupEnd - 1];
        const int spanLeft = box.left + offset + first.x;
        const int spanRight = box.left + offset + last.x + last.width;
        x = box.left + box.right - spanRight + (x - spanLeft);
        if (ltrPiece) {
          x += trailing;
          if (k + 1 == groupEnd && trailing > 0) {
            shown = shown.substr(0, shown.find_last_not_of(L' ') + 1);
            width -= trailing;
          }
        }
      }
      Rect pr{x, y, x + width, y + line.height};
      canvas.DrawText(shown, pr, p.font, p.color,
                      kSingleLine | kVCenter | (rtl && !ltrPiece ? kRtlReading : 0u));
      if (p.link >= 0 && p.link < linkCount_) {
        linkRects_[static_cast<size_t>(p.link)].push_back(pr.Intersect(pos_));
      }
    }
    y += line.height;
  }
}

Color Label::LinkColor(const MarkupRun& run) const {
  if (run.hasColor) return run.color;
  if (run.link >= 0 && run.link == hotLink_ && hasLinkHoverColor_) return linkHoverColor_;
  if (hasLinkColor_) return linkColor_;
  return CurrentTextColor();
}

int Label::LinkAt(Point p) const {
  for (size_t i = 0; i < linkRects_.size(); ++i) {
    for (const Rect& r : linkRects_[i]) {
      if (r.Contains(p)) return static_cast<int>(i);
    }
  }
  return -1;
}

int Label::GetLinkCount() const { return linkCount_; }

Rect Label::GetLinkRect(int index) const {
  if (index < 0 || index >= linkCount_) return Rect{};
  Rect u;
  for (const Rect& r : linkRects_[static_cast<size_t>(index)]) {
    if (r.IsEmpty()) continue;
    if (u.IsEmpty()) {
      u = r;
    } else {
      u = Rect{std::min(u.left, r.left), std::min(u.top, r.top), std::max(u.right, r.right),
               std::max(u.bottom, r.bottom)};
    }
  }
  return u;
}

std::wstring Label::GetLinkText(int index) const {
  std::wstring text;
  for (const MarkupRun& r : runs_) {
    if (r.link == index) text += r.text;
  }
  return text;
}

bool Label::OnEvent(const ControlEvent& event) {
  switch (event.type) {
    case ControlEvent::Type::kMouseMove: {
      int l = LinkAt(event.pt);
      if (l != hotLink_) {
        hotLink_ = l;
        Invalidate();
      }
      return linkCount_ > 0;
    }
    case ControlEvent::Type::kMouseLeave:
      if (hotLink_ != -1) {
        hotLink_ = -1;
        Invalidate();
      }
      return false;
    case ControlEvent::Type::kButtonDown:
      pressedLink_ = LinkAt(event.pt);
      return pressedLink_ >= 0;
    case ControlEvent::Type::kClick: {
      if (linkCount_ == 0 || !IsEnabledInTree()) return false;
      int link = -1;
      if (event.index >= 0) {
        link = event.index < linkCount_ ? event.index : -1;
      } else if (event.key != 0) {
        link = focusedLink_ >= 0 ? focusedLink_ : 0;
      } else {
        link = LinkAt(event.pt);
        if (link != pressedLink_) link = -1;
      }
      pressedLink_ = -1;
      if (link < 0) return false;
      if (window_) window_->SendNotify(this, L"link", link);
      return true;
    }
    case ControlEvent::Type::kSetFocus:
      if (linkCount_ > 0) {
        focusedLink_ = (event.modifiers & kModShift) ? linkCount_ - 1 : 0;
        Invalidate();
      }
      return true;
    case ControlEvent::Type::kKillFocus:
      focusedLink_ = -1;
      Invalidate();
      return true;
    default:
      return false;
  }
}

bool Label::IsTabStop() const {
  if (tabStop_ != -1) return tabStop_ == 1;
  return linkCount_ > 0;
}

bool Label::IsInteractive() const { return linkCount_ > 0 || handCursor_; }

bool Label::MoveInnerFocus(bool backwards) {
  if (focusedLink_ < 0) return false;
  int next = focusedLink_ + (backwards ? -1 : 1);
  if (next < 0 || next >= linkCount_) return false;
  focusedLink_ = next;
  Invalidate();
  return true;
}

bool Label::WantsHandCursor(Point p) const {
  return (IsEnabledInTree() && LinkAt(p) >= 0) || Control::WantsHandCursor(p);
}

IWindowEvents::AccessibleItem::Role Label::AccessibleRole() const {
  return linkCount_ > 0 ? IWindowEvents::AccessibleItem::Role::kLink
                        : IWindowEvents::AccessibleItem::Role::kText;
}

Text::Text() : Label(ControlKind::kText) {
  showHtml_ = true;
  textStyle_ = kAlignLeft | kWordBreak;
}

// ---- Button, Option, CheckBox ----

Button::Button(ControlKind kind) : Label(kind) {
  textStyle_ = kAlignCenter | kVCenter | kSingleLine;
}

bool Button::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  Color c = 0;
  if (name == L"normalimage") normalImage_ = value;
  else if (name == L"hotimage") hotImage_ = value;
  else if (name == L"pushedimage") pushedImage_ = value;
  else if (name == L"disabledimage") disabledImage_ = value;
  else if (name == L"focusedimage") focusedImage_ = value;
  else if (name == L"hottextcolor") { if (ParseColor(value, &c)) hotTextColor_ = c; }
  else if (name == L"pushedtextcolor") { if (ParseColor(value, &c)) pushedTextColor_ = c; }
  else return Label::ApplyAttribute(name, value);
  Invalidate();
  return true;
}

std::wstring Button::StateImage() const {
  auto pick = [this](const std::wstring& image) { return image.empty() ? normalImage_ : image; };
  if (!IsEnabledInTree()) return pick(disabledImage_);
  if (pushed_ && hot_) return pick(pushedImage_);
  if (hot_ || pushed_) return pick(hotImage_);
  if (IsFocused()) return pick(focusedImage_);
  return normalImage_;
}

Color Button::StateTextColor() const {
  if (!IsEnabledInTree()) return disabledTextColor_;
  if (pushed_ && hot_ && AlphaOf(pushedTextColor_)) return pushedTextColor_;
  if (hot_ && AlphaOf(hotTextColor_)) return hotTextColor_;
  return textColor_;
}

void Button::Paint(ICanvas& canvas, const Rect& clip) {
  Rect r = pos_.Intersect(clip);
  if (r.IsEmpty()) return;
  canvas.PushClip(r);
  PaintBackground(canvas);
  const std::wstring state = StateImage();
  if (!state.empty()) DrawImageAttr(canvas, state, pos_);
  if (showHtml_) {
    PaintMarkup(canvas);
  } else {
    PaintPlainText(canvas, text_, StateTextColor());
  }
  PaintBorder(canvas);
  canvas.PopClip();
}

bool Button::OnEvent(const ControlEvent& event) {
  if (event.type == ControlEvent::Type::kClick) {
    if (!IsEnabledInTree()) return false;
    Activate();
    return true;
  }
  if (event.type == ControlEvent::Type::kSetFocus || event.type == ControlEvent::Type::kKillFocus) {
    Invalidate();
    return true;
  }
  return false;
}

void Button::Activate() {
  if (window_) window_->SendNotify(this, L"click");
}

bool Button::IsTabStop() const {
  if (tabStop_ != -1) return tabStop_ == 1;
  return true;
}

bool Button::IsInteractive() const { return true; }

IWindowEvents::AccessibleItem::Role Button::AccessibleRole() const {
  return IWindowEvents::AccessibleItem::Role::kButton;
}

Option::Option(ControlKind kind) : Button(kind) {}

bool Option::ApplyAttribute(const std::wstring& name, const std::wstring& value) {
  Color c = 0;
  bool b = false;
  if (name == L"selected") {
    if (ParseBool(value, &b)) Selected(b, false);
  } else if (name == L"group") {
    group_ = value;
  } else if (name == L"selectedimage") {
    selectedImage_ = value;
  } else if (name == L"selectedhotimage") {
    selectedHotImage_ = value;
  } else if (name == L"selectedtextcolor") {
    if (ParseColor(value, &c)) selectedTextColor_ = c;
  } else {
    return Button::ApplyAttribute(name, value);
  }
  Invalidate();
  return true;
}

void Option::Selected(bool selected, bool notify) {
  if (selected_ == selected) return;
  selected_ = selected;
  Invalidate();
  if (selected_ && !group_.empty() && window_) {
    for (Option* other : window_->GroupOptions(group_)) {
      if (other != this && other->selected_) other->Selected(false, notify);
    }
  }
  if (notify && window_) window_->SendNotify(this, L"selectchanged");
}

void Option::Attach(Window* window, Control* parent) {
  Button::Attach(window, parent);
  if (selected_ && !group_.empty() && window_) {
    for (Option* other : window_->GroupOptions(group_)) {
      if (other != this && other->selected_) other->selected_ = false;
    }
  }
}

void Option::Activate() {
  // The state changes first, so a "click" handler reads the new state.
  if (!group_.empty()) {
    Selected(true, true);
  } else {
    Selected(!selected_, true);
  }
  if (window_) window_->SendNotify(this, L"click");
}

std::wstring Option::StateImage() const {
  if (selected_) {
    if (IsEnabledInTree() && hot_ && !selectedHotImage_.empty()) return selectedHotImage_;
    if (!selectedImage_.empty() && (IsEnabledInTree() || disabledImage_.empty())) {
      return selectedImage_;
    }
  }
  return Button::StateImage();
}

Color Option::StateTextColor() const {
  if (selected_ && IsEnabledInTree() && AlphaOf(selectedTextColor_)) return selectedTextColor_;
  return Button::StateTextColor();
}

IWindowEvents::AccessibleItem::Role Option::AccessibleRole() const {
  return IWindowEvents::AccessibleItem::Role::kRadio;
}

CheckBox::CheckBox() : Option(ControlKind::kCheckBox) {}

void CheckBox::Activate() {
  Selected(!selected_, true);
  if (window_) window_->SendNotify(this, L"click");
}

IWindowEvents::AccessibleItem::Role CheckBox::AccessibleRole() const {
  return IWindowEvents::AccessibleItem::Role::kCheckBox;
}

}  // namespace uikit
