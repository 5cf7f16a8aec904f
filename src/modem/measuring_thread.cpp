#include "modem/measuring_thread.h"

#include <limits>
#include <new>
#include <utility>

namespace sorvex {

TMeasuringThread::TMeasuringThread() : FThread([this] { Run(); }) {}

TMeasuringThread::~TMeasuringThread() {
  {
    const std::lock_guard lock(FLock);
    FEnd = true;
  }
  FWake.notify_one();
  FThread.join();
}

void TMeasuringThread::Start(TTelegramSignal signal) {
  std::unique_lock lock(FLock);
  FDone.wait(lock, [this] { return !FBusy; });
  FJob = std::move(signal);
  FBusy = true;
  lock.unlock();
  FWake.notify_one();
}

bool TMeasuringThread::Done() const {
  const std::lock_guard lock(FLock);
  return !FBusy;
}

TToneEstimate TMeasuringThread::Wait() {
  std::unique_lock lock(FLock);
  FDone.wait(lock, [this] { return !FBusy; });
  return FResult;
}

void TMeasuringThread::Run() {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  std::unique_lock lock(FLock);
  for (;;) {
    FWake.wait(lock, [this] { return FBusy || FEnd; });
    if (!FBusy) return;  // ended with nothing in hand
    const TTelegramSignal job = std::move(FJob);
    lock.unlock();
    TToneEstimate result{kNaN, kNaN, kNaN};
    try {
      result = MeasureTelegramSignal(job);
    } catch (const std::bad_alloc&) {
      // A telegram too big to measure reads as one that could not be.
    }
    lock.lock();
    FResult = result;
    FBusy = false;
    FDone.notify_all();
  }
}

}  // namespace sorvex
