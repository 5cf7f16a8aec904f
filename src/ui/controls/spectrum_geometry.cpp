#include "ui/controls/spectrum_geometry.h"

#include <algorithm>
#include <cmath>

#include "ui/controls/pixel_math.h"

namespace sorvex {

int32_t SpectrumColumn(const SpectrumArea& area, double hz) {
  const double x =
      area.marginLeft + std::clamp(hz, 0.0, kSpectrumMaxHz) * area.PlotWidth() / kSpectrumMaxHz;
  return std::min(TruncPixel(x), area.Right());
}

int32_t SpectrumRow(const SpectrumArea& area, double db) {
  if (!(db == db)) db = kSpectrumBottomDb;
  const double span = kSpectrumTopDb - kSpectrumBottomDb;
  const double y =
      area.marginTop + (kSpectrumTopDb - std::clamp(db, kSpectrumBottomDb, kSpectrumTopDb)) *
                           area.PlotHeight() / span;
  return std::min(TruncPixel(y), area.Bottom());
}

std::vector<TracePoint> SpectrumTrace(const SpectrumArea& area, std::span<const double> db,
                                      double binHz) {
  std::vector<TracePoint> points;
  const int32_t width = area.PlotWidth();
  if (!area.Drawable() || db.empty() || !(binHz > 0)) return points;
  const int64_t last = static_cast<int64_t>(db.size()) - 1;
  const double hzPerColumn = kSpectrumMaxHz / width;
  points.reserve(static_cast<size_t>(width) + 1);
  for (int32_t x = 0; x <= width; ++x) {
    // Column x holds [x, x + 1) × hzPerColumn; the last one the band's edge.
    const double from = x * hzPerColumn, to = (x + 1) * hzPerColumn;
    int64_t lo = static_cast<int64_t>(std::ceil(from / binHz));
    int64_t hi = x == width ? last : static_cast<int64_t>(std::ceil(to / binHz)) - 1;
    hi = std::min(hi, last);
    if (lo > hi)
      lo = hi = std::min(last, static_cast<int64_t>(std::lround((from + to) / 2 / binHz)));
    if (lo > last) break;
    double loudest = db[static_cast<size_t>(lo)];
    for (int64_t m = lo + 1; m <= hi; ++m) loudest = std::max(loudest, db[static_cast<size_t>(m)]);
    points.push_back({area.marginLeft + x, SpectrumRow(area, loudest)});
  }
  return points;
}

namespace {

std::string Number(int value) {
  return std::to_string(value);  // integers only: the same in every locale
}

}  // namespace

SpectrumGrid ComputeSpectrumGrid(const SpectrumArea& area, const SpectrumTextWidth& textWidth,
                                 int32_t textHeight) {
  SpectrumGrid grid;
  if (!area.Drawable()) return grid;
  int32_t lastRow = INT32_MAX;
  for (double db = kSpectrumBottomDb; db <= 0; db += kSpectrumDbStep) {
    const int32_t y = SpectrumRow(area, db);
    if (lastRow - y < textHeight) continue;
    lastRow = y;
    const std::string text = Number(static_cast<int>(db));
    const int32_t x = area.marginLeft - 3 - textWidth(text);
    grid.levels.push_back({y, x >= 0 ? x : -1, y - textHeight / 2, text});
  }
  const int32_t widest = textWidth(Number(static_cast<int>(kSpectrumMaxHz)));
  for (double step : {250.0, 500.0, 1000.0, 2000.0}) {
    grid.hzStep = step;
    if (area.PlotWidth() * step / kSpectrumMaxHz >= widest + 16) break;
  }
  for (double hz = 0; hz <= kSpectrumMaxHz; hz += grid.hzStep) {
    const int32_t x = SpectrumColumn(area, hz);
    const std::string text = Number(static_cast<int>(hz));
    const int32_t w = textWidth(text);
    // Centred under the line, kept inside the panel.
    int32_t left = std::max(0, x - w / 2);
    if (left + w > area.width) left = area.width - w;
    grid.frequencies.push_back({x, left >= 0 ? left : -1, area.Bottom() + 2, text});
  }
  return grid;
}

}  // namespace sorvex
