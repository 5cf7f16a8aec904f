#include "ui/controls/plot_geometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <utility>

#include "ui/controls/pixel_math.h"

namespace sorvex {

namespace {

constexpr double kDecades[] = {1e-12, 1e-11, 1e-10, 1e-9, 1e-8, 1e-7, 1e-6, 1e-5,
                               1e-4,  1e-3,  1e-2,  1e-1, 1e0,  1e1,  1e2,  1e3,
                               1e4,   1e5,   1e6,   1e7,  1e8,  1e9,  1e10};

// Automatic ranges stay inside ±kRangeLimit; a range flatter than
// kFlatRange is raised by 1 so that it has a height.
constexpr double kRangeLimit = 1e11;
constexpr double kFlatRange = 0.00005;

// Grid lines closer than a pixel cannot be told apart: loops over grid
// values stop after this many, which also ends them when a step is too
// small to move a huge value.
int64_t LineBudget(int32_t pixels) {
  return static_cast<int64_t>(std::max(pixels, 0)) + 2;
}

}  // namespace

double GridStep(double scale, int32_t minSpacing) {
  for (double decade : kDecades) {
    for (double n : {1.0, 2.0, 5.0}) {
      const double candidate = decade * n;
      if (std::trunc(scale * candidate + 0.5) >= minSpacing) return candidate;
    }
  }
  return 0;
}

void RescalePlot(const PlotArea& area, const PlotSettings& settings, const PlotSeriesSpans& series,
                 PlotScales& scales) {
  scales.gridStepX = 0;
  scales.gridStepY = 0;
  size_t maxCount = 0;
  for (const auto& s : series) maxCount = std::max(maxCount, s.size());
  if (maxCount == 0) return;

  scales.xScale = area.PlotWidth() / static_cast<double>(maxCount);
  scales.gridStepX = GridStep(scales.xScale, settings.minGridSpacingX);

  const bool fixed = settings.fixedBottom != 0 || settings.fixedTop != 0;
  for (int s = 0; s < kPlotSeriesCount; ++s) {
    double lo = 0, hi = 1;
    if (fixed) {
      lo = settings.fixedBottom;
      hi = settings.fixedTop;
      // A range given upside down is still that range, and a fixed range
      // needs a height as much as an automatic one: no division by zero.
      if (hi < lo) std::swap(lo, hi);
      if (hi - lo < kFlatRange) hi += 1;
    } else if (!series[s].empty()) {
      lo = kRangeLimit;
      hi = -kRangeLimit;
      for (double v : series[s]) {
        if (v < lo) lo = v;
        if (v > hi) hi = v;
      }
      hi = std::min(hi, kRangeLimit);
      lo = std::max(lo, -kRangeLimit);
      if (hi - lo < kFlatRange) hi += 1;
    }
    scales.yMin[s] = lo;
    scales.yMax[s] = hi;
    scales.yScale[s] = area.PlotHeight() / (hi - lo);
  }

  scales.gridStepY = GridStep(scales.yScale[0], settings.minGridSpacingY);
  if (scales.gridStepY < 1e-16) scales.gridStepY = 1.0;

  // Only series 0 is aligned to whole grid steps: the grid and the y labels
  // use its range.
  scales.yMin[0] = std::floor(scales.yMin[0] / scales.gridStepY) * scales.gridStepY;
  scales.yMax[0] = std::ceil(scales.yMax[0] / scales.gridStepY) * scales.gridStepY;
  scales.yScale[0] = area.PlotHeight() / (scales.yMax[0] - scales.yMin[0]);
}

int32_t PixelX(const PlotArea& area, double xScale, double x) {
  return TruncPixel(area.marginLeft + x * xScale);
}

int32_t PixelY(const PlotArea& area, const PlotScales& scales, int series, double v) {
  return TruncPixel(area.height -
                    ((v - scales.yMin[series]) * scales.yScale[series] + area.marginBottom));
}

int32_t CurveX(const PlotArea& area, int64_t i, int64_t maxCount) {
  if (maxCount <= 0) return area.marginLeft;
  return TruncPixel(static_cast<double>(i) * area.PlotWidth() / static_cast<double>(maxCount) +
                    area.marginLeft);
}

int32_t MarkerColumn(const PlotArea& area, double xScale, double position) {
  // Lower limit first, so a panel narrower than its margins still gives a
  // defined column (it draws no markers).
  return std::min(std::max(TruncPixel(xScale * position + area.marginLeft), area.marginLeft),
                  area.RightEdge());
}

double DragPosition(const PlotArea& area, double xScale, int32_t x) {
  if (!(xScale > 0)) return 0;
  x = std::min(std::max(x, area.marginLeft), area.RightEdge());
  return (x - area.marginLeft) / xScale;
}

std::string FormatAxisValue(double value) {
  char buffer[64];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
  std::string text(buffer, result.ptr);
  text += ' ';
  return text;
}

std::vector<GridRow> GridValuesY(const PlotArea& area, const PlotScales& scales) {
  std::vector<GridRow> rows;
  const double step = scales.gridStepY;
  if (step == 0) return rows;
  const int64_t budget = LineBudget(area.PlotHeight());
  for (int64_t k = 0; k < budget; ++k) {
    const double a = scales.yMin[0] + static_cast<double>(k) * step;
    if (!(a < scales.yMax[0])) break;
    rows.push_back({a, PixelY(area, scales, 0, a)});
  }
  return rows;
}

std::vector<int32_t> GridColumns(const PlotArea& area, const PlotScales& scales) {
  std::vector<int32_t> columns;
  const double step = scales.gridStepX;
  if (step == 0) return columns;
  const int64_t budget = LineBudget(area.PlotWidth());
  for (int64_t k = 0; k < budget; ++k) {
    const int32_t x = PixelX(area, scales.xScale, static_cast<double>(k) * step);
    if (x > area.RightEdge()) break;
    columns.push_back(x);
  }
  return columns;
}

std::vector<int32_t> GridRows(const PlotArea& area, const PlotScales& scales) {
  std::vector<int32_t> rows;
  for (const GridRow& row : GridValuesY(area, scales)) {
    if (row.y < area.marginTop) break;
    rows.push_back(row.y);
  }
  return rows;
}

std::vector<TextPlacement> YLabels(const PlotArea& area, const PlotScales& scales,
                                   const TextWidthFn& textWidth, int32_t textHeight) {
  std::vector<TextPlacement> labels;
  for (const GridRow& row : GridValuesY(area, scales)) {
    const double value = std::fabs(row.value) < 1e-10 ? 0.0 : row.value;
    if (row.y - textHeight <= area.marginTop) continue;
    std::string text = FormatAxisValue(value);
    const int32_t width = textWidth(text);
    labels.push_back({area.marginLeft - width, row.y - textHeight, std::move(text)});
  }
  return labels;
}

std::vector<TextPlacement> XLabels(const PlotArea& area, const PlotScales& scales,
                                   const TextWidthFn& textWidth) {
  std::vector<TextPlacement> labels;
  const double step = scales.gridStepX;
  if (step == 0) return labels;
  int32_t lastEnd = 0;
  const int64_t budget = LineBudget(area.PlotWidth());
  for (int64_t k = 0; k < budget; ++k) {
    const double a = static_cast<double>(k) * step;
    const int32_t x = PixelX(area, scales.xScale, a);
    if (x < lastEnd) continue;  // would start inside the previous label
    std::string text = FormatAxisValue(a);
    lastEnd = x + textWidth(text);
    if (lastEnd >= area.RightEdge()) break;
    labels.push_back({x, area.AxisY() + 2, std::move(text)});
  }
  return labels;
}

int32_t LayoutMarkers(const PlotArea& area, double xScale, std::span<const MarkerInput> markers,
                      std::vector<MarkerPlacement>& out, const LabelWidthFn& labelWidth) {
  out.clear();
  out.reserve(markers.size());
  int32_t nextFree = 0;
  for (size_t i = 0; i < markers.size(); ++i) {
    const MarkerInput& m = markers[i];
    MarkerPlacement p;
    if (m.orientation == 0) {
      p.drawn = true;
      p.x = MarkerColumn(area, xScale, m.position);
      p.triangle = m.draggable ? 8 : 2;
      if (m.hasLabel && p.x >= nextFree) {
        nextFree = p.x + (labelWidth ? labelWidth(i) : m.labelWidth) + 8;
        p.labelDrawn = nextFree < area.RightEdge();
      }
    }
    out.push_back(p);
  }
  return nextFree;
}

PlotPicture ComputePlotPicture(const PlotArea& area, const PlotScales& scales,
                               std::span<const MarkerInput> markers, bool markersVisible,
                               bool anySamples, const TextWidthFn& textWidth, int32_t textHeight,
                               const LabelWidthFn& labelWidth) {
  PlotPicture picture;
  picture.drawable = area.Drawable();
  if (!picture.drawable) return picture;
  picture.gridColumns = GridColumns(area, scales);
  picture.gridRows = GridRows(area, scales);
  picture.yLabels = YLabels(area, scales, textWidth, textHeight);
  if (markersVisible) {
    picture.nextFreeX = LayoutMarkers(area, scales.xScale, markers, picture.markers, labelWidth);
  }
  // Bit numbers replace the sample numbers: x labels only while no visible
  // marker has a label.
  if (picture.nextFreeX == 0 && anySamples) picture.xLabels = XLabels(area, scales, textWidth);
  return picture;
}

std::vector<PixelRect> TriangleRows(int32_t x, int32_t axisY, int32_t size) {
  std::vector<PixelRect> rows;
  if (size <= 0) return rows;
  const int32_t half = size / 2;
  for (int32_t up = size; up >= 0; --up) {
    const int32_t w = half * up / size;
    rows.push_back({x - w, axisY - up, 2 * w + 1, 1});
  }
  return rows;
}

namespace {

// Collects the rows lit in each column, columns left to right.
class RunBuilder {
 public:
  explicit RunBuilder(std::vector<ColumnRun>& out) : FOut(out) { FOut.clear(); }
  void Add(int32_t x, int32_t top, int32_t bottom) {
    if (!FOut.empty() && FOut.back().x == x) {
      FOut.back().top = std::min(FOut.back().top, top);
      FOut.back().bottom = std::max(FOut.back().bottom, bottom);
    } else {
      FOut.push_back({x, top, bottom});
    }
  }

 private:
  std::vector<ColumnRun>& FOut;
};

// Row nearest to y (halves go down the screen, to the larger row).
int32_t NearestRow(double y) {
  return static_cast<int32_t>(std::floor(y + 0.5));
}

void AddSegment(RunBuilder& runs, int32_t xa, int32_t ya, int32_t xb, int32_t yb) {
  if (xb <= xa) {  // within one column (columns never go back)
    runs.Add(xb, std::min(ya, yb), std::max(ya, yb));
    return;
  }
  const double slope = static_cast<double>(yb - ya) / (xb - xa);
  auto yAt = [&](double x) { return ya + slope * (x - xa); };
  for (int32_t c = xa; c <= xb; ++c) {
    const double y0 = yAt(std::max(c - 0.5, static_cast<double>(xa)));
    const double y1 = yAt(std::min(c + 0.5, static_cast<double>(xb)));
    const int32_t centre = NearestRow(yAt(c));
    int32_t top = static_cast<int32_t>(std::ceil(std::min(y0, y1)));
    int32_t bottom = static_cast<int32_t>(std::floor(std::max(y0, y1)));
    if (top > bottom) top = bottom = centre;
    runs.Add(c, std::min(top, centre), std::max(bottom, centre));
  }
}

}  // namespace

void CurveRuns(const PlotArea& area, const PlotScales& scales, int series,
               std::span<const double> samples, int64_t maxCount, std::vector<ColumnRun>& out) {
  RunBuilder runs(out);
  if (samples.empty()) return;
  int32_t px = CurveX(area, 0, maxCount);
  int32_t py = PixelY(area, scales, series, samples[0]);
  runs.Add(px, py, py);
  const int64_t n = static_cast<int64_t>(samples.size());
  for (int64_t i = 1; i < n; ++i) {
    const int32_t x = CurveX(area, i, maxCount);
    const int32_t y = PixelY(area, scales, series, samples[static_cast<size_t>(i)]);
    AddSegment(runs, px, py, x, y);
    px = x;
    py = y;
  }
}

int HitMarker(const PlotArea& area, double xScale, std::span<const MarkerInput> markers, int32_t x,
              int32_t y) {
  if (!area.Drawable()) return -1;
  const int32_t axis = area.AxisY();
  if (y < axis - 8 || y > axis) return -1;
  for (size_t i = 0; i < markers.size(); ++i) {
    const MarkerInput& m = markers[i];
    if (m.orientation != 0 || !m.draggable) continue;
    // The column the marker is drawn at, so a marker pinned to an edge is
    // grabbed where it is seen.
    const int32_t column = MarkerColumn(area, xScale, m.position);
    if (x >= column - 2 && x <= column + 2) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace sorvex
