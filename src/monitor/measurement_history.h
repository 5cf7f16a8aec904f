#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "monitor/telegram_measurement.h"

namespace sorvex {

// Every telegram's measurement since the program started, per KP (0..31;
// 0 for telegrams without an address), both sides in arrival order. Memory
// stays bounded on a line that runs for weeks: a KP holds at most `cap`
// points (20 000 by default, 80 bytes each: 1.6 MB per KP, 51 MB for all
// 32). When a KP's list is full, its older half is thinned to every second
// point, so older history grows coarser while the newest cap / 2 points are
// always kept exactly.
class TMeasurementHistory {
 public:
  static constexpr int kKpCount = 32;
  static constexpr size_t kDefaultCap = 20000;

  explicit TMeasurementHistory(size_t cap = kDefaultCap);

  // A measurement of a KP outside 0..31 is ignored.
  void Add(const TTelegramMeasurement& m);
  void Clear();

  // Oldest first; empty for a KP outside 0..31.
  const std::vector<TTelegramMeasurement>& Points(int kp) const;
  size_t Cap() const { return FCap; }
  size_t Count() const;
  // Changes with every Add and Clear: a view repaints when it moved on.
  uint64_t Revision() const { return FRevision; }

  // All KPs' points in time order as CSV: the header row, then one row per
  // telegram with the columns of MeasurementFields, comma-separated.
  std::string Csv() const;

 private:
  void Thin(std::vector<TTelegramMeasurement>& points) const;

  size_t FCap;
  std::array<std::vector<TTelegramMeasurement>, kKpCount> FPoints;
  uint64_t FRevision = 0;
};

}  // namespace sorvex
