// Plain value types of the toolkit: points, sizes, rectangles and colours, in device pixels
// unless a comment says "logical" (layout units at 96 DPI, scaled by the window's DPI factor).
#pragma once

#include <algorithm>
#include <cstdint>

namespace uikit {

struct Point {
  int x = 0;
  int y = 0;
};

struct Size {
  int cx = 0;
  int cy = 0;
};

// Half-open: [left, right) x [top, bottom).
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(Point p) const { return p.x >= left && p.x < right && p.y >= top && p.y < bottom; }
  Rect Intersect(const Rect& o) const {
    Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
           std::min(bottom, o.bottom)};
    if (r.IsEmpty()) return Rect{};
    return r;
  }
  Rect Offset(int dx, int dy) const { return Rect{left + dx, top + dy, right + dx, bottom + dy}; }
  bool operator==(const Rect& o) const {
    return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
  }
  bool operator!=(const Rect& o) const { return !(*this == o); }
};

// 0xAARRGGBB. Skins write "#RRGGBB" (opaque) or "#AARRGGBB".
using Color = uint32_t;
constexpr Color kTransparent = 0x00000000u;
constexpr Color kBlack = 0xFF000000u;
constexpr Color kWhite = 0xFFFFFFFFu;
constexpr uint8_t AlphaOf(Color c) { return static_cast<uint8_t>(c >> 24); }
constexpr uint8_t RedOf(Color c) { return static_cast<uint8_t>(c >> 16); }
constexpr uint8_t GreenOf(Color c) { return static_cast<uint8_t>(c >> 8); }
constexpr uint8_t BlueOf(Color c) { return static_cast<uint8_t>(c); }

}  // namespace uikit
