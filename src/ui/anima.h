// CAnima: the install page's slides. Every picture pair is merged once into one wide image
// and every step of a slide is drawn once, all registered in the toolkit's image cache by
// name; a slide then only switches the picture control's background, one step every 50 ms.
//
// Pictures are the skin's built-in frames ("skin\anima\%d.png", with the language's caption
// drawn on them) or, once the banner service delivered them, the delivered files in display
// order (a missing, broken or oddly sized one falls back to the built-in frame of its number).
//
// Threading: window thread only (drawing, the cache and the slide timer).
// Ownership: the window owns the animation; the target control and the toolkit outlive it.
#pragma once

#include <string>
#include <vector>

#include "uikit/image.h"
#include "uikit/toolkit.h"
#include "uikit/window.h"

namespace ui {

class InstallUIMainWnd;

class CAnima {
 public:
  static constexpr int kFrameWidth = 650;
  static constexpr int kFrameHeight = 300;
  static constexpr int kSteps = 25;
  static constexpr int kStepPixels = 26;
  static constexpr unsigned kStepMs = 50;
  // The window's timer that paces the slides.
  static constexpr uint32_t kSlideTimerId = 3100;

  CAnima(InstallUIMainWnd& window, uikit::Control& target, uikit::Toolkit& toolkit);

  // Builds every picture pair and the first frame. deliveredPictures[k-1] is the file of
  // picture k; an empty list (or a short one) uses the built-in frames.
  void HorizontalMoveAnimaInit(const std::vector<std::wstring>& deliveredPictures);
  // A delivered picture as the animation would use it: a file of at most 8 MiB that decodes to
  // an image of the frame's shape, from its own size up to twice that; null otherwise (an odd
  // size is logged with the picture's number, or its path when number is 0). Safe on any
  // thread (decoding only).
  static uikit::ImagePtr LoadBannerPicture(uikit::IBackend& backend, const std::wstring& path,
                                           int number = 0);
  // Plays the slide from picture a to picture b (1-based). Nothing when a == b, when there is
  // only one picture, when a picture number is out of range, or before Init.
  void Slide(int a, int b);
  // The slide timer fired: show the next step.
  void OnSlideTimer();

  bool IsReady() const { return ready_; }
  bool IsSliding() const { return step_ > 0; }
  int FrameCount() const { return frames_; }
  int MergedCount() const { return merged_; }
  // Picture k (1-based) as the last Init built it; null outside 1..FrameCount().
  uikit::ImagePtr PictureAt(int k) const {
    return k >= 1 && k <= static_cast<int>(pictures_.size()) ? pictures_[k - 1] : nullptr;
  }

  // Whether picture k (1-based) is the delivered picture k, not a built-in frame standing in.
  bool ShowsDelivered(int k) const {
    return k >= 1 && k <= static_cast<int>(fromDelivered_.size()) && fromDelivered_[k - 1];
  }

  static std::wstring MergedName(int i, int j);       // "Merge%02d%02d.png"
  static std::wstring StepName(int i, int j, int s);  // merged name + "%02d"

 private:
  uikit::ImagePtr LoadDelivered(int k);
  uikit::ImagePtr BuiltIn(int k);
  uikit::ImagePtr Picture(int k, bool* delivered);
  void CollectCaptions();
  uikit::ImagePtr StepImage(int i, int j, int index);
  void ShowStep();

  InstallUIMainWnd& window_;
  uikit::Control& target_;
  uikit::Toolkit& toolkit_;
  int frames_ = 0;
  bool ready_ = false;
  int merged_ = 0;
  std::vector<std::wstring> delivered_;
  std::vector<std::wstring> captions_;
  std::vector<std::wstring> extraCaptions_;
  std::vector<uikit::ImagePtr> pictures_;  // index k-1; built once per Init
  std::vector<bool> fromDelivered_;        // index k-1; set with pictures_

  // The slide in progress.
  int from_ = 0;
  int to_ = 0;
  int step_ = 0;  // 1..25 while sliding, 0 when idle
};

}  // namespace ui
