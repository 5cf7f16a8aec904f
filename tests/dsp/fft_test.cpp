#include "dsp/fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

namespace sorvex {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<std::complex<double>> DirectDft(const std::vector<double>& re,
                                            const std::vector<double>& im, int direction) {
  const size_t n = re.size();
  std::vector<std::complex<double>> out(n);
  for (size_t m = 0; m < n; ++m) {
    std::complex<double> sum = 0;
    for (size_t k = 0; k < n; ++k) {
      const double angle = -direction * 2.0 * kPi * static_cast<double>((k * m) % n) / n;
      sum += std::complex<double>(re[k], im[k]) * std::polar(1.0, angle);
    }
    out[m] = sum;
  }
  return out;
}

TEST(FftTest, EqualsADirectDftForEveryPowerOfTwo) {
  std::mt19937 rng(12345);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int n = 1; n <= 1024; n *= 2) {
    for (int direction : {1, -1}) {
      std::vector<double> re(static_cast<size_t>(n)), im(static_cast<size_t>(n));
      for (int k = 0; k < n; ++k) {
        re[static_cast<size_t>(k)] = u(rng);
        im[static_cast<size_t>(k)] = u(rng);
      }
      const auto expected = DirectDft(re, im, direction);
      EXPECT_EQ(Fft(re.data(), im.data(), n, direction), n - 1);
      for (int m = 0; m < n; ++m) {
        ASSERT_NEAR(re[static_cast<size_t>(m)], expected[static_cast<size_t>(m)].real(), 1e-11 * n)
            << n << " bin " << m;
        ASSERT_NEAR(im[static_cast<size_t>(m)], expected[static_cast<size_t>(m)].imag(), 1e-11 * n)
            << n << " bin " << m;
      }
    }
  }
}

TEST(FftTest, ImpulseGivesAllOnes) {
  const int n = 256;
  std::vector<double> re(n, 0.0), im(n, 0.0);
  re[0] = 1.0;
  Fft(re.data(), im.data(), n, 1);
  for (int m = 0; m < n; ++m) {
    EXPECT_EQ(re[static_cast<size_t>(m)], 1.0) << m;
    EXPECT_EQ(im[static_cast<size_t>(m)], 0.0) << m;
  }
}

TEST(FftTest, ConstantGivesNInBinZero) {
  const int n = 512;
  std::vector<double> re(n, 1.0), im(n, 0.0);
  Fft(re.data(), im.data(), n, 1);
  EXPECT_NEAR(re[0], n, 1e-12);
  EXPECT_NEAR(im[0], 0.0, 1e-12);
  for (int m = 1; m < n; ++m) {
    EXPECT_NEAR(re[static_cast<size_t>(m)], 0.0, 1e-10) << m;
    EXPECT_NEAR(im[static_cast<size_t>(m)], 0.0, 1e-10) << m;
  }
}

TEST(FftTest, ToneLandsInItsBin) {
  const int n = 2048;  // the settings tab's spectrum of 1280 samples at 200 baud
  std::vector<double> re(n), im(n, 0.0);
  for (int k = 0; k < n; ++k) re[static_cast<size_t>(k)] = std::cos(2.0 * kPi * 300 * k / n);
  Fft(re.data(), im.data(), n, 1);
  EXPECT_NEAR(re[300], n / 2.0, 1e-9);
  EXPECT_NEAR(re[n - 300], n / 2.0, 1e-9);
  EXPECT_NEAR(std::hypot(re[301], im[301]), 0.0, 1e-9);
}

TEST(FftTest, InverseWithoutScalingRoundTripsToNTimesTheInput) {
  std::mt19937 rng(7);
  std::normal_distribution<double> g;
  const int n = 1024;
  std::vector<double> re(n), im(n);
  for (int k = 0; k < n; ++k) {
    re[static_cast<size_t>(k)] = g(rng);
    im[static_cast<size_t>(k)] = g(rng);
  }
  const std::vector<double> re0 = re, im0 = im;
  Fft(re.data(), im.data(), n, 1);
  Fft(re.data(), im.data(), n, -1);
  for (int k = 0; k < n; ++k) {
    ASSERT_NEAR(re[static_cast<size_t>(k)], n * re0[static_cast<size_t>(k)], 1e-9);
    ASSERT_NEAR(im[static_cast<size_t>(k)], n * im0[static_cast<size_t>(k)], 1e-9);
  }
}

TEST(FftTest, LengthThatIsNoPowerOfTwoIsLeftAlone) {
  std::vector<double> re = {1, 2, 3, 4, 5, 6}, im(6, 0.0);
  EXPECT_EQ(Fft(re.data(), im.data(), 6, 1), 5);
  EXPECT_EQ(re, (std::vector<double>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(Fft(re.data(), im.data(), 0, 1), -1);
}

}  // namespace
}  // namespace sorvex
