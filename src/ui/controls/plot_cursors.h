#pragma once

// Two measuring cursors on a plot, without Qt: where a click puts them, which
// one the mouse grabs, and what they measure (the time between them and,
// when they span whole bits, the bit rate that implies).

#include <cstdint>
#include <span>
#include <string>

#include "ui/controls/plot_geometry.h"

namespace sorvex {

struct PlotCursors {
  static constexpr int32_t kGrabPixels = 3;  // a press this near a cursor grabs it

  bool placed[2] = {false, false};
  double position[2] = {0, 0};  // data units (samples)

  bool Both() const { return placed[0] && placed[1]; }
  void Clear() { placed[0] = placed[1] = false; }
  // A click at `x` (data units): the first places cursor 0, the second
  // cursor 1, later ones move the nearer cursor. Returns the cursor placed.
  int Place(double x);
  // The cursor drawn within kGrabPixels of column px, or −1.
  int Hit(const PlotArea& area, double xScale, int32_t px) const;
};

struct CursorReadout {
  double Ms = 0;       // between the cursors
  int Bits = 0;        // whole bits spanned; 0 when the span is not whole bits
  double BitRate = 0;  // bits per second the span implies; 0 likewise
};

// A span within a quarter bit of a whole number of bits counts as whole.
inline constexpr double kWholeBitTolerance = 0.25;

// The cursors at `a` and `b` samples apart at `sampleRate`; `bitPeriod` in
// samples (0: unknown, no bit rate).
CursorReadout ReadCursors(double a, double b, double sampleRate, double bitPeriod);
// "Δt 12.500 мс" or "Δt 12.500 мс = 15 бит, 1200.0 бит/с" (numbers as C
// writes them).
std::string CursorText(const CursorReadout& readout);
// The mean spacing of ascending positions (a telegram's bit samples): its
// bit period; 0 with fewer than two.
double MeanSpacing(std::span<const double> positions);

}  // namespace sorvex
