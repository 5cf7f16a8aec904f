// Level bar and slider geometry: segments, colours, snapping, thumb and
// ticks, with exact values.
#include "ui/controls/level_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <vector>

namespace sorvex {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(LevelBar, A183PixelBarHas25SegmentsOfPitch7TheLastFiveRed) {
  const LevelBarLayout bar = LevelBarGeometry(183);
  EXPECT_EQ(bar, (LevelBarLayout{7, 25, 20}));
  EXPECT_EQ(SegmentRect(bar, 0, 19), (PixelRect{2, 3, 6, 13}));
  EXPECT_EQ(SegmentRect(bar, 24, 19), (PixelRect{170, 3, 6, 13}));
  // Wider bars get wider segments and possibly one more of them.
  EXPECT_EQ(LevelBarGeometry(300), (LevelBarLayout{11, 26, 20}));
  EXPECT_EQ(LevelBarGeometry(29), (LevelBarLayout{1, 25, 20}));
}

TEST(LevelBar, TooNarrowForASegmentShowsNone) {
  for (int32_t width : {28, 5, 4, 0, -10}) {
    const LevelBarLayout bar = LevelBarGeometry(width);
    EXPECT_EQ(bar.count, 0) << width;
    EXPECT_EQ(LitSegmentCount(bar, 1.0), 0) << width;
  }
}

TEST(LevelBar, LitSegmentsAndTheirColours) {
  const LevelBarLayout bar = LevelBarGeometry(183);
  EXPECT_EQ(LitSegmentCount(bar, 0.0), 1);  // the first one always
  EXPECT_EQ(LitSegmentCount(bar, -1.0), 1);
  EXPECT_EQ(LitSegmentCount(bar, kNaN), 1);
  EXPECT_EQ(LitSegmentCount(bar, 0.039), 1);
  EXPECT_EQ(LitSegmentCount(bar, 0.04), 2);  // level ≥ 1/25
  EXPECT_EQ(LitSegmentCount(bar, 1.0), 25);
  EXPECT_EQ(LitSegmentCount(bar, 7.0), 25);
  // 0.8 lights 0..20; 20 is the first red one.
  EXPECT_EQ(LitSegmentCount(bar, 0.8), 21);
  EXPECT_EQ(SegmentColourOf(bar, 19, 0.8), SegmentColour::Green);
  EXPECT_EQ(SegmentColourOf(bar, 20, 0.8), SegmentColour::Red);
  EXPECT_EQ(SegmentColourOf(bar, 21, 0.8), SegmentColour::Unlit);
  EXPECT_EQ(SegmentColourOf(bar, 0, 0.0), SegmentColour::Green);
  EXPECT_EQ(SegmentColourOf(bar, 24, 1.0), SegmentColour::Red);
}

TEST(SliderValue, ClampsThenRoundsHalfAwayFromZeroToTheStep) {
  EXPECT_DOUBLE_EQ(SnapToStep(1.7, 0, 1, 0.1), 1.0);
  EXPECT_DOUBLE_EQ(SnapToStep(-0.3, 0, 1, 0.1), 0.0);
  EXPECT_DOUBLE_EQ(SnapToStep(0.456, 0, 1, 0.01), 0.46);
  EXPECT_DOUBLE_EQ(SnapToStep(0.454, 0, 1, 0.01), 0.45);
  EXPECT_EQ(SnapToStep(0.25, -1, 1, 0.5), 0.5);  // half away from zero
  EXPECT_EQ(SnapToStep(-0.25, -1, 1, 0.5), -0.5);
  EXPECT_EQ(SnapToStep(0.75, -1, 1, 0.5), 1.0);
  EXPECT_EQ(SnapToStep(-0.24, -1, 1, 0.5), 0.0);
}

TEST(SliderValue, RoundingNeverLeavesTheRange) {
  // 1.0 / 0.6 rounds to 2 steps, 1.2: the next step inward is taken.
  EXPECT_DOUBLE_EQ(SnapToStep(1.0, 0, 1, 0.6), 0.6);
  EXPECT_DOUBLE_EQ(SnapToStep(0.2, 0.2, 1, 0.6), 0.6);
  // No multiple of 0.1 lies in 0.05..0.08: the value stays where it was put.
  EXPECT_DOUBLE_EQ(SnapToStep(0.07, 0.05, 0.08, 0.1), 0.07);
  EXPECT_DOUBLE_EQ(SnapToStep(0.01, 0.05, 0.08, 0.1), 0.05);
  EXPECT_TRUE(std::isnan(SnapToStep(kNaN, 0, 1, 0.1)));
}

TEST(SliderTicks, CountFromTheRange) {
  EXPECT_EQ(TickCountForRange(0, 1, 0.01), 101);
  EXPECT_EQ(TickCountForRange(0, 1, 0.1), 11);
  EXPECT_EQ(TickCountForRange(0, 1, 0.3), 4);
  EXPECT_EQ(TickCountForRange(0, 1e12, 1e-12), std::numeric_limits<int32_t>::max());
}

TEST(SliderTicks, ColumnsSpreadOverTheThumbTravel) {
  // 113 wide, 13 px thumb: travel 100, centres from 6 to 106.
  EXPECT_EQ(TickColumns(113, 13, 5), (std::vector<int32_t>{6, 31, 56, 81, 106}));
  EXPECT_EQ(TickColumns(113, 13, 2), (std::vector<int32_t>{6, 106}));
  EXPECT_EQ(TickColumns(110, 13, 4), (std::vector<int32_t>{6, 38, 70, 103}));  // 97 · i / 3
  // Fewer than two ticks: one at the min position, or none.
  EXPECT_EQ(TickColumns(113, 13, 1), (std::vector<int32_t>{6}));
  EXPECT_TRUE(TickColumns(113, 13, 0).empty());
  EXPECT_TRUE(TickColumns(113, 13, -4).empty());
}

TEST(SliderTicks, DenseTicksGiveTheSameColumnsOnceEach) {
  for (int32_t width : {50, 113, 8}) {  // 8: narrower than the thumb
    for (int32_t count : {38, 200, 5000}) {
      const int64_t travel = width - 13;
      std::set<int32_t> expected;
      for (int64_t i = 0; i < count; ++i) {
        expected.insert(static_cast<int32_t>(travel * i / (count - 1) + 6));
      }
      const std::vector<int32_t> columns = TickColumns(width, 13, count);
      EXPECT_EQ(std::set<int32_t>(columns.begin(), columns.end()), expected)
          << width << " " << count;
      EXPECT_LE(columns.size(), static_cast<size_t>(std::max<int64_t>(count, 0)));
    }
  }
  // A count that would take minutes to draw one by one.
  EXPECT_EQ(TickColumns(113, 13, std::numeric_limits<int32_t>::max()).size(), 101u);
}

TEST(SliderThumb, LeftEdgeAndMouseColumnsAreInverse) {
  EXPECT_EQ(ThumbLeft(113, 13, 0.0, 0, 1), 0);
  EXPECT_EQ(ThumbLeft(113, 13, 0.5, 0, 1), 50);
  EXPECT_EQ(ThumbLeft(113, 13, 1.0, 0, 1), 100);
  EXPECT_EQ(ThumbLeft(113, 13, 0.333, 0, 1), 33);
  EXPECT_EQ(ThumbLeft(113, 13, 0.5, 0.5, 1), 0);

  EXPECT_DOUBLE_EQ(*ValueAtMouseX(56, 113, 13, 0, 1), 0.5);  // (56 − 6) / 100
  EXPECT_DOUBLE_EQ(*ValueAtMouseX(0, 113, 13, 0, 1), -0.06);
  EXPECT_DOUBLE_EQ(*ValueAtMouseX(106, 113, 13, -1, 1), 1.0);
  // The thumb's centre stands where the mouse asked for it, give or take the
  // truncation of 100 · 0.29 = 28.999….
  for (int32_t x = 6; x <= 106; ++x) {
    const double v = *ValueAtMouseX(x, 113, 13, 0, 1);
    const int32_t centre = ThumbLeft(113, 13, SnapToStep(v, 0, 1, 0.01), 0, 1) + 6;
    EXPECT_LE(x - centre, 1) << x;
    EXPECT_GE(x - centre, 0) << x;
  }
  // No travel: the mouse cannot ask for anything.
  EXPECT_FALSE(ValueAtMouseX(5, 13, 13, 0, 1).has_value());
  EXPECT_FALSE(ValueAtMouseX(5, 4, 13, 0, 1).has_value());
}

}  // namespace
}  // namespace sorvex
