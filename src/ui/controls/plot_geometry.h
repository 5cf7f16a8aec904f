#pragma once

// Geometry of the oscillograph panel, without Qt: scales and grid steps,
// data → pixel, the grid, the axis labels, marker columns and labels, the
// marker hit test and the drag position. The panel paints only what these
// functions compute.

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "ui/controls/pixel_math.h"

namespace sorvex {

inline constexpr int kPlotSeriesCount = 4;

// What the owner of a panel sets: margins of the plot area and the smallest
// grid spacing (pixels), and the fixed vertical range (both 0 = automatic).
struct PlotSettings {
  int32_t marginLeft = 48;
  int32_t marginRight = 8;
  int32_t marginTop = 8;
  int32_t marginBottom = 32;
  int32_t minGridSpacingX = 16;
  int32_t minGridSpacingY = 16;
  double fixedBottom = 0;
  double fixedTop = 0;
};

// What Rescale computes from the series and the panel size.
struct PlotScales {
  double gridStepX = 0;  // data units; 0 = no grid
  double gridStepY = 0;
  double xScale = 0;  // pixels per data unit
  double yScale[kPlotSeriesCount] = {};
  double yMin[kPlotSeriesCount] = {};
  double yMax[kPlotSeriesCount] = {};
};

// A panel of width × height pixels with its margins.
struct PlotArea {
  int32_t width = 0;
  int32_t height = 0;
  int32_t marginLeft = 48;
  int32_t marginRight = 8;
  int32_t marginTop = 8;
  int32_t marginBottom = 32;

  static PlotArea Of(const PlotSettings& s, int32_t width, int32_t height) {
    return {width, height, s.marginLeft, s.marginRight, s.marginTop, s.marginBottom};
  }
  int32_t PlotWidth() const { return width - marginLeft - marginRight; }
  int32_t PlotHeight() const { return height - marginBottom - marginTop; }
  int32_t AxisY() const { return height - marginBottom; }
  int32_t RightEdge() const { return width - marginRight; }
  // A panel too small for a plot area draws its background and caption only.
  bool Drawable() const { return PlotWidth() > 0 && PlotHeight() > 0; }
};

using PlotSeriesSpans = std::array<std::span<const double>, kPlotSeriesCount>;

// Smallest of 1, 2, 5 × 10^k (k = −12 .. 10) that is at least `minSpacing`
// pixels apart at `scale` pixels per unit (rounded to whole pixels); 0 when
// none is.
double GridStep(double scale, int32_t minSpacing);

// Scales, ranges and grid steps for the series on `area`. With every series
// empty only the grid steps are cleared; the rest keeps its previous value.
void RescalePlot(const PlotArea& area, const PlotSettings& settings, const PlotSeriesSpans& series,
                 PlotScales& scales);

// Data → pixel, truncating toward zero.
int32_t PixelX(const PlotArea& area, double xScale, double x);
int32_t PixelY(const PlotArea& area, const PlotScales& scales, int series, double v);
// Column of sample i of a curve over maxCount samples.
int32_t CurveX(const PlotArea& area, int64_t i, int64_t maxCount);
// Column of a marker, kept inside the plot area (marginLeft .. width − marginRight).
int32_t MarkerColumn(const PlotArea& area, double xScale, double position);
// Position (data units) a marker dragged to column x takes; x is kept inside
// the plot area, so a drag past an edge reports the edge.
double DragPosition(const PlotArea& area, double xScale, int32_t x);

// "%g " in the C locale: how axis values are written.
std::string FormatAxisValue(double value);

using TextWidthFn = std::function<int32_t(const std::string&)>;

struct TextPlacement {
  int32_t x = 0;  // top left corner
  int32_t y = 0;
  std::string text;
  bool operator==(const TextPlacement&) const = default;
};

struct GridRow {
  double value = 0;
  int32_t y = 0;
};

// A marker as the layout needs it.
struct MarkerInput {
  int32_t orientation = 0;  // only 0 (vertical) is drawn and hit
  double position = 0;
  bool draggable = false;
  bool hasLabel = false;
  int32_t labelWidth = 0;  // pixels, unless a LabelWidthFn is given
};

// Width of marker i's label, asked only for the labels the layout weighs
// (a telegram has over a thousand bit labels, of which a few dozen fit).
using LabelWidthFn = std::function<int32_t(size_t marker)>;

struct MarkerPlacement {
  bool drawn = false;  // orientation 0
  int32_t x = 0;
  int32_t triangle = 0;  // 8 draggable, 2 otherwise
  bool labelDrawn = false;
};

// Everything the panel draws except the curves.
struct PlotPicture {
  bool drawable = false;
  std::vector<int32_t> gridColumns;  // vertical grid lines
  std::vector<int32_t> gridRows;     // horizontal grid lines
  std::vector<TextPlacement> yLabels;
  std::vector<MarkerPlacement> markers;  // one per marker (empty when markers are hidden)
  int32_t nextFreeX = 0;                 // after the marker labels; 0 = no label
  std::vector<TextPlacement> xLabels;
};

// Values and rows of the horizontal grid, a = yMin[0] + k · gridStepY while
// a < yMax[0]; never more than one line per pixel row of the plot.
std::vector<GridRow> GridValuesY(const PlotArea& area, const PlotScales& scales);

std::vector<int32_t> GridColumns(const PlotArea& area, const PlotScales& scales);
std::vector<int32_t> GridRows(const PlotArea& area, const PlotScales& scales);
std::vector<TextPlacement> YLabels(const PlotArea& area, const PlotScales& scales,
                                   const TextWidthFn& textWidth, int32_t textHeight);
std::vector<TextPlacement> XLabels(const PlotArea& area, const PlotScales& scales,
                                   const TextWidthFn& textWidth);
// Columns, triangles and which labels fit; returns the next free x.
int32_t LayoutMarkers(const PlotArea& area, double xScale, std::span<const MarkerInput> markers,
                      std::vector<MarkerPlacement>& out, const LabelWidthFn& labelWidth = {});

PlotPicture ComputePlotPicture(const PlotArea& area, const PlotScales& scales,
                               std::span<const MarkerInput> markers, bool markersVisible,
                               bool anySamples, const TextWidthFn& textWidth, int32_t textHeight,
                               const LabelWidthFn& labelWidth = {});

// Pixels of a marker's triangle (point on the x axis at column x, base
// `size` rows up): one row each, half-width (size / 2) · (axis − row) / size.
std::vector<PixelRect> TriangleRows(int32_t x, int32_t axisY, int32_t size);

// A curve drawn 1 pixel thin as one run of rows per pixel column: the
// polyline through the sample points, where a segment lights in each column
// it crosses the rows between its heights at the column's edges (at least
// the row nearest its height at the column's centre), and every sample
// point lights its own pixel. Samples sharing a column merge into one run,
// so painting costs one rectangle a column whatever the sample count.
struct ColumnRun {
  int32_t x = 0;
  int32_t top = 0;     // first row
  int32_t bottom = 0;  // last row, included
  bool operator==(const ColumnRun&) const = default;
};
void CurveRuns(const PlotArea& area, const PlotScales& scales, int series,
               std::span<const double> samples, int64_t maxCount, std::vector<ColumnRun>& out);

// Index of the first draggable vertical marker whose triangle area holds
// (x, y), or −1.
int HitMarker(const PlotArea& area, double xScale, std::span<const MarkerInput> markers, int32_t x,
              int32_t y);

}  // namespace sorvex
