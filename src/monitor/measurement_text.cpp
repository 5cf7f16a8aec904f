#include "monitor/measurement_text.h"

#include <cmath>

#include "util/date_time.h"
#include "util/str_format.h"

namespace sorvex {
namespace {

std::string Fixed(double value, int decimals) {
  return std::isfinite(value) ? StrFormat("%.*f", decimals, value) : std::string("nan");
}

}  // namespace

const std::array<const char*, kMeasurementColumns> kMeasurementColumnNames = {
    "side", "kp", "time", "f0", "f1", "rate", "level", "snr"};

std::array<std::string, kMeasurementColumns> MeasurementFields(const TTelegramMeasurement& m) {
  return {m.channel ? "answer" : "request",
          StrFormat("%d", m.kp),
          FormatTimeStamp(m.time),
          Fixed(m.f0Hz, 1),
          Fixed(m.f1Hz, 1),
          Fixed(m.bitRate, 2),
          Fixed(m.levelDb, 2),
          Fixed(m.snrDb, 2)};
}

}  // namespace sorvex
