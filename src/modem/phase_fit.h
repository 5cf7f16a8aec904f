#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace sorvex {

// Two doubles side by side, worked on at once where the target has vectors.
using TDoublePair = double __attribute__((vector_size(16)));

// The sender's phase: tone 0 at w0, tone 1 at w1 (rad/sample), bit k from
// at + k·step; or, for a sender that changes tone on a sample clock of its
// own, bit k from the whole sample starts[k].
struct TPhaseModel {
  double w0, w1, at, step;
  std::vector<int> starts;  // empty: the changes fall where the clock puts them
};

// x rounded to the nearest whole number (ties to even) by the float format
// itself, without a library call; for a pair, lane by lane.
template <class T>
inline T RoundNear(T x) {
  constexpr double kRound = 0x1.8p52;
  return (x + kRound) - kRound;
}

// atan2 to 1.2e-5 rad (a bias of 0.01 Hz at most on a tone), at a
// fraction of the library's cost; inline, as it runs once per point.
inline double FastAtan2(double y, double x) {
  const double ax = std::fabs(x), ay = std::fabs(y);
  const double big = std::max(ax, ay);
  if (big == 0) return 0;
  // Odd polynomial on [0, 1], within 1.2e-5 rad.
  const double a = std::min(ax, ay) / big, s = a * a;
  double r =
      a * (0.9998660 + s * (-0.3302995 + s * (0.1801410 + s * (-0.0851330 + s * 0.0208351))));
  // From the first octant out to the quadrant of (x, y).
  r = ay > ax ? std::numbers::pi / 2 - r : r;
  r = x < 0 ? std::numbers::pi - r : r;
  return std::copysign(r, y);
}

// sin and cos to about 1e-14 for |x| up to 1e6, at a fraction of the
// library's cost.
inline void FastSinCos(double x, double& s, double& c) {
  const double q = RoundNear(x * (2 / std::numbers::pi));
  // x − q·π/2 with π/2 in three parts, the first two times q exact.
  const double r = ((x - q * 1.57079632673412561417e+00) - q * 6.07710050630396597660e-11) -
                   q * 2.02226624879595063154e-21;
  const double r2 = r * r;
  // Taylor to r¹³ and r¹⁴: within 3e-14 on |r| ≤ π/4.
  const double sn =
      r + r * r2 *
              (-1.0 / 6 + r2 * (1.0 / 120 + r2 * (-1.0 / 5040 +
                                                  r2 * (1.0 / 362880 + r2 * (-1.0 / 39916800 +
                                                                             r2 / 6227020800.0)))));
  const double cs =
      1 - 0.5 * r2 +
      r2 * r2 *
          (1.0 / 24 + r2 * (-1.0 / 720 + r2 * (1.0 / 40320 +
                                               r2 * (-1.0 / 3628800 + r2 * (1.0 / 479001600 -
                                                                            r2 / 87178291200.0)))));
  switch (static_cast<long long>(q) & 3) {
    case 0:
      s = sn;
      c = cs;
      break;
    case 1:
      s = cs;
      c = -sn;
      break;
    case 2:
      s = -sn;
      c = -cs;
      break;
    default:
      s = -cs;
      c = sn;
      break;
  }
}

// Fits the sender's continuous phase to the raw samples [from, to) holding
// the bits `value` (0/1), starting from `model`; false leaves the model as it
// was: the fit failed or moved a tone more than a quarter of the spacing.
// `setStep` is the settings' bit length in samples.
bool RefineModel(const int16_t* x, int from, int to, const std::vector<char>& value, double setStep,
                 TPhaseModel& model);

}  // namespace sorvex
