#include <objidl.h>
#include <gdiplus.h>
#include <shlwapi.h>

#include <easylogging++.h>

#include <algorithm>
#include <cwctype>

#include "platform/text.h"
#include "uikit/font_fallback.h"
#include "uikit/win32/internal_win.h"

namespace uikit {
namespace win32 {
namespace {

// Decoded images larger than this are refused as damaged or hostile input; the installer's
// largest picture (a merged animation frame) is 1300 x 300.
constexpr int kMaxImageSide = 8192;
constexpr long long kMaxImagePixels = 24LL * 1024 * 1024;

std::wstring Lower(std::wstring s) {
  for (auto& c : s) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return s;
}

int CALLBACK CollectFace(const LOGFONTW* font, const TEXTMETRICW*, DWORD, LPARAM param) {
  if (font->lfFaceName[0] != L'@') {  // vertical variants of CJK faces
    reinterpret_cast<std::set<std::wstring>*>(param)->insert(Lower(font->lfFaceName));
  }
  return 1;
}

// Resolved faces are remembered per face and sample; a window's texts are a few hundred.
constexpr size_t kMaxResolvedEntries = 4096;

}  // namespace

BackendState::~BackendState() {
  for (auto& entry : fonts) DeleteObject(entry.second);
}

HFONT BackendState::Font(const FontSpec& spec, const std::wstring& resolvedFace) {
  std::lock_guard<std::mutex> hold(lock);
  const auto key = std::make_tuple(resolvedFace, spec.size, spec.bold, spec.italic, spec.underline);
  auto found = fonts.find(key);
  if (found != fonts.end()) return found->second;
  LOGFONTW lf{};
  lf.lfHeight = -std::max(1, spec.size);  // em height in pixels
  lf.lfWeight = spec.bold ? FW_BOLD : FW_NORMAL;
  lf.lfItalic = spec.italic ? TRUE : FALSE;
  lf.lfUnderline = spec.underline ? TRUE : FALSE;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_TT_PRECIS;
  lf.lfQuality = ANTIALIASED_QUALITY;
  lstrcpynW(lf.lfFaceName, resolvedFace.c_str(), LF_FACESIZE);
  HFONT font = CreateFontIndirectW(&lf);
  if (!font)
    font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  else
    fonts.emplace(key, font);
  return font;
}

HFONT BackendState::FontFor(const FontSpec& spec, const std::wstring& text) {
  return Font(spec, Resolve(spec.face, text));
}

void BackendState::EnumerateFacesLocked() {
  if (facesEnumerated) return;
  facesEnumerated = true;
  HDC dc = GetDC(nullptr);
  LOGFONTW lf{};
  lf.lfCharSet = DEFAULT_CHARSET;
  EnumFontFamiliesExW(dc, &lf, CollectFace, reinterpret_cast<LPARAM>(&installedFaces), 0);
  ReleaseDC(nullptr, dc);
  LOG(INFO) << " Fonts installed: " << installedFaces.size() << " faces";
}

bool BackendState::CoversLocked(const std::wstring& face, const std::wstring& sample, int script) {
  std::set<wchar_t>& known = glyphsPresent[Lower(face)];
  std::set<wchar_t>& missing = glyphsMissing[Lower(face)];
  std::wstring unknown;
  for (wchar_t c : sample) {
    if (!CharBelongsTo(c, static_cast<Script>(script))) continue;
    if (missing.count(c)) return false;
    if (!known.count(c) && unknown.find(c) == std::wstring::npos) unknown.push_back(c);
  }
  if (unknown.empty()) return true;
  bool covers = false;
  HDC dc = CreateCompatibleDC(nullptr);
  LOGFONTW lf{};
  lf.lfHeight = -16;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, face.c_str(), LF_FACESIZE);
  HFONT font = CreateFontIndirectW(&lf);
  if (dc && font) {
    HGDIOBJ old = SelectObject(dc, font);
    std::vector<WORD> glyphs(unknown.size());
    if (GetGlyphIndicesW(dc, unknown.c_str(), static_cast<int>(unknown.size()), glyphs.data(),
                         GGI_MARK_NONEXISTING_GLYPHS) != GDI_ERROR) {
      covers = true;
      for (size_t i = 0; i < unknown.size(); ++i) {
        if (glyphs[i] == 0xFFFF) {
          missing.insert(unknown[i]);
          covers = false;
        } else {
          known.insert(unknown[i]);
        }
      }
    }
    SelectObject(dc, old);
  }
  if (font) DeleteObject(font);
  if (dc) DeleteDC(dc);
  return covers;
}

std::wstring BackendState::Resolve(const std::wstring& face, const std::wstring& sample) {
  std::lock_guard<std::mutex> hold(lock);
  return ResolveLocked(face, sample);
}

std::wstring BackendState::ResolveLocked(const std::wstring& face, const std::wstring& sample) {
  const std::wstring key = face + L"|" + sample;
  auto found = resolved.find(key);
  if (found != resolved.end()) return found->second;
  EnumerateFacesLocked();
  const int script = static_cast<int>(DetectScript(sample, face));
  std::wstring picked = PickFace(face, sample, [&](const std::wstring& candidate) {
    return installedFaces.count(Lower(candidate)) != 0 && CoversLocked(candidate, sample, script);
  });
  if (picked != face && loggedFallbacks.insert(face + L"|" + std::to_wstring(script)).second) {
    LOG(INFO) << " Font face \"" << platform::WideToUtf8(face) << "\" drawn as \""
              << platform::WideToUtf8(picked) << "\" (script " << script << ")";
  }
  if (resolved.size() >= kMaxResolvedEntries) resolved.clear();
  resolved.emplace(key, picked);
  return picked;
}

std::vector<BackendState::FaceRun> BackendState::SplitByFace(const std::wstring& face,
                                                             const std::wstring& text) {
  std::lock_guard<std::mutex> hold(lock);
  const std::wstring primary = ResolveLocked(face, text);
  std::vector<FaceRun> runs;
  for (size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    const wchar_t one[2] = {c, 0};
    std::wstring want;
    if (!CharBelongsTo(c, DetectScript(one, face)) && !runs.empty()) {
      want = runs.back().face;  // spaces, digits, punctuation and marks stay with their run
    } else if (installedFaces.count(Lower(primary)) &&
               CoversLocked(primary, one, static_cast<int>(DetectScript(one, face)))) {
      want = primary;
    } else {
      want = ResolveLocked(face, one);
    }
    if (runs.empty() || runs.back().face != want) {
      runs.push_back(FaceRun{i, i + 1, want});
    } else {
      runs.back().end = i + 1;
    }
  }
  if (runs.empty()) runs.push_back(FaceRun{0, text.size(), primary});
  return runs;
}

Win32Backend::Win32Backend() : state_(std::make_unique<BackendState>()) {
  state_->instance = GetModuleHandleW(nullptr);
  Gdiplus::GdiplusStartupInput input;
  const Gdiplus::Status status = Gdiplus::GdiplusStartup(&state_->gdiplusToken, &input, nullptr);
  state_->gdiplusReady = status == Gdiplus::Ok;
  if (!state_->gdiplusReady) LOG(INFO) << " GdiplusStartup failed: " << static_cast<int>(status);
  state_->accessibleInvokeMessage = RegisterWindowMessageW(L"KerfoUikitAccessibleInvoke");
  state_->taskbarButtonCreatedMessage = RegisterWindowMessageW(L"TaskbarButtonCreated");
}

Win32Backend::~Win32Backend() {
  if (state_->gdiplusReady) Gdiplus::GdiplusShutdown(state_->gdiplusToken);
}

bool Win32Backend::Ready() const {
  return state_->gdiplusReady;
}

ImagePtr Win32Backend::Decode(const std::string& bytes) {
  if (!state_->gdiplusReady || bytes.empty() || bytes.size() > 0x7FFFFFFF) return nullptr;
  IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()),
                                      static_cast<UINT>(bytes.size()));
  if (!stream) return nullptr;
  std::shared_ptr<PixelImage> image;
  {
    Gdiplus::Bitmap bitmap(stream);
    const int w = static_cast<int>(bitmap.GetWidth()), h = static_cast<int>(bitmap.GetHeight());
    if (bitmap.GetLastStatus() == Gdiplus::Ok && w > 0 && h > 0 && w <= kMaxImageSide &&
        h <= kMaxImageSide && static_cast<long long>(w) * h <= kMaxImagePixels) {
      auto pixels = std::make_shared<PixelImage>(w, h);
      Gdiplus::BitmapData data{};
      data.Width = static_cast<UINT>(w);
      data.Height = static_cast<UINT>(h);
      data.Stride = w * 4;
      data.PixelFormat = PixelFormat32bppPARGB;
      data.Scan0 = pixels->Bits();
      Gdiplus::Rect all(0, 0, w, h);
      // Converts whatever the file holds (palette, 24-bit, straight alpha) into our pixels.
      if (bitmap.LockBits(&all, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                          PixelFormat32bppPARGB, &data) == Gdiplus::Ok) {
        if (bitmap.UnlockBits(&data) == Gdiplus::Ok) image = pixels;
      }
    }
  }
  stream->Release();
  return image;
}

std::unique_ptr<INativeWindow> Win32Backend::CreateNativeWindow(const NativeWindowParams& params,
                                                                IWindowEvents* events) {
  auto window = std::make_unique<NativeWindow>(*state_, events);
  if (!window->Create(params)) return nullptr;
  return window;
}

int Win32Backend::RunMessageLoop() {
  MSG msg;
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got == -1) {
      LOG(INFO) << " GetMessage failed: " << GetLastError();
      return -1;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void Win32Backend::Quit(int code) {
  PostQuitMessage(code);
}

std::shared_ptr<Image> Win32Backend::CreateImage(int width, int height) {
  if (width <= 0 || height <= 0 || width > kMaxImageSide || height > kMaxImageSide) {
    return nullptr;
  }
  return std::make_shared<PixelImage>(width, height);
}

std::unique_ptr<ICanvas> Win32Backend::CanvasFor(const std::shared_ptr<Image>& image) {
  auto* pixels = dynamic_cast<PixelImage*>(image.get());
  if (!pixels) return nullptr;
  return MakeCanvas(*state_, pixels->Bits(), pixels->Width(), pixels->Height(),
                    Rect{0, 0, pixels->Width(), pixels->Height()});
}

std::wstring Win32Backend::ResolveFace(const std::wstring& face, const std::wstring& sample) {
  return state_->Resolve(face, sample);
}

double Win32Backend::DpiScale() const {
  using GetDpiForSystemFn = UINT(WINAPI*)();
  static const auto getDpiForSystem = reinterpret_cast<GetDpiForSystemFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForSystem")));
  UINT dpi = getDpiForSystem ? getDpiForSystem() : 0;
  if (dpi == 0) {
    HDC dc = GetDC(nullptr);
    dpi = static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSX));
    ReleaseDC(nullptr, dc);
  }
  return dpi > 0 ? dpi / 96.0 : 1.0;
}

uint64_t Win32Backend::TickCount() const {
  return GetTickCount64();
}

std::vector<Color> ReadPixels(const Image& image) {
  const auto* pixels = dynamic_cast<const PixelImage*>(&image);
  if (!pixels) return {};
  std::vector<Color> out(static_cast<size_t>(pixels->Width()) * pixels->Height());
  for (size_t i = 0; i < out.size(); ++i) {
    const uint32_t p = pixels->Bits()[i];
    const uint32_t a = p >> 24;
    if (a == 0 || a == 255) {
      out[i] = a == 0 ? 0u : p;
      continue;
    }
    auto un = [a](uint32_t v) { return std::min<uint32_t>(255, (v * 255 + a / 2) / a); };
    out[i] = (a << 24) | (un((p >> 16) & 0xFF) << 16) | (un((p >> 8) & 0xFF) << 8) | un(p & 0xFF);
  }
  return out;
}

}  // namespace win32
}  // namespace uikit
