#include "ui/controls/plot_cursors.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace sorvex {

int PlotCursors::Place(double x) {
  int which = 0;
  if (!placed[0]) {
    which = 0;
  } else if (!placed[1]) {
    which = 1;
  } else {
    which = std::abs(x - position[0]) <= std::abs(x - position[1]) ? 0 : 1;
  }
  placed[which] = true;
  position[which] = x;
  return which;
}

int PlotCursors::Hit(const PlotArea& area, double xScale, int32_t px) const {
  for (int i = 0; i < 2; ++i) {
    if (placed[i] && std::abs(MarkerColumn(area, xScale, position[i]) - px) <= kGrabPixels)
      return i;
  }
  return -1;
}

CursorReadout ReadCursors(double a, double b, double sampleRate, double bitPeriod) {
  CursorReadout readout;
  if (!(sampleRate > 0)) return readout;
  const double span = std::abs(b - a);
  readout.Ms = span * 1000.0 / sampleRate;
  if (!(bitPeriod > 0)) return readout;
  const double bits = span / bitPeriod;
  const double whole = std::round(bits);
  if (whole >= 1 && std::abs(bits - whole) <= kWholeBitTolerance) {
    readout.Bits = static_cast<int>(whole);
    readout.BitRate = whole * sampleRate / span;
  }
  return readout;
}

namespace {

// Fixed point whatever the locale: a decimal point, never a comma.
std::string Fixed(double value, int decimals) {
  char text[48];
  const auto result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
  return std::string(text, result.ptr);
}

}  // namespace

std::string CursorText(const CursorReadout& readout) {
  std::string text = "Δt " + Fixed(readout.Ms, 3) + " мс";
  if (readout.Bits > 0) {
    text += " = " + std::to_string(readout.Bits) + " бит, " + Fixed(readout.BitRate, 1) + " бит/с";
  }
  return text;
}

double MeanSpacing(std::span<const double> positions) {
  if (positions.size() < 2) return 0;
  return (positions.back() - positions.front()) / static_cast<double>(positions.size() - 1);
}

}  // namespace sorvex
