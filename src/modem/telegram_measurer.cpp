// Tones and bit rate of a received telegram, estimated from the raw line
// samples: the analytic signal's phase gives the instantaneous frequency;
// its crossings of the mid frequency give the transition instants, whose
// least-squares line against their bit indices gives the bit length; with
// that bit grid and the bits read from it, the unwrapped phase is fitted as
// the time spent in each tone times that tone's frequency.
#include "modem/telegram_measurer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace sorvex {
namespace {

constexpr double kRate = 8000.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr int kHilbertHalf = 31;  // taps each side; odd taps only are non-zero
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

struct THilbertTaps {
  double h[kHilbertHalf + 1] = {};
  THilbertTaps() {
    for (int k = 1; k <= kHilbertHalf; k += 2) {
      const double window = 0.54 + 0.46 * std::cos(std::numbers::pi * k / (kHilbertHalf + 1));
      h[k] = 2.0 / (std::numbers::pi * k) * window;
    }
  }
};

struct TLine {
  double at = 0;    // sample time of bit index 0's start
  double step = 0;  // samples per bit
  bool ok = false;
};

// Least-squares line t = at + step·k through the transitions.
TLine FitLine(const std::vector<double>& t, const std::vector<long>& k) {
  TLine line;
  const size_t n = t.size();
  if (n < 3) return line;
  double mk = 0, mt = 0;
  for (size_t i = 0; i < n; ++i) {
    mk += static_cast<double>(k[i]);
    mt += t[i];
  }
  mk /= static_cast<double>(n);
  mt /= static_cast<double>(n);
  double skk = 0, skt = 0;
  for (size_t i = 0; i < n; ++i) {
    const double dk = static_cast<double>(k[i]) - mk;
    skk += dk * dk;
    skt += dk * (t[i] - mt);
  }
  if (skk <= 0) return line;
  line.step = skt / skk;
  line.at = mt - line.step * mk;
  line.ok = line.step > 0;
  return line;
}

// Transition instants where the smoothed frequency crosses `mid`, each given
// its bit index by the running bit length; glitches shorter than half a bit
// are dropped, and so are instants that stray from the fitted line.
TLine FitTransitions(const std::vector<double>& smooth, int from, int to, double mid,
                     double bitLength) {
  std::vector<double> t;
  std::vector<long> k;
  double step = bitLength;
  for (int n = from + 1; n < to; ++n) {
    const double a = smooth[static_cast<size_t>(n - 1)] - mid;
    const double b = smooth[static_cast<size_t>(n)] - mid;
    if ((a < 0) == (b < 0)) continue;
    // smooth[n] is the phase step from n−1 to n, centred at n − 0.5.
    const double at = n - 1.5 + a / (a - b);
    if (t.empty()) {
      t.push_back(at);
      k.push_back(0);
      continue;
    }
    const long gap = std::lround((at - t.back()) / step);
    if (gap < 1) continue;
    t.push_back(at);
    k.push_back(k.back() + gap);
    if (t.size() >= 4 && t.size() % 4 == 0) {
      const TLine line = FitLine(t, k);
      if (line.ok) step = line.step;
    }
  }
  TLine line = FitLine(t, k);
  if (!line.ok) return line;
  std::vector<double> t2;
  std::vector<long> k2;
  for (size_t i = 0; i < t.size(); ++i) {
    if (std::fabs(t[i] - line.at - line.step * static_cast<double>(k[i])) < 0.3 * line.step) {
      t2.push_back(t[i]);
      k2.push_back(k[i]);
    }
  }
  line = FitLine(t2, k2);
  // The bits fitted run from the first transition kept; too few and the
  // line says little.
  if (!line.ok || k2.back() - k2.front() < 4) return TLine{};
  line.at += line.step * static_cast<double>(k2.front());
  return line;
}

}  // namespace

TToneEstimate MeasureTelegramSignal(const int16_t* samples, int count, double rate, double f0,
                                    double f1) {
  TToneEstimate result{kNaN, kNaN, kNaN};
  if (samples == nullptr || count < 4 * kHilbertHalf || !(rate > 0) || !(f0 > 0) || !(f1 > 0) ||
      f0 == f1) {
    return result;
  }
  static const THilbertTaps taps;
  const double bitLength = kRate / rate;
  const int first = kHilbertHalf, last = count - kHilbertHalf;  // analytic signal exists here

  // Phase step per sample (relative to the mid tone) and power, n in [first, last).
  const double wc = kTwoPi * 0.5 * (f0 + f1) / kRate;
  std::vector<double> step(static_cast<size_t>(count), 0.0), power(static_cast<size_t>(count), 0.0);
  double prevI = 0, prevQ = 0;
  for (int n = first; n < last; ++n) {
    double q = 0;
    for (int k = 1; k <= kHilbertHalf; k += 2) {
      q += taps.h[k] * (samples[n - k] - samples[n + k]);
    }
    const double i = samples[n];
    power[static_cast<size_t>(n)] = i * i + q * q;
    if (n > first) {
      // arg(a[n]·conj a[n−1])
      const double re = i * prevI + q * prevQ, im = q * prevI - i * prevQ;
      double d = std::atan2(im, re) - wc;
      if (d > std::numbers::pi) d -= kTwoPi;
      if (d <= -std::numbers::pi) d += kTwoPi;
      step[static_cast<size_t>(n)] = d;
    }
    prevI = i;
    prevQ = q;
  }

  // The telegram: the longest stretch whose mean power stays above a quarter
  // of the window's highest (half its amplitude).
  const int window = std::max(16, static_cast<int>(bitLength / 2));
  std::vector<double> mean(static_cast<size_t>(count), 0.0);
  double sum = 0, highest = 0;
  for (int n = first; n < last; ++n) {
    sum += power[static_cast<size_t>(n)];
    if (n - first >= window) sum -= power[static_cast<size_t>(n - window)];
    mean[static_cast<size_t>(n)] = sum / window;
    highest = std::max(highest, mean[static_cast<size_t>(n)]);
  }
  int bestFrom = 0, bestTo = 0;
  for (int n = first + window, runFrom = -1; n <= last; ++n) {
    const bool on = n < last && mean[static_cast<size_t>(n)] > 0.25 * highest;
    if (on && runFrom < 0) runFrom = n;
    if (!on && runFrom >= 0) {
      if (n - runFrom > bestTo - bestFrom) {
        bestFrom = runFrom;
        bestTo = n;
      }
      runFrom = -1;
    }
  }
  // The mean lags its window: the stretch's samples start a window earlier.
  const int from = std::max(first + 1, bestFrom - window + 1);
  const int to = bestTo;
  if (to - from < 8 * bitLength) return result;

  // Smoothing over about a third of a bit keeps the crossings sharp.
  const int half = std::clamp(static_cast<int>(bitLength / 6), 0, 15);
  std::vector<double> smooth(static_cast<size_t>(count), 0.0);
  for (int n = from; n < to; ++n) {
    double s = 0;
    int used = 0;
    for (int j = std::max(from, n - half); j <= std::min(to - 1, n + half); ++j, ++used) {
      s += step[static_cast<size_t>(j)];
    }
    smooth[static_cast<size_t>(n)] = s / used;
  }

  double mid = 0;
  const bool rising = f1 > f0;
  for (int pass = 0; pass < 2; ++pass) {
    const TLine line = FitTransitions(smooth, from, to, mid, bitLength);
    if (!line.ok) return result;
    result.bitRate = kRate / line.step;
    // Bits from the first transition on, while whole bits stay inside.
    const int bits = static_cast<int>((to - 1 - line.at) / line.step);
    if (bits < 4) return result;
    std::vector<char> value(static_cast<size_t>(bits));
    for (int b = 0; b < bits; ++b) {
      const int lo = static_cast<int>(std::ceil(line.at + line.step * (b + 0.25)));
      const int hi = static_cast<int>(std::floor(line.at + line.step * (b + 0.75)));
      double s = 0;
      for (int n = std::max(lo, from + 1); n <= std::min(hi, to - 1); ++n) {
        s += step[static_cast<size_t>(n)] - mid;
      }
      value[static_cast<size_t>(b)] = (s > 0) == rising ? 1 : 0;
    }
    // Phase ψ(n) = c + w0·A0(n) + w1·A1(n), A the time spent in each tone
    // since the first transition: three unknowns by least squares.
    const int n0 = static_cast<int>(std::ceil(line.at));
    const int n1 = static_cast<int>(std::floor(line.at + line.step * bits));
    double sU = 0, sV = 0, sY = 0, sUU = 0, sVV = 0, sUV = 0, sUY = 0, sVY = 0;
    double psi = 0, spent[2] = {0, 0};
    int bit = 0, used = 0;
    double edge = line.at + line.step;  // end of the current bit
    double at = line.at;                // time reached so far
    for (int n = n0; n <= n1; ++n) {
      if (n > n0) psi += step[static_cast<size_t>(n)];
      while (bit < bits && edge <= n) {
        spent[static_cast<int>(value[static_cast<size_t>(bit)])] += edge - at;
        at = edge;
        ++bit;
        edge += line.step;
      }
      if (bit >= bits) break;
      const int v = value[static_cast<size_t>(bit)];
      double u = spent[0], w = spent[1];
      (v ? w : u) += n - at;
      sU += u;
      sV += w;
      sY += psi;
      sUU += u * u;
      sVV += w * w;
      sUV += u * w;
      sUY += u * psi;
      sVY += w * psi;
      ++used;
    }
    if (used < 8) return result;
    const double m = used;
    const double cUU = sUU - sU * sU / m, cVV = sVV - sV * sV / m, cUV = sUV - sU * sV / m;
    const double cUY = sUY - sU * sY / m, cVY = sVY - sV * sY / m;
    const double det = cUU * cVV - cUV * cUV;
    if (!(std::fabs(det) > 1e-9 * cUU * cVV)) return result;
    const double w0 = (cUY * cVV - cVY * cUV) / det;
    const double w1 = (cVY * cUU - cUY * cUV) / det;
    result.f0Hz = (w0 + wc) * kRate / kTwoPi;
    result.f1Hz = (w1 + wc) * kRate / kTwoPi;
    mid = 0.5 * (w0 + w1);
  }
  return result;
}

}  // namespace sorvex
