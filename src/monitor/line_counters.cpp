#include "monitor/line_counters.h"

namespace sorvex {

void TLineCounters::Telegram(int side, uint8_t kp, bool valid, double now) {
  TKpSideCounters& counters = FKpSides[{side ? 1 : 0, kp}];
  if (valid) {
    ++counters.Valid;
    counters.LastValid = now;
  } else {
    ++counters.Invalid;
  }
  ++FVersion;
}

void TLineCounters::Figures(int side, uint8_t kp, double levelDb, double noiseDb, double snrDb) {
  TKpSideCounters& counters = FKpSides[{side ? 1 : 0, kp}];
  counters.HasFigures = true;
  counters.LevelDb = levelDb;
  counters.NoiseDb = noiseDb;
  counters.SnrDb = snrDb;
  ++FVersion;
}

void TLineCounters::Problem(uint8_t kp, TExchangeProblem problem) {
  ++FProblems[{kp, problem}];
  ++FVersion;
}

}  // namespace sorvex
