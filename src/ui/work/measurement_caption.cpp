#include "ui/work/measurement_caption.h"

#include <algorithm>
#include <cmath>

#include "util/str_format.h"

namespace sorvex {

namespace {

constexpr int kShortestTelegram = 36;

}  // namespace

double ToneTolerance(double setF0Hz, double setF1Hz) {
  return std::fabs(setF1Hz - setF0Hz) / 4;
}

double RateTolerancePercent(int bits) {
  return 25.0 / std::max(bits, kShortestTelegram);
}

std::vector<TCaptionPart> MeasurementCaption(const TTelegramMeasurement& m, int bits) {
  std::vector<TCaptionPart> parts;
  const double toneLimit = ToneTolerance(m.setF0Hz, m.setF1Hz);
  const auto tone = [&](const char* name, double hz, double set) {
    if (!std::isfinite(hz)) return;
    TCaptionPart part{StrFormat("%s %.1f Гц", name, hz)};
    if (set > 0) {
      const double deviation = hz - set;
      part.text += StrFormat(" (%+.1f)", deviation);
      part.beyond = std::fabs(deviation) > toneLimit;
    }
    parts.push_back(part);
  };
  tone("F0", m.f0Hz, m.setF0Hz);
  tone("F1", m.f1Hz, m.setF1Hz);
  if (std::isfinite(m.bitRate)) {
    TCaptionPart part{StrFormat("%.1f бит/с", m.bitRate)};
    if (m.setBitRate > 0) {
      const double percent = (m.bitRate / m.setBitRate - 1) * 100;
      part.text += StrFormat(" (%+.1f %%)", percent);
      part.beyond = std::fabs(percent) > RateTolerancePercent(bits);
    }
    parts.push_back(part);
  }
  return parts;
}

}  // namespace sorvex
