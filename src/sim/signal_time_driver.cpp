#include "sim/signal_time_driver.h"

#include "monitor/monitor.h"

namespace sorvex {

void TSignalTimeDriver::BlockDone() {
  ++FBlocks;
  const int64_t blockEnd = FBlocks * kBlockMicros;
  while ((FTicks + 1) * kTickMicros <= blockEnd) {
    ++FTicks;
    FClock.AdvanceMicros(FTicks * kTickMicros - FClock.Counter());
    FMonitor.TimerRedrawTimer();
  }
}

}  // namespace sorvex
