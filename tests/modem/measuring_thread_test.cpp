// The measuring thread gives what measuring in place gives, whatever the
// order telegrams come and are waited for in.
#include "modem/measuring_thread.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "modem/fsk_signal.h"

namespace sorvex {
namespace {

TTelegramSignal Burst(double drift, uint32_t seed) {
  testing::FskBurst burst;
  burst.Baud = 200 * (1 + drift / 2000);
  burst.Freq0 = 2540 + drift;
  burst.Freq1 = 2760 + drift;
  burst.Silence = 0.1;
  burst.Lead = 0.04;
  burst.LeadBit = 0;
  burst.Bits = testing::RandomBits(60, seed, 1);
  burst.Tail = 0.1;
  TTelegramSignal signal{{}, 200, 2540, 2760};
  for (double v : testing::GenerateFsk(burst, 8000)) signal.samples.push_back(testing::ToPcm(v));
  return signal;
}

void ExpectSame(const TToneEstimate& a, const TToneEstimate& b) {
  EXPECT_EQ(a.f0Hz, b.f0Hz);
  EXPECT_EQ(a.f1Hz, b.f1Hz);
  EXPECT_EQ(a.bitRate, b.bitRate);
}

// Each telegram waited for before the next, as the monitor does; one handed
// over unwaited is dropped for the next; nothing to measure reads NaN; a
// thread gone to sleep between telegrams wakes; and the thread ends with a
// telegram still in hand.
TEST(MeasuringThread, GivesWhatMeasuringInPlaceGives) {
  TMeasuringThread thread;
  EXPECT_TRUE(thread.Done());
  for (const double drift : {18.0, -11.0, 5.0}) {
    const TTelegramSignal signal = Burst(drift, static_cast<uint32_t>(drift + 20));
    if (drift < 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    thread.Start(signal);
    const TToneEstimate e = thread.Wait();
    EXPECT_TRUE(thread.Done());
    ExpectSame(e, MeasureTelegramSignal(signal));
    EXPECT_NEAR(e.f0Hz, 2540 + drift, 0.5);
  }
  thread.Start(Burst(30, 1));
  const TTelegramSignal last = Burst(-30, 2);
  thread.Start(last);
  ExpectSame(thread.Wait(), MeasureTelegramSignal(last));
  thread.Start(TTelegramSignal{});
  EXPECT_TRUE(std::isnan(thread.Wait().bitRate));
  thread.Start(last);
}

}  // namespace
}  // namespace sorvex
