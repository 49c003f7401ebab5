#include "ui/anima.h"

#include <easylogging++.h>

#include <algorithm>
#include <cstdio>

#include "platform/files.h"
#include "platform/text.h"
#include "ui/install_ui_main_wnd.h"
#include "ui/language_texts.h"

namespace ui {
namespace {

constexpr uikit::Color kCaptionGrey = 0xFF4A4A4Au;
constexpr uikit::Color kCaptionWhite = 0xFFFFFFFFu;
// A delivered picture larger than this is not a banner (and would cost a 32-bit process dear).
constexpr int64_t kMaxDeliveredBytes = 8 * 1024 * 1024;
// Pictures are stretched into the 650 by 300 frame; sides outside this range are no banner.

std::wstring Number2(int v) {
  wchar_t buf[16];
  std::swprintf(buf, 16, L"%02d", v);
  return buf;
}

}  // namespace

CAnima::CAnima(InstallUIMainWnd& window, uikit::Control& target, uikit::Toolkit& toolkit)
    : window_(window), target_(target), toolkit_(toolkit), frames_(window.GetAnimaFrameCount()) {}

std::wstring CAnima::MergedName(int i, int j) {
  return L"Merge" + Number2(i) + Number2(j) + L".png";
}

std::wstring CAnima::StepName(int i, int j, int s) { return MergedName(i, j) + Number2(s); }

void CAnima::CollectCaptions() {
  captions_.clear();
  extraCaptions_.clear();
  uikit::Window& w = window_.GetWindow();
  for (int i = 1;; ++i) {
    uikit::Control* c = w.FindControl(L"anima_text_" + std::to_wstring(i));
    if (!c) break;
    captions_.push_back(c->GetText());
  }
  for (int i = 1;; ++i) {
    uikit::Control* c = w.FindControl(L"anima_text_extra_" + std::to_wstring(i));
    if (!c) break;
    extraCaptions_.push_back(c->GetText());
  }
}

uikit::ImagePtr CAnima::BuiltIn(int k) {
  uikit::ImagePtr base =
      toolkit_.Images().Get(L"skin\\anima\\" + std::to_wstring(k) + L".png");
  std::shared_ptr<uikit::Image> frame = toolkit_.Backend().CreateImage(kFrameWidth, kFrameHeight);
  std::unique_ptr<uikit::ICanvas> canvas = frame ? toolkit_.Backend().CanvasFor(frame) : nullptr;
  if (!canvas) return base;
  canvas->FillRect(uikit::Rect{0, 0, kFrameWidth, kFrameHeight}, uikit::kWhite);
  if (base) canvas->DrawImage(*base, uikit::Rect{0, 0, kFrameWidth, kFrameHeight});
  // The caption of picture k (index k-1), in the language's face.
  const std::wstring face = GetLanguageFontFace(window_.GetLanguage());
  uikit::FontSpec font;
  font.face = toolkit_.Backend().ResolveFace(face, k - 1 < static_cast<int>(captions_.size())
                                                       ? captions_[k - 1]
                                                       : std::wstring());
  font.size = 15;  // 11 points at 96 DPI
  std::wstring white;
  window_.GetControlText(L"AnimaCaptionWhite", &white);
  const uikit::Color color = white == L"1" ? kCaptionWhite : kCaptionGrey;
  const uint32_t rtl = window_.GetLanguage() == 8 ? uikit::kRtlReading : 0u;
  if (k - 1 < static_cast<int>(captions_.size()) && !captions_[k - 1].empty()) {
    canvas->DrawText(captions_[k - 1], uikit::Rect{30, 30, kFrameWidth - 30, 30 + 48}, font,
                     color, uikit::kAlignCenter | uikit::kWordBreak | rtl);
  }
  if (k - 1 < static_cast<int>(extraCaptions_.size()) && !extraCaptions_[k - 1].empty()) {
    canvas->DrawText(extraCaptions_[k - 1], uikit::Rect{30, 0, kFrameWidth - 30, kFrameHeight},
                     font, color, uikit::kAlignCenter | uikit::kVCenter | uikit::kSingleLine | rtl);
  }
  canvas.reset();
  return frame;
}

uikit::ImagePtr CAnima::LoadBannerPicture(uikit::IBackend& backend, const std::wstring& path,
                                          int number) {
  const int64_t size = platform::FileSize(path);
  if (size <= 0 || size > kMaxDeliveredBytes) return nullptr;
  std::string bytes;
  if (!platform::ReadWholeFile(path, &bytes)) return nullptr;
  uikit::ImagePtr image = backend.Decode(bytes);
  if (!image) return nullptr;
  // A picture of an odd size would be stretched or cut in the slide: only the frame's shape,
  // from its own size up to twice that (pictures made for high-DPI screens), qualifies.
  const int64_t w = image->Width(), h = image->Height();
  if (w * kFrameHeight != h * kFrameWidth || w < kFrameWidth || w > 2 * kFrameWidth) {
    if (number > 0) {
      LOG(INFO) << " Banner picture " << number << " has an odd size " << w << "*" << h;
    } else {
      LOG(INFO) << " Banner picture " << platform::WideToUtf8(path) << " has an odd size " << w
                << "*" << h;
    }
    return nullptr;
  }
  return image;
}

uikit::ImagePtr CAnima::LoadDelivered(int k) {
  if (k < 1 || k > static_cast<int>(delivered_.size()) || delivered_[k - 1].empty())
    return nullptr;
  return LoadBannerPicture(toolkit_.Backend(), delivered_[k - 1], k);
}

uikit::ImagePtr CAnima::Picture(int k, bool* delivered) {
  *delivered = false;
  if (uikit::ImagePtr picture = LoadDelivered(k)) {
    *delivered = true;
    return picture;
  }
  if (!delivered_.empty()) LOG(INFO) << "AnimaInit, use default:" << k;
  return BuiltIn(k);
}

void CAnima::HorizontalMoveAnimaInit(const std::vector<std::wstring>& deliveredPictures) {
  LOG(INFO) << "AnimaInit:" << deliveredPictures.size() << " delivered "
            << (deliveredPictures.empty() ? std::string()
                                          : platform::WideToUtf8(deliveredPictures.front()));
  delivered_ = deliveredPictures;
  step_ = 0;
  frames_ = window_.GetAnimaFrameCount();
  CollectCaptions();
  pictures_.clear();
  fromDelivered_.clear();
  for (int k = 1; k <= frames_; ++k) {
    bool delivered = false;
    pictures_.push_back(Picture(k, &delivered));
    fromDelivered_.push_back(delivered);
  }
  uikit::ImageCache& cache = toolkit_.Images();
  merged_ = 0;
  if (frames_ >= 1 && pictures_[0]) cache.Register(L"FirstFrame", pictures_[0]);
  for (int i = 1; i <= frames_; ++i) {
    for (int j = i + 1; j <= frames_; ++j) {
      // Steps of an earlier Init show old pictures: forget them.
      for (int s = 0; s <= kSteps; ++s) cache.Remove(StepName(i, j, s));
      std::shared_ptr<uikit::Image> merged =
          toolkit_.Backend().CreateImage(2 * kFrameWidth, kFrameHeight);
      std::unique_ptr<uikit::ICanvas> canvas =
          merged ? toolkit_.Backend().CanvasFor(merged) : nullptr;
      if (!canvas) continue;
      canvas->FillRect(uikit::Rect{0, 0, 2 * kFrameWidth, kFrameHeight}, uikit::kWhite);
      if (pictures_[i - 1])
        canvas->DrawImage(*pictures_[i - 1], uikit::Rect{0, 0, kFrameWidth, kFrameHeight});
      if (pictures_[j - 1])
        canvas->DrawImage(*pictures_[j - 1],
                          uikit::Rect{kFrameWidth, 0, 2 * kFrameWidth, kFrameHeight});
      canvas.reset();
      cache.Register(MergedName(i, j), merged);
      ++merged_;
    }
  }
  ready_ = frames_ >= 1;
  LOG(INFO) << "AnimaInit ok:" << frames_ << " " << merged_;
}

uikit::ImagePtr CAnima::StepImage(int i, int j, int index) {
  uikit::ImageCache& cache = toolkit_.Images();
  const std::wstring name = StepName(i, j, index);
  if (uikit::ImagePtr cached = cache.Get(name)) return cached;
  uikit::ImagePtr merged = cache.Get(MergedName(i, j));
  std::shared_ptr<uikit::Image> step = toolkit_.Backend().CreateImage(kFrameWidth, kFrameHeight);
  std::unique_ptr<uikit::ICanvas> canvas = step ? toolkit_.Backend().CanvasFor(step) : nullptr;
  if (!canvas) return nullptr;
  canvas->FillRect(uikit::Rect{0, 0, kFrameWidth, kFrameHeight}, uikit::kWhite);
  if (merged) {
    const int x = kStepPixels * index;
    canvas->DrawImage(*merged, uikit::Rect{0, 0, kFrameWidth, kFrameHeight},
                      uikit::Rect{x, 0, x + kFrameWidth, kFrameHeight});
  }
  canvas.reset();
  cache.Register(name, step);
  return step;
}

void CAnima::Slide(int a, int b) {
  if (!ready_ || a == b || frames_ <= 1) return;
  if (a < 1 || b < 1 || a > frames_ || b > frames_) return;
  from_ = a;
  to_ = b;
  step_ = 1;
  ShowStep();
  window_.GetWindow().SetTimer(kSlideTimerId, kStepMs);
}

void CAnima::OnSlideTimer() {
  if (step_ <= 0 || step_ >= kSteps) {
    window_.GetWindow().KillTimer(kSlideTimerId);
    step_ = 0;
    return;
  }
  ++step_;
  ShowStep();
  if (step_ >= kSteps) {
    window_.GetWindow().KillTimer(kSlideTimerId);
    step_ = 0;  // the last step image stays as the background
  }
}

void CAnima::ShowStep() {
  const int i = std::min(from_, to_);
  const int j = std::max(from_, to_);
  const int index = from_ < to_ ? step_ : kSteps - step_;
  if (!StepImage(i, j, index)) return;
  target_.SetBkImage(StepName(i, j, index));
  target_.Invalidate();
}

}  // namespace ui
