#include "monitor/line_counters.h"

#include <cmath>

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

void TLineCounters::Measured(const TTelegramMeasurement& m) {
  TKpSideCounters& counters = FKpSides[{m.channel ? 1 : 0, m.kp}];
  if (std::isfinite(m.f0Hz)) counters.ToneHz[0] = m.f0Hz;
  if (std::isfinite(m.f1Hz)) counters.ToneHz[1] = m.f1Hz;
  if (std::isfinite(m.bitRate)) counters.BitRate = m.bitRate;
  ++FVersion;
}

void TLineCounters::Problem(uint8_t kp, TExchangeProblem problem) {
  ++FProblems[{kp, problem}];
  ++FVersion;
}

}  // namespace sorvex
