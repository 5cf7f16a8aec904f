#include "ui/history/history_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "ui/controls/pixel_math.h"
#include "ui/controls/plot_geometry.h"
#include "util/date_time.h"
#include "util/str_format.h"

namespace sorvex {

namespace {

constexpr double kSecondsPerDay = 86400;
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

double Deviation(double measured, double set) {
  return set > 0 ? measured - set : kNan;
}

}  // namespace

int PaneOf(THistoryQuantity q) {
  switch (q) {
    case THistoryQuantity::Level:
    case THistoryQuantity::Noise:
    case THistoryQuantity::Snr:
      return 0;
    case THistoryQuantity::F0Deviation:
    case THistoryQuantity::F1Deviation:
      return 1;
    case THistoryQuantity::RateDeviation:
      break;
  }
  return 2;
}

void QuantityValues(const TTelegramMeasurement& m, double (&values)[kHistoryQuantities]) {
  values[0] = m.levelDb;
  values[1] = m.levelDb - m.snrDb;
  values[2] = m.snrDb;
  values[3] = Deviation(m.f0Hz, m.setF0Hz);
  values[4] = Deviation(m.f1Hz, m.setF1Hz);
  values[5] = m.setBitRate > 0 ? (m.bitRate / m.setBitRate - 1) * 100 : kNan;
}

double QuantityValue(const TTelegramMeasurement& m, THistoryQuantity q) {
  double values[kHistoryQuantities];
  QuantityValues(m, values);
  return values[static_cast<int>(q)];
}

THistorySpan FullSpan(std::span<const TTelegramMeasurement> points) {
  double first = 0, last = 0;
  bool any = false;
  for (const TTelegramMeasurement& m : points) {
    if (!std::isfinite(m.time)) continue;
    first = any ? std::min(first, m.time) : m.time;
    last = any ? std::max(last, m.time) : m.time;
    any = true;
  }
  const double pad = last > first ? (last - first) * 0.02 : 30 / kSecondsPerDay;
  return {first - pad, last + pad};
}

THistoryLayout HistoryLayout(int32_t width, int32_t height, int32_t left, int32_t legendHeight,
                             int32_t axisHeight) {
  THistoryLayout layout;
  const int32_t plotWidth = std::max(0, width - left - 8);
  const int32_t paneHeight = std::max(0, (height - axisHeight) / kHistoryPanes);
  for (int i = 0; i < kHistoryPanes; ++i) {
    const int32_t top = i * paneHeight + legendHeight;
    layout.panes[i] = {left, top, plotWidth, std::max(0, paneHeight - legendHeight - 2)};
  }
  layout.axisTop = kHistoryPanes * paneHeight;
  return layout;
}

int32_t TimeToX(const TPixelRect& plot, const THistorySpan& span, double t) {
  return plot.left + TruncPixel((t - span.t0) / (span.t1 - span.t0) * plot.width);
}

double XToTime(const TPixelRect& plot, const THistorySpan& span, int32_t x) {
  if (plot.width <= 0) return span.t0;
  return span.t0 + (x - plot.left) * (span.t1 - span.t0) / plot.width;
}

double TimeStepSeconds(double secondsPerPixel, int32_t minSpacing) {
  static constexpr double kSteps[] = {1,   2,   5,    10,   15,   30,    60,    120,   300,
                                      600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
  const double least = secondsPerPixel * minSpacing;
  for (double step : kSteps)
    if (step >= least) return step;
  return std::ceil(least / kSecondsPerDay) * kSecondsPerDay;
}

std::string ClockLabel(double dateTime) {
  const DateTimeParts p = DecodeDateTime(dateTime);
  return StrFormat("%02d:%02d:%02d", p.hour, p.minute, p.second);
}

std::vector<TTimeTick> TimeTicks(const TPixelRect& plot, const THistorySpan& span,
                                 int32_t minSpacing) {
  std::vector<TTimeTick> ticks;
  if (plot.width <= 0 || !(span.t1 > span.t0)) return ticks;
  const double s0 = span.t0 * kSecondsPerDay;
  const double s1 = span.t1 * kSecondsPerDay;
  const double step = TimeStepSeconds((s1 - s0) / plot.width, minSpacing);
  // The epsilon keeps a tick on the span's first instant despite rounding.
  for (double s = std::ceil(s0 / step - 1e-6) * step; s <= s1; s += step) {
    const double t = s / kSecondsPerDay;
    ticks.push_back({TimeToX(plot, span, t), ClockLabel(t)});
  }
  return ticks;
}

TValueRange ValueRange(double min, double max, double minSpan, int32_t height, int32_t minSpacing) {
  if (!std::isfinite(min) || !std::isfinite(max) || min > max) min = max = 0;
  if (max - min < minSpan) {
    const double centre = (min + max) / 2;
    min = centre - minSpan / 2;
    max = centre + minSpan / 2;
  }
  TValueRange range;
  const double step = GridStep(std::max(height, 1) / (max - min), minSpacing);
  range.step = step > 0 ? step : (max - min);
  range.lo = std::floor(min / range.step) * range.step;
  range.hi = std::ceil(max / range.step) * range.step;
  if (range.hi <= range.lo) range.hi = range.lo + range.step;
  return range;
}

int32_t ValueToY(const TPixelRect& plot, const TValueRange& range, double v) {
  const double rows = plot.height - 1;
  const int32_t y = plot.top + TruncPixel((range.hi - v) / (range.hi - range.lo) * rows + 0.5);
  return std::clamp(y, plot.top, plot.top + std::max(0, plot.height - 1));
}

}  // namespace sorvex
