#pragma once

#include <cstdint>

#include "util/clock.h"

namespace sorvex {

class TMonitor;

// Runs the monitor on signal time instead of wall time: after each processed
// 1024-frame block (128 ms of signal) it moves the clock to every 10 ms tick
// that block's end has reached and runs the dispatch tick there. Same
// recording, same ticks, same journal: replays are deterministic.
class TSignalTimeDriver {
 public:
  static constexpr int64_t kBlockMicros = 128000;  // 1024 frames at 8000 frames/s
  static constexpr int64_t kTickMicros = 10000;

  TSignalTimeDriver(TMonitor& monitor, TManualClock& clock) : FMonitor(monitor), FClock(clock) {}

  // Call after each block the device has processed.
  void BlockDone();
  int64_t Blocks() const { return FBlocks; }
  int64_t Ticks() const { return FTicks; }

 private:
  TMonitor& FMonitor;
  TManualClock& FClock;
  int64_t FBlocks = 0;
  int64_t FTicks = 0;
};

}  // namespace sorvex
