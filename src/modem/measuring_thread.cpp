#include "modem/measuring_thread.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <new>
#include <utility>

namespace sorvex {
namespace {

using TClock = std::chrono::steady_clock;

// Spans the gap between telegrams, and a measurement, when a recording is
// replayed at full speed at 200 bit/s or more.
constexpr std::chrono::microseconds kLookOut{1000};
// Far more than a round of pauses takes (under 2 µs): the thread was put off
// its core. Noise on an idle machine crosses it a few dozen times a second.
constexpr std::chrono::microseconds kPutOff{50};
constexpr int kMostSkipped = 256;

}  // namespace

// Waits for `ready` a while without sleeping, pausing to spare the core
// meanwhile. A look-out that fails (the other side did not come in time, or
// this thread was put off its core) makes this side skip twice as many
// look-outs as the last failure did, and each success one fewer: on a
// machine with more to run than cores a thread looking out only keeps the
// other from its core, and the wake-up it was to save then comes late.
template <class F>
void TMeasuringThread::TLookOut::Wait(F ready) {
  if (Skip > 0) {
    --Skip;
    return;
  }
  auto last = TClock::now();
  const auto until = last + kLookOut;
  for (;;) {
    for (int i = 0; i < 64; ++i) {
      if (ready()) {
        Backoff = std::max(0, Backoff - 1);
        return;
      }
#if defined(__x86_64__) || defined(__i386__)
      __builtin_ia32_pause();
#else
      std::this_thread::yield();
#endif
    }
    const auto now = TClock::now();
    if (now >= until || now - last > kPutOff) {
      Backoff = std::clamp(2 * Backoff, 1, kMostSkipped);
      Skip = Backoff;
      return;
    }
    last = now;
  }
}

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
  return !FBusy.load(std::memory_order_acquire);
}

TToneEstimate TMeasuringThread::Wait() {
  FCallerLook.Wait([this] { return Done(); });
  std::unique_lock lock(FLock);
  FDone.wait(lock, [this] { return !FBusy; });
  return FResult;
}

void TMeasuringThread::Run() {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  std::unique_lock lock(FLock);
  for (;;) {
    lock.unlock();
    FThreadLook.Wait([this] {
      return FBusy.load(std::memory_order_acquire) || FEnd.load(std::memory_order_acquire);
    });
    lock.lock();
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
