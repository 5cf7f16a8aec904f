#pragma once

// Geometry of the spectrum panel, without Qt: frequency → column, level →
// row, one trace point per pixel column, the grid and its labels, the tone
// marks. The panel paints only what these functions compute.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace sorvex {

// The plot shows 0 .. kSpectrumMaxHz across and kSpectrumBottomDb ..
// kSpectrumTopDb up (dB as the level bars show them: 0 dB is 0.7 of full
// scale, full scale about +3 dB, nothing below −100).
inline constexpr double kSpectrumMaxHz = 4000;
inline constexpr double kSpectrumTopDb = 10;
inline constexpr double kSpectrumBottomDb = -100;
inline constexpr double kSpectrumDbStep = 20;

struct SpectrumArea {
  int32_t width = 0;
  int32_t height = 0;
  int32_t marginLeft = 34;
  int32_t marginRight = 10;
  int32_t marginTop = 14;
  int32_t marginBottom = 16;

  int32_t PlotWidth() const { return width - marginLeft - marginRight; }
  int32_t PlotHeight() const { return height - marginTop - marginBottom; }
  int32_t Bottom() const { return height - marginBottom; }
  int32_t Right() const { return width - marginRight; }
  bool Drawable() const { return PlotWidth() > 1 && PlotHeight() > 1; }
};

// Column of a frequency, marginLeft .. Right() (frequencies outside the
// band are pinned to its edges).
int32_t SpectrumColumn(const SpectrumArea& area, double hz);
// Row of a level, marginTop .. Bottom() (levels outside the range pinned).
int32_t SpectrumRow(const SpectrumArea& area, double db);

struct TracePoint {
  int32_t x = 0;
  int32_t y = 0;
  bool operator==(const TracePoint&) const = default;
};

// One point per pixel column of the plot: the loudest of the bins (bin m at
// m × binHz) whose frequency falls in the column, or the nearest bin where
// none does; a narrow tone is never lost between columns.
std::vector<TracePoint> SpectrumTrace(const SpectrumArea& area, std::span<const double> db,
                                      double binHz);

struct SpectrumLabel {
  int32_t at = 0;                // row of a level line, column of a frequency line
  int32_t textX = 0, textY = 0;  // top left corner of the label; textX < 0: no label
  std::string text;
};

struct SpectrumGrid {
  std::vector<SpectrumLabel> levels;       // every kSpectrumDbStep from the bottom up to 0 dB
  std::vector<SpectrumLabel> frequencies;  // every hzStep from 0 Hz
  double hzStep = 0;
};

using SpectrumTextWidth = std::function<int32_t(const std::string&)>;

// Level lines that fit (at least textHeight apart), and frequency lines at
// the smallest of 250, 500, 1000, 2000 Hz whose labels ("4000") keep a gap
// of 16 pixels, centred under their lines but kept inside the panel.
SpectrumGrid ComputeSpectrumGrid(const SpectrumArea& area, const SpectrumTextWidth& textWidth,
                                 int32_t textHeight);

}  // namespace sorvex
