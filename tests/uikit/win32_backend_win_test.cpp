// The Win32 backend under a real window system (wine in CI): decoding, offscreen drawing read
// back pixel by pixel, face resolution, message loops, modal loops, native children and the
// accessibility object.
#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>
#undef PostMessage
#undef SendMessage
#undef DrawText
#undef IsMinimized

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "uikit/win32/win32_backend.h"

namespace {

using uikit::Color;
using uikit::Rect;
using uikit::win32::ReadPixels;
using uikit::win32::Win32Backend;

// 2 x 2 RGBA: red, half-transparent green / blue, transparent.
const std::string kPng(
    "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x02\x00\x00"
    "\x00\x02\x08\x06\x00\x00\x00\x72\xb6\x0d\x24\x00\x00\x00\x16\x49\x44\x41\x54\x78\x9c\x63"
    "\xf8\xcf\xc0\xf0\x1f\x08\x1b\x18\x80\x34\x90\xcd\xc0\x00\x00\x3a\xdc\x05\x7c\x7f\xd7\x23"
    "\x1c\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82",
    79);

Win32Backend& Backend() {
  static Win32Backend* backend = new Win32Backend();  // lives for the whole test run
  return *backend;
}

Color At(const std::vector<Color>& px, int width, int x, int y) {
  return px[static_cast<size_t>(y) * width + x];
}

std::string platform_name(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

struct Extent {
  int opaque = 0;   // pixels with alpha 255
  int anyInk = 0;   // pixels with alpha > 0
  int outside = 0;  // pixels with alpha > 0 outside the given box
  int maxAlpha = 0;
};

Extent Measure(const std::vector<Color>& px, int width, int height, const Rect& box) {
  Extent e;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int a = uikit::AlphaOf(At(px, width, x, y));
      if (a == 0) continue;
      ++e.anyInk;
      if (a == 255) ++e.opaque;
      e.maxAlpha = std::max(e.maxAlpha, a);
      if (!box.Contains(uikit::Point{x, y})) ++e.outside;
    }
  }
  return e;
}

TEST(Win32BackendTest, DecodesPngWithAlphaAndRefusesBrokenBytes) {
  ASSERT_TRUE(Backend().Ready());
  auto image = Backend().Decode(kPng);
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(image->Width(), 2);
  ASSERT_EQ(image->Height(), 2);
  const auto px = ReadPixels(*image);
  EXPECT_EQ(At(px, 2, 0, 0), 0xFFFF0000u);
  EXPECT_EQ(uikit::AlphaOf(At(px, 2, 1, 0)), 128);
  EXPECT_GE(uikit::GreenOf(At(px, 2, 1, 0)), 250);  // straight colour survives premultiplying
  EXPECT_EQ(At(px, 2, 0, 1), 0xFF0000FFu);
  EXPECT_EQ(uikit::AlphaOf(At(px, 2, 1, 1)), 0);

  EXPECT_EQ(Backend().Decode(kPng.substr(0, 40)), nullptr);  // cut inside the image data
  EXPECT_EQ(Backend().Decode(kPng.substr(0, 8)), nullptr);   // the signature alone
  EXPECT_EQ(Backend().Decode("this is not an image at all"), nullptr);
  EXPECT_EQ(Backend().Decode(std::string()), nullptr);
}

TEST(Win32BackendTest, OffscreenFillsAndImagesGiveExactPixels) {
  auto image = Backend().CreateImage(40, 20);
  ASSERT_NE(image, nullptr);
  auto png = Backend().Decode(kPng);
  ASSERT_NE(png, nullptr);
  {
    auto canvas = Backend().CanvasFor(image);
    ASSERT_NE(canvas, nullptr);
    EXPECT_EQ(canvas->TargetSize().cx, 40);
    canvas->FillRect(Rect{0, 0, 10, 20}, 0xFF336699u);
    canvas->FillRect(Rect{0, 0, 10, 10}, 0x80FFFFFFu);  // half white over it
    canvas->DrawImage(*png, Rect{20, 0, 22, 2});        // 1:1
    canvas->DrawImage(*png, Rect{24, 0, 40, 16});       // 8x, bicubic
    canvas->PushClip(Rect{10, 10, 12, 12});
    canvas->FillRect(Rect{0, 0, 40, 20}, 0xFF00FF00u);  // only the clip gets it
    canvas->PopClip();
  }
  const auto px = ReadPixels(*image);
  EXPECT_EQ(At(px, 40, 5, 15), 0xFF336699u);
  const Color blended = At(px, 40, 5, 5);
  EXPECT_EQ(uikit::AlphaOf(blended), 255);
  EXPECT_NEAR(uikit::RedOf(blended), (0x33 + 255) / 2, 2);
  EXPECT_NEAR(uikit::BlueOf(blended), (0x99 + 255) / 2, 2);
  EXPECT_EQ(At(px, 40, 20, 0), 0xFFFF0000u);
  EXPECT_EQ(At(px, 40, 20, 1), 0xFF0000FFu);
  EXPECT_EQ(uikit::AlphaOf(At(px, 40, 21, 1)), 0);
  // The middle of each scaled quadrant keeps its colour; the transparent one stays clear.
  const Color red = At(px, 40, 25, 1), blue = At(px, 40, 25, 14), clear = At(px, 40, 38, 14);
  EXPECT_GE(uikit::RedOf(red), 200);
  EXPECT_LE(uikit::BlueOf(red), 60);
  EXPECT_GE(uikit::BlueOf(blue), 200);
  EXPECT_LE(uikit::AlphaOf(clear), 40);
  EXPECT_EQ(At(px, 40, 11, 11), 0xFF00FF00u);
  EXPECT_EQ(uikit::AlphaOf(At(px, 40, 12, 12)), 0);
  EXPECT_EQ(uikit::AlphaOf(At(px, 40, 30, 18)), 0);  // below the scaled image
}

TEST(Win32BackendTest, TextIsOpaqueInsideItsBoxAndNothingOutside) {
  const int w = 240, h = 60;
  auto image = Backend().CreateImage(w, h);
  const Rect box{20, 10, 200, 50};
  {
    auto canvas = Backend().CanvasFor(image);
    uikit::FontSpec font{L"Microsoft YaHei", 20};
    canvas->DrawText(L"Install Kerfo now, a long line that runs past its box", box, font,
                     0xFF202020u, uikit::kSingleLine | uikit::kVCenter);
  }
  const auto px = ReadPixels(*image);
  const Extent e = Measure(px, w, h, box);
  EXPECT_GT(e.opaque, 100) << "glyph stems are fully opaque on a transparent image";
  EXPECT_EQ(e.outside, 0) << "clipped to the box";
  EXPECT_EQ(e.maxAlpha, 255);
  for (const Color c : px) {
    if (uikit::AlphaOf(c) == 255) {
      EXPECT_LE(uikit::RedOf(c), 0x30);
      break;
    }
  }
}

TEST(Win32BackendTest, TextOnAnOpaqueBackgroundKeepsItOpaque) {
  auto image = Backend().CreateImage(120, 30);
  {
    auto canvas = Backend().CanvasFor(image);
    canvas->FillRect(Rect{0, 0, 120, 30}, 0xFFFFFFFFu);
    canvas->DrawText(L"Kerfo", Rect{0, 0, 120, 30}, uikit::FontSpec{L"Noto Sans", 18}, 0xFF000000u,
                     uikit::kAlignCenter | uikit::kVCenter | uikit::kSingleLine);
  }
  const auto px = ReadPixels(*image);
  int dark = 0;
  for (const Color c : px) {
    ASSERT_EQ(uikit::AlphaOf(c), 255);
    if (uikit::RedOf(c) < 64) ++dark;
  }
  EXPECT_GT(dark, 30);
  // Centred: ink on both halves.
  int left = 0, right = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 120; ++x) {
      if (uikit::RedOf(At(px, 120, x, y)) < 64) (x < 60 ? left : right)++;
    }
  }
  EXPECT_GT(left, 5);
  EXPECT_GT(right, 5);
}

TEST(Win32BackendTest, EveryScriptResolvesToAnInstalledFaceThatDrawsIt) {
  const std::vector<std::wstring> samples = {L"English", L"日本語を選択", L"简体中文", L"繁體中文",
                                             L"한국어",  L"العربية",      L"हिन्दी",    L"ไทย",
                                             L"Русский", L"Tiếng Việt",   L"Ελληνικά"};
  HDC dc = CreateCompatibleDC(nullptr);
  for (const auto& sample : samples) {
    for (const wchar_t* skinFace :
         {L"Microsoft YaHei", L"Meiryo UI", L"batang", L"Times New Roman", L""}) {
      const std::wstring face = Backend().ResolveFace(skinFace, sample);
      ASSERT_FALSE(face.empty());
      EXPECT_EQ(Backend().ResolveFace(face, sample), face) << "a resolved face is kept";
      LOGFONTW lf{};
      lf.lfHeight = -16;
      lf.lfCharSet = DEFAULT_CHARSET;
      lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
      HFONT font = CreateFontIndirectW(&lf);
      HGDIOBJ old = SelectObject(dc, font);
      wchar_t actual[LF_FACESIZE] = {};
      GetTextFaceW(dc, LF_FACESIZE, actual);
      EXPECT_EQ(_wcsicmp(actual, face.c_str()), 0) << "installed, not substituted";
      std::vector<WORD> glyphs(sample.size());
      ASSERT_NE(GetGlyphIndicesW(dc, sample.c_str(), static_cast<int>(sample.size()), glyphs.data(),
                                 GGI_MARK_NONEXISTING_GLYPHS),
                GDI_ERROR);
      for (size_t i = 0; i < sample.size(); ++i) {
        if (sample[i] == L' ') continue;
        EXPECT_NE(glyphs[i], 0xFFFF) << "missing glyph " << int(sample[i]) << " in face "
                                     << std::string(face.begin(), face.end());
      }
      SelectObject(dc, old);
      DeleteObject(font);
    }
  }
  DeleteDC(dc);
}

TEST(Win32BackendTest, ComplexScriptsDrawInkWithTheSkinsMissingFaces) {
  for (const std::wstring sample : {L"العربية", L"हिन्दी", L"ไทย", L"日本語", L"한국어"}) {
    auto image = Backend().CreateImage(160, 40);
    {
      auto canvas = Backend().CanvasFor(image);
      canvas->DrawText(sample, Rect{0, 0, 160, 40}, uikit::FontSpec{L"Microsoft YaHei", 20},
                       0xFF000000u, uikit::kSingleLine | uikit::kVCenter | uikit::kRtlReading);
    }
    const Extent e = Measure(ReadPixels(*image), 160, 40, Rect{0, 0, 160, 40});
    EXPECT_GT(e.opaque, 20) << std::string(sample.begin(), sample.end());
  }
}

// Ink columns [first, last] of an image, -1 when empty.
std::pair<int, int> InkColumns(const std::vector<Color>& px, int width, int height) {
  int first = -1, last = -1;
  for (int x = 0; x < width; ++x) {
    for (int y = 0; y < height; ++y) {
      if (uikit::AlphaOf(At(px, width, x, y)) > 128) {
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
  }
  return {first, last};
}

TEST(Win32BackendTest, AlignmentRestsOnShapedWidthsAcrossScriptsAndFaces) {
  // Arabic with the Latin product name, right aligned: the ink ends at the box's right edge and
  // the measured width is the drawn width (joined Arabic is narrower than its letters apart).
  const uikit::FontSpec font{L"Microsoft YaHei", 18};
  for (const std::wstring& text : {std::wstring(L"العربية: تثبيت برنامج Brindlecot Kerfo"),
                                   std::wstring(L"हिन्दी: Brindlecot Kerfo इंस्टॉल करें"),
                                   std::wstring(L"ไทย: ติดตั้ง Brindlecot Kerfo")}) {
    const int w = 420, h = 40;
    auto image = Backend().CreateImage(w, h);
    uikit::Size measured;
    {
      auto canvas = Backend().CanvasFor(image);
      measured = canvas->MeasureText(text, font, uikit::kSingleLine, 0);
      canvas->DrawText(text, Rect{0, 0, w - 10, h}, font, 0xFF000000u,
                       uikit::kSingleLine | uikit::kVCenter | uikit::kAlignRight |
                           (text[0] == 0x0627 ? static_cast<uint32_t>(uikit::kRtlReading) : 0u));
    }
    const auto ink = InkColumns(ReadPixels(*image), w, h);
    const std::string name(platform_name(text));
    ASSERT_GE(ink.first, 0) << name;
    EXPECT_NEAR(ink.second, w - 11, 4) << name << ": right aligned";
    EXPECT_NEAR(ink.second - ink.first + 1, measured.cx, 6) << name << ": measured as drawn";
  }
}

// Ink per column (alpha above half) of a drawn line.
std::vector<int> ColumnInk(const std::vector<Color>& px, int width, int height) {
  std::vector<int> ink(static_cast<size_t>(width), 0);
  for (int x = 0; x < width; ++x)
    for (int y = 0; y < height; ++y) ink[static_cast<size_t>(x)] += uikit::AlphaOf(At(px, width, x, y)) > 128;
  return ink;
}

// Where the picture of a part (its ink columns from its first) fits a line best, and how
// much ink then differs.
std::pair<int, int> BestFit(const std::vector<int>& line, const std::vector<int>& part) {
  size_t from = 0;
  while (from < part.size() && part[from] == 0) ++from;
  size_t to = part.size();
  while (to > from && part[to - 1] == 0) --to;
  int best = -1, bestDiff = 1 << 30;
  for (size_t o = 0; o + (to - from) <= line.size(); ++o) {
    int diff = 0;
    for (size_t i = from; i < to; ++i) diff += std::abs(line[o + i - from] - part[i]);
    if (diff < bestDiff) {
      bestDiff = diff;
      best = static_cast<int>(o);
    }
  }
  return {best, bestDiff};
}

std::vector<int> DrawnColumns(const std::wstring& text, uint32_t format, int w, int h) {
  const uikit::FontSpec font{L"Microsoft YaHei", 18};
  auto image = Backend().CreateImage(w, h);
  {
    auto canvas = Backend().CanvasFor(image);
    canvas->DrawText(text, Rect{0, 0, w, h}, font, 0xFF000000u, format);
  }
  return ColumnInk(ReadPixels(*image), w, h);
}

TEST(Win32BackendTest, RightToLeftLinesKeepLatinWordsAndNumbersInTheirOwnOrder) {
  const int w = 420, h = 40;
  // The product name inside wrapped Arabic reads "Brindlecot Kerfo", not "Kerfo Brindlecot":
  // the name drawn alone fits the line at the left end of its ink.
  const std::vector<int> name =
      DrawnColumns(L"Brindlecot Kerfo", uikit::kSingleLine | uikit::kVCenter, w, h);
  const std::vector<int> wrapped =
      DrawnColumns(L"\u0639\u0631\u0628\u064a Brindlecot Kerfo \u0639\u0631\u0628\u064a",
                   uikit::kWordBreak | uikit::kVCenter | uikit::kRtlReading, w, h);
  int total = 0;
  for (int v : name) total += v;
  ASSERT_GT(total, 100);
  const auto fit = BestFit(wrapped, name);
  ASSERT_GE(fit.first, 0);
  EXPECT_LT(fit.second, total / 5) << "the name's picture is not in the line as a whole";

  // "512MB" at the end of an Arabic line: the unit stands right of the number.
  const std::vector<int> unit = DrawnColumns(L"MB", uikit::kSingleLine | uikit::kVCenter, w, h);
  for (uint32_t wrap : {0u, static_cast<uint32_t>(uikit::kWordBreak)}) {
    SCOPED_TRACE(wrap);
    const std::vector<int> line =
        DrawnColumns(L"\u0639\u0631\u0628\u064a: 512MB",
                     (wrap != 0 ? wrap : static_cast<uint32_t>(uikit::kSingleLine)) | uikit::kVCenter |
                         uikit::kRtlReading,
                     w, h);
    size_t first = 0;
    while (first < line.size() && line[first] == 0) ++first;
    const auto at = BestFit(line, unit);
    ASSERT_GE(at.first, 0);
    EXPECT_GT(at.first - static_cast<int>(first), 12) << "the unit comes before the number";
  }
}

// Japanese has no blanks between words: a wrapped line breaks between its characters rather
// than running past the box.
TEST(Win32BackendTest, JapaneseWithoutBlanksWrapsInsideItsBox) {
  const std::wstring text =
      L"Brindlecot Kerfo\uFF08\u4EE5\u4E0B\u300C\u672C\u30BD\u30D5\u30C8\u30A6\u30A7"
      L"\u30A2\u300D\uFF09\u3092\u30A4\u30F3\u30B9\u30C8\u30FC\u30EB\u307E\u305F"
      L"\u306F\u4F7F\u7528\u3059\u308B\u524D\u306B\u3001\u3053\u306E\u4F7F\u7528"
      L"\u8A31\u8AFE\u5951\u7D04\u66F8\u3092\u304A\u8AAD\u307F\u304F\u3060\u3055\u3044";
  const uikit::FontSpec font{L"Meiryo UI", 14};
  auto image = Backend().CreateImage(1, 1);
  auto canvas = Backend().CanvasFor(image);
  const uikit::Size one = canvas->MeasureText(text, font, uikit::kSingleLine, 0);
  const uikit::Size wrapped = canvas->MeasureText(text, font, uikit::kWordBreak, 180);
  ASSERT_GT(one.cx, 2 * 180);
  EXPECT_LE(wrapped.cx, 180);
  EXPECT_GE(wrapped.cy, 3 * one.cy);
}

TEST(Win32BackendTest, WrappedTextThatMixesFacesBreaksIntoLinesInsideItsBox) {
  const std::wstring text = L"हिन्दी: Brindlecot Kerfo इंस्टॉल करें, हिन्दी Brindlecot Kerfo";
  const uikit::FontSpec font{L"Microsoft YaHei", 16};
  const int w = 200, h = 140;
  auto image = Backend().CreateImage(w, h);
  uikit::Size one, wrapped;
  const Rect box{10, 10, 150, 130};
  {
    auto canvas = Backend().CanvasFor(image);
    one = canvas->MeasureText(text, font, uikit::kSingleLine, 0);
    wrapped = canvas->MeasureText(text, font, uikit::kWordBreak, box.Width());
    canvas->DrawText(text, box, font, 0xFF000000u, uikit::kWordBreak);
  }
  EXPECT_GT(one.cx, box.Width());
  EXPECT_LE(wrapped.cx, box.Width());
  EXPECT_GE(wrapped.cy, one.cy * 3);
  const auto px = ReadPixels(*image);
  const Extent e = Measure(px, w, h, box);
  EXPECT_EQ(e.outside, 0);
  // Ink on the third line as well as the first.
  int first = 0, third = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      if (uikit::AlphaOf(At(px, w, x, y)) < 200) continue;
      if (y < 10 + one.cy) ++first;
      if (y >= 10 + 2 * one.cy && y < 10 + 3 * one.cy) ++third;
    }
  }
  EXPECT_GT(first, 20);
  EXPECT_GT(third, 20);
}

TEST(Win32BackendTest, MeasureTextGrowsWithTheTextAndWraps) {
  auto image = Backend().CreateImage(1, 1);
  auto canvas = Backend().CanvasFor(image);
  const uikit::FontSpec font{L"Noto Sans", 16};
  const auto shortSize = canvas->MeasureText(L"Kerfo", font, uikit::kSingleLine, 0);
  const auto longSize = canvas->MeasureText(L"Kerfo Kerfo Kerfo", font, uikit::kSingleLine, 0);
  EXPECT_GT(shortSize.cx, 20);
  EXPECT_GT(shortSize.cy, 12);
  EXPECT_GT(longSize.cx, shortSize.cx * 2);
  EXPECT_EQ(longSize.cy, shortSize.cy);
  const auto wrapped =
      canvas->MeasureText(L"Kerfo Kerfo Kerfo", font, uikit::kWordBreak, shortSize.cx + 10);
  EXPECT_LE(wrapped.cx, shortSize.cx + 10);
  EXPECT_GE(wrapped.cy, shortSize.cy * 3);
  EXPECT_GT(canvas->MeasureText(L"", font, uikit::kSingleLine, 0).cy, 0);
}

// Records what a window tells the toolkit; actions are set per test.
class Events : public uikit::IWindowEvents {
 public:
  void OnPaint(uikit::ICanvas& canvas, const Rect&) override {
    ++paints;
    canvas.FillRect(Rect{0, 0, canvas.TargetSize().cx, canvas.TargetSize().cy}, paintColour);
  }
  void OnSize(uikit::Size s) override { size = s; }
  void OnMouseMove(uikit::Point) override {}
  void OnMouseLeave() override {}
  void OnMouseDown(uikit::Point, uikit::MouseButton) override {}
  void OnMouseUp(uikit::Point, uikit::MouseButton) override {}
  void OnMouseWheel(uikit::Point, int) override {}
  bool OnKeyDown(int key, uint32_t) override {
    keys.push_back(key);
    return true;
  }
  void OnChar(wchar_t) override {}
  void OnFocusChanged(bool) override {}
  void OnTimer(uint32_t id) override {
    timers.push_back(id);
    if (onTimer) onTimer(id);
  }
  bool OnMessage(uint32_t msg, uintptr_t wParam, intptr_t, intptr_t* result) override {
    if (msg < uikit::kMsgUser || msg >= 0xC000) return false;
    messages.push_back(msg);
    if (onMessage) onMessage(msg, wParam);
    *result = 77;
    return true;
  }
  bool OnCloseRequest() override {
    ++closeRequests;
    return allowClose;
  }
  void OnDestroyed() override { destroyed = true; }
  uikit::HitArea HitTest(uikit::Point p) override {
    return p.y < 20 ? uikit::HitArea::kCaption : uikit::HitArea::kClient;
  }
  void OnDpiChanged(double scale) override { dpiScale = scale; }
  std::vector<AccessibleItem> AccessibleItems() override { return items; }
  void InvokeAccessible(size_t index) override { invoked.push_back(index); }

  int paints = 0;
  Color paintColour = 0xFF336699u;
  double dpiScale = 0;
  uikit::Size size;
  std::vector<int> keys;
  std::vector<uint32_t> timers;
  std::vector<uint32_t> messages;
  int closeRequests = 0;
  bool allowClose = true;
  bool destroyed = false;
  std::vector<AccessibleItem> items;
  std::vector<size_t> invoked;
  std::function<void(uint32_t)> onTimer;
  std::function<void(uint32_t, uintptr_t)> onMessage;
};

uikit::NativeWindowParams HiddenParams(void* owner = nullptr) {
  uikit::NativeWindowParams p;
  p.className = L"KerfoTestFrame";
  p.caption = L"Kerfo test";
  p.style = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX;
  p.owner = owner;
  p.rect = Rect{0, 0, 300, 200};
  return p;
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

TEST(Win32WindowTest, HiddenWindowGetsTimersAndPostedMessagesUntilQuit) {
  Events events;
  auto window = Backend().CreateNativeWindow(HiddenParams(), &events);
  ASSERT_NE(window, nullptr);
  HWND hwnd = static_cast<HWND>(window->Handle());
  EXPECT_FALSE(window->IsVisible());
  EXPECT_TRUE(GetWindowLongPtrW(hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW)
      << "an unowned popup keeps a taskbar button";
  EXPECT_EQ(window->ClientSize().cx, 300);
  EXPECT_EQ(window->ClientSize().cy, 200);

  std::atomic<bool> posted{false};
  events.onTimer = [&](uint32_t id) {
    if (id == 1920 && events.timers.size() == 3) window->KillTimer(1920);
    if (id == 7 && !posted.exchange(true)) {
      std::thread([&] { EXPECT_TRUE(window->PostMessage(2944, 9, 0)); }).join();
    }
  };
  events.onMessage = [&](uint32_t msg, uintptr_t wParam) {
    if (msg == 2944 && wParam == 9) Backend().Quit(42);
  };
  window->SetTimer(1920, 10);
  window->SetTimer(7, 60);
  EXPECT_EQ(Backend().RunMessageLoop(), 42);
  EXPECT_EQ(std::count(events.timers.begin(), events.timers.end(), 1920u), 3);
  EXPECT_EQ(events.messages, std::vector<uint32_t>{2944});
  EXPECT_EQ(window->SendMessage(uikit::kMsgUser + 1, 0, 0), 77);

  window->Destroy();
  EXPECT_TRUE(events.destroyed);
  EXPECT_FALSE(window->PostMessage(2945, 0, 0)) << "a gone window takes no messages";
}

TEST(Win32WindowTest, CloseRequestDecidesAndCaptionAreaDrags) {
  Events events;
  auto window = Backend().CreateNativeWindow(HiddenParams(), &events);
  ASSERT_NE(window, nullptr);
  HWND hwnd = static_cast<HWND>(window->Handle());
  window->SetRect(Rect{100, 100, 400, 300});
  EXPECT_EQ(SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(150, 105)), HTCAPTION);
  EXPECT_EQ(SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(150, 150)), HTCLIENT);

  events.allowClose = false;
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  EXPECT_EQ(events.closeRequests, 1);
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_FALSE(events.destroyed);
  events.allowClose = true;
  SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(events.closeRequests, 2);
  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_TRUE(events.destroyed);
}

TEST(Win32WindowTest, PaintingReachesTheScreenThroughTheBackBuffer) {
  Events events;
  auto window = Backend().CreateNativeWindow(HiddenParams(), &events);
  ASSERT_NE(window, nullptr);
  HWND hwnd = static_cast<HWND>(window->Handle());
  window->SetRect(Rect{40, 40, 240, 140});
  window->Show(uikit::ShowCommand::kShowNoActivate);
  EXPECT_TRUE(window->IsVisible());
  UpdateWindow(hwnd);
  Pump();
  EXPECT_GE(events.paints, 1);
  EXPECT_EQ(SendMessageW(hwnd, WM_ERASEBKGND, 0, 0), 1) << "no background erase, no flicker";
  HDC dc = GetDC(hwnd);
  EXPECT_EQ(GetPixel(dc, 10, 10), RGB(0x33, 0x66, 0x99));
  events.paintColour = 0xFFCC0000u;
  const Rect part{0, 0, 20, 20};
  window->Invalidate(&part);
  UpdateWindow(hwnd);
  EXPECT_EQ(GetPixel(dc, 10, 10), RGB(0xCC, 0, 0));
  EXPECT_EQ(GetPixel(dc, 100, 60), RGB(0x33, 0x66, 0x99)) << "only the dirty part is redrawn";
  ReleaseDC(hwnd, dc);

  // A DPI change moves the window to the rectangle the system suggests.
  RECT suggested{50, 50, 450, 250};
  SendMessageW(hwnd, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(192, 192),
               reinterpret_cast<LPARAM>(&suggested));
  EXPECT_DOUBLE_EQ(events.dpiScale, 2.0);
  EXPECT_EQ(window->GetRect(), (Rect{50, 50, 450, 250}));
  // The popup has no caption, yet minimises and comes back through the system commands.
  window->Show(uikit::ShowCommand::kMinimize);
  EXPECT_TRUE(window->IsMinimized());
  window->Show(uikit::ShowCommand::kRestore);
  EXPECT_FALSE(window->IsMinimized());
  EXPECT_EQ(window->GetRect(), (Rect{50, 50, 450, 250}));
  window->Show(uikit::ShowCommand::kHide);
  EXPECT_FALSE(window->IsVisible());
}

TEST(Win32WindowTest, ModalLoopDisablesTheOwnerUntilEndModal) {
  Events ownerEvents, boxEvents;
  auto owner = Backend().CreateNativeWindow(HiddenParams(), &ownerEvents);
  ASSERT_NE(owner, nullptr);
  auto params = HiddenParams(owner->Handle());
  params.className = L"KerfoTestBox";
  auto box = Backend().CreateNativeWindow(params, &boxEvents);
  ASSERT_NE(box, nullptr);
  HWND ownerHwnd = static_cast<HWND>(owner->Handle());
  EXPECT_FALSE(GetWindowLongPtrW(static_cast<HWND>(box->Handle()), GWL_EXSTYLE) & WS_EX_APPWINDOW);
  bool ownerEnabledInside = true;
  boxEvents.onTimer = [&](uint32_t) {
    ownerEnabledInside = IsWindowEnabled(ownerHwnd) != FALSE;
    box->KillTimer(1);
    box->EndModal(2);
  };
  box->SetTimer(1, 10);
  EXPECT_EQ(box->RunModal(), 2);
  EXPECT_FALSE(ownerEnabledInside);
  EXPECT_TRUE(IsWindowEnabled(ownerHwnd));
  box->Destroy();
  EXPECT_TRUE(boxEvents.destroyed);
  EXPECT_TRUE(IsWindowEnabled(ownerHwnd));
}

TEST(Win32WindowTest, QuitInsideAModalLoopEndsItAndReachesTheMainLoop) {
  Events events;
  auto window = Backend().CreateNativeWindow(HiddenParams(), &events);
  ASSERT_NE(window, nullptr);
  events.onTimer = [&](uint32_t) {
    window->KillTimer(3);
    Backend().Quit(5);
  };
  window->SetTimer(3, 10);
  EXPECT_EQ(window->RunModal(), 0);
  EXPECT_EQ(Backend().RunMessageLoop(), 5);
}

TEST(Win32WindowTest, EditTextRoundTripsAndReportsOnlyUserChanges) {
  Events events;
  auto window = Backend().CreateNativeWindow(HiddenParams(), &events);
  ASSERT_NE(window, nullptr);
  auto edit = window->CreateEdit();
  ASSERT_NE(edit, nullptr);
  int changes = 0;
  std::vector<bool> tabs;
  edit->SetOnChange([&] { ++changes; });
  edit->SetOnTab([&](bool back) { tabs.push_back(back); });
  edit->SetFont(uikit::FontSpec{L"Microsoft YaHei", 14}, 0xFF333333u, 0xFFFFFFFFu);
  edit->SetRect(Rect{10, 10, 210, 40});
  const std::wstring path = L"C:\\Program Files\\Kerfo インストール\\العربية";
  edit->SetText(path);
  EXPECT_EQ(edit->GetText(), path);
  EXPECT_EQ(changes, 0);

  HWND box = FindWindowExW(static_cast<HWND>(window->Handle()), nullptr, L"EDIT", nullptr);
  ASSERT_NE(box, nullptr);
  SendMessageW(box, EM_SETSEL, path.size(), path.size());  // caret at the end, as after a click
  SendMessageW(box, WM_CHAR, L'x', 0);
  EXPECT_EQ(edit->GetText(), path + L"x");
  EXPECT_EQ(changes, 1);
  SendMessageW(box, WM_KEYDOWN, VK_TAB, 0);
  EXPECT_EQ(tabs, std::vector<bool>{false});
  SendMessageW(box, WM_CHAR, L'\t', 0);
  EXPECT_EQ(edit->GetText(), path + L"x") << "a tab is not typed into the box";
  SendMessageW(box, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_EQ(events.keys, std::vector<int>{VK_RETURN}) << "Enter goes on to the window";
  window.reset();  // the edit outlives its window safely
  EXPECT_EQ(edit->GetText(), L"");
}

TEST(Win32WindowTest, ComboSelectsWithoutEchoAndReportsUserChoices) {
  Events events;
  auto window = Backend().CreateNativeWindow(HiddenParams(), &events);
  ASSERT_NE(window, nullptr);
  auto combo = window->CreateCombo();
  ASSERT_NE(combo, nullptr);
  std::vector<int> picks;
  combo->SetOnSelect([&](int i) { picks.push_back(i); });
  combo->SetFont(uikit::FontSpec{L"Microsoft YaHei", 14}, 0xFF333333u, 0xFFFFFFFFu);
  combo->SetItems({L"English", L"日本語", L"简体中文", L"العربية", L"हिन्दी", L"ไทย"});
  combo->SetRect(Rect{10, 10, 210, 38});
  combo->SetCurSel(2);
  EXPECT_EQ(combo->GetCurSel(), 2);
  EXPECT_TRUE(picks.empty());
  HWND hwnd = FindWindowExW(static_cast<HWND>(window->Handle()), nullptr, L"COMBOBOX", nullptr);
  ASSERT_NE(hwnd, nullptr);
  RECT rc;
  GetWindowRect(hwnd, &rc);
  EXPECT_EQ(rc.bottom - rc.top, 28) << "the closed field fills the toolkit's box";
  SendMessageW(hwnd, WM_KEYDOWN, VK_DOWN, 0);
  EXPECT_EQ(combo->GetCurSel(), 3);
  EXPECT_EQ(picks, std::vector<int>{3});
  combo->SetRtl(true);
  EXPECT_EQ(combo->GetCurSel(), 3) << "rebuilt right to left with its selection";
  combo->SetCurSel(-1);
  EXPECT_EQ(combo->GetCurSel(), -1);
}

TEST(Win32WindowTest, ScreenReadersSeeEachItemAndCanClickIt) {
  Events events;
  using Item = uikit::IWindowEvents::AccessibleItem;
  Item install;
  install.name = L"Install";
  install.role = Item::Role::kButton;
  install.rect = Rect{10, 10, 110, 40};
  install.description = L"Starts the installation";
  Item agree;
  agree.name = L"I agree";
  agree.role = Item::Role::kCheckBox;
  agree.checked = true;
  agree.rect = Rect{10, 50, 110, 70};
  Item progress;
  progress.name = L"Progress";
  progress.role = Item::Role::kProgress;
  progress.value = 42;
  progress.enabled = false;
  events.items = {install, agree, progress};
  auto window = Backend().CreateNativeWindow(HiddenParams(), &events);
  ASSERT_NE(window, nullptr);
  HWND hwnd = static_cast<HWND>(window->Handle());
  CoInitialize(nullptr);  // the object is handed over through COM
  IAccessible* acc = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                       reinterpret_cast<void**>(&acc)),
            S_OK);
  ASSERT_NE(acc, nullptr);
  long count = 0;
  EXPECT_EQ(acc->get_accChildCount(&count), S_OK);
  EXPECT_EQ(count, 3);
  VARIANT child;
  VariantInit(&child);
  child.vt = VT_I4;
  child.lVal = 1;
  BSTR name = nullptr;
  EXPECT_EQ(acc->get_accName(child, &name), S_OK);
  EXPECT_EQ(std::wstring(name ? name : L""), L"Install");
  SysFreeString(name);
  VARIANT role;
  EXPECT_EQ(acc->get_accRole(child, &role), S_OK);
  EXPECT_EQ(role.lVal, ROLE_SYSTEM_PUSHBUTTON);
  BSTR description = nullptr;
  EXPECT_EQ(acc->get_accDescription(child, &description), S_OK);
  EXPECT_EQ(std::wstring(description ? description : L""), L"Starts the installation");
  SysFreeString(description);
  child.lVal = 2;
  description = nullptr;
  EXPECT_EQ(acc->get_accDescription(child, &description), S_FALSE);  // none
  EXPECT_EQ(description, nullptr);
  VARIANT state;
  EXPECT_EQ(acc->get_accState(child, &state), S_OK);
  EXPECT_TRUE(state.lVal & STATE_SYSTEM_CHECKED);
  child.lVal = 3;
  EXPECT_EQ(acc->get_accState(child, &state), S_OK);
  EXPECT_TRUE(state.lVal & STATE_SYSTEM_UNAVAILABLE);
  BSTR value = nullptr;
  EXPECT_EQ(acc->get_accValue(child, &value), S_OK);
  EXPECT_EQ(std::wstring(value ? value : L""), L"42%");
  SysFreeString(value);
  child.lVal = 4;
  EXPECT_EQ(acc->get_accName(child, &name), E_INVALIDARG);

  child.lVal = 2;
  EXPECT_EQ(acc->accDoDefaultAction(child), S_OK);
  EXPECT_TRUE(events.invoked.empty()) << "the click runs from the loop, not inside the call";
  Pump();
  EXPECT_EQ(events.invoked, std::vector<size_t>{1});

  window->Destroy();
  EXPECT_EQ(acc->get_accChildCount(&count), RPC_E_DISCONNECTED);
  acc->Release();
}

// The tooltip control a window owns (null when it has none).
HWND ToolTipOf(HWND owner) {
  for (HWND w = FindWindowExW(nullptr, nullptr, TOOLTIPS_CLASSW, nullptr); w;
       w = FindWindowExW(nullptr, w, TOOLTIPS_CLASSW, nullptr)) {
    if (GetWindow(w, GW_OWNER) == owner) return w;
  }
  return nullptr;
}

TEST(Win32WindowTest, TooltipControlHoldsOneToolForTheControlUnderThePointer) {
  Events events;
  auto window = Backend().CreateNativeWindow(HiddenParams(), &events);
  ASSERT_NE(window, nullptr);
  HWND hwnd = static_cast<HWND>(window->Handle());
  window->SetToolTip(L"", Rect{});
  EXPECT_EQ(ToolTipOf(hwnd), nullptr) << "made only when a tip shows";

  window->SetToolTip(L"Opens the help page", Rect{10, 10, 110, 40});
  HWND tip = ToolTipOf(hwnd);
  ASSERT_NE(tip, nullptr);
  auto tools = [&] { return SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0); };
  auto tool = [&](std::wstring* text, RECT* rect) {
    wchar_t buffer[256] = {};
    TTTOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.lpszText = buffer;
    const bool found = SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&info)) != 0;
    *text = buffer;
    *rect = info.rect;
    return found && info.hwnd == hwnd;
  };
  std::wstring text;
  RECT rect{};
  EXPECT_EQ(tools(), 1);
  ASSERT_TRUE(tool(&text, &rect));
  EXPECT_EQ(text, L"Opens the help page");
  EXPECT_EQ((Rect{rect.left, rect.top, rect.right, rect.bottom}), (Rect{10, 10, 110, 40}));

  // Another control: its tool replaces the first.
  window->SetToolTip(L"Choose the folder", Rect{120, 10, 220, 40});
  EXPECT_EQ(tools(), 1);
  ASSERT_TRUE(tool(&text, &rect));
  EXPECT_EQ(text, L"Choose the folder");
  EXPECT_EQ(rect.left, 120);
  window->SetToolTip(L"", Rect{});
  EXPECT_EQ(tools(), 0);

  window->Destroy();
  EXPECT_FALSE(IsWindow(tip)) << "the tooltip goes with its window";
}

std::vector<std::pair<DWORD, LONG>>* g_winEvents = nullptr;

void CALLBACK RecordWinEvent(HWINEVENTHOOK, DWORD event, HWND, LONG object, LONG child, DWORD,
                             DWORD) {
  if (g_winEvents && object == static_cast<LONG>(OBJID_CLIENT)) {
    g_winEvents->emplace_back(event, child);
  }
}

TEST(Win32WindowTest, ScreenReadersHearOfFocusStateAndValueChanges) {
  Events events;
  using Item = uikit::IWindowEvents::AccessibleItem;
  Item button{L"Install", Item::Role::kButton, Rect{0, 0, 10, 10}};
  Item check{L"I agree", Item::Role::kCheckBox, Rect{0, 20, 10, 30}};
  Item progress{L"Progress", Item::Role::kProgress, Rect{0, 40, 10, 50}};
  button.focused = true;
  events.items = {button, check, progress};
  auto window = Backend().CreateNativeWindow(HiddenParams(), &events);
  ASSERT_NE(window, nullptr);
  HWND hwnd = static_cast<HWND>(window->Handle());
  window->Show(uikit::ShowCommand::kShow);
  window->SetFocus();
  std::vector<std::pair<DWORD, LONG>> seen;
  g_winEvents = &seen;
  HWINEVENTHOOK hook =
      SetWinEventHook(EVENT_OBJECT_FOCUS, EVENT_OBJECT_VALUECHANGE, nullptr, RecordWinEvent,
                      GetCurrentProcessId(), 0, WINEVENT_OUTOFCONTEXT);
  ASSERT_NE(hook, nullptr);
  // Nothing is announced before a screen reader asked for the object.
  SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 0);
  Pump();
  EXPECT_TRUE(seen.empty());
  IAccessible* acc = nullptr;
  ASSERT_EQ(AccessibleObjectFromWindow(hwnd, static_cast<DWORD>(OBJID_CLIENT), IID_IAccessible,
                                       reinterpret_cast<void**>(&acc)),
            S_OK);
  events.items[0].focused = false;
  events.items[1].focused = true;
  SendMessageW(hwnd, WM_KEYDOWN, VK_TAB, 0);
  events.items[1].checked = true;
  SendMessageW(hwnd, WM_KEYDOWN, VK_SPACE, 0);
  events.items[2].value = 30;
  SendMessageW(hwnd, WM_TIMER, 1921, 0);
  Pump();
  UnhookWinEvent(hook);
  g_winEvents = nullptr;
  const std::vector<std::pair<DWORD, LONG>> expected = {
      {EVENT_OBJECT_FOCUS, 2}, {EVENT_OBJECT_STATECHANGE, 2}, {EVENT_OBJECT_VALUECHANGE, 3}};
  EXPECT_EQ(seen, expected);
  acc->Release();
}

}  // namespace
