// The canvas over premultiplied BGRA memory. Rectangles and 1:1 images are blended here
// directly (exact and fast); round rectangles and scaled images go through GDI+ on the same
// memory; text goes through GDI into a scratch DIB (white on black gives the glyph coverage)
// and is then blended in with the text colour, which keeps the alpha channel right.
#include <objidl.h>
#include <gdiplus.h>
#include <usp10.h>

#include <algorithm>
#include <cstring>

#include "uikit/font_fallback.h"
#include "uikit/win32/internal_win.h"

namespace uikit {
namespace win32 {
namespace {

inline uint32_t Over(uint32_t dst, uint32_t src) {
  const uint32_t sa = src >> 24;
  if (sa == 255) return src;
  if (sa == 0 && (src & 0x00FFFFFFu) == 0) return dst;
  const uint32_t inv = 255 - sa;
  // Two channels at a time: (x * inv + 128) / 255 done as ((t + (t >> 8)) >> 8).
  uint32_t rb = (dst & 0x00FF00FFu) * inv + 0x00800080u;
  rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
  uint32_t ag = ((dst >> 8) & 0x00FF00FFu) * inv + 0x00800080u;
  ag = (ag + ((ag >> 8) & 0x00FF00FFu)) & 0xFF00FF00u;
  return src + (rb | ag);
}

// Scales a premultiplied pixel by k/255.
inline uint32_t Scale(uint32_t p, uint32_t k) {
  uint32_t rb = (p & 0x00FF00FFu) * k + 0x00800080u;
  rb = ((rb + ((rb >> 8) & 0x00FF00FFu)) >> 8) & 0x00FF00FFu;
  uint32_t ag = ((p >> 8) & 0x00FF00FFu) * k + 0x00800080u;
  ag = (ag + ((ag >> 8) & 0x00FF00FFu)) & 0xFF00FF00u;
  return rb | ag;
}

UINT DrawTextFlags(uint32_t format) {
  UINT f = DT_NOPREFIX;
  if (format & kAlignCenter) {
    f |= DT_CENTER;
  } else if (format & kAlignRight) {
    f |= DT_RIGHT;
  }
  if (format & kSingleLine) {
    f |= DT_SINGLELINE;
    if (format & kVCenter) f |= DT_VCENTER;
    if (format & kBottom) f |= DT_BOTTOM;
  } else if (format & kWordBreak) {
    f |= DT_WORDBREAK;
  }
  if (format & kEndEllipsis) f |= DT_END_ELLIPSIS;
  if (format & kRtlReading) f |= DT_RTLREADING;
  if (format & kNoClip) f |= DT_NOCLIP;
  return f;
}

class MemoryCanvas : public ICanvas {
 public:
  MemoryCanvas(BackendState& state, uint32_t* bits, int width, int height, const Rect& clip)
      : state_(state), bits_(bits), width_(width), height_(height) {
    clips_.push_back(clip.Intersect(Rect{0, 0, width, height}));
  }
  ~MemoryCanvas() override {
    graphics_.reset();
    target_.reset();
  }

  Size TargetSize() const override { return Size{width_, height_}; }

  void PushClip(const Rect& r) override { clips_.push_back(clips_.back().Intersect(r)); }
  void PopClip() override {
    if (clips_.size() > 1) clips_.pop_back();
  }

  void FillRect(const Rect& r, Color c) override {
    const Rect area = r.Intersect(clips_.back());
    if (area.IsEmpty() || AlphaOf(c) == 0) return;
    const uint32_t p = Premultiply(c);
    for (int y = area.top; y < area.bottom; ++y) {
      uint32_t* row = bits_ + static_cast<size_t>(y) * width_;
      if ((p >> 24) == 255) {
        std::fill(row + area.left, row + area.right, p);
      } else {
        for (int x = area.left; x < area.right; ++x) row[x] = Over(row[x], p);
      }
    }
  }

  void FillRoundRect(const Rect& r, int radius, Color c) override {
    if (radius <= 0) return FillRect(r, c);
    if (r.IsEmpty() || AlphaOf(c) == 0 || !Graphics()) return;
    const int d = std::min({radius * 2, r.Width(), r.Height()});
    Gdiplus::GraphicsPath path;
    const float l = static_cast<float>(r.left), t = static_cast<float>(r.top);
    const float rr = static_cast<float>(r.right - d), b = static_cast<float>(r.bottom - d);
    const float fd = static_cast<float>(d);
    path.AddArc(l, t, fd, fd, 180.0f, 90.0f);
    path.AddArc(rr, t, fd, fd, 270.0f, 90.0f);
    path.AddArc(rr, b, fd, fd, 0.0f, 90.0f);
    path.AddArc(l, b, fd, fd, 90.0f, 90.0f);
    path.CloseFigure();
    Gdiplus::SolidBrush brush(Gdiplus::Color(AlphaOf(c), RedOf(c), GreenOf(c), BlueOf(c)));
    PrepareGraphics();
    graphics_->SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    graphics_->FillPath(&brush, &path);
    graphics_->Flush(Gdiplus::FlushIntentionSync);
  }

  void FrameRect(const Rect& r, Color c, int width) override {
    if (width <= 0 || r.IsEmpty()) return;
    const int w = std::min({width, (r.Width() + 1) / 2, (r.Height() + 1) / 2});
    FillRect(Rect{r.left, r.top, r.right, r.top + w}, c);
    FillRect(Rect{r.left, r.bottom - w, r.right, r.bottom}, c);
    FillRect(Rect{r.left, r.top + w, r.left + w, r.bottom - w}, c);
    FillRect(Rect{r.right - w, r.top + w, r.right, r.bottom - w}, c);
  }

  void FocusRect(const Rect& r) override {
    // Every other pixel of the outline inverted, as the system's focus cue does.
    const Rect& clip = clips_.back();
    auto dot = [&](int x, int y) {
      if (!clip.Contains(Point{x, y})) return;
      uint32_t& p = bits_[static_cast<size_t>(y) * width_ + x];
      p = ((p ^ 0x00FFFFFFu) & 0x00FFFFFFu) | 0xFF000000u;
    };
    if (r.IsEmpty()) return;
    for (int x = r.left; x < r.right; x += 2) {
      dot(x, r.top);
      if (r.bottom - 1 > r.top) dot(x, r.bottom - 1);
    }
    for (int y = r.top + 2; y < r.bottom - 1; y += 2) {
      dot(r.left, y);
      if (r.right - 1 > r.left) dot(r.right - 1, y);
    }
  }

  void DrawImage(const Image& image, const Rect& dest, const Rect& srcIn,
                 uint8_t opacity) override {
    const auto* img = dynamic_cast<const PixelImage*>(&image);
    if (!img || opacity == 0 || dest.IsEmpty()) return;
    Rect src = srcIn.IsEmpty() ? Rect{0, 0, img->Width(), img->Height()} : srcIn;
    src = src.Intersect(Rect{0, 0, img->Width(), img->Height()});
    if (src.IsEmpty()) return;
    const Rect& clip = clips_.back();
    if (dest.Intersect(clip).IsEmpty()) return;
    if (src.Width() == dest.Width() && src.Height() == dest.Height()) {
      const Rect area = dest.Intersect(clip);
      const int dx = src.left - dest.left, dy = src.top - dest.top;
      for (int y = area.top; y < area.bottom; ++y) {
        uint32_t* row = bits_ + static_cast<size_t>(y) * width_;
        const uint32_t* srow = img->Bits() + static_cast<size_t>(y + dy) * img->Width();
        for (int x = area.left; x < area.right; ++x) {
          uint32_t s = srow[x + dx];
          if (opacity != 255) s = Scale(s, opacity);
          row[x] = Over(row[x], s);
        }
      }
      return;
    }
    if (!Graphics()) return;
    Gdiplus::Bitmap source(img->Width(), img->Height(), img->Width() * 4, PixelFormat32bppPARGB,
                           reinterpret_cast<BYTE*>(const_cast<uint32_t*>(img->Bits())));
    Gdiplus::ImageAttributes attributes;
    // Mirrored tiling keeps the edge pixels from fading into transparency while filtering.
    attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
    if (opacity != 255) {
      Gdiplus::ColorMatrix m = {{{1, 0, 0, 0, 0},
                                 {0, 1, 0, 0, 0},
                                 {0, 0, 1, 0, 0},
                                 {0, 0, 0, opacity / 255.0f, 0},
                                 {0, 0, 0, 0, 1}}};
      attributes.SetColorMatrix(&m);
    }
    PrepareGraphics();
    graphics_->SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
    graphics_->SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
    graphics_->DrawImage(&source, Gdiplus::Rect(dest.left, dest.top, dest.Width(), dest.Height()),
                         src.left, src.top, src.Width(), src.Height(), Gdiplus::UnitPixel,
                         &attributes);
    graphics_->Flush(Gdiplus::FlushIntentionSync);
  }

  void DrawImageNineGrid(const Image& image, const Rect& dest, const Rect& corners) override {
    const int w = image.Width(), h = image.Height();
    int l = std::max(0, corners.left), t = std::max(0, corners.top);
    int r = std::max(0, corners.right), b = std::max(0, corners.bottom);
    if (l + r > w || t + b > h || l + r > dest.Width() || t + b > dest.Height()) {
      DrawImage(image, dest, Rect{}, 255);
      return;
    }
    const int sx[4] = {0, l, w - r, w}, sy[4] = {0, t, h - b, h};
    const int dx[4] = {dest.left, dest.left + l, dest.right - r, dest.right};
    const int dy[4] = {dest.top, dest.top + t, dest.bottom - b, dest.bottom};
    for (int row = 0; row < 3; ++row) {
      for (int col = 0; col < 3; ++col) {
        const Rect s{sx[col], sy[row], sx[col + 1], sy[row + 1]};
        const Rect d{dx[col], dy[row], dx[col + 1], dy[row + 1]};
        if (!s.IsEmpty() && !d.IsEmpty()) DrawImage(image, d, s, 255);
      }
    }
  }

  void DrawText(const std::wstring& text, const Rect& box, const FontSpec& font, Color c,
                uint32_t format) override {
    if (text.empty() || AlphaOf(c) == 0) return;
    Rect area = box.Intersect(clips_.back());
    if (format & kNoClip) {
      // Unclipped text may overhang its box by up to its own size on any side.
      const Size used = MeasureText(text, font, format, box.Width());
      area = Rect{box.left - used.cx, box.top - used.cy, box.right + used.cx, box.bottom + used.cy}
                 .Intersect(clips_.back());
    }
    if (area.IsEmpty() || !PrepareScratch(area)) return;
    HDC dc = scratch_.Dc();
    const auto runs = ForReading(text, state_.SplitByFace(font.face, text), format);
    // One line is laid out here, run by run, so its alignment rests on shaped widths.
    if (OneLine(text, format) && DrawRuns(dc, text, runs, box, area, font, format)) {
      Composite(area, c);
      return;
    }
    // Wrapped text that needs several faces, or reads right to left, is broken into lines here
    // as well (the system's own wrapping reverses Latin words inside right-to-left text).
    if ((runs.size() > 1 || (format & kRtlReading)) && (format & kWordBreak)) {
      DrawWrapped(dc, text, runs, box, area, font, format);
      Composite(area, c);
      return;
    }
    HGDIOBJ oldFont = SelectObject(dc, state_.Font(font, runs.front().face));
    const UINT flags = DrawTextFlags(format);
    RECT rc = ToRECT(box.Offset(-area.left, -area.top));
    if (!(format & kSingleLine) && (format & (kVCenter | kBottom))) {
      RECT calc = rc;
      DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &calc,
                (flags & ~(DT_END_ELLIPSIS)) | DT_CALCRECT);
      const int used = calc.bottom - calc.top, room = rc.bottom - rc.top;
      if (used < room) rc.top += (format & kVCenter) ? (room - used) / 2 : room - used;
    }
    // Without DT_MODIFYSTRING DrawTextW leaves the buffer as given.
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, flags);
    SelectObject(dc, oldFont);
    Composite(area, c);
  }

  Size MeasureText(const std::wstring& text, const FontSpec& font, uint32_t format,
                   int maxWidth) override {
    if (!measureDc_) measureDc_.reset(CreateCompatibleDC(nullptr));
    HDC dc = measureDc_.get();
    if (!dc) return Size{};
    if (!text.empty() && OneLine(text, format)) {
      const auto runs = ForReading(text, state_.SplitByFace(font.face, text), format);
      std::vector<RunMetrics> metrics;
      return MeasureRuns(dc, text, runs, font, format, &metrics);
    }
    if (!text.empty() && (format & kWordBreak)) {
      const auto runs = state_.SplitByFace(font.face, text);
      if (runs.size() > 1 || (format & kRtlReading)) {
        Size size;
        for (const auto& line :
             WrapLines(dc, text, runs, font, maxWidth > 0 ? maxWidth : 0x3FFFFFFF)) {
          size.cx = std::max(size.cx, line.width);
          size.cy += line.ascent + line.descent;
        }
        return size;
      }
    }
    HGDIOBJ oldFont = SelectObject(dc, state_.FontFor(font, text.empty() ? L"x" : text));
    UINT flags = DT_NOPREFIX | DT_CALCRECT;
    if (format & kSingleLine) {
      flags |= DT_SINGLELINE;
    } else if (format & kWordBreak) {
      flags |= DT_WORDBREAK;
    }
    if (format & kRtlReading) flags |= DT_RTLREADING;
    RECT rc{0, 0, (format & kWordBreak) && maxWidth > 0 ? maxWidth : 0x3FFFFFFF, 0};
    Size size;
    if (text.empty()) {
      TEXTMETRICW tm{};
      GetTextMetricsW(dc, &tm);
      size = Size{0, tm.tmHeight};
    } else if (DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rc, flags) != 0) {
      size = Size{rc.right - rc.left, rc.bottom - rc.top};
    }
    SelectObject(dc, oldFont);
    return size;
  }

 private:
  struct RunMetrics {
    int width;
    int ascent;
    int descent;
    bool rtl;
  };

  static bool OneLine(const std::wstring& text, uint32_t format) {
    if (format & kSingleLine) return true;
    return !(format & kWordBreak) && text.find_first_of(L"\r\n") == std::wstring::npos;
  }

  static bool RunIsRtl(const std::wstring& text, const BackendState::FaceRun& run) {
    for (size_t i = run.begin; i < run.end; ++i) {
      const wchar_t one[2] = {text[i], 0};
      const Script s = DetectScript(one);
      if (s == Script::kArabic || s == Script::kHebrew) return true;
    }
    return false;
  }

  // The line's size when each run is drawn in its own face, baselines aligned.
  Size MeasureRuns(HDC dc, const std::wstring& text, const std::vector<BackendState::FaceRun>& runs,
                   const FontSpec& font, uint32_t format, std::vector<RunMetrics>* out) {
    int width = 0, ascent = 0, descent = 0;
    for (const auto& run : runs) {
      HGDIOBJ old = SelectObject(dc, state_.Font(font, run.face));
      TEXTMETRICW tm{};
      GetTextMetricsW(dc, &tm);
      RunMetrics m{0, tm.tmAscent, tm.tmDescent, RunIsRtl(text, run)};
      m.width =
          ShapedWidth(dc, text.c_str() + run.begin, static_cast<int>(run.end - run.begin), m.rtl);
      SelectObject(dc, old);
      width += m.width;
      ascent = std::max(ascent, m.ascent);
      descent = std::max(descent, m.descent);
      out->push_back(m);
    }
    return Size{width, ascent + descent};
  }

  // One line whose characters need several faces: the runs side by side (in reverse for a
  // right-to-left paragraph), on one baseline. False when the line does not fit and should
  // be shortened with an ellipsis instead.
  bool DrawRuns(HDC dc, const std::wstring& text, const std::vector<BackendState::FaceRun>& runs,
                const Rect& box, const Rect& area, const FontSpec& font, uint32_t format) {
    std::vector<RunMetrics> metrics;
    const Size line = MeasureRuns(dc, text, runs, font, format, &metrics);
    if (line.cx > box.Width() && (format & kEndEllipsis)) return false;
    int ascent = 0;
    for (const auto& m : metrics) ascent = std::max(ascent, m.ascent);
    int x = box.left;
    if (format & kAlignCenter) {
      x = box.left + (box.Width() - line.cx) / 2;
    } else if (format & kAlignRight) {
      x = box.right - line.cx;
    }
    int baseline = box.top + ascent;
    if (format & kVCenter) {
      baseline = box.top + (box.Height() - line.cy) / 2 + ascent;
    } else if (format & kBottom) {
      baseline = box.bottom - line.cy + ascent;
    }
    DrawLine(dc, text, runs, metrics, font, x, baseline, area, (format & kRtlReading) != 0);
    return true;
  }

  // Ideographs, kana and full-width forms: a line may break on either side of them.
  static bool BreaksAfter(wchar_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF00 && c <= 0xFFEF);
  }

  static bool IsNumberChar(wchar_t c) { return (c >= L'0' && c <= L'9') || c == L'.' || c == L','; }

  // In a right-to-left paragraph the digits that end a right-to-left run and touch the
  // left-to-right run after it ("512" of ": 512MB") read with that run: they get a run of
  // their own (same face), which the line's order then keeps beside it.
  static std::vector<BackendState::FaceRun> ForReading(const std::wstring& text,
                                                       std::vector<BackendState::FaceRun> runs,
                                                       uint32_t format) {
    if (!(format & kRtlReading)) return runs;
    for (size_t i = 0; i + 1 < runs.size(); ++i) {
      if (!RunIsRtl(text, runs[i]) || RunIsRtl(text, runs[i + 1])) continue;
      size_t k = runs[i].end;
      while (k > runs[i].begin && IsNumberChar(text[k - 1])) --k;
      if (k == runs[i].end) continue;
      const BackendState::FaceRun digits{k, runs[i].end, runs[i].face};
      runs[i].end = k;
      runs.insert(runs.begin() + static_cast<long>(i) + 1, digits);
      ++i;
    }
    return runs;
  }

  // Draws runs side by side from x on one baseline. A right-to-left line shows its runs in
  // reverse, except that neighbouring left-to-right runs (Latin words, numbers) keep their
  // own order among themselves, with the blanks after them on their left side (a blank
  // between left-to-right and right-to-left text reads in the paragraph's direction).
  void DrawLine(HDC dc, const std::wstring& text, const std::vector<BackendState::FaceRun>& runs,
                const std::vector<RunMetrics>& metrics, const FontSpec& font, int x, int baseline,
                const Rect& area, bool rtl) {
    auto draw = [&](size_t i, size_t end, int width) {
      const auto& m = metrics[i];
      HGDIOBJ old = SelectObject(dc, state_.Font(font, runs[i].face));
      RECT rc{x - area.left, baseline - m.ascent - area.top, x + width - area.left,
              baseline + m.descent - area.top};
      DrawTextW(dc, text.c_str() + runs[i].begin, static_cast<int>(end - runs[i].begin), &rc,
                DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP | (m.rtl ? DT_RTLREADING : 0));
      SelectObject(dc, old);
      x += width;
    };
    if (!rtl) {
      for (size_t i = 0; i < runs.size(); ++i) draw(i, runs[i].end, metrics[i].width);
      return;
    }
    size_t end = runs.size();
    while (end > 0) {
      size_t begin = end - 1;
      if (metrics[begin].rtl) {
        draw(begin, runs[begin].end, metrics[begin].width);
        end = begin;
        continue;
      }
      while (begin > 0 && !metrics[begin - 1].rtl) --begin;
      const size_t last = end - 1;
      size_t visibleEnd = runs[last].end;
      while (visibleEnd > runs[last].begin && text[visibleEnd - 1] == L' ') --visibleEnd;
      int lastWidth = metrics[last].width;
      if (visibleEnd != runs[last].end) {
        HGDIOBJ old = SelectObject(dc, state_.Font(font, runs[last].face));
        lastWidth = ShapedWidth(dc, text.c_str() + runs[last].begin,
                                static_cast<int>(visibleEnd - runs[last].begin), false);
        SelectObject(dc, old);
        x += metrics[last].width - lastWidth;
      }
      for (size_t i = begin; i < last; ++i) draw(i, runs[i].end, metrics[i].width);
      draw(last, visibleEnd, lastWidth);
      end = begin;
    }
  }

  struct Line {
    std::vector<BackendState::FaceRun> runs;
    std::vector<RunMetrics> metrics;
    int width = 0;
    int ascent = 0;
    int descent = 0;
  };

  // Greedy line breaking at spaces and line breaks, each piece measured in its own face; a
  // word wider than the box gets a line of its own.
  std::vector<Line> WrapLines(HDC dc, const std::wstring& text,
                              const std::vector<BackendState::FaceRun>& runs, const FontSpec& font,
                              int maxWidth) {
    // Pieces: a word with its trailing spaces, cut further where the face changes.
    struct Piece {
      size_t begin, end;
      size_t run;
      bool breakAfter;  // a line break follows
    };
    std::vector<Piece> pieces;
    size_t r = 0;
    size_t i = 0;
    while (i < text.size()) {
      size_t j = i;
      // Chinese and Japanese break between any two characters: each is a word of its own.
      while (j < text.size() && text[j] != L' ' && text[j] != L'\n' && text[j] != L'\r') {
        const bool ideograph = BreaksAfter(text[j]);
        ++j;
        if (ideograph || (j < text.size() && BreaksAfter(text[j]))) break;
      }
      while (j < text.size() && text[j] == L' ') ++j;
      bool hardBreak = false;
      size_t next = j;
      if (next < text.size() && (text[next] == L'\r' || text[next] == L'\n')) {
        hardBreak = true;
        if (text[next] == L'\r' && next + 1 < text.size() && text[next + 1] == L'\n') ++next;
        ++next;
      }
      if (j == i && !hardBreak) j = i + 1;  // defensive: always advance
      for (size_t a = i; a < j;) {
        while (r + 1 < runs.size() && runs[r].end <= a) ++r;
        const size_t b = std::min(j, runs[r].end);
        pieces.push_back(Piece{a, b, r, false});
        a = b;
      }
      if (hardBreak) {
        if (pieces.empty() || pieces.back().end != j)
          pieces.push_back(Piece{j, j, r, true});
        else
          pieces.back().breakAfter = true;
      }
      i = std::max(next, j);
    }
    std::vector<Line> lines(1);
    int wordWidth = 0;
    size_t wordStart = 0;  // index into the current line's runs where the current word began
    for (size_t p = 0; p < pieces.size(); ++p) {
      const Piece& piece = pieces[p];
      BackendState::FaceRun run{piece.begin, piece.end, runs[piece.run].face};
      HGDIOBJ old = SelectObject(dc, state_.Font(font, run.face));
      TEXTMETRICW tm{};
      GetTextMetricsW(dc, &tm);
      // Trailing spaces do not count against the box.
      size_t visibleEnd = piece.end;
      while (visibleEnd > piece.begin && text[visibleEnd - 1] == L' ') --visibleEnd;
      RunMetrics m{ShapedWidth(dc, text.c_str() + piece.begin,
                               static_cast<int>(piece.end - piece.begin), RunIsRtl(text, run)),
                   tm.tmAscent, tm.tmDescent, RunIsRtl(text, run)};
      const int visible = visibleEnd == piece.end
                              ? m.width
                              : ShapedWidth(dc, text.c_str() + piece.begin,
                                            static_cast<int>(visibleEnd - piece.begin), m.rtl);
      SelectObject(dc, old);
      const bool startsWord = piece.begin == 0 || text[piece.begin - 1] == L' ' ||
                              text[piece.begin - 1] == L'\n' || text[piece.begin - 1] == L'\r' ||
                              BreaksAfter(text[piece.begin - 1]) || BreaksAfter(text[piece.begin]);
      Line* line = &lines.back();
      if (startsWord) {
        wordStart = line->runs.size();
        wordWidth = 0;
      }
      if (!line->runs.empty() && line->width + visible > maxWidth && wordStart > 0) {
        // Move the word begun on this line (all its pieces) to a new line.
        Line fresh;
        fresh.runs.assign(line->runs.begin() + static_cast<long>(wordStart), line->runs.end());
        fresh.metrics.assign(line->metrics.begin() + static_cast<long>(wordStart),
                             line->metrics.end());
        line->runs.resize(wordStart);
        line->metrics.resize(wordStart);
        line->width -= wordWidth;
        lines.push_back(std::move(fresh));
        line = &lines.back();
        line->width = wordWidth;
        wordStart = 0;
      }
      line->runs.push_back(run);
      line->metrics.push_back(m);
      line->width += m.width;
      wordWidth += m.width;
      if (piece.breakAfter) {
        lines.emplace_back();
        wordStart = 0;
        wordWidth = 0;
      }
    }
    for (auto& line : lines) {
      line.ascent = line.descent = 0;
      for (const auto& m : line.metrics) {
        line.ascent = std::max(line.ascent, m.ascent);
        line.descent = std::max(line.descent, m.descent);
      }
      if (line.metrics.empty()) {  // an empty line keeps the height of the text's first face
        HGDIOBJ old = SelectObject(dc, state_.Font(font, runs.front().face));
        TEXTMETRICW tm{};
        GetTextMetricsW(dc, &tm);
        SelectObject(dc, old);
        line.ascent = tm.tmAscent;
        line.descent = tm.tmDescent;
      }
    }
    return lines;
  }

  void DrawWrapped(HDC dc, const std::wstring& text, const std::vector<BackendState::FaceRun>& runs,
                   const Rect& box, const Rect& area, const FontSpec& font, uint32_t format) {
    const auto lines = WrapLines(dc, text, runs, font, box.Width());
    int total = 0;
    for (const auto& line : lines) total += line.ascent + line.descent;
    int y = box.top;
    if (total < box.Height()) {
      if (format & kVCenter) y += (box.Height() - total) / 2;
      if (format & kBottom) y += box.Height() - total;
    }
    for (const auto& line : lines) {
      if (y >= area.bottom) break;
      int x = box.left;
      if (format & kAlignCenter) {
        x = box.left + (box.Width() - line.width) / 2;
      } else if (format & kAlignRight) {
        x = box.right - line.width;
      }
      DrawLine(dc, text, line.runs, line.metrics, font, x, y + line.ascent, area,
               (format & kRtlReading) != 0);
      y += line.ascent + line.descent;
    }
  }

  // The width of shaped text (joined Arabic, Devanagari conjuncts) from Uniscribe, which is
  // what DrawTextW draws; DT_CALCRECT measures unshaped glyphs on some systems (wine).
  static int ShapedWidth(HDC dc, const wchar_t* text, int length, bool rtl) {
    if (length <= 0) return 0;
    SCRIPT_STRING_ANALYSIS ssa = nullptr;
    if (ScriptStringAnalyse(dc, text, length, length * 3 / 2 + 16, -1,
                            SSA_GLYPHS | (rtl ? SSA_RTL : 0), 0, nullptr, nullptr, nullptr, nullptr,
                            nullptr, &ssa) == S_OK) {
      const SIZE* size = ScriptString_pSize(ssa);
      const int width = size ? static_cast<int>(size->cx) : -1;
      ScriptStringFree(&ssa);
      if (width >= 0) return width;
    }
    RECT rc{0, 0, 0x3FFFFFFF, 0};
    DrawTextW(dc, text, length, &rc, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    return rc.right - rc.left;
  }

  bool PrepareScratch(const Rect& area) {
    if (!scratch_.Dc() || scratch_.Width() < area.Width() || scratch_.Height() < area.Height()) {
      if (!scratch_.Create(std::max(area.Width(), scratch_.Width()),
                           std::max(area.Height(), scratch_.Height()))) {
        return false;
      }
      SetBkMode(scratch_.Dc(), TRANSPARENT);
      SetTextColor(scratch_.Dc(), RGB(255, 255, 255));
    }
    for (int y = 0; y < area.Height(); ++y) {
      std::memset(scratch_.Bits() + static_cast<size_t>(y) * scratch_.Width(), 0,
                  static_cast<size_t>(area.Width()) * 4);
    }
    return true;
  }

  // Blends the scratch's white-on-black coverage into the target in the text colour.
  void Composite(const Rect& area, Color c) {
    GdiFlush();
    const uint32_t ca = AlphaOf(c), cr = RedOf(c), cg = GreenOf(c), cb = BlueOf(c);
    for (int y = 0; y < area.Height(); ++y) {
      const uint32_t* srow = scratch_.Bits() + static_cast<size_t>(y) * scratch_.Width();
      uint32_t* row = bits_ + static_cast<size_t>(y + area.top) * width_ + area.left;
      for (int x = 0; x < area.Width(); ++x) {
        const uint32_t s = srow[x];
        const uint32_t cover = std::max({(s >> 16) & 0xFFu, (s >> 8) & 0xFFu, s & 0xFFu});
        if (cover == 0) continue;
        const uint32_t a = (ca * cover + 127) / 255;
        const uint32_t p = (a << 24) | (((cr * a + 127) / 255) << 16) |
                           (((cg * a + 127) / 255) << 8) | ((cb * a + 127) / 255);
        row[x] = Over(row[x], p);
      }
    }
  }

  struct DcDeleter {
    void operator()(HDC dc) const { DeleteDC(dc); }
  };

  bool Graphics() {
    if (!state_.gdiplusReady) return false;
    if (!graphics_) {
      target_ = std::make_unique<Gdiplus::Bitmap>(
          width_, height_, width_ * 4, PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(bits_));
      graphics_ = std::make_unique<Gdiplus::Graphics>(target_.get());
      graphics_->SetCompositingMode(Gdiplus::CompositingModeSourceOver);
      graphics_->SetCompositingQuality(Gdiplus::CompositingQualityHighQuality);
    }
    return graphics_->GetLastStatus() == Gdiplus::Ok;
  }

  void PrepareGraphics() {
    const Rect& c = clips_.back();
    graphics_->SetClip(Gdiplus::Rect(c.left, c.top, c.Width(), c.Height()));
  }

  BackendState& state_;
  uint32_t* bits_;
  int width_;
  int height_;
  std::vector<Rect> clips_;
  std::unique_ptr<Gdiplus::Bitmap> target_;
  std::unique_ptr<Gdiplus::Graphics> graphics_;
  Dib scratch_;
  std::unique_ptr<std::remove_pointer<HDC>::type, DcDeleter> measureDc_;
};

}  // namespace

bool Dib::Create(int width, int height) {
  Release();
  if (width <= 0 || height <= 0) return false;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
  bi.bmiHeader.biWidth = width;
  bi.bmiHeader.biHeight = -height;  // top-down
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap_) return false;
  dc_ = CreateCompatibleDC(nullptr);
  if (!dc_) {
    Release();
    return false;
  }
  old_ = SelectObject(dc_, bitmap_);
  bits_ = static_cast<uint32_t*>(bits);
  width_ = width;
  height_ = height;
  return true;
}

void Dib::Release() {
  if (dc_) {
    if (old_) SelectObject(dc_, old_);
    DeleteDC(dc_);
  }
  if (bitmap_) DeleteObject(bitmap_);
  dc_ = nullptr;
  bitmap_ = nullptr;
  old_ = nullptr;
  bits_ = nullptr;
  width_ = height_ = 0;
}

std::unique_ptr<ICanvas> MakeCanvas(BackendState& state, uint32_t* bits, int width, int height,
                                    const Rect& clip) {
  return std::make_unique<MemoryCanvas>(state, bits, width, height, clip);
}

}  // namespace win32
}  // namespace uikit
