#pragma once

// Geometry of the KP history plots, without Qt: the three panes, the
// quantities each shows, the wall-clock time axis, value ranges and
// data → pixel. The plot paints only what these functions compute.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "monitor/telegram_measurement.h"

namespace sorvex {

// What the plots show of a measurement. Noise is level − SNR: a measurement
// carries no noise figure of its own.
enum class THistoryQuantity { Level, Noise, Snr, F0Deviation, F1Deviation, RateDeviation };
inline constexpr int kHistoryQuantities = 6;
inline constexpr int kHistoryPanes = 3;  // dB; tone deviations, Hz; rate deviation, %

// The pane a quantity is drawn in.
int PaneOf(THistoryQuantity q);
// dB, Hz or percent; NaN when the measurement lacks a figure (or, for a
// deviation, its setting).
double QuantityValue(const TTelegramMeasurement& m, THistoryQuantity q);
// All six at once, indexed by THistoryQuantity (the paint's inner loop).
void QuantityValues(const TTelegramMeasurement& m, double (&values)[kHistoryQuantities]);

// A visible stretch of time, date-times (days); t1 > t0.
struct THistorySpan {
  double t0 = 0;
  double t1 = 1;
  bool operator==(const THistorySpan&) const = default;
};
// From the first to the last point, 2 % wider each side; a single instant
// (or none) gets ±30 s around it.
THistorySpan FullSpan(std::span<const TTelegramMeasurement> points);

struct TPixelRect {
  int32_t left = 0, top = 0, width = 0, height = 0;
  int32_t Right() const { return left + width; }
  int32_t Bottom() const { return top + height; }
  bool operator==(const TPixelRect&) const = default;
};

// The panes of a plot of width × height: stacked, each under a legend row
// of `legendHeight`, above a time axis of `axisHeight` rows; `left` pixels
// for the value labels, 8 on the right. Panes smaller than a pixel come
// out empty (width or height 0).
struct THistoryLayout {
  TPixelRect panes[kHistoryPanes];
  int32_t axisTop = 0;  // the time labels' row
};
THistoryLayout HistoryLayout(int32_t width, int32_t height, int32_t left, int32_t legendHeight,
                             int32_t axisHeight);

// Column of date-time t in `plot` over `span`; kept within ±1e6.
int32_t TimeToX(const TPixelRect& plot, const THistorySpan& span, double t);
// Date-time at column x (not clamped).
double XToTime(const TPixelRect& plot, const THistorySpan& span, int32_t x);

// Wall-clock ticks: the smallest step of 1, 2, 5, 10, 15, 30 s, 1, 2, 5,
// 10, 15, 30 min, 1, 2, 3, 6, 12 h or whole days that keeps ticks at least
// `minSpacing` pixels apart, at every multiple of it in local time, labelled
// "hh:mm:ss".
struct TTimeTick {
  int32_t x = 0;
  std::string label;
  bool operator==(const TTimeTick&) const = default;
};
double TimeStepSeconds(double secondsPerPixel, int32_t minSpacing);
std::vector<TTimeTick> TimeTicks(const TPixelRect& plot, const THistorySpan& span,
                                 int32_t minSpacing);
std::string ClockLabel(double dateTime);

// A pane's value range: from the least to the greatest value, with at
// least `minSpan` between them, widened to whole grid steps (1, 2, 5 × 10^k,
// at least `minSpacing` pixels apart over `height`).
struct TValueRange {
  double lo = -1;
  double hi = 1;
  double step = 1;
  bool operator==(const TValueRange&) const = default;
};
TValueRange ValueRange(double min, double max, double minSpan, int32_t height, int32_t minSpacing);
// Row of value v in `plot`, kept inside it.
int32_t ValueToY(const TPixelRect& plot, const TValueRange& range, double v);

}  // namespace sorvex
