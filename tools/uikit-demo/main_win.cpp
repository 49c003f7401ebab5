// A window for the eyes of whoever works on the Win32 backend (not shipped): images and a
// nine-grid, labels in eight scripts (Arabic right to left), a text with links, a button, a
// check box, the native combo with the 21 language names and the native edit box, and a
// progress bar that also drives the taskbar button. It talks to the backend directly through
// IWindowEvents with a small painter of its own.
//   uikit-demo.exe [--open-combo] [--quit-after MS]
#include <windows.h>
#undef PostMessage
#undef SendMessage
#undef DrawText
#undef IsMinimized

#include <objbase.h>
#include <shellapi.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "demo_images.h"
#include "uikit/win32/win32_backend.h"

namespace {

using namespace uikit;

const wchar_t* const kLanguages[] = {
    L"English",    L"日本語",           L"简体中文",  L"Español",  L"Deutsch",  L"Français",
    L"Русский",    L"Português",        L"العربية",   L"Italiano", L"繁體中文", L"한국어",
    L"Nederlands", L"Bahasa Indonesia", L"Türkçe",    L"हिन्दी",    L"ไทย",      L"Bahasa Melayu",
    L"Svenska",    L"Čeština",          L"Tiếng Việt"};

struct Label {
  const wchar_t* text;
  bool rtl;
};
const Label kLabels[] = {
    {L"English: Install Brindlecot Kerfo", false},
    {L"日本語: Brindlecot Kerfo をインストール", false},
    {L"简体中文: 安装 Brindlecot Kerfo", false},
    {L"한국어: Brindlecot Kerfo 설치", false},
    {L"العربية: تثبيت برنامج Brindlecot Kerfo", true},
    {L"हिन्दी: Brindlecot Kerfo इंस्टॉल करें", false},
    {L"ไทย: ติดตั้ง Brindlecot Kerfo", false},
    {L"Русский: Установить Brindlecot Kerfo", false},
};

constexpr int kWidth = 720, kHeight = 600;
constexpr uint32_t kTimerProgress = 1921;
constexpr uint32_t kTimerQuit = 1;
constexpr uint32_t kTimerOpenCombo = 2;

class Demo : public IWindowEvents {
 public:
  explicit Demo(win32::Win32Backend& backend) : backend_(backend), s_(backend.DpiScale()) {}

  bool Start(bool openCombo, int quitAfterMs) {
    button_ = backend_.Decode(kButtonPng());
    badge_ = backend_.Decode(kBadgePng());
    NativeWindowParams p;
    p.className = L"QD_UI_Frame";
    p.caption = L"Brindlecot Kerfo";
    p.style = WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX;
    p.rect = Rect{0, 0, S(kWidth), S(kHeight)};
    window_ = backend_.CreateNativeWindow(p, this);
    if (!window_) return false;
    BuildHeader();
    combo_ = window_->CreateCombo();
    std::vector<std::wstring> items(std::begin(kLanguages), std::end(kLanguages));
    combo_->SetItems(items);
    combo_->SetFont(Font(13), 0xFF333333u, 0xFFFFFFFFu);
    combo_->SetRect(R(380, 96, 680, 124));
    combo_->SetCurSel(0);
    combo_->SetOnSelect([this](int i) {
      status_ = std::wstring(L"Language: ") + kLanguages[i];
      window_->Invalidate();
    });
    edit_ = window_->CreateEdit();
    edit_->SetFont(Font(13), 0xFF222222u, 0xFFFFFFFFu);
    edit_->SetRect(R(384, 156, 676, 182));
    edit_->SetText(L"C:\\Program Files\\Kerfo");
    edit_->SetOnChange([this] {
      status_ = L"Path: " + edit_->GetText();
      window_->Invalidate();
    });
    window_->CenterOn(nullptr);
    window_->Show(ShowCommand::kShow);
    window_->SetTimer(kTimerProgress, 120);
    if (quitAfterMs > 0) window_->SetTimer(kTimerQuit, static_cast<uint32_t>(quitAfterMs));
    if (openCombo) window_->SetTimer(kTimerOpenCombo, 600);
    return true;
  }

  // IWindowEvents
  void OnPaint(ICanvas& c, const Rect&) override {
    c.FillRect(Rect{0, 0, S(kWidth), S(kHeight)}, 0xFFF7F8FAu);
    if (header_) c.DrawImage(*header_, Rect{0, 0, header_->Width(), header_->Height()});
    // Caption buttons.
    DrawCaptionButton(c, MinRect(), L"–", hot_ == kHotMin);
    DrawCaptionButton(c, CloseRect(), L"×", hot_ == kHotClose);

    // Labels of eight scripts; Arabic reads right to left and sits on the right.
    c.DrawText(L"Labels (face \"Microsoft YaHei\", resolved per script)", R(24, 70, 360, 90),
               Font(12, true), 0xFF556070u, kSingleLine | kVCenter);
    int y = 96;
    for (const auto& label : kLabels) {
      c.DrawText(
          label.text, R(24, y, 356, y + 30), Font(15), 0xFF1E2530u,
          kSingleLine | kVCenter | kEndEllipsis | (label.rtl ? (kRtlReading | kAlignRight) : 0));
      y += 32;
    }
    // Wrapped paragraphs; the Thai one mixes faces (Thai and Latin) and wraps line by line.
    c.DrawText(
        L"Wrapped text: the box breaks this sentence at word boundaries, и русский текст "
        L"тоже переносится по словам, with an ellipsis when it runs out of room.",
        R(24, 360, 356, 416), Font(13), 0xFF404a58u, kWordBreak | kEndEllipsis);
    c.DrawText(L"ข้อความภาษาไทย Brindlecot Kerfo ตัดบรรทัดภายในกรอบ โดยใช้ฟอนต์ที่รองรับอักษรไทย",
               R(24, 420, 356, 460), Font(13), 0xFF404a58u, kWordBreak);
    c.DrawText(L"Language", R(380, 70, 680, 92), Font(12, true), 0xFF556070u,
               kSingleLine | kVCenter);
    c.DrawText(L"Install folder", R(380, 130, 680, 152), Font(12, true), 0xFF556070u,
               kSingleLine | kVCenter);
    c.FrameRect(R(380, 154, 680, 184), 0xFFB8C2D0u, std::max(1, S(1)));

    // Check box.
    const Rect box = R(380, 200, 398, 218);
    c.FillRect(box, 0xFFFFFFFFu);
    c.FrameRect(box, hot_ == kHotCheck ? 0xFF2F6FD6u : 0xFF8894A5u, std::max(1, S(1)));
    if (checked_) c.FillRoundRect(R(384, 204, 394, 214), S(2), 0xFF2F6FD6u);
    c.DrawText(L"I agree to the license terms", R(406, 196, 680, 222), Font(14), 0xFF1E2530u,
               kSingleLine | kVCenter);
    if (focus_ == kHotCheck) c.FocusRect(R(404, 198, 620, 220));

    // Text with links.
    DrawLinks(c, 380, 234);

    // Nine-grid button with the badge image at its left.
    const Rect b = ButtonRect();
    if (button_) {
      c.DrawImageNineGrid(*button_, b, Rect{S(10), S(10), S(10), S(10)});
      if (pressed_ == kHotButton)
        c.FillRoundRect(b, S(8), 0x30000000u);
      else if (hot_ == kHotButton)
        c.FillRoundRect(b, S(8), 0x28FFFFFFu);
    }
    if (badge_)
      c.DrawImage(*badge_, Rect{b.left + S(10), b.top + S(8), b.left + S(34), b.top + S(32)});
    c.DrawText(checked_ ? L"Install now" : L"Agree first",
               Rect{b.left + S(30), b.top, b.right, b.bottom}, Font(16, true),
               checked_ ? 0xFFFFFFFFu : 0xB0FFFFFFu, kSingleLine | kVCenter | kAlignCenter);

    // Picture built offscreen with a caption drawn onto it (as the animation frames are).
    if (card_) c.DrawImage(*card_, R(380, 330, 680, 430), Rect{}, 235);

    // Progress.
    const Rect track = R(24, 476, 696, 490);
    c.FillRoundRect(track, S(7), 0xFFE1E6EDu);
    Rect fill = track;
    fill.right = track.left + track.Width() * progress_ / 100;
    if (fill.Width() > S(14)) c.FillRoundRect(fill, S(7), 0xFF2F9E58u);
    c.DrawText(L"Downloading… " + std::to_wstring(progress_) + L"%", R(24, 494, 696, 518), Font(13),
               0xFF404a58u, kSingleLine | kVCenter | kAlignCenter);
    c.DrawText(status_, R(24, 540, 696, 580), Font(13), 0xFF2F6FD6u,
               kSingleLine | kVCenter | kEndEllipsis);
  }
  void OnSize(Size) override {}
  void OnMouseMove(Point p) override { SetHot(HitControl(p)); }
  void OnMouseLeave() override { SetHot(kHotNone); }
  void OnMouseDown(Point p, MouseButton b) override {
    if (b != MouseButton::kLeft) return;
    pressed_ = HitControl(p);
    window_->Invalidate();
  }
  void OnMouseUp(Point p, MouseButton b) override {
    const int hit = HitControl(p);
    const int was = pressed_;
    pressed_ = kHotNone;
    if (hit == was) Click(hit, p);
    window_->Invalidate();
  }
  void OnMouseWheel(Point, int) override {}
  bool OnKeyDown(int key, uint32_t) override {
    if (key == kKeyTab) {
      focus_ = focus_ == kHotCheck ? kHotNone : kHotCheck;
      if (focus_ == kHotNone) edit_->SetFocus();
      window_->Invalidate();
      return true;
    }
    if (key == kKeySpace && focus_ == kHotCheck) {
      Click(kHotCheck, Point{});
      return true;
    }
    if (key == kKeyEscape) {
      window_->SendMessage(kMsgClose, 0, 0);
      return true;
    }
    return false;
  }
  void OnChar(wchar_t) override {}
  void OnFocusChanged(bool) override {}
  void OnTimer(uint32_t id) override {
    if (id == kTimerProgress) {
      progress_ = progress_ >= 100 ? 0 : progress_ + 1;
      window_->SetTaskbarProgress(TaskbarState::kNormal, progress_, 100);
      const Rect r = R(0, 466, kWidth, 522);
      window_->Invalidate(&r);
    } else if (id == kTimerQuit) {
      backend_.Quit(0);
    } else if (id == kTimerOpenCombo) {
      window_->KillTimer(kTimerOpenCombo);
      HWND combo =
          FindWindowExW(static_cast<HWND>(window_->Handle()), nullptr, L"COMBOBOX", nullptr);
      if (combo) SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    }
  }
  bool OnMessage(uint32_t, uintptr_t, intptr_t, intptr_t*) override { return false; }
  bool OnCloseRequest() override { return true; }
  void OnDestroyed() override { backend_.Quit(0); }
  HitArea HitTest(Point p) override {
    return p.y < S(56) && HitControl(p) == kHotNone ? HitArea::kCaption : HitArea::kClient;
  }
  void OnDpiChanged(double scale) override {
    s_ = scale;
    BuildHeader();
    combo_->SetFont(Font(13), 0xFF333333u, 0xFFFFFFFFu);
    combo_->SetRect(R(380, 96, 680, 124));
    edit_->SetFont(Font(13), 0xFF222222u, 0xFFFFFFFFu);
    edit_->SetRect(R(384, 156, 676, 182));
  }
  std::vector<AccessibleItem> AccessibleItems() override {
    using Role = AccessibleItem::Role;
    std::vector<AccessibleItem> items;
    items.push_back({L"Language", Role::kCombo, R(380, 96, 680, 124)});
    items.push_back({L"Install folder", Role::kEdit, R(380, 154, 680, 184)});
    AccessibleItem check{L"I agree to the license terms", Role::kCheckBox, R(380, 196, 680, 222)};
    check.checked = checked_;
    items.push_back(check);
    items.push_back({L"License", Role::kLink, links_.size() > 0 ? links_[0] : Rect{}});
    items.push_back({L"Privacy Policy", Role::kLink, links_.size() > 1 ? links_[1] : Rect{}});
    AccessibleItem button{L"Install now", Role::kButton, ButtonRect()};
    button.enabled = checked_;
    items.push_back(button);
    AccessibleItem progress{L"Download progress", Role::kProgress, R(24, 476, 696, 490)};
    progress.value = progress_;
    items.push_back(progress);
    return items;
  }
  void InvokeAccessible(size_t index) override {
    if (index == 2) Click(kHotCheck, Point{});
    if (index == 5) Click(kHotButton, Point{});
  }

 private:
  enum { kHotNone, kHotClose, kHotMin, kHotCheck, kHotButton, kHotLink0, kHotLink1 };

  int S(int v) const { return static_cast<int>(std::lround(v * s_)); }
  Rect R(int l, int t, int r, int b) const { return Rect{S(l), S(t), S(r), S(b)}; }
  FontSpec Font(int size, bool bold = false) const {
    FontSpec f;
    f.face = L"Microsoft YaHei";
    f.size = S(size);
    f.bold = bold;
    return f;
  }
  Rect CloseRect() const { return R(kWidth - 44, 8, kWidth - 8, 44); }
  Rect MinRect() const { return R(kWidth - 84, 8, kWidth - 48, 44); }
  Rect ButtonRect() const { return R(380, 270, 600, 310); }

  void BuildHeader() {
    header_ = backend_.CreateImage(S(kWidth), S(56));
    if (auto c = backend_.CanvasFor(header_)) {
      for (int y = 0; y < header_->Height(); ++y) {
        const int t = y * 255 / std::max(1, header_->Height() - 1);
        const Color col = 0xFF000000u | (static_cast<uint32_t>(30 + t / 10) << 16) |
                          (static_cast<uint32_t>(70 + t / 6) << 8) |
                          static_cast<uint32_t>(150 + t / 5);
        c->FillRect(Rect{0, y, header_->Width(), y + 1}, col);
      }
      c->DrawText(L"Brindlecot Kerfo · uikit demo · 日本語 · العربية · हिन्दी", R(20, 0, 600, 56),
                  Font(18, true), 0xFFFFFFFFu, kSingleLine | kVCenter | kEndEllipsis);
    }
    // A transparent card: only the caption and the rounded panel carry alpha.
    card_ = backend_.CreateImage(S(300), S(100));
    if (auto c = backend_.CanvasFor(card_)) {
      c->FillRoundRect(Rect{0, 0, S(300), S(100)}, S(12), 0xFF2A3442u);
      c->DrawText(L"Offscreen picture, GDI text on it", Rect{S(10), S(10), S(290), S(45)},
                  Font(14, true), 0xFFFFFFFFu, kSingleLine | kVCenter | kAlignCenter);
      c->DrawText(L"ภาพนอกจอ · 離屏圖片 · صورة", Rect{S(10), S(50), S(290), S(90)}, Font(14),
                  0xFFFFD28Au, kSingleLine | kVCenter | kAlignCenter);
    }
  }

  void DrawCaptionButton(ICanvas& c, const Rect& r, const wchar_t* glyph, bool hot) {
    if (hot) c.FillRoundRect(r, S(4), 0x40FFFFFFu);
    c.DrawText(glyph, r, Font(20), 0xFFFFFFFFu, kSingleLine | kVCenter | kAlignCenter);
  }

  // "Read the {a}License{/a} and the {a}Privacy Policy{/a}." as runs on one line.
  void DrawLinks(ICanvas& c, int left, int top) {
    struct Run {
      const wchar_t* text;
      int link;
    };
    const Run runs[] = {{L"Read the ", -1},
                        {L"License", 0},
                        {L" and the ", -1},
                        {L"Privacy Policy", 1},
                        {L".", -1}};
    int x = S(left);
    links_.assign(2, Rect{});
    for (const auto& run : runs) {
      FontSpec f = Font(14);
      f.underline = run.link >= 0;
      const Size sz = c.MeasureText(run.text, f, kSingleLine, 0);
      const Rect r{x, S(top), x + sz.cx, S(top) + sz.cy};
      const bool hot = run.link >= 0 && hot_ == kHotLink0 + run.link;
      c.DrawText(run.text, r, f, run.link >= 0 ? (hot ? 0xFF0B4FB8u : 0xFF2F6FD6u) : 0xFF1E2530u,
                 kSingleLine | kNoClip);
      if (run.link >= 0) links_[static_cast<size_t>(run.link)] = r;
      x += sz.cx;
    }
  }

  int HitControl(Point p) const {
    if (CloseRect().Contains(p)) return kHotClose;
    if (MinRect().Contains(p)) return kHotMin;
    if (R(380, 196, 680, 222).Contains(p)) return kHotCheck;
    if (ButtonRect().Contains(p)) return kHotButton;
    for (size_t i = 0; i < links_.size(); ++i) {
      if (links_[i].Contains(p)) return kHotLink0 + static_cast<int>(i);
    }
    return kHotNone;
  }

  void SetHot(int hot) {
    if (hot == hot_) return;
    hot_ = hot;
    window_->SetCursorHand(hot == kHotButton || hot == kHotLink0 || hot == kHotLink1);
    window_->Invalidate();
  }

  void Click(int what, Point) {
    switch (what) {
      case kHotClose:
        window_->SendMessage(kMsgClose, 0, 0);
        return;
      case kHotMin:
        window_->Show(ShowCommand::kMinimize);
        return;
      case kHotCheck:
        checked_ = !checked_;
        status_ = checked_ ? L"Agreed" : L"Not agreed";
        break;
      case kHotButton:
        status_ = checked_ ? L"Install pressed" : L"Please agree first";
        break;
      case kHotLink0:
        status_ = L"link 0 (License)";
        break;
      case kHotLink1:
        status_ = L"link 1 (Privacy Policy)";
        break;
      default:
        return;
    }
    window_->Invalidate();
  }

  win32::Win32Backend& backend_;
  double s_;
  std::unique_ptr<INativeWindow> window_;
  std::unique_ptr<INativeCombo> combo_;
  std::unique_ptr<INativeEdit> edit_;
  ImagePtr button_, badge_;
  std::shared_ptr<Image> header_, card_;
  std::vector<Rect> links_;
  int hot_ = kHotNone, pressed_ = kHotNone, focus_ = kHotNone;
  bool checked_ = true;
  int progress_ = 42;
  std::wstring status_ = L"Ready";
};

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  bool openCombo = false;
  int quitAfter = 0;
  for (int i = 1; i < argc; ++i) {
    const std::wstring a = argv[i];
    if (a == L"--open-combo") openCombo = true;
    if (a == L"--quit-after" && i + 1 < argc) quitAfter = _wtoi(argv[++i]);
  }
  LocalFree(argv);
  CoInitialize(nullptr);
  int code = 1;
  {
    uikit::win32::Win32Backend backend;
    Demo demo(backend);
    if (demo.Start(openCombo, quitAfter)) code = backend.RunMessageLoop();
  }
  CoUninitialize();
  return code;
}
