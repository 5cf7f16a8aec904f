#include "dsp/detection_bound.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace sorvex {

double MarcumQ1(double a, double b) {
  a = std::fabs(a);
  b = std::fabs(b);
  if (b == 0.0) return 1.0;
  // Q1(a, b) = P(X > b²) for X noncentral χ² with 2 degrees of freedom and
  // noncentrality a²: a Poisson(a²/2) mixture of central χ² tails with
  // 2 + 2j degrees of freedom, each exp(−b²/2)·Σ_{i≤j} (b²/2)^i / i!.
  // Every term is positive, so small results keep their precision.
  const double lambda = a * a / 2;
  const double mu = b * b / 2;
  const int last = static_cast<int>(std::ceil(lambda + mu + 10 * std::sqrt(lambda + mu) + 60));
  double logWeight = -lambda;  // log of the Poisson(λ) weight of j
  double logTerm = -mu;        // log of exp(−μ)·μ^j / j!
  double tail = std::exp(logTerm);
  double sum = std::exp(logWeight) * tail;
  for (int j = 1; j <= last; ++j) {
    logWeight += (lambda > 0 ? std::log(lambda) : -INFINITY) - std::log(static_cast<double>(j));
    logTerm += std::log(mu) - std::log(static_cast<double>(j));
    tail += std::exp(logTerm);
    sum += std::exp(logWeight) * std::min(tail, 1.0);
  }
  return std::clamp(sum, 0.0, 1.0);
}

double ToneCorrelation(double freq0, double freq1, double baud) {
  const double x = std::numbers::pi * std::fabs(freq1 - freq0) / baud;
  if (x < 1e-12) return 1.0;
  return std::fabs(std::sin(x) / x);
}

double NoncoherentFskBitErrorRate(double ebN0, double rho) {
  if (!(ebN0 > 0)) return 0.5;
  rho = std::clamp(std::fabs(rho), 0.0, 1.0);
  const double root = std::sqrt(1 - rho * rho);
  const double a = std::sqrt(ebN0 / 2 * (1 - root));
  const double b = std::sqrt(ebN0 / 2 * (1 + root));
  // exp(−(a² + b²)/2)·I0(ab), kept finite for large ab by the scaling e^{−ab}.
  const double ab = a * b;
  const double scaledI0 = ab < 700 ? std::cyl_bessel_i(0.0, ab) * std::exp(-ab)
                                   : 1.0 / std::sqrt(2 * std::numbers::pi * ab);
  const double pb = MarcumQ1(a, b) - 0.5 * std::exp(-(b - a) * (b - a) / 2) * scaledI0;
  return std::clamp(pb, 0.0, 0.5);
}

double NoncoherentFskEbN0ForTelegram(double rho, int bits, double success) {
  if (bits <= 0 || !(success > 0) || !(success < 1)) return NAN;
  const double target = -std::expm1(std::log(success) / bits);  // bit error rate allowed
  double lo = -20, hi = 80;                                     // dB
  for (int i = 0; i < 200; ++i) {
    const double mid = (lo + hi) / 2;
    if (NoncoherentFskBitErrorRate(std::pow(10.0, mid / 10), rho) > target) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return (lo + hi) / 2;
}

}  // namespace sorvex
