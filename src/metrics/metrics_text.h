#pragma once

// The Prometheus text exposition of one line's counters.

#include <cstdint>
#include <string>

#include "monitor/line_counters.h"

namespace sorvex {

class TMonitor;

// Everything one scrape shows, taken in the tick. Plain values, so the
// server thread never touches the monitor.
struct TMetricsSnapshot {
  std::string Line;
  bool DeviceOpen = false;
  bool Receiving = false;
  int64_t DroppedBlocks = 0;
  TLineCounters Counters;

  bool operator==(const TMetricsSnapshot&) const = default;
};

TMetricsSnapshot TakeMetricsSnapshot(const TMonitor& monitor, const std::string& line);

// A label value with \, " and newline escaped.
std::string EscapeLabelValue(const std::string& value);
// Unix seconds of a local date-time (days since 1899-12-30).
double DateTimeToUnix(double dateTime);
// HELP and TYPE lines, then one sample per series.
std::string RenderMetrics(const TMetricsSnapshot& snapshot);

}  // namespace sorvex
