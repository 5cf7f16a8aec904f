#pragma once

// Pixel arithmetic shared by the owner-drawn controls: truncating
// conversions and half-open lines (end pixel excluded).

#include <cmath>
#include <cstdint>

namespace sorvex {

// Coordinates are truncated toward zero, but kept inside ±kPixelLimit: a
// sample far outside a fixed range (or a non-finite one) would otherwise
// overflow the conversion to int. NaN goes to +kPixelLimit.
inline constexpr double kPixelLimit = 1'000'000.0;

inline int32_t TruncPixel(double v) {
  if (!(v < kPixelLimit)) return static_cast<int32_t>(kPixelLimit);
  if (!(v > -kPixelLimit)) return static_cast<int32_t>(-kPixelLimit);
  return static_cast<int32_t>(v);
}

// Pixels covered by an axis-parallel line from (x0, y0) to (x1, y1) drawn
// half-open: the start pixel is drawn, the end pixel is not. An empty
// rectangle (w or h 0) for a zero-length or slanted line.
struct PixelRect {
  int32_t x = 0, y = 0, w = 0, h = 0;
  bool Empty() const { return w <= 0 || h <= 0; }
  bool operator==(const PixelRect&) const = default;
};

inline PixelRect HalfOpenLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
  if (x0 == x1 && y0 != y1) {
    return y1 > y0 ? PixelRect{x0, y0, 1, y1 - y0} : PixelRect{x0, y1 + 1, 1, y0 - y1};
  }
  if (y0 == y1 && x0 != x1) {
    return x1 > x0 ? PixelRect{x0, y0, x1 - x0, 1} : PixelRect{x1 + 1, y0, x0 - x1, 1};
  }
  return {};
}

// The pixels of HalfOpenLine(x0, y0, x1, y1) that a dotted pen draws: every other
// one, counted from the start pixel. `dot(x, y)` is called for each.
template <typename Dot>
void ForEachDot(int32_t x0, int32_t y0, int32_t x1, int32_t y1, Dot&& dot) {
  if (x0 == x1 && y0 != y1) {
    const int32_t dy = y1 > y0 ? 2 : -2;
    for (int32_t y = y0; dy > 0 ? y < y1 : y > y1; y += dy) dot(x0, y);
  } else if (y0 == y1 && x0 != x1) {
    const int32_t dx = x1 > x0 ? 2 : -2;
    for (int32_t x = x0; dx > 0 ? x < x1 : x > x1; x += dx) dot(x, y0);
  }
}

}  // namespace sorvex
