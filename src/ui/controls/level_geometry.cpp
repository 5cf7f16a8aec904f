#include "ui/controls/level_geometry.h"

#include <cmath>
#include <limits>

namespace sorvex {

LevelBarLayout LevelBarGeometry(int32_t width) {
  LevelBarLayout layout;
  layout.pitch = (width - 4) / 25;
  if (layout.pitch <= 0) return {};
  layout.count = (width - 4) / layout.pitch;
  layout.redFrom = layout.count * 8 / 10;
  return layout;
}

bool SegmentLit(int32_t i, int32_t count, double level) {
  return i == 0 || level >= static_cast<double>(i) / count;
}

int32_t LitSegmentCount(const LevelBarLayout& layout, double level) {
  int32_t lit = 0;
  for (int32_t i = 0; i < layout.count; ++i) lit += SegmentLit(i, layout.count, level) ? 1 : 0;
  return lit;
}

SegmentColour SegmentColourOf(const LevelBarLayout& layout, int32_t i, double level) {
  if (!SegmentLit(i, layout.count, level)) return SegmentColour::Unlit;
  return i < layout.redFrom ? SegmentColour::Green : SegmentColour::Red;
}

PixelRect SegmentRect(const LevelBarLayout& layout, int32_t i, int32_t height) {
  const int32_t left = i * layout.pitch + 2;
  return {left, 3, layout.pitch - 1, height - 6};
}

double SnapToStep(double v, double min, double max, double step) {
  if (v < min) v = min;
  if (v > max) v = max;
  if (std::isnan(v) || !(step > 0)) return v;
  const double q = v / step;
  double n = q >= 0 ? std::trunc(q + 0.5) : std::trunc(q - 0.5);
  double snapped = n * step;
  if (snapped > max) snapped = (n - 1) * step;
  if (snapped < min) snapped = (n + 1) * step;
  if (snapped < min || snapped > max) return v;
  return snapped;
}

int32_t TickCountForRange(double min, double max, double step) {
  const double count = std::trunc((max - min) / step + 1);
  if (!(count >= 1)) return 1;
  if (count >= static_cast<double>(std::numeric_limits<int32_t>::max())) {
    return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(count);
}

int32_t ThumbLeft(int32_t width, int32_t thumbWidth, double value, double min, double max) {
  return TruncPixel(static_cast<double>(width - thumbWidth) * (value - min) / (max - min));
}

std::optional<double> ValueAtMouseX(int32_t x, int32_t width, int32_t thumbWidth, double min,
                                    double max) {
  const int32_t travel = width - thumbWidth;
  if (travel <= 0) return std::nullopt;
  return min + static_cast<double>(x - thumbWidth / 2) / travel * (max - min);
}

std::vector<int32_t> TickColumns(int32_t width, int32_t thumbWidth, int32_t count) {
  std::vector<int32_t> columns;
  const int64_t travel = static_cast<int64_t>(width) - thumbWidth;
  if (count <= 0) return columns;
  if (count == 1) {
    columns.push_back(thumbWidth / 2);
    return columns;
  }
  const int64_t span = travel < 0 ? -travel : travel;
  if (count - 1 > span) {
    // Spacing below a pixel: every column from 0 to travel gets a tick.
    const int64_t dir = travel < 0 ? -1 : 1;
    for (int64_t p = 0; p <= span; ++p) {
      columns.push_back(static_cast<int32_t>(dir * p + thumbWidth / 2));
    }
    return columns;
  }
  for (int64_t i = 0; i < count; ++i) {
    columns.push_back(static_cast<int32_t>(travel * i / (count - 1) + thumbWidth / 2));
  }
  return columns;
}

}  // namespace sorvex
