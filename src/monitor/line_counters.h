#pragma once

// What a monitoring system scrapes from a line: telegram and exchange-problem
// counts per KP and side, and the last figures of each. Kept apart from the
// statistics grid: a statistics reset clears the grid, never these, so the
// counters only grow while the process lives.

#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <utility>

#include "monitor/telegram_measurement.h"

namespace sorvex {

enum class TExchangeProblem : uint8_t { Repeat, NoAnswer, OutOfContext, BadAnswer, BadRequest };
inline constexpr int kExchangeProblemCount = 5;

inline constexpr double kNotMeasured = std::numeric_limits<double>::quiet_NaN();

// One KP on one side (0 requests, 1 answers).
struct TKpSideCounters {
  uint64_t Valid = 0;
  uint64_t Invalid = 0;
  bool HasFigures = false;  // the figures below were measured at least once
  double LevelDb = 0;
  double NoiseDb = 0;
  double SnrDb = 0;
  double LastValid = 0;  // date-time of the last valid telegram; 0 = never
  // The last telegram's measured tones and bit rate; NaN until one was estimated.
  double ToneHz[2] = {kNotMeasured, kNotMeasured};
  double BitRate = kNotMeasured;

  bool operator==(const TKpSideCounters& o) const {
    // NaN == NaN here: "not measured yet" on both sides is the same state.
    const auto same = [](double a, double b) { return a == b || (std::isnan(a) && std::isnan(b)); };
    return Valid == o.Valid && Invalid == o.Invalid && HasFigures == o.HasFigures &&
           LevelDb == o.LevelDb && NoiseDb == o.NoiseDb && SnrDb == o.SnrDb &&
           LastValid == o.LastValid && same(ToneHz[0], o.ToneHz[0]) &&
           same(ToneHz[1], o.ToneHz[1]) && same(BitRate, o.BitRate);
  }
};

class TLineCounters {
 public:
  using TKey = std::pair<int, uint8_t>;  // side, KP (0 for a telegram without one)

  void Telegram(int side, uint8_t kp, bool valid, double now);
  void Figures(int side, uint8_t kp, double levelDb, double noiseDb, double snrDb);
  void Problem(uint8_t kp, TExchangeProblem problem);
  // Keeps each figure the measurer could estimate; one it could not leaves
  // the last estimate standing.
  void Measured(const TTelegramMeasurement& measurement);

  const std::map<TKey, TKpSideCounters>& KpSides() const { return FKpSides; }
  const std::map<std::pair<uint8_t, TExchangeProblem>, uint64_t>& Problems() const {
    return FProblems;
  }
  // Grows with every change: a reader renders again only when it moved.
  uint64_t Version() const { return FVersion; }

  bool operator==(const TLineCounters&) const = default;

 private:
  std::map<TKey, TKpSideCounters> FKpSides;
  std::map<std::pair<uint8_t, TExchangeProblem>, uint64_t> FProblems;
  uint64_t FVersion = 0;
};

}  // namespace sorvex
