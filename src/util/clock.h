#pragma once

#include <cstdint>

namespace sorvex {

// Where time comes from: date-times for journals and statistics, and a
// monotonic counter for time-outs. The GUI uses TSystemClock; tests and
// replays drive TManualClock from the sample position.
class TClock {
 public:
  virtual ~TClock() = default;
  virtual double Now() const = 0;                // days since 1899-12-30, local time
  virtual int64_t Counter() const = 0;           // monotonic ticks
  virtual int64_t CounterFrequency() const = 0;  // ticks per second, > 0
};

class TSystemClock : public TClock {
 public:
  double Now() const override;
  int64_t Counter() const override;  // steady_clock nanoseconds
  int64_t CounterFrequency() const override { return 1000000000; }
};

// A clock that moves only when told to. The counter runs in microseconds.
class TManualClock : public TClock {
 public:
  explicit TManualClock(double start = 0) : FStart(start) {}
  double Now() const override;
  int64_t Counter() const override { return FMicros; }
  int64_t CounterFrequency() const override { return 1000000; }

  void AdvanceMicros(int64_t micros) { FMicros += micros; }
  void AdvanceMs(double ms) { FMicros += static_cast<int64_t>(ms * 1000.0); }
  void SetStart(double start) { FStart = start; }

 private:
  double FStart;
  int64_t FMicros = 0;
};

// Milliseconds since `stamp` (a value of clock.Counter()), truncated.
// Exact even where ticks × 1000 would overflow 64 bits.
int64_t ElapsedMs(const TClock& clock, int64_t stamp);

}  // namespace sorvex
