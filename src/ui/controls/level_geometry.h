#pragma once

// Geometry of the level bar and the start-level slider, without Qt.

#include <cstdint>
#include <optional>
#include <vector>

#include "ui/controls/pixel_math.h"

namespace sorvex {

// ---- Level bar: 25 segments (as many as fit) between 2-pixel borders.

struct LevelBarLayout {
  int32_t pitch = 0;    // pixels per segment, 1-pixel gap included
  int32_t count = 0;    // segments
  int32_t redFrom = 0;  // first segment lit in red
  bool operator==(const LevelBarLayout&) const = default;
};

enum class SegmentColour { Green, Red, Unlit };

// pitch = (width − 4) / 25, count = (width − 4) / pitch; a bar narrower than
// 29 pixels has no room for a segment and shows none.
LevelBarLayout LevelBarGeometry(int32_t width);
// Segment 0 is always lit; segment i when level ≥ i / count.
bool SegmentLit(int32_t i, int32_t count, double level);
int32_t LitSegmentCount(const LevelBarLayout& layout, double level);
SegmentColour SegmentColourOf(const LevelBarLayout& layout, int32_t i, double level);
// From (i · pitch + 2, 3) to (i · pitch + pitch + 1, height − 3), right and
// bottom excluded.
PixelRect SegmentRect(const LevelBarLayout& layout, int32_t i, int32_t height);

// ---- Start-level slider: a groove across the middle, ticks, and a thumb
// bitmap whose left edge travels over 0 .. width − thumb width.

// Value on the slider's grid: kept inside min..max, then rounded half away
// from zero to a multiple of step. When that multiple lies outside the range
// the next one inward is taken; a range without any multiple keeps the
// unrounded value. NaN stays NaN (the caller ignores it).
double SnapToStep(double v, double min, double max, double step);
// trunc((max − min) / step + 1), kept inside 1 .. INT32_MAX.
int32_t TickCountForRange(double min, double max, double step);
// Left edge of the thumb for `value`.
int32_t ThumbLeft(int32_t width, int32_t thumbWidth, double value, double min, double max);
// The value a press or drag at column x asks for: min + (x − tw/2) / (width −
// tw) · (max − min). None when the slider is no wider than its thumb.
std::optional<double> ValueAtMouseX(int32_t x, int32_t width, int32_t thumbWidth, double min,
                                    double max);
// Tick columns: (width − tw) · i / (count − 1) + tw / 2 for i = 0 .. count − 1,
// integer arithmetic. One tick (count 1) stands at the min position; fewer
// draw none. Ticks closer than a pixel cover every column of the travel, and
// those columns are returned once each.
std::vector<int32_t> TickColumns(int32_t width, int32_t thumbWidth, int32_t count);

}  // namespace sorvex
