// The ideal non-coherent FSK detector's bit error rate: the Marcum Q
// function against its defining integral, the closed form for orthogonal
// tones, and a Monte Carlo run of the detector itself for correlated tones.
#include "dsp/detection_bound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>

namespace sorvex {
namespace {

// Q1(a, b) = ∫_b^∞ x·exp(−(x² + a²)/2)·I0(a·x) dx by Simpson's rule; the
// integrand is written as x·exp(−(x − a)²/2)·[exp(−ax)·I0(ax)] to stay finite.
double MarcumByIntegral(double a, double b) {
  const int n = 200000;
  const double hi = std::max(a, b) + 40, h = (hi - b) / n;
  auto f = [a](double x) {
    const double ax = a * x;
    return x * std::exp(-(x - a) * (x - a) / 2) * std::cyl_bessel_i(0.0, ax) * std::exp(-ax);
  };
  double sum = f(b) + f(hi);
  for (int i = 1; i < n; ++i) sum += f(b + i * h) * (i % 2 ? 4 : 2);
  return sum * h / 3;
}

TEST(DetectionBoundTest, MarcumQMatchesItsIntegralAndItsSymmetry) {
  const double pairs[][2] = {{0.5, 1}, {1, 1}, {1, 2}, {2, 1}, {3, 4}, {5, 3}, {2, 6}, {4.2, 7.5}};
  for (const auto& p : pairs) {
    const double a = p[0], b = p[1];
    SCOPED_TRACE(std::to_string(a) + ", " + std::to_string(b));
    const double q = MarcumQ1(a, b);
    EXPECT_NEAR(q, MarcumByIntegral(a, b), 1e-9 + 1e-7 * q);
    // Q1(a, b) + Q1(b, a) = 1 + exp(−(a² + b²)/2)·I0(ab)
    EXPECT_NEAR(q + MarcumQ1(b, a),
                1 + std::exp(-(a * a + b * b) / 2) * std::cyl_bessel_i(0.0, a * b), 1e-12);
  }
  EXPECT_DOUBLE_EQ(MarcumQ1(2.5, 0), 1.0);
  EXPECT_NEAR(MarcumQ1(0, 3), std::exp(-4.5), 1e-15);
}

TEST(DetectionBoundTest, OrthogonalTonesGiveHalfExpOfHalfEbN0) {
  for (double db = 0; db <= 20; db += 2.5) {
    const double g = std::pow(10.0, db / 10);
    const double expected = 0.5 * std::exp(-g / 2);
    EXPECT_NEAR(NoncoherentFskBitErrorRate(g, 0), expected, 1e-9 * expected) << db;
  }
  // The sanity figure: 99% of 189-bit telegrams near 12.6 dB.
  EXPECT_NEAR(NoncoherentFskEbN0ForTelegram(0, 189, 0.99), 12.6, 0.1);
  const double at = NoncoherentFskEbN0ForTelegram(0.4, 189, 0.99);
  EXPECT_NEAR(std::pow(1 - NoncoherentFskBitErrorRate(std::pow(10.0, at / 10), 0.4), 189), 0.99,
              1e-9);
}

TEST(DetectionBoundTest, ToneCorrelationOfTheUsualPairs) {
  EXPECT_NEAR(ToneCorrelation(1200, 2400, 2400), 2 / std::numbers::pi, 1e-12);  // Δf·T = ½
  EXPECT_NEAR(ToneCorrelation(1700, 2300, 600), 0, 1e-12);                      // Δf·T = 1
  EXPECT_NEAR(ToneCorrelation(1300, 2100, 1200),
              std::sin(2 * std::numbers::pi / 3) / (2 * std::numbers::pi / 3), 1e-12);
  EXPECT_DOUBLE_EQ(ToneCorrelation(2000, 2000, 200), 1.0);
  // More correlation, more errors; identical tones are a coin toss.
  EXPECT_LT(NoncoherentFskBitErrorRate(10, 0.2), NoncoherentFskBitErrorRate(10, 0.6));
  EXPECT_NEAR(NoncoherentFskBitErrorRate(10, 1.0), 0.5, 1e-12);
}

// The detector itself: two unit signals with correlation ρ, received with a
// random phase in complex white noise, decided on the larger envelope.
TEST(DetectionBoundTest, MonteCarloDetectorAgreesForCorrelatedTones) {
  const double rho = 2 / std::numbers::pi, db = 10;  // the 2400-baud pair
  const double g = std::pow(10.0, db / 10);
  std::mt19937_64 rng(7);
  std::normal_distribution<double> gauss(0.0, std::sqrt(0.5));  // E|n|² = N0 = 1
  std::uniform_real_distribution<double> phase(0, 2 * std::numbers::pi);
  const int trials = 400000;
  int errors = 0;
  for (int i = 0; i < trials; ++i) {
    // s0 = (1, 0), s1 = (ρ, sqrt(1 − ρ²)); r = sqrt(Eb)·e^{iφ}·s0 + n.
    const std::complex<double> r0 =
        std::polar(std::sqrt(g), phase(rng)) + std::complex<double>(gauss(rng), gauss(rng));
    const std::complex<double> r1(gauss(rng), gauss(rng));
    const double z0 = std::abs(r0), z1 = std::abs(rho * r0 + std::sqrt(1 - rho * rho) * r1);
    errors += z1 > z0;
  }
  const double p = NoncoherentFskBitErrorRate(g, rho);
  const double sigma = std::sqrt(p * (1 - p) / trials);
  EXPECT_NEAR(static_cast<double>(errors) / trials, p, 4 * sigma);
}

}  // namespace
}  // namespace sorvex
