// Drawing: what the toolkit's painter and the install-page animation ask of a backend.
//
// A canvas draws either into a window's back buffer (the backend hands one to the window's
// paint callback; it is shown at once when the callback returns, so nothing flickers) or into
// an offscreen image (IBackend::CreateImage + CanvasFor), which can then be registered in the
// image cache. Coordinates are device pixels; the window scales its logical layout first.
//
// Text goes through the platform's text engine with shaping and bidi (GDI DrawTextW on
// Win32), never through a path that leaves complex scripts blank. A face the system lacks is
// replaced by an installed face for the script of the text (IBackend::ResolveFace).
//
// Threading: a canvas belongs to the thread that made it and lives only as long as that
// thread uses it; window canvases only during the paint callback.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "uikit/geometry.h"
#include "uikit/image.h"

namespace uikit {

struct FontSpec {
  std::wstring face;  // as the skin names it; the backend maps a missing face
  int size = 12;      // pixel height of the em box, device pixels
  bool bold = false;
  bool italic = false;
  bool underline = false;

  bool operator==(const FontSpec& o) const {
    return face == o.face && size == o.size && bold == o.bold && italic == o.italic &&
           underline == o.underline;
  }
};

// Text layout flags (one word so they pass through backends unchanged).
enum TextFormat : uint32_t {
  kAlignLeft = 0,
  kAlignCenter = 1u << 0,
  kAlignRight = 1u << 1,
  kVCenter = 1u << 2,
  kBottom = 1u << 3,
  kSingleLine = 1u << 4,
  kWordBreak = 1u << 5,   // wrap at word boundaries inside the box
  kEndEllipsis = 1u << 6, // a single line too long for its box ends with "..."
  kRtlReading = 1u << 7,  // right-to-left paragraph (Arabic)
  kNoClip = 1u << 8,      // default is to clip to the box
};

class ICanvas {
 public:
  virtual ~ICanvas() = default;

  // Size of the target in device pixels.
  virtual Size TargetSize() const = 0;

  // Clipping nests; every draw call is clipped to the innermost rectangle.
  virtual void PushClip(const Rect& r) = 0;
  virtual void PopClip() = 0;

  virtual void FillRect(const Rect& r, Color c) = 0;
  virtual void FillRoundRect(const Rect& r, int radius, Color c) = 0;
  virtual void FrameRect(const Rect& r, Color c, int width) = 0;
  // A dotted focus rectangle (keyboard focus cue).
  virtual void FocusRect(const Rect& r) = 0;

  // Draws src (an empty src means the whole image) of the image stretched into dest, with
  // high-quality filtering and the image's own alpha times opacity (0..255).
  virtual void DrawImage(const Image& image, const Rect& dest, const Rect& src = Rect{},
                         uint8_t opacity = 255) = 0;
  // Nine-grid: the corners (given as left, top, right, bottom insets in source pixels) keep
  // their size, the edges and middle stretch.
  virtual void DrawImageNineGrid(const Image& image, const Rect& dest, const Rect& corners) = 0;

  virtual void DrawText(const std::wstring& text, const Rect& box, const FontSpec& font, Color c,
                        uint32_t format) = 0;
  // Size the text takes with those flags; with kWordBreak it wraps at maxWidth.
  virtual Size MeasureText(const std::wstring& text, const FontSpec& font, uint32_t format,
                           int maxWidth) = 0;
};

}  // namespace uikit
