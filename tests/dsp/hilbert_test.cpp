#include "dsp/hilbert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace sorvex {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<double> Tone(double hz, int n, double phase = 0.0) {
  std::vector<double> x(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k)
    x[static_cast<size_t>(k)] = std::cos(2.0 * kPi * hz * k / 8000.0 + phase);
  return x;
}

// Runs x through h in blocks of `block` samples (the last one shorter).
void RunBlocks(THilbert& h, const std::vector<double>& x, int block, std::vector<double>& i,
               std::vector<double>& q) {
  i.assign(x.size(), 0.0);
  q.assign(x.size(), 0.0);
  for (size_t start = 0; start < x.size(); start += static_cast<size_t>(block)) {
    const int n = static_cast<int>(std::min(static_cast<size_t>(block), x.size() - start));
    h.Process(x.data() + start, n, i.data() + start, q.data() + start);
  }
}

// Gain of the 31-tap quadrature filter at w rad/sample: Σ over odd b of (4/(bπ))·sin(bw).
double QuadratureGain(int taps, double w) {
  double g = 0;
  for (int b = 1; b <= (taps - 1) / 2; b += 2) g += 4.0 / (b * kPi) * std::sin(b * w);
  return g;
}

TEST(HilbertTest, TapCountIsOddAndAtLeastThree) {
  EXPECT_EQ(THilbert(2, 64).TapCount(), 3);
  EXPECT_EQ(THilbert(30, 64).TapCount(), 31);
  EXPECT_EQ(THilbert(31, 64).TapCount(), 31);
  EXPECT_EQ(THilbert(1, 64).TapCount(), 3);
  EXPECT_EQ(THilbert(-8, 64).TapCount(), 3);
  EXPECT_EQ(THilbert(31, 512).MaxBlock(), 512);
}

TEST(HilbertTest, CoefficientsAreTheIdealOddTaps) {
  const THilbert h(31, 1024);
  const std::vector<double>& c = h.Coefficients();
  ASSERT_EQ(c.size(), 31u);
  for (int i = 0; i < 31; ++i) {
    const int b = i - 15;
    if (b % 2 == 0) {
      EXPECT_EQ(c[static_cast<size_t>(i)], 0.0) << i;
    } else {
      EXPECT_DOUBLE_EQ(c[static_cast<size_t>(i)], -2.0 / (b * kPi)) << i;
      EXPECT_EQ(c[static_cast<size_t>(i)], -c[static_cast<size_t>(30 - i)]);  // antisymmetric
    }
  }
  EXPECT_EQ(std::count_if(c.begin(), c.end(), [](double v) { return v != 0.0; }), 16);
}

// A cosine gives the cosine delayed by 16 samples in phase and the sine, times
// the filter's gain at that frequency, in quadrature; |analytic|² therefore
// stays between 1 and G², nearly constant.
TEST(HilbertTest, SteadyToneGivesANearlyConstantAnalyticMagnitude) {
  THilbert h(31, 1024);
  const std::vector<double> x = Tone(2540, 8 * 1024);
  std::vector<double> i, q;
  RunBlocks(h, x, 1024, i, q);
  const double w = 2.0 * kPi * 2540 / 8000;
  const double g = QuadratureGain(31, w);
  EXPECT_NEAR(g, 0.9625, 0.0001);  // the unwindowed filter's ripple at 2540 Hz
  const double lo = std::min(1.0, g * g), hi = std::max(1.0, g * g);
  for (size_t k = 1024; k < x.size(); ++k) {
    const double phase = w * (static_cast<double>(k) - 16.0);
    ASSERT_NEAR(i[k], std::cos(phase), 1e-11) << k;
    ASSERT_NEAR(q[k], g * std::sin(phase), 1e-11) << k;
    const double m = i[k] * i[k] + q[k] * q[k];
    ASSERT_GE(m, lo - 1e-11) << k;
    ASSERT_LE(m, hi + 1e-11) << k;
  }
}

TEST(HilbertTest, BlockLongerThanMaxBlockIsIgnored) {
  THilbert h(31, 64), fresh(31, 64);
  const std::vector<double> x = Tone(1000, 65);
  std::vector<double> i(65, 7.0), q(65, 7.0);
  h.Process(x.data(), 65, i.data(), q.data());
  EXPECT_TRUE(std::all_of(i.begin(), i.end(), [](double v) { return v == 7.0; }));
  EXPECT_TRUE(std::all_of(q.begin(), q.end(), [](double v) { return v == 7.0; }));
  // The history is untouched too: the next block gives what a fresh object gives.
  std::vector<double> i1(64), q1(64), i2(64), q2(64);
  h.Process(x.data(), 64, i1.data(), q1.data());
  fresh.Process(x.data(), 64, i2.data(), q2.data());
  EXPECT_EQ(i1, i2);
  EXPECT_EQ(q1, q2);
  h.Process(x.data(), 0, i1.data(), q1.data());  // n = 0 does nothing
  h.Process(x.data(), -3, i1.data(), q1.data());
  EXPECT_EQ(i1, i2);
}

TEST(HilbertTest, ResetZeroesTheHistory) {
  THilbert h(31, 256);
  const std::vector<double> x = Tone(700, 256, 0.3);
  std::vector<double> i(256), q(256);
  h.Process(x.data(), 256, i.data(), q.data());
  h.Reset();
  h.Process(x.data(), 256, i.data(), q.data());
  for (int k = 0; k < 16; ++k) EXPECT_EQ(i[static_cast<size_t>(k)], 0.0) << k;
  EXPECT_EQ(i[16], x[0]);
  // The window of quadrature[k] is the 31 samples ending at input k − 1: it
  // lies wholly in the zeroed history for k = 0 and partly for k = 1..30.
  const std::vector<double>& c = h.Coefficients();
  for (int k = 0; k <= 31; ++k) {
    double expected = 0;
    for (int t = 0; t < 31; ++t) {
      const int input = k + t - 31;
      if (input >= 0) expected += c[static_cast<size_t>(t)] * x[static_cast<size_t>(input)];
    }
    EXPECT_NEAR(q[static_cast<size_t>(k)], expected, 1e-15) << k;
  }
  EXPECT_EQ(q[0], 0.0);
  EXPECT_NE(q[1], 0.0);
  THilbert fresh(31, 256);
  std::vector<double> fi(256), fq(256);
  fresh.Process(x.data(), 256, fi.data(), fq.data());
  EXPECT_EQ(i, fi);
  EXPECT_EQ(q, fq);
}

// Blocks of any length, including shorter than the 31 taps (a one-byte test
// string at 2400 baud is 26 samples), behave as one continuous signal.
TEST(HilbertTest, ShortAndUnevenBlocksEqualOneLongBlock) {
  const std::vector<double> x = Tone(2760, 3000, 1.0);
  THilbert whole(31, 4096);
  std::vector<double> wi(x.size()), wq(x.size());
  whole.Process(x.data(), static_cast<int>(x.size()), wi.data(), wq.data());
  for (int block : {1, 5, 26, 30, 31, 32, 512, 1024}) {
    THilbert h(31, 1024);
    std::vector<double> i, q;
    RunBlocks(h, x, block, i, q);
    EXPECT_EQ(i, wi) << block;
    for (size_t k = 0; k < x.size(); ++k) ASSERT_NEAR(q[k], wq[k], 1e-13) << block << " " << k;
  }
}

TEST(HilbertTest, OutputsMayOverwriteTheInput) {
  const std::vector<double> x = Tone(1500, 512);
  THilbert a(31, 512), b(31, 512);
  std::vector<double> i(512), q(512), inPlace = x;
  a.Process(x.data(), 512, i.data(), q.data());
  std::vector<double> q2(512);
  b.Process(inPlace.data(), 512, inPlace.data(), q2.data());
  EXPECT_EQ(inPlace, i);
  EXPECT_EQ(q2, q);
}

TEST(HilbertTest, ThreeTapsHaveOneNonZeroPair) {
  THilbert h(2, 16);
  ASSERT_EQ(h.TapCount(), 3);
  EXPECT_DOUBLE_EQ(h.Coefficients()[0], 2.0 / kPi);
  EXPECT_EQ(h.Coefficients()[1], 0.0);
  EXPECT_DOUBLE_EQ(h.Coefficients()[2], -2.0 / kPi);
  std::vector<double> x = {1, 2, 3, 4, 5, 6}, i(6), q(6);
  h.Process(x.data(), 6, i.data(), q.data());
  // Delay 2: in-phase is x shifted by two; quadrature[k] = c0·x[k−3] + c2·x[k−1].
  EXPECT_EQ(i, (std::vector<double>{0, 0, 1, 2, 3, 4}));
  EXPECT_DOUBLE_EQ(q[4], 2.0 / kPi * x[1] - 2.0 / kPi * x[3]);
}

}  // namespace
}  // namespace sorvex
