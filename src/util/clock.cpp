#include "util/clock.h"

#include <chrono>

#include "util/date_time.h"

namespace sorvex {

double TSystemClock::Now() const {
  return SystemNow();
}

int64_t TSystemClock::Counter() const {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double TManualClock::Now() const {
  return FStart + static_cast<double>(FMicros) / 86400000000.0;
}

int64_t ElapsedMs(const TClock& clock, int64_t stamp) {
  // (ticks × 1000) / f without forming the product: exact for either sign.
  const int64_t ticks = clock.Counter() - stamp;
  const int64_t f = clock.CounterFrequency();
  return ticks / f * 1000 + ticks % f * 1000 / f;
}

}  // namespace sorvex
