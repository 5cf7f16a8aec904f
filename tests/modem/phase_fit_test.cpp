// The measurer's fast trigonometry against the library's, over the whole
// range its callers reach: every quadrant, the axes, and phases of a long
// telegram at any tone (|x| up to 1e6 rad).
#include "modem/phase_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace sorvex {
namespace {

TEST(PhaseFit, FastSinCosMatchesTheLibrary) {
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> exponent(-6, 6), sign(-1, 1);
  for (int i = 0; i < 200000; ++i) {
    const double x = std::copysign(std::pow(10.0, exponent(random)), sign(random));
    double s, c;
    FastSinCos(x, s, c);
    ASSERT_NEAR(s, std::sin(x), 1e-13) << x;
    ASSERT_NEAR(c, std::cos(x), 1e-13) << x;
  }
}

TEST(PhaseFit, FastAtan2MatchesTheLibrary) {
  const double axes[][2] = {{0, 1}, {1, 0}, {0, -1}, {-1, 0}, {1, 1}, {-1, -1}, {1e-300, -1}};
  for (const auto& p : axes) EXPECT_NEAR(FastAtan2(p[0], p[1]), std::atan2(p[0], p[1]), 1.2e-5);
  EXPECT_EQ(FastAtan2(0, 0), 0);
  for (int i = 0; i < 3600; ++i) {
    const double angle = (i - 1800) * M_PI / 1800 + 1e-4, radius = std::pow(10.0, i % 7 - 3);
    const double y = radius * std::sin(angle), x = radius * std::cos(angle);
    ASSERT_NEAR(FastAtan2(y, x), std::atan2(y, x), 1.2e-5) << angle;
  }
}

}  // namespace
}  // namespace sorvex
