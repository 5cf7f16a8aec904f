// The receive chain and telegram receiver, against FSK from an
// independent continuous-phase generator and from our transmitter.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "modem/fsk_signal.h"
#include "modem/modem.h"

namespace sorvex {
namespace {

using testing::ApplySettings;
using testing::FskBurst;
using testing::GenerateFsk;
using testing::kOfferedRates;
using testing::PackBits;
using testing::RandomBits;
using testing::RunReceiver;
using testing::SettingsForRate;
using testing::Telegram;
using testing::ToFrames;

const char* const kNoFile = "/nonexistent/sorvex-h4/modem.ini";  // all defaults

struct TableRow {
  int32_t Baud;
  int Silence;  // samples, > 2 T
  int End;      // samples, > 4 T
};
constexpr TableRow kTable[] = {{50, 321, 641}, {100, 161, 321}, {200, 81, 161}, {300, 54, 107},
                               {600, 27, 54},  {1200, 14, 27},  {2400, 7, 14}};

// A burst for `baud`: silence and lead tone of a few bit periods with
// fractional lengths, so no bit boundary falls on a sample.
FskBurst BurstFor(int32_t baud, const std::vector<int>& bits, int leadBit) {
  const auto s = SettingsForRate(baud);
  FskBurst b;
  b.Baud = baud;
  b.Freq0 = s.Freq0;
  b.Freq1 = s.Freq1;
  b.Silence = 3.3 / baud + 0.00123;
  b.Lead = 3.1 / baud + 0.0000437;
  b.LeadBit = leadBit;
  b.Bits = bits;
  b.Tail = 8.0 / baud + 0.05;
  b.Amplitude = 16000;
  b.Phase0 = 0.137;
  return b;
}

std::unique_ptr<TModem> Receiver(int32_t baud, int32_t recordCapacity) {
  auto modem = std::make_unique<TModem>(kNoFile, 1024);
  ApplySettings(*modem, SettingsForRate(baud));
  if (recordCapacity > 0) modem->SetRecordCapacity(recordCapacity);
  modem->ResetReceiver();
  return modem;
}

// The telegram must be the sent bits, then at least four closing bits, then
// zero padding up to a multiple of 8; the records must hold one strobe and one
// bit sample per sampled bit, about half a bit after each boundary.
void CheckTelegram(const Telegram& t, const std::vector<int>& sent, const TModem& modem,
                   double samplesPerBit) {
  ASSERT_EQ(t.BitCount % 8, 0);
  ASSERT_GE(t.BitCount, static_cast<int>(sent.size()) + 4);
  for (size_t i = 0; i < sent.size(); ++i) ASSERT_EQ(t.Bits[i], sent[i]) << "bit " << i;

  std::vector<TSignalRecord> records(100000);
  const int32_t count = modem.CopySignalRecords(records.data());
  ASSERT_GT(count, 0);
  int strobe = -1, strobes = 0;
  std::vector<int> samples;
  for (int i = 0; i < count; ++i) {
    if (records[i].Kind == skStrobe) {
      strobe = i;
      ++strobes;
    } else if (records[i].Kind == skBitSample) {
      samples.push_back(i);
    }
  }
  ASSERT_EQ(strobes, 1);
  const int sampled = static_cast<int>(samples.size());
  // Only the padding is unsampled.
  ASSERT_EQ(t.BitCount, (sampled + 7) / 8 * 8);
  for (int i = sampled; i < t.BitCount; ++i) ASSERT_EQ(t.Bits[i], 0) << "padding bit " << i;
  for (int i = 0; i < sampled; ++i) {
    ASSERT_NEAR(samples[i] - strobe, (i + 0.5) * samplesPerBit, 1.5) << "bit sample " << i;
    // The record's sign is the bit taken there.
    ASSERT_EQ(records[samples[i]].Value > 0 ? 1 : 0, t.Bits[i]) << i;
  }
  ASSERT_LT(strobe, 3 * samplesPerBit + 20);  // the strobe follows the steady tone soon
}

TEST(ModemReceiverTest, CleanBurstFromIndependentGeneratorAtEveryRate) {
  for (const int32_t baud : kOfferedRates) {
    for (const int leadBit : {1, 0}) {
      SCOPED_TRACE("baud " + std::to_string(baud) + " lead " + std::to_string(leadBit));
      const std::vector<int> bits = RandomBits(77, 1000 + baud + leadBit, 1 - leadBit);
      const FskBurst burst = BurstFor(baud, bits, leadBit);
      const auto frames = ToFrames(GenerateFsk(burst, 8000), 0);
      auto modem = Receiver(baud, 50000);
      const auto telegrams = RunReceiver(*modem, 0, frames, 1024, false);
      ASSERT_EQ(telegrams.size(), 1u);
      CheckTelegram(telegrams[0], bits, *modem, 8000.0 / baud);
      EXPECT_EQ(modem->ReceiverState(), rsSleeping);
    }
  }
}

TEST(ModemReceiverTest, CleanBurstFromOurTransmitterAtEveryRate) {
  for (const int32_t baud : kOfferedRates) {
    for (const int leadBit : {1, 0}) {
      SCOPED_TRACE("baud " + std::to_string(baud) + " lead " + std::to_string(leadBit));
      const std::vector<int> data = RandomBits(64, 2000 + baud + leadBit, 1 - leadBit);
      // No lead-in in the transmitter: three bits of the lead tone come first.
      std::vector<int> sent(3, leadBit);
      sent.insert(sent.end(), data.begin(), data.end());
      const auto silence = static_cast<size_t>(3.5 * 8000 / baud) + 7;
      const std::vector<double> signal = testing::Transmitted(
          SettingsForRate(baud), sent, silence, static_cast<size_t>(8 * 8000 / baud + 400));
      auto modem = Receiver(baud, 50000);
      const auto telegrams = RunReceiver(*modem, 1, ToFrames(signal, 1), 1024, false);
      ASSERT_EQ(telegrams.size(), 1u);
      CheckTelegram(telegrams[0], data, *modem, 8000.0 / baud);
    }
  }
}

TEST(ModemReceiverTest, LeadingBitsEqualToTheSteadyToneAreNotReceived) {
  const std::vector<int> bits = {1, 1, 1, 0, 1, 0, 0, 1, 1, 0, 1, 0, 1, 1, 1, 0};
  const auto frames = ToFrames(GenerateFsk(BurstFor(200, bits, 1), 8000), 0);
  auto modem = Receiver(200, 0);
  const auto telegrams = RunReceiver(*modem, 0, frames, 1024, false);
  ASSERT_EQ(telegrams.size(), 1u);
  const std::vector<int> expected(bits.begin() + 3, bits.end());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(telegrams[0].Bits[i], expected[i]) << i;
}

// Per-sample run of a receiver and of a twin modem that only demodulates, so
// the test sees the normalised discriminator value c of every sample and the
// receiver state after it.
struct Trace {
  std::vector<double> C;
  std::vector<int> State;
};

Trace RunPerSample(TModem& rx, TModem& twin, const std::vector<int16_t>& frames) {
  Trace trace;
  const size_t total = frames.size() / 2;
  for (size_t n = 0; n < total; ++n) {
    rx.ProcessBlock(0, frames.data() + 2 * n, 1);
    double x = frames[2 * n];
    twin.Demodulate(&x, 1, &x);
    trace.C.push_back(x / 32768);
    trace.State.push_back(rx.ReceiverState());
  }
  return trace;
}

// First sample after which the state is `to`, coming from `from`; −1 if none.
int Transition(const Trace& t, int from, int to) {
  for (size_t n = 1; n < t.State.size(); ++n) {
    if (t.State[n - 1] == from && t.State[n] == to) return static_cast<int>(n);
  }
  return -1;
}

// Length of the run of samples ending at m for which `holds(j)` is true.
template <class F>
int RunLength(int m, F holds) {
  int k = 0;
  while (m - k >= 0 && holds(m - k)) ++k;
  return k;
}

TEST(ModemReceiverTest, StateCountsEqualTheTableAtEveryRate) {
  for (const TableRow row : kTable) {
    SCOPED_TRACE("baud " + std::to_string(row.Baud));
    const std::vector<int> bits = RandomBits(40, 3000 + row.Baud, 0);
    FskBurst burst = BurstFor(row.Baud, bits, 1);
    const auto frames = ToFrames(GenerateFsk(burst, 8000), 0);
    auto rx = Receiver(row.Baud, 0);
    auto twin = Receiver(row.Baud, 0);
    const Trace t = RunPerSample(*rx, *twin, frames);
    const double level = 0.1;
    auto e = [&](int j) { return std::fabs(t.C[j]); };

    // 1 → 2: the receiver starts at the first sample, which is silent.
    const int silent = Transition(t, rsWaitSilence, rsWaitLevel);
    ASSERT_GE(silent, 0);
    EXPECT_EQ(silent + 1, row.Silence);
    EXPECT_EQ(RunLength(silent, [&](int j) { return e(j) < level; }), row.Silence);

    // 2 → 3: more than 2 T above the level without a change of sign.
    const int steady = Transition(t, rsWaitLevel, rsWaitStrobe);
    ASSERT_GT(steady, silent);
    const int run = RunLength(steady, [&](int j) {
      return j > silent && e(j) > level &&
             ((t.C[j] > 0 && t.C[j - 1] > 0) || (t.C[j] < 0 && t.C[j - 1] < 0));
    });
    EXPECT_EQ(run, row.Silence);
    EXPECT_GT(steady - run, silent);  // the run began inside state 2

    // 3 → 4 at the first change of sign.
    const int strobe = Transition(t, rsWaitStrobe, rsReceiving);
    ASSERT_GT(strobe, steady);
    for (int j = steady + 1; j < strobe; ++j) ASSERT_GT(t.C[j] * t.C[steady], 0.0) << j;
    EXPECT_LT(t.C[strobe] * t.C[strobe - 1], 0.0);
    // The strobe follows the first data boundary by the chain's delay (16
    // samples of Hilbert alignment plus the filters), less than a bit.
    const double boundary = burst.DataStart() * 8000;
    EXPECT_GT(strobe, boundary + 16);
    EXPECT_LT(strobe, boundary + 16 + 8000.0 / row.Baud + 8);

    // 4 → 0: more than 4 T below the level.
    const int end = Transition(t, rsReceiving, rsSleeping);
    ASSERT_GT(end, strobe);
    EXPECT_EQ(RunLength(end, [&](int j) { return e(j) < level; }), row.End);
    // Sleeping from then on, and the telegram is the data.
    for (size_t j = end; j < t.State.size(); ++j) ASSERT_EQ(t.State[j], rsSleeping);
    uint8_t bytes[256];
    const int32_t count = rx->TakeTelegram(bytes, 0);
    ASSERT_GE(count, 44);
    const auto got = testing::UnpackBits(bytes, count);
    for (size_t i = 0; i < bits.size(); ++i) ASSERT_EQ(got[i], bits[i]) << i;
  }
}

TEST(ModemReceiverTest, BlockSizeDoesNotChangeTheResult) {
  const std::vector<int> bits = RandomBits(120, 77, 0);
  const auto frames = ToFrames(GenerateFsk(BurstFor(300, bits, 1), 8000), 0);
  std::vector<Telegram> reference;
  std::vector<TSignalRecord> referenceRecords;
  for (const int block : {1024, 1, 7, 333, 1000}) {
    auto modem = Receiver(300, 20000);
    const auto telegrams = RunReceiver(*modem, 0, frames, block, false);
    ASSERT_EQ(telegrams.size(), 1u) << block;
    std::vector<TSignalRecord> records(20000);
    records.resize(modem->CopySignalRecords(records.data()));
    if (reference.empty()) {
      reference = telegrams;
      referenceRecords = records;
      continue;
    }
    EXPECT_EQ(telegrams[0].Bits, reference[0].Bits) << block;
    ASSERT_EQ(records.size(), referenceRecords.size()) << block;
    for (size_t i = 0; i < records.size(); ++i) {
      ASSERT_EQ(records[i].Value, referenceRecords[i].Value) << block << " " << i;
      ASSERT_EQ(records[i].Kind, referenceRecords[i].Kind) << block << " " << i;
    }
  }
}

TEST(ModemReceiverTest, NoReceptionWithoutPrecedingSilence) {
  for (const double silenceBits : {0.0, 1.0}) {
    SCOPED_TRACE(silenceBits);
    const std::vector<int> bits = RandomBits(60, 5, 0);
    FskBurst burst = BurstFor(200, bits, 1);
    burst.Silence = silenceBits / 200;
    burst.Tail = 0;  // the line stays busy to the end
    const auto frames = ToFrames(GenerateFsk(burst, 8000), 0);
    auto rx = Receiver(200, 0);
    auto twin = Receiver(200, 0);
    const Trace t = RunPerSample(*rx, *twin, frames);
    for (size_t n = 0; n < t.State.size(); ++n) ASSERT_EQ(t.State[n], rsWaitSilence) << n;
    uint8_t bytes[256];
    EXPECT_EQ(rx->TakeTelegram(bytes, 0), 0);
  }
}

TEST(ModemReceiverTest, SignChangeDuringTheSteadyToneResetsTheCount) {
  for (const int32_t baud : {50, 200}) {
    SCOPED_TRACE(baud);
    // Generated at four times the rate: quarter-bit pieces. Lead: 1.5 T of
    // Freq1, a quarter bit of Freq0 (the spike), 3 T of Freq1; then the data.
    const std::vector<int> data = RandomBits(40, 9, 0);
    auto make = [&](bool spike) {
      std::vector<int> quarters(6, 1);
      quarters.push_back(spike ? 0 : 1);
      quarters.insert(quarters.end(), 12, 1);
      for (int b : data) quarters.insert(quarters.end(), 4, b);
      FskBurst burst = BurstFor(baud, {}, 1);
      burst.Baud = 4.0 * baud;
      burst.Lead = 0;
      burst.Bits = quarters;
      return ToFrames(GenerateFsk(burst, 8000), 0);
    };
    const FskBurst shape = BurstFor(baud, {}, 1);
    const double spikeEnd = (shape.Silence + 1.75 / baud) * 8000;
    const double twoT = 2.0 * 8000 / baud;
    for (const bool spike : {false, true}) {
      auto rx = Receiver(baud, 0);
      auto twin = Receiver(baud, 0);
      const Trace t = RunPerSample(*rx, *twin, make(spike));
      const int steady = Transition(t, rsWaitLevel, rsWaitStrobe);
      ASSERT_GT(steady, 0);
      if (spike) {
        EXPECT_GE(steady, spikeEnd + twoT);
      } else {
        EXPECT_LT(steady, spikeEnd + twoT - 0.25 * twoT);
      }
      uint8_t bytes[256];
      const int32_t count = rx->TakeTelegram(bytes, 0);
      ASSERT_GT(count, 40) << spike;
      const auto got = testing::UnpackBits(bytes, count);
      for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(got[i], data[i]) << spike << " " << i;
    }
  }
}

TEST(ModemReceiverTest, FullRecordBufferStopsRecordingButNotReception) {
  const std::vector<int> bits = RandomBits(50, 21, 0);
  const auto frames = ToFrames(GenerateFsk(BurstFor(200, bits, 1), 8000), 0);
  auto full = Receiver(200, 100000);
  const auto a = RunReceiver(*full, 0, frames, 1024, false);
  auto small = Receiver(200, 100);
  const auto b = RunReceiver(*small, 0, frames, 1024, false);
  ASSERT_EQ(a.size(), 1u);
  ASSERT_EQ(b.size(), 1u);
  EXPECT_EQ(a[0].BitCount, b[0].BitCount);
  EXPECT_EQ(a[0].Bits, b[0].Bits);
  std::vector<TSignalRecord> ra(100000), rb(200);
  const int32_t na = full->CopySignalRecords(ra.data());
  EXPECT_EQ(small->CopySignalRecords(rb.data()), 100);
  EXPECT_GT(na, 100);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(ra[i].Value, rb[i].Value);
    EXPECT_EQ(ra[i].Kind, rb[i].Kind);
  }
  // Copying does not clear; a new capacity does; no buffer copies nothing.
  EXPECT_EQ(small->CopySignalRecords(rb.data()), 100);
  small->SetRecordCapacity(10);
  EXPECT_EQ(small->CopySignalRecords(rb.data()), 0);
  TModem none(kNoFile, 1024);
  EXPECT_EQ(none.CopySignalRecords(rb.data()), 0);
}

TEST(ModemReceiverTest, TwoThousandFortyBitsCloseATelegram) {
  const std::vector<int> bits = RandomBits(2100, 31, 0);
  FskBurst burst = BurstFor(1200, bits, 1);
  const auto frames = ToFrames(GenerateFsk(burst, 8000), 0);
  auto modem = Receiver(1200, 0);
  const auto telegrams = RunReceiver(*modem, 0, frames, 1024, false);
  ASSERT_EQ(telegrams.size(), 1u);
  ASSERT_EQ(telegrams[0].BitCount, 2040);
  for (int i = 0; i < 2040; ++i) ASSERT_EQ(telegrams[0].Bits[i], bits[i]) << i;
  // Closed: the rest of the line signal is ignored until re-armed.
  EXPECT_EQ(modem->ReceiverState(), rsSleeping);
  const auto more = RunReceiver(*modem, 0, frames, 1024, false);
  EXPECT_TRUE(more.empty());
  EXPECT_EQ(modem->ReceiverState(), rsSleeping);
}

TEST(ModemReceiverTest, TakeTelegramReturnsATelegramOnce) {
  const std::vector<int> bits = RandomBits(30, 41, 0);
  const auto frames = ToFrames(GenerateFsk(BurstFor(200, bits, 1), 8000), 0);
  auto modem = Receiver(200, 0);
  uint8_t bytes[256] = {};
  EXPECT_EQ(modem->TakeTelegram(bytes, 0), 0);
  for (size_t at = 0; at < frames.size() / 2; at += 1024) {
    modem->ProcessBlock(0, frames.data() + 2 * at,
                        static_cast<int>(std::min<size_t>(1024, frames.size() / 2 - at)));
  }
  const int32_t count = modem->TakeTelegram(bytes, 0);
  EXPECT_GE(count, 40);
  EXPECT_EQ(count % 8, 0);
  EXPECT_EQ(modem->TakeTelegram(bytes, 0), 0);
  EXPECT_EQ(modem->TakeTelegram(bytes, 30), 0);  // waits, still nothing

  // A finished telegram not taken before ResetReceiver is gone.
  auto other = Receiver(200, 0);
  RunReceiver(*other, 0, frames, 1024, false);
  EXPECT_EQ(other->ReceiverState(), rsSleeping);
  other->ResetReceiver();
  EXPECT_EQ(other->ReceiverState(), rsWaitSilence);
  EXPECT_EQ(other->TakeTelegram(bytes, 0), 0);
  // Re-armed, the same burst is received again.
  const auto again = RunReceiver(*other, 0, frames, 1024, false);
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].BitCount, count);
}

TEST(ModemReceiverTest, SleepingAfterConstructionUntilReset) {
  const std::vector<int> bits = RandomBits(30, 43, 0);
  const auto frames = ToFrames(GenerateFsk(BurstFor(200, bits, 1), 8000), 0);
  TModem modem(kNoFile, 1024);
  modem.SetRecordCapacity(1000);
  EXPECT_EQ(modem.ReceiverState(), rsSleeping);
  const auto telegrams = RunReceiver(modem, 0, frames, 1024, false);
  EXPECT_TRUE(telegrams.empty());
  EXPECT_EQ(modem.ReceiverState(), rsSleeping);
  EXPECT_EQ(modem.CopySignalRecords(nullptr), 0);
  EXPECT_GT(modem.Level(), 0.0);  // the signal chain and level meter run
}

TEST(ModemReceiverTest, LevelMeterFollowsTheBandFilteredPeak) {
  TModem modem(kNoFile, 1024);
  modem.ResetReceiver();
  EXPECT_EQ(modem.Level(), 0.0);
  FskBurst tone = BurstFor(200, {}, 1);
  tone.Silence = 0;
  tone.Lead = 0.2;
  tone.Tail = 0;
  tone.Amplitude = 10000;
  const auto frames = ToFrames(GenerateFsk(tone, 8000), 0);
  RunReceiver(modem, 0, frames, 1024, false);
  // The band-pass passes 2760 Hz with a gain near 1.
  EXPECT_NEAR(modem.Level(), 10000 / 32768.0, 0.05);
  // Full scale at most.
  std::vector<int16_t> loud(2048);
  for (size_t n = 0; n < 1024; ++n) loud[2 * n] = (n / 2) % 2 ? 32767 : -32768;
  for (int i = 0; i < 8; ++i) modem.ProcessBlock(0, loud.data(), 1024);
  EXPECT_LE(modem.Level(), 1.0);
  EXPECT_GT(modem.Level(), 0.5);
  // Silence: falls by 5.12 per sample once the filter has rung out.
  std::vector<int16_t> zeros(2048, 0);
  modem.ProcessBlock(0, zeros.data(), 1024);
  const double before = modem.Level();
  modem.ProcessBlock(0, zeros.data(), 1024);
  EXPECT_NEAR(before - modem.Level(), 1024 * 5.12 / 32768, 1e-9);
  modem.ResetReceiver();
  EXPECT_EQ(modem.Level(), 0.0);
}

// The peak tracker against a model of the tracker's rule run over the same
// discriminator values: PrevPeak is the running maximum of state 2 as it
// stood at the local maximum before the most recent one.
TEST(ModemReceiverTest, TakeNoiseReturnsThePeakTrackerValueOnce) {
  const std::vector<int> bits = RandomBits(30, 51, 0);
  FskBurst burst = BurstFor(200, bits, 1);
  burst.Silence = 0.1;
  std::vector<double> signal = GenerateFsk(burst, 8000);
  std::vector<double> noise(static_cast<size_t>(0.1 * 8000));
  testing::AddNoise(noise, 600, 99);
  for (size_t n = static_cast<size_t>(0.03 * 8000); n < noise.size(); ++n) signal[n] += noise[n];
  const auto frames = ToFrames(signal, 0);
  auto rx = Receiver(200, 0);
  auto twin = Receiver(200, 0);
  const Trace t = RunPerSample(*rx, *twin, frames);
  double peakMax = 0, lastPeak = 0, prevPeak = 0, noiseMax = 0;
  bool rising = false;
  const int onset = static_cast<int>(burst.Silence * 8000) + 16;  // tone reaches I/Q
  for (size_t n = 0; n < t.C.size(); ++n) {
    const int state = n == 0 ? rsWaitSilence : t.State[n - 1];
    const double e = std::fabs(t.C[n]);
    if (state == rsWaitLevel) {
      if (static_cast<int>(n) < onset - 16) noiseMax = std::max(noiseMax, e);
      if (e > peakMax) {
        peakMax = e;
        rising = true;
      } else if (rising) {
        rising = false;
        prevPeak = lastPeak;
        lastPeak = peakMax;
      }
    } else {
      peakMax = 0;
      lastPeak = 0;
    }
  }
  ASSERT_GT(Transition(t, rsReceiving, rsSleeping), 0);
  EXPECT_GT(noiseMax, 0.0);
  EXPECT_LT(noiseMax, 0.1);  // the noise stays below the start level
  const double taken = rx->TakeNoise();
  EXPECT_EQ(taken, prevPeak);
  EXPECT_GE(taken, noiseMax);
  EXPECT_EQ(rx->TakeNoise(), 0.0);
}

TEST(ModemReceiverTest, TakeNoiseOfNoiseAloneIsBelowItsMaximum) {
  std::vector<double> signal(8000, 0.0);
  std::vector<double> noise(signal.size());
  testing::AddNoise(noise, 600, 98);
  for (size_t n = 200; n < signal.size(); ++n) signal[n] = noise[n];
  auto rx = Receiver(200, 0);
  auto twin = Receiver(200, 0);
  const Trace t = RunPerSample(*rx, *twin, ToFrames(signal, 0));
  double noiseMax = 0;
  for (size_t n = 1; n < t.C.size(); ++n) {
    if (t.State[n - 1] == rsWaitLevel) noiseMax = std::max(noiseMax, std::fabs(t.C[n]));
  }
  EXPECT_EQ(rx->ReceiverState(), rsWaitLevel);
  const double taken = rx->TakeNoise();
  EXPECT_GT(taken, 0.5 * noiseMax);
  EXPECT_LE(taken, noiseMax);
  EXPECT_EQ(rx->TakeNoise(), 0.0);
}

// Bad input.

TEST(ModemReceiverTest, BlocksLongerThanBlockLengthAreIgnored) {
  const std::vector<int> bits = RandomBits(30, 61, 0);
  const auto frames = ToFrames(GenerateFsk(BurstFor(200, bits, 1), 8000), 0);
  TModem a(kNoFile, 64), b(kNoFile, 64);
  a.SetRecordCapacity(5000);
  b.SetRecordCapacity(5000);
  a.ResetReceiver();
  b.ResetReceiver();
  std::vector<int16_t> loud(2 * 65);
  for (size_t n = 0; n < 65; ++n) loud[2 * n] = n % 3 ? 20000 : -20000;
  a.ProcessBlock(0, loud.data(), 65);
  EXPECT_EQ(a.Level(), 0.0);
  EXPECT_EQ(a.ReceiverState(), rsWaitSilence);
  const auto ta = RunReceiver(a, 0, frames, 64, false);
  const auto tb = RunReceiver(b, 0, frames, 64, false);
  ASSERT_EQ(ta.size(), 1u);
  ASSERT_EQ(tb.size(), 1u);
  EXPECT_EQ(ta[0].Bits, tb[0].Bits);
  std::vector<TSignalRecord> ra(5000), rb(5000);
  ASSERT_EQ(a.CopySignalRecords(ra.data()), b.CopySignalRecords(rb.data()));
  for (int i = 0; i < 100; ++i) ASSERT_EQ(ra[i].Value, rb[i].Value) << i;
}

TEST(ModemReceiverTest, AllZeroBlocksGiveDiscriminatorZero) {
  TModem modem(kNoFile, 1024);
  modem.ResetReceiver();
  std::vector<double> x(1024, 0.0), y(1024, 1.0);
  modem.Demodulate(x.data(), 1024, y.data());
  for (double v : y) ASSERT_EQ(v, 0.0);
  // After a tone, once reset, zeros give zeros again (filters cleared).
  FskBurst tone = BurstFor(200, {}, 1);
  tone.Silence = 0;
  tone.Lead = 0.1;
  tone.Tail = 0;
  std::vector<double> s = GenerateFsk(tone, 8000);
  modem.Demodulate(s.data(), 800, s.data());
  modem.ResetReceiver();
  std::fill(x.begin(), x.end(), 0.0);
  modem.Demodulate(x.data(), 1024, x.data());
  for (double v : x) ASSERT_EQ(v, 0.0);
  std::vector<int16_t> zeros(2048, 0);
  for (int i = 0; i < 5; ++i) modem.ProcessBlock(1, zeros.data(), 1024);
  EXPECT_EQ(modem.Level(), 0.0);
  EXPECT_EQ(modem.ReceiverState(), rsWaitLevel);  // silence is silence
}

TEST(ModemReceiverTest, EqualTonesGiveNoNaN) {
  TModem modem(kNoFile, 1024);
  modem.SetGeneral(200, 2600, 2600);  // w1 − w0 = 0 if the settings allow it
  modem.ResetReceiver();
  FskBurst b = BurstFor(200, RandomBits(40, 3, 0), 1);
  std::vector<double> s = GenerateFsk(b, 8000);
  testing::AddNoise(s, 2000, 5);
  for (size_t at = 0; at + 512 <= s.size(); at += 512) {
    modem.Demodulate(s.data() + at, 512, s.data() + at);
    for (size_t k = at; k < at + 512; ++k) ASSERT_TRUE(std::isfinite(s[k])) << k;
  }
  const auto frames = ToFrames(GenerateFsk(b, 8000), 0);
  RunReceiver(modem, 0, frames, 1024);
  EXPECT_TRUE(std::isfinite(modem.Level()));
}

class BadSettingsTest : public ::testing::TestWithParam<const char*> {};

TEST_P(BadSettingsTest, ChainRunsWithoutNaNOrCrash) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("sorvex_h4_bad_" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "bad.ini").string();
  std::ofstream(path) << GetParam();
  {
    TModem modem(path, 1024);
    modem.SetRecordCapacity(20000);
    modem.ResetReceiver();
    FskBurst b = BurstFor(200, RandomBits(60, 8, 0), 1);
    std::vector<double> s = GenerateFsk(b, 8000);
    testing::AddNoise(s, 1000, 6);
    const auto frames = ToFrames(s, 0);
    const auto telegrams = RunReceiver(modem, 0, frames, 1024);
    for (const auto& t : telegrams) EXPECT_EQ(t.BitCount % 8, 0);
    EXPECT_TRUE(std::isfinite(modem.Level()));
    EXPECT_TRUE(std::isfinite(modem.TakeNoise()));
    std::vector<TSignalRecord> records(20000);
    const int32_t n = modem.CopySignalRecords(records.data());
    for (int32_t i = 0; i < n; ++i) ASSERT_TRUE(std::isfinite(records[i].Value)) << i;
    std::vector<double> d(s.begin(), s.begin() + 1024);
    modem.ResetReceiver();
    modem.Demodulate(d.data(), 1024, d.data());
    for (double v : d) ASSERT_TRUE(std::isfinite(v));
    const uint8_t bits[3] = {0x12, 0x34, 0x56};
    modem.StartTransmit(bits, 24);
    std::vector<double> out(4000);
    modem.Modulate(out.data(), 4000);
    for (double v : out) ASSERT_TRUE(std::isfinite(v));
  }
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    HandEdited, BadSettingsTest,
    ::testing::Values("[GENERAL]\nBaudrate=0\n", "[GENERAL]\nBaudrate=-200\n",
                      "[GENERAL]\nFreq0=2600\nFreq1=2600\n", "[GENERAL]\nFreq0=2760\nFreq1=2540\n",
                      "[GENERAL]\nFreq0=-5\nFreq1=90000\n",
                      "[FILTERS]\nBand_Kind=7\nSmoothing_Kind=7\n",
                      "[FILTERS]\nBand_Order=0\nSmoothing_Order=0\n",
                      "[FILTERS]\nBand_Order=-3\nSmoothing_Order=999\nSmoothing_Freq1=0\n",
                      "[FILTERS]\nBand_Freq1=3000\nBand_Freq2=500\nBand_Ripp=-4\n",
                      "[FILTERS]\nBand_Kind=1\nBand_Ripp=0\nSmoothing_Kind=1\nSmoothing_Ripp=99\n",
                      "[GENERAL]\nBaudrate=abc\nFreq0=zz\nFreq1=\n[FILTERS]\nBand_Freq1=x\n",
                      "\x01\x02garbage\xff\n[[[\n=\n"));

}  // namespace
}  // namespace sorvex
