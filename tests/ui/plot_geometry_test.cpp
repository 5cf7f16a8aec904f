// The oscillograph's geometry as pure functions: grid step search, ranges,
// data → pixel, labels, markers, hit test and drag, with exact values.
#include "ui/controls/plot_geometry.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <set>
#include <vector>

#include "ui/controls/pixel_math.h"

namespace sorvex {
namespace {

// 5 pixels per character: label widths that are easy to follow by hand.
int32_t FiveEach(const std::string& text) {
  return static_cast<int32_t>(text.size()) * 5;
}

PlotArea Area(int32_t width, int32_t height) {
  return PlotArea::Of(PlotSettings{}, width, height);
}

PlotScales Rescaled(const PlotArea& area, const PlotSettings& settings,
                    const std::vector<std::vector<double>>& data) {
  PlotSeriesSpans spans;
  for (size_t s = 0; s < data.size(); ++s) spans[s] = data[s];
  PlotScales scales;
  RescalePlot(area, settings, spans, scales);
  return scales;
}

TEST(GridStep, SmallestOneTwoFiveStepThatIsFarEnoughApart) {
  EXPECT_EQ(GridStep(1.0, 16), 20);    // 10 px is too close, 20 px is not
  EXPECT_EQ(GridStep(0.25, 16), 100);  // 50 → 12.5 px rounds to 13
  EXPECT_EQ(GridStep(7.75, 16), 2);    // 15.5 px rounds up to 16
  EXPECT_EQ(GridStep(1e13, 16), 2e-12);
  EXPECT_EQ(GridStep(236, 16), 0.1);
  // Nothing up to 5e10 is far enough apart, and a scale that is not
  // positive never is.
  EXPECT_EQ(GridStep(1e-12, 16), 0);
  EXPECT_EQ(GridStep(0, 16), 0);
  EXPECT_EQ(GridStep(-3, 16), 0);
  EXPECT_EQ(GridStep(std::numeric_limits<double>::quiet_NaN(), 16), 0);
}

TEST(RescalePlot, AutomaticRangesAlignOnlySeriesZeroToTheGrid) {
  const PlotArea area = Area(1000, 300);  // plot 944 × 260
  ASSERT_EQ(area.PlotWidth(), 944);
  ASSERT_EQ(area.PlotHeight(), 260);
  const PlotScales s = Rescaled(area, {}, {{-2.6, 1, 7.4, 2}, {0.25, 0.75}, {}, {5, 5, 5}});

  EXPECT_DOUBLE_EQ(s.xScale, 236.0);  // 944 / 4 samples
  EXPECT_EQ(s.gridStepX, 0.1);
  // Series 0: −2.6..7.4 is 10 high, 26 px per unit: step 1, widened to −3..8.
  EXPECT_EQ(s.gridStepY, 1.0);
  EXPECT_EQ(s.yMin[0], -3.0);
  EXPECT_EQ(s.yMax[0], 8.0);
  EXPECT_DOUBLE_EQ(s.yScale[0], 260.0 / 11.0);
  // The others keep their own extremes.
  EXPECT_EQ(s.yMin[1], 0.25);
  EXPECT_EQ(s.yMax[1], 0.75);
  EXPECT_DOUBLE_EQ(s.yScale[1], 520.0);
  // An empty series gets 0..1; a constant one a range of height 1 above it.
  EXPECT_EQ(s.yMin[2], 0.0);
  EXPECT_EQ(s.yMax[2], 1.0);
  EXPECT_EQ(s.yMin[3], 5.0);
  EXPECT_EQ(s.yMax[3], 6.0);
}

TEST(RescalePlot, ConstantSeriesZeroGetsARangeOfHeightOneAboveItsValue) {
  const PlotScales s = Rescaled(Area(1000, 300), {}, {{5, 5, 5}});
  EXPECT_DOUBLE_EQ(s.yMin[0], 5.0);
  EXPECT_DOUBLE_EQ(s.yMax[0], 6.0);
  EXPECT_DOUBLE_EQ(s.gridStepY, 0.1);
}

TEST(RescalePlot, FixedRangeIgnoresTheSamplesAndZeroZeroIsAutomatic) {
  const PlotArea area = Area(1000, 300);
  PlotSettings fixed;
  fixed.fixedTop = 1;
  fixed.fixedBottom = -1;
  const std::vector<std::vector<double>> data = {{-0.1, 0.1}, {-0.1, 0.3}};
  PlotScales s = Rescaled(area, fixed, data);
  for (int k = 0; k < 2; ++k) {
    EXPECT_DOUBLE_EQ(s.yMin[k], -1.0) << k;
    EXPECT_DOUBLE_EQ(s.yMax[k], 1.0) << k;
  }
  EXPECT_DOUBLE_EQ(s.gridStepY, 0.2);  // 130 px per unit

  s = Rescaled(area, PlotSettings{}, data);
  EXPECT_EQ(s.yMin[1], -0.1);
  EXPECT_EQ(s.yMax[1], 0.3);
}

TEST(RescalePlot, FixedRangeUpsideDownOrFlatStillHasAHeight) {
  const PlotArea area = Area(1000, 300);
  PlotSettings settings;
  settings.fixedTop = -1;
  settings.fixedBottom = 1;
  PlotScales s = Rescaled(area, settings, {{0.0}, {0.0}});
  EXPECT_EQ(s.yMin[1], -1.0);
  EXPECT_EQ(s.yMax[1], 1.0);

  settings.fixedTop = settings.fixedBottom = 0.5;
  s = Rescaled(area, settings, {{0.0}, {0.0}});
  EXPECT_EQ(s.yMin[1], 0.5);
  EXPECT_EQ(s.yMax[1], 1.5);
  EXPECT_TRUE(std::isfinite(s.yScale[0]));
  EXPECT_TRUE(std::isfinite(s.yScale[1]));
}

TEST(RescalePlot, AutomaticRangeStopsAtPlusMinusOneE11) {
  const PlotScales s = Rescaled(Area(1000, 300), {}, {{0.0}, {-1e300, 1e300}});
  EXPECT_EQ(s.yMin[1], -1e11);
  EXPECT_EQ(s.yMax[1], 1e11);
}

TEST(RescalePlot, AllSeriesEmptyOnlyClearsTheGridSteps) {
  const PlotArea area = Area(1000, 300);
  PlotScales s = Rescaled(area, {}, {{-2.6, 1, 7.4, 2}});
  const PlotScales before = s;
  RescalePlot(area, {}, PlotSeriesSpans{}, s);
  EXPECT_EQ(s.gridStepX, 0);
  EXPECT_EQ(s.gridStepY, 0);
  EXPECT_EQ(s.xScale, before.xScale);
  EXPECT_EQ(s.yMin[0], before.yMin[0]);
  EXPECT_EQ(s.yMax[0], before.yMax[0]);
  EXPECT_EQ(s.yScale[0], before.yScale[0]);
}

TEST(PlotPixels, ConversionsTruncateTowardZero) {
  const PlotArea area = Area(1000, 300);
  EXPECT_EQ(PixelX(area, 2.5, 3), 55);  // 48 + 7.5
  PlotScales s;
  s.yMin[0] = 0;
  s.yScale[0] = 1;
  const PlotArea small = Area(1000, 100);
  EXPECT_EQ(PixelY(small, s, 0, 0), 68);  // on the x axis
  EXPECT_EQ(PixelY(small, s, 0, 0.5), 67);
  EXPECT_EQ(PixelY(small, s, 0, 70.5), -2);  // −2.5 truncates to −2, not −3
  // Curve columns: i · plotWidth / maxCount + marginLeft.
  EXPECT_EQ(CurveX(area, 0, 3), 48);
  EXPECT_EQ(CurveX(area, 1, 3), 362);  // 314.67 + 48
  EXPECT_EQ(CurveX(area, 2, 3), 677);  // 629.33 + 48
  EXPECT_EQ(CurveX(area, 3, 3), 992);
  // Far outside a fixed range or not finite: held at the pixel limit.
  EXPECT_EQ(PixelY(small, s, 0, -1e300), 1000000);
  EXPECT_EQ(PixelY(small, s, 0, 1e300), -1000000);
  EXPECT_EQ(TruncPixel(std::numeric_limits<double>::quiet_NaN()), 1000000);
  EXPECT_EQ(TruncPixel(-std::numeric_limits<double>::infinity()), -1000000);
}

TEST(PlotPixels, MarkersAndDragsStayInsideThePlotArea) {
  const PlotArea area = Area(400, 300);  // plot columns 48..392
  EXPECT_EQ(MarkerColumn(area, 3.5, 50), 223);
  EXPECT_EQ(MarkerColumn(area, 3.5, -5), 48);
  EXPECT_EQ(MarkerColumn(area, 3.5, 1e9), 392);
  EXPECT_EQ(MarkerColumn(area, 3.5, std::numeric_limits<double>::quiet_NaN()), 392);
  EXPECT_EQ(DragPosition(area, 3.5, 300), 72.0);
  EXPECT_EQ(DragPosition(area, 3.5, -50), 0.0);                // pinned left
  EXPECT_DOUBLE_EQ(DragPosition(area, 3.5, 5000), 344 / 3.5);  // pinned right
  EXPECT_EQ(DragPosition(area, 0, 300), 0.0);                  // no scale: no division
}

TEST(FormatAxisValue, IsPercentGWithATrailingBlankInAnyLocale) {
  std::setlocale(LC_NUMERIC, "C");  // for the snprintf reference
  const double values[] = {0, -0.5, 0.1 + 0.2, 1e-5, 123456, 1234567, 2.5e-12, -1e11, 64000};
  for (double v : values) {
    char expected[64];
    std::snprintf(expected, sizeof expected, "%g ", v);
    EXPECT_EQ(FormatAxisValue(v), expected) << v;
  }
  EXPECT_EQ(FormatAxisValue(0.30000000000000004), "0.3 ");
  // A decimal-comma locale must not change the labels.
  if (std::setlocale(LC_NUMERIC, "ru_RU.UTF-8") != nullptr) {
    EXPECT_EQ(FormatAxisValue(0.5), "0.5 ");
    std::setlocale(LC_NUMERIC, "C");
  }
}

TEST(PlotGrid, VerticalLinesStopPastTheRightEdgeAndRowsAboveTheTop) {
  const PlotArea area = Area(200, 300);  // right edge 192
  PlotScales s;
  s.xScale = 10;
  s.gridStepX = 4;  // 40 px
  EXPECT_EQ(GridColumns(area, s), (std::vector<int32_t>{48, 88, 128, 168}));
  s.gridStepX = 0;
  EXPECT_TRUE(GridColumns(area, s).empty());

  s.yMin[0] = 0;
  s.yMax[0] = 10;
  s.yScale[0] = 50;  // more than fits: the rows run past the top
  s.gridStepY = 1;
  EXPECT_EQ(GridRows(area, s), (std::vector<int32_t>{268, 218, 168, 118, 68, 18}));
}

TEST(PlotGrid, HugeRangesWithTheFallbackStepStillEnd) {
  const PlotArea area = Area(400, 300);
  PlotSettings settings;
  settings.fixedTop = 1e300;
  settings.fixedBottom = -1e300;
  const PlotScales s = Rescaled(area, settings, {{0.0, 1.0}});
  EXPECT_EQ(s.gridStepY, 1.0);  // no 1-2-5 step is 16 px apart
  // The loop is bounded by the pixel rows, not by the 1e300 / 1 values.
  EXPECT_LE(GridValuesY(area, s).size(), static_cast<size_t>(area.PlotHeight() + 2));
  EXPECT_LE(YLabels(area, s, FiveEach, 10).size(), static_cast<size_t>(area.PlotHeight() + 2));
}

TEST(PlotLabels, YLabelsStandOnTheirGridLinesRightAlignedAgainstTheAxis) {
  const PlotArea area = Area(1000, 300);
  PlotScales s;
  s.yMin[0] = -1;
  s.yMax[0] = 1;
  s.yScale[0] = 130;
  s.gridStepY = 0.5;
  EXPECT_EQ(YLabels(area, s, FiveEach, 10), (std::vector<TextPlacement>{{48 - 15, 258, "-1 "},
                                                                        {48 - 25, 193, "-0.5 "},
                                                                        {48 - 10, 128, "0 "},
                                                                        {48 - 20, 63, "0.5 "}}));
  // A label that would reach into the top margin is left out.
  EXPECT_EQ(YLabels(area, s, FiveEach, 66).size(), 3u);

  // −0.3 + 3 · 0.1 is 5.55e-17, written as 0.
  s.yMin[0] = -0.3;
  s.yMax[0] = 0.05;
  s.gridStepY = 0.1;
  const auto labels = YLabels(area, s, FiveEach, 10);
  ASSERT_EQ(labels.size(), 4u);
  EXPECT_EQ(labels[3].text, "0 ");
}

TEST(PlotLabels, XLabelsSkipOverlapsAndStopAtTheRightEdge) {
  const PlotArea area = Area(200, 300);  // right edge 192, labels at y 270
  PlotScales s;
  s.xScale = 10;
  s.gridStepX = 1;  // 10 px apart
  std::vector<int32_t> xs;
  for (const auto& label : XLabels(area, s, FiveEach)) {
    EXPECT_EQ(label.y, 270);
    xs.push_back(label.x);
  }
  // "0 ".."9 " are 10 px wide and fit end to end; "10 " is 15 px, so 11 and
  // 13 would start inside their neighbour; 14 would end past 192.
  EXPECT_EQ(xs, (std::vector<int32_t>{48, 58, 68, 78, 88, 98, 108, 118, 128, 138, 148, 168}));
  s.gridStepX = 0;
  EXPECT_TRUE(XLabels(area, s, FiveEach).empty());
}

TEST(PlotMarkers, LabelsCloserThanTheirWidthPlusEightAreSkipped) {
  const PlotArea area = Area(400, 300);  // right edge 392
  const std::vector<MarkerInput> markers = {
      {0, 0, false, true, 10},   // x 48: label, next free 66
      {0, 10, false, true, 10},  // x 58 < 66: no label
      {1, 20, false, true, 10},  // not vertical: not drawn, no effect
      {0, 18, false, true, 10},  // x 66, just free: label, next free 84
      {0, 40, false, false, 0},  // x 88, no label
      {0, 40, false, true, 10},  // x 88 ≥ 84: label, next free 106
      {0, 332, true, true, 10},  // x 380: next free 398 does not fit
  };
  std::vector<MarkerPlacement> out;
  EXPECT_EQ(LayoutMarkers(area, 1.0, markers, out), 398);
  ASSERT_EQ(out.size(), markers.size());
  const bool labelled[] = {true, false, false, true, false, true, false};
  for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i].labelDrawn, labelled[i]) << i;
  EXPECT_TRUE(out[1].drawn);
  EXPECT_FALSE(out[2].drawn);
  EXPECT_EQ(out[0].triangle, 2);
  EXPECT_EQ(out[6].triangle, 8);
  EXPECT_EQ(out[6].x, 380);
  // Widths asked lazily: only for the labels weighed (not marker 1's).
  std::vector<size_t> asked;
  LayoutMarkers(area, 1.0, markers, out, [&asked](size_t i) {
    asked.push_back(i);
    return 10;
  });
  EXPECT_EQ(asked, (std::vector<size_t>{0, 3, 5, 6}));
}

TEST(PlotPicture, BitNumbersReplaceSampleNumbersOnlyWhileMarkersShowLabels) {
  const PlotArea area = Area(400, 300);
  const PlotScales s = Rescaled(area, {}, {std::vector<double>(344, 0.0)});  // 1 px per sample
  const std::vector<MarkerInput> labelled = {{0, 10, false, true, 5}, {0, 20, false, true, 5}};
  const std::vector<MarkerInput> plain = {{0, 10, false, false, 0}};
  const std::vector<MarkerInput> unfitting = {{0, 340, false, true, 50}};

  EXPECT_TRUE(ComputePlotPicture(area, s, labelled, true, true, FiveEach, 10).xLabels.empty());
  // Hidden markers: the sample numbers come back.
  const PlotPicture hidden = ComputePlotPicture(area, s, labelled, false, true, FiveEach, 10);
  EXPECT_FALSE(hidden.xLabels.empty());
  EXPECT_TRUE(hidden.markers.empty());
  EXPECT_FALSE(ComputePlotPicture(area, s, plain, true, true, FiveEach, 10).xLabels.empty());
  // A label that did not fit still counts.
  EXPECT_TRUE(ComputePlotPicture(area, s, unfitting, true, true, FiveEach, 10).xLabels.empty());
  // No samples: no x labels.
  EXPECT_TRUE(ComputePlotPicture(area, s, plain, true, false, FiveEach, 10).xLabels.empty());
}

TEST(PlotPicture, EmptySeriesDrawNoGridAndNoNumbersButMarkers) {
  const PlotArea area = Area(400, 300);
  PlotScales s = Rescaled(area, {}, {{1, 2, 3}});
  RescalePlot(area, {}, PlotSeriesSpans{}, s);  // all series emptied
  const std::vector<MarkerInput> markers = {{0, 1, false, true, 5}};
  const PlotPicture picture = ComputePlotPicture(area, s, markers, true, false, FiveEach, 10);
  EXPECT_TRUE(picture.drawable);
  EXPECT_TRUE(picture.gridColumns.empty());
  EXPECT_TRUE(picture.gridRows.empty());
  EXPECT_TRUE(picture.yLabels.empty());
  EXPECT_TRUE(picture.xLabels.empty());
  ASSERT_EQ(picture.markers.size(), 1u);
  EXPECT_TRUE(picture.markers[0].drawn);
}

TEST(PlotPicture, APanelNarrowerOrLowerThanItsMarginsDrawsNoPlot) {
  for (const PlotArea area : {Area(56, 300), Area(10, 300), Area(400, 40), Area(0, 0)}) {
    PlotScales s = Rescaled(area, {}, {{1, 2, 3}});
    if (area.PlotWidth() <= 0) {
      EXPECT_EQ(s.gridStepX, 0);
    }
    const std::vector<MarkerInput> markers = {{0, 1, true, true, 5}};
    const PlotPicture picture = ComputePlotPicture(area, s, markers, true, true, FiveEach, 10);
    EXPECT_FALSE(picture.drawable);
    EXPECT_TRUE(picture.markers.empty());
    EXPECT_TRUE(picture.gridRows.empty());
    EXPECT_EQ(HitMarker(area, s.xScale, markers, area.marginLeft, area.AxisY()), -1);
  }
  EXPECT_TRUE(Area(57, 41).Drawable());  // one pixel each way
}

TEST(PlotMarkers, TrianglesStandOnTheAxisWithTheirBaseUp) {
  EXPECT_EQ(TriangleRows(100, 268, 2), (std::vector<PixelRect>{{99, 266, 3, 1},  // base
                                                               {100, 267, 1, 1},
                                                               {100, 268, 1, 1}}));  // point
  const std::vector<PixelRect> big = TriangleRows(100, 268, 8);
  ASSERT_EQ(big.size(), 9u);
  const int32_t halfWidths[] = {4, 3, 3, 2, 2, 1, 1, 0, 0};  // 4 · up / 8, up = 8 .. 0
  for (size_t k = 0; k < big.size(); ++k) {
    EXPECT_EQ(big[k], (PixelRect{100 - halfWidths[k], 260 + static_cast<int32_t>(k),
                                 2 * halfWidths[k] + 1, 1}))
        << k;
  }
  EXPECT_TRUE(TriangleRows(100, 268, 0).empty());
}

TEST(PlotMarkers, HitTestFindsTheFirstDraggableVerticalMarkerOnItsTriangle) {
  const PlotArea area = Area(400, 300);  // x axis at 268
  const std::vector<MarkerInput> markers = {
      {0, 100, false, false, 0},  // x 148, not draggable
      {0, 100, true, false, 0},   // x 148
      {1, 200, true, false, 0},   // x 248, not vertical
      {0, -50, true, false, 0},   // drawn (and grabbed) at the left edge, 48
      {0, 101, true, false, 0},   // x 149: behind marker 1 where they overlap
  };
  EXPECT_EQ(HitMarker(area, 1.0, markers, 148, 268), 1);
  EXPECT_EQ(HitMarker(area, 1.0, markers, 146, 260), 1);  // x − 2, axis − 8
  EXPECT_EQ(HitMarker(area, 1.0, markers, 151, 264), 4);  // only marker 4 reaches 151
  EXPECT_EQ(HitMarker(area, 1.0, markers, 152, 264), -1);
  EXPECT_EQ(HitMarker(area, 1.0, markers, 148, 259), -1);  // above the triangle
  EXPECT_EQ(HitMarker(area, 1.0, markers, 148, 269), -1);  // below the axis
  EXPECT_EQ(HitMarker(area, 1.0, markers, 248, 264), -1);
  EXPECT_EQ(HitMarker(area, 1.0, markers, 49, 264), 3);
}

// Runs of a curve through points given directly in pixels: a panel whose
// plot starts at column 0 and whose sample i sits at column i · step, with
// the identity as vertical scale (row = 100 − value).
std::vector<ColumnRun> RunsThrough(const std::vector<double>& rows, int32_t step) {
  PlotArea area{0, 100, 0, 0, 0, 0};
  const int64_t n = static_cast<int64_t>(rows.size());
  area.width = static_cast<int32_t>(n * step);
  PlotScales s;
  s.yMin[0] = 0;
  s.yScale[0] = 1;
  std::vector<double> values;
  for (double r : rows) values.push_back(100 - r);
  std::vector<ColumnRun> runs;
  CurveRuns(area, s, 0, values, n, runs);
  return runs;
}

TEST(CurveRuns, SteepAndShallowSegmentsLikeAThinLine) {
  // Steep, 8 rows over 4 columns: each column takes the rows between the
  // segment's heights at its edges, neighbours share the row at the edge.
  EXPECT_EQ(RunsThrough({100, 108}, 4),
            (std::vector<ColumnRun>{
                {0, 100, 101}, {1, 101, 103}, {2, 103, 105}, {3, 105, 107}, {4, 107, 108}}));
  // Shallow, 1 row over 4 columns: one row a column, stepping at the middle.
  EXPECT_EQ(RunsThrough({0, 1}, 4),
            (std::vector<ColumnRun>{{0, 0, 0}, {1, 0, 0}, {2, 1, 1}, {3, 1, 1}, {4, 1, 1}}));
  // Going up the screen is the mirror image.
  EXPECT_EQ(RunsThrough({108, 100}, 4),
            (std::vector<ColumnRun>{
                {0, 107, 108}, {1, 105, 107}, {2, 103, 105}, {3, 101, 103}, {4, 100, 101}}));
  // Flat: one row; a single sample: one pixel.
  EXPECT_EQ(RunsThrough({20, 20, 20}, 2).size(), 5u);
  EXPECT_EQ(RunsThrough({20}, 1), (std::vector<ColumnRun>{{0, 20, 20}}));
}

TEST(CurveRuns, SamplesSharingAColumnMergeIntoOneRun) {
  PlotArea area{10, 100, 0, 0, 0, 0};  // 10 columns
  PlotScales s;
  s.yMin[0] = 0;
  s.yScale[0] = 1;
  // 5 samples a column; column 0 holds rows 90, 60, 95, 70, 80.
  std::vector<double> values = {10, 40, 5, 30, 20};
  for (int i = 5; i < 50; ++i) values.push_back(50);
  std::vector<ColumnRun> runs;
  CurveRuns(area, s, 0, values, 50, runs);
  ASSERT_EQ(runs.size(), 10u);
  // Column 0 runs from the highest sample (60) to the lowest (95) and on to
  // the middle of the jump to row 50 in column 1 (65 ≥ 60: nothing more).
  EXPECT_EQ(runs[0], (ColumnRun{0, 60, 95}));
  EXPECT_EQ(runs[1], (ColumnRun{1, 50, 65}));
  for (int c = 2; c < 10; ++c) EXPECT_EQ(runs[static_cast<size_t>(c)], (ColumnRun{c, 50, 50}));
}

TEST(CurveRuns, EveryPointIsLitAndNeighbourColumnsTouch) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  const PlotArea area = Area(1200, 300);
  for (int n : {7, 300, 1144, 5000, 64000}) {
    std::vector<double> v(static_cast<size_t>(n));
    for (auto& x : v) x = uniform(rng) * uniform(rng);
    PlotSeriesSpans spans;
    spans[0] = v;
    PlotScales s;
    RescalePlot(area, {}, spans, s);
    std::vector<ColumnRun> runs;
    CurveRuns(area, s, 0, v, n, runs);
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs.front().x, area.marginLeft);
    EXPECT_LE(runs.size(), static_cast<size_t>(area.PlotWidth() + 1));
    for (size_t k = 1; k < runs.size(); ++k) {
      ASSERT_EQ(runs[k].x, runs[k - 1].x + 1) << n;  // no column skipped
      EXPECT_LE(runs[k].top, runs[k - 1].bottom + 1) << n << " " << k;
      EXPECT_GE(runs[k].bottom, runs[k - 1].top - 1) << n << " " << k;
    }
    for (int i = 0; i < n; ++i) {
      const int32_t x = CurveX(area, i, n);
      const int32_t y = PixelY(area, s, 0, v[static_cast<size_t>(i)]);
      const ColumnRun& r = runs[static_cast<size_t>(x - area.marginLeft)];
      ASSERT_TRUE(r.top <= y && y <= r.bottom) << n << " sample " << i;
    }
  }
}

TEST(PixelMath, HalfOpenLinesLeaveOutTheirEndPixel) {
  EXPECT_EQ(HalfOpenLine(5, 10, 5, 3), (PixelRect{5, 4, 1, 7}));  // up: rows 10..4
  EXPECT_EQ(HalfOpenLine(5, 3, 5, 10), (PixelRect{5, 3, 1, 7}));  // down: rows 3..9
  EXPECT_EQ(HalfOpenLine(9, 2, 0, 2), (PixelRect{1, 2, 9, 1}));   // leftwards: 9..1
  EXPECT_TRUE(HalfOpenLine(4, 4, 4, 4).Empty());
  EXPECT_TRUE(HalfOpenLine(0, 0, 3, 3).Empty());
  std::vector<int> rows;
  ForEachDot(7, 10, 7, 3, [&](int32_t x, int32_t y) {
    EXPECT_EQ(x, 7);
    rows.push_back(y);
  });
  EXPECT_EQ(rows, (std::vector<int>{10, 8, 6, 4}));
}

}  // namespace
}  // namespace sorvex
