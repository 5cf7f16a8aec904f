#pragma once

// What a monitoring system scrapes from a line: telegram and exchange-problem
// counts per KP and side, and the last figures of each. Kept apart from the
// statistics grid: a statistics reset clears the grid, never these, so the
// counters only grow while the process lives.

#include <cstdint>
#include <map>
#include <utility>

namespace sorvex {

enum class TExchangeProblem : uint8_t { Repeat, NoAnswer, OutOfContext, BadAnswer, BadRequest };
inline constexpr int kExchangeProblemCount = 5;

// One KP on one side (0 requests, 1 answers).
struct TKpSideCounters {
  uint64_t Valid = 0;
  uint64_t Invalid = 0;
  bool HasFigures = false;  // the figures below were measured at least once
  double LevelDb = 0;
  double NoiseDb = 0;
  double SnrDb = 0;
  double LastValid = 0;  // date-time of the last valid telegram; 0 = never

  bool operator==(const TKpSideCounters&) const = default;
};

class TLineCounters {
 public:
  using TKey = std::pair<int, uint8_t>;  // side, KP (0 for a telegram without one)

  void Telegram(int side, uint8_t kp, bool valid, double now);
  void Figures(int side, uint8_t kp, double levelDb, double noiseDb, double snrDb);
  void Problem(uint8_t kp, TExchangeProblem problem);

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
