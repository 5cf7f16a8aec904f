// The FSK modulator: silence when idle, the 2040-bit cut, bit
// durations with the fractional sample carried, tones and continuous phase.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <memory>
#include <numbers>
#include <vector>

#include "modem/fsk_signal.h"
#include "modem/modem.h"

namespace sorvex {
namespace {

using testing::PackBits;
using testing::RandomBits;

constexpr double kPi = std::numbers::pi;
const char* const kNoFile = "/nonexistent/sorvex-h4/modem.ini";  // all defaults

// Runs the modulator in blocks until it falls idle; returns the tone samples
// (those produced while it was transmitting) and checks the rest is silence.
std::vector<double> ModulateAll(TModem& modem, int block, int& toneSamples) {
  std::vector<double> out;
  std::vector<double> buffer(block);
  toneSamples = -1;
  for (int guard = 0; guard < 100000; ++guard) {
    const bool busy = modem.Transmitting();
    if (!busy) break;
    for (int k = 0; k < block; ++k) {
      modem.Modulate(&buffer[k], 1);
      out.push_back(buffer[k]);
      if (!modem.Transmitting() && toneSamples < 0) toneSamples = static_cast<int>(out.size());
    }
  }
  return out;
}

TEST(ModemTransmitterTest, IdleAndZeroBitCountAreSilent) {
  TModem modem(kNoFile, 1024);
  std::vector<double> out(3000, 1.0);
  modem.Modulate(out.data(), static_cast<int>(out.size()));
  for (double v : out) ASSERT_EQ(v, 0.0);

  const uint8_t bits[2] = {0xff, 0xff};
  modem.StartTransmit(bits, 0);
  EXPECT_FALSE(modem.Transmitting());
  std::fill(out.begin(), out.end(), 1.0);
  modem.Modulate(out.data(), static_cast<int>(out.size()));
  for (double v : out) ASSERT_EQ(v, 0.0);

  modem.StartTransmit(bits, -5);
  EXPECT_FALSE(modem.Transmitting());
}

TEST(ModemTransmitterTest, ThirtySixBitsAt200BaudAre1440SamplesThenZeros) {
  TModem modem(kNoFile, 1024);
  const std::vector<int> bits = RandomBits(36, 7, 0);
  const auto packed = PackBits(bits);
  modem.StartTransmit(packed.data(), 36);
  std::vector<double> out(4000, 7.0);
  modem.Modulate(out.data(), 1439);
  EXPECT_TRUE(modem.Transmitting());
  modem.Modulate(out.data() + 1439, 1);
  EXPECT_FALSE(modem.Transmitting());
  modem.Modulate(out.data() + 1440, 4000 - 1440);
  EXPECT_EQ(out[0], 0.0);  // sin 0: no lead-in
  EXPECT_NE(out[1], 0.0);
  EXPECT_NE(out[1439], 0.0);
  for (int k = 1440; k < 4000; ++k) ASSERT_EQ(out[k], 0.0) << k;
  for (int k = 0; k < 1440; ++k) ASSERT_LE(std::fabs(out[k]), 1.0);
}

TEST(ModemTransmitterTest, MoreThan2040BitsAreCut) {
  // 2040 bits at 200 baud: exactly 40 samples each, 81600 samples.
  for (const int32_t count : {2040, 2041, 2047, 2048, 2400, 100000}) {
    TModem modem(kNoFile, 1024);
    std::vector<uint8_t> bytes(count / 8 + 2, 0x5a);
    modem.StartTransmit(bytes.data(), count);
    int tone = 0;
    ModulateAll(modem, 1024, tone);
    EXPECT_EQ(tone, 81600) << count;
  }
  // Exactly 255 bytes given for a longer count: nothing beyond them is read
  // (the address sanitizer would report it).
  TModem modem(kNoFile, 1024);
  const auto bytes = std::make_unique<uint8_t[]>(255);
  modem.StartTransmit(bytes.get(), 3000);
  int tone = 0;
  ModulateAll(modem, 1024, tone);
  EXPECT_EQ(tone, 81600);
}

// Follows the phase sample by sample: each next sample must be the sine of
// the previous phase advanced by exactly one of the two steps. Two steps can
// explain the same sample (f0 + f1 = 4000 Hz mirrors one tone onto the
// other), so every explanation is followed until the next samples decide.
// Returns the per-sample step choices (0: Freq0, 1: Freq1) of a surviving
// explanation, or sets badAt to the first sample that none explains.
std::vector<int> TrackSteps(const std::vector<double>& s, int toneSamples, double f0, double f1,
                            int& badAt) {
  struct Path {
    double Phase;  // cycles
    std::vector<int> Steps;
  };
  std::vector<Path> paths = {{0.0, {}}};
  badAt = -1;
  const double step[2] = {f0 * 0.000125, f1 * 0.000125};
  for (int n = 0; n + 1 < toneSamples; ++n) {
    std::vector<Path> next;
    for (const Path& p : paths) {
      for (int b = 0; b < 2; ++b) {
        double phase = p.Phase + step[b];
        if (std::fabs(std::sin(2 * kPi * phase) - s[n + 1]) >= 1e-9) continue;
        phase -= std::floor(phase);
        Path q{phase, p.Steps};
        q.Steps.push_back(b);
        next.push_back(std::move(q));
      }
    }
    if (next.empty()) {
      badAt = n + 1;
      return {};
    }
    if (next.size() > 8) next.resize(8);
    paths = std::move(next);
  }
  return paths.front().Steps;
}

TEST(ModemTransmitterTest, PhaseIsContinuousAndBitsLastOneBitPeriod) {
  struct Case {
    int32_t Baud, F0, F1;
  };
  for (const Case c : {Case{50, 2540, 2760}, Case{200, 2540, 2760}, Case{300, 2540, 2760},
                       Case{600, 1700, 2300}, Case{1200, 1300, 2100}, Case{2400, 1200, 2400}}) {
    SCOPED_TRACE(c.Baud);
    TModem modem(kNoFile, 1024);
    modem.SetGeneral(c.Baud, c.F0, c.F1);
    const int nBits = 61;  // not a multiple of 8: only the leading bits of the last byte
    const std::vector<int> bits = RandomBits(nBits, 11 + c.Baud, 1);
    auto packed = PackBits(bits);
    packed.back() = 0xff;  // beyond the count: must not be sent
    modem.StartTransmit(packed.data(), nBits);
    int tone = 0;
    const std::vector<double> s = ModulateAll(modem, 1000, tone);
    const double spb = 8000.0 / c.Baud;
    EXPECT_NEAR(tone, nBits * spb, 1.0);
    EXPECT_EQ(s[0], 0.0);
    int badAt = 0;
    const std::vector<int> steps = TrackSteps(s, tone, c.F0, c.F1, badAt);
    ASSERT_EQ(badAt, -1) << "phase jump or wrong tone at sample " << badAt;
    // Sample n is sent in bit floor(n / spb); the step after it is that bit's
    // tone. Within 1e-6 of a boundary the rounding of the time sum decides.
    for (size_t n = 0; n < steps.size(); ++n) {
      const double x = n / spb;
      if (std::fabs(x - std::round(x)) < 1e-6) continue;
      const auto k = static_cast<size_t>(std::floor(x));
      ASSERT_EQ(steps[n], bits[k]) << "sample " << n << " bit " << k;
    }
  }
}

// Frequencies measured by interpolated zero crossings over long steady runs,
// and each bit's tone by a DFT over the bit at both tones.
TEST(ModemTransmitterTest, TonesMeasureByZeroCrossingsAndPerBitDft) {
  TModem modem(kNoFile, 1024);  // 200 baud, 2540 / 2760 Hz
  std::vector<int> bits(200, 1);
  for (int k = 100; k < 200; ++k) bits[k] = 0;
  auto packed = PackBits(bits);
  modem.StartTransmit(packed.data(), 200);
  int tone = 0;
  const std::vector<double> s = ModulateAll(modem, 512, tone);
  ASSERT_EQ(tone, 8000);
  auto measure = [&](int from, int to) {
    double first = -1, last = -1;
    int crossings = 0;
    for (int n = from; n + 1 < to; ++n) {
      if ((s[n] < 0 && s[n + 1] >= 0) || (s[n] > 0 && s[n + 1] <= 0)) {
        const double t = n + s[n] / (s[n] - s[n + 1]);
        if (first < 0) first = t;
        last = t;
        ++crossings;
      }
    }
    return (crossings - 1) / (2.0 * (last - first) * 0.000125);
  };
  EXPECT_NEAR(measure(10, 3990), 2760.0, 1.0);
  EXPECT_NEAR(measure(4010, 7990), 2540.0, 1.0);

  const std::vector<int> random = RandomBits(96, 5, 0);
  packed = PackBits(random);
  modem.StartTransmit(packed.data(), 96);
  const std::vector<double> r = ModulateAll(modem, 64, tone);
  ASSERT_EQ(tone, 96 * 40);
  for (int k = 0; k < 96; ++k) {
    std::complex<double> x0, x1;
    for (int n = k * 40; n < (k + 1) * 40; ++n) {
      x0 += r[n] * std::polar(1.0, -2 * kPi * 2540 * n / 8000.0);
      x1 += r[n] * std::polar(1.0, -2 * kPi * 2760 * n / 8000.0);
    }
    ASSERT_EQ(std::abs(x1) > std::abs(x0) ? 1 : 0, random[k]) << "bit " << k;
    ASSERT_GT(std::max(std::abs(x0), std::abs(x1)), 15.0);  // ≈ 20 for a full bit
  }
}

TEST(ModemTransmitterTest, StartTransmitReplacesATransmissionAndFrequenciesApplyAtBoundaries) {
  TModem modem(kNoFile, 1024);
  const uint8_t ones[1] = {0xff};
  modem.StartTransmit(ones, 8);
  std::vector<double> a(100);
  modem.Modulate(a.data(), 100);
  const uint8_t zeros[1] = {0x00};
  modem.StartTransmit(zeros, 2);  // replaced at once, phase restarts at 0
  std::vector<double> b(80);
  modem.Modulate(b.data(), 1);
  EXPECT_EQ(b[0], 0.0);
  // A change of tones takes effect at the next bit boundary.
  modem.SetGeneral(200, 1000, 2000);
  modem.Modulate(b.data() + 1, 79);
  // Bit 0 keeps its 2540 Hz step; bit 1 (from sample 40 on) steps at 1000 Hz.
  double phase = 0;
  for (int n = 0; n < 79; ++n) {
    phase += (n < 40 ? 2540 : 1000) * 0.000125;
    ASSERT_NEAR(b[n + 1], std::sin(2 * kPi * (phase - std::floor(phase))), 1e-9) << n;
  }
  EXPECT_FALSE(modem.Transmitting());
}

TEST(ModemTransmitterTest, BadBaudratesNeverGiveNaN) {
  for (const int32_t baud : {0, -200, 1, 8000, 100000}) {
    TModem modem(kNoFile, 1024);
    modem.SetGeneral(baud, 2540, 2760);
    const uint8_t bits[2] = {0xa5, 0x5a};
    modem.StartTransmit(bits, 16);
    std::vector<double> out(5000);
    modem.Modulate(out.data(), 5000);
    for (double v : out) ASSERT_TRUE(std::isfinite(v)) << baud;
  }
}

}  // namespace
}  // namespace sorvex
