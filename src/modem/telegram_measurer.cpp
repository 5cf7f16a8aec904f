// Tones and bit rate of a received telegram, estimated from the raw line
// samples. A first estimate: the analytic signal's phase gives the
// instantaneous frequency; its crossings of the mid frequency give the
// transition instants, whose least-squares line against their bit indices
// gives the bit grid; the bits read on it, each run's phase slope gives a
// tone. Then the sender's continuous phase is fitted to the samples
// themselves (phase_fit.cpp), which a short run's slope cannot match at high
// rates.
#include "modem/telegram_measurer.h"

#include "modem/phase_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace sorvex {
namespace {

constexpr double kRate = 8000.0;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr int kHilbertHalf = 15;  // taps each side; odd taps only are non-zero
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

// Transition instants where the smoothed frequency crosses `mid` on its way
// past the hysteresis on the other side, each given its bit index by the running bit length;
// glitches shorter than half a bit are dropped, and so are instants that stray from the fitted
// line.
TLine FitTransitions(const std::vector<double>& smooth, int from, int to, double mid,
                     double hysteresis, double bitLength) {
  std::vector<double> t;
  std::vector<long> k;
  double step = bitLength;
  int side = 0;          // +1 above mid + hysteresis, −1 below mid − hysteresis
  double crossing = -1;  // the last crossing of mid
  for (int n = from + 1; n < to; ++n) {
    const double a = smooth[static_cast<size_t>(n - 1)] - mid;
    const double b = smooth[static_cast<size_t>(n)] - mid;
    // smooth[n] is the phase step from n−1 to n, centred at n − 0.5.
    if ((a < 0) != (b < 0)) crossing = n - 1.5 + a / (a - b);
    const int now = b > hysteresis ? 1 : b < -hysteresis ? -1 : side;
    if (now == side) continue;
    const bool counted = side != 0 && crossing >= 0;
    side = now;
    if (!counted) continue;
    const double at = crossing;
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
  const double wc = kTwoPi * 0.5 * (f0 + f1) / kRate;
  // A box over the analytic signal mixed down to the mid tone cuts the noise;
  // it is short enough to leave both tones near its peak and most of a bit
  // clear of its smear.
  const int box = std::max(1, std::min(static_cast<int>(bitLength / 3),
                                       static_cast<int>(kRate / (2 * std::fabs(f1 - f0)))));

  // The telegram: the longest stretch whose mean power stays above a quarter
  // of the window's highest (half its amplitude). Found on the raw samples,
  // so the costlier steps below run on the telegram alone.
  const int window = std::max(16, static_cast<int>(bitLength / 2));
  int bestFrom = 0, bestTo = 0;
  {
    // Sums of squares in 64 bits: exact, and cheap enough to take twice
    // rather than keep.
    const auto energy = [&](int n) { return static_cast<int64_t>(samples[n]) * samples[n]; };
    int64_t sum = 0, highest = 0;
    for (int n = 0; n < count; ++n) {
      sum += energy(n) - (n >= window ? energy(n - window) : 0);
      highest = std::max(highest, sum);
    }
    sum = 0;
    for (int n = 0; n < window && n < count; ++n) sum += energy(n);
    int runFrom = -1;
    for (int n = window; n <= count; ++n) {
      if (n < count) sum += energy(n) - energy(n - window);
      const bool on = n < count && 4 * sum > highest;
      if (on && runFrom < 0) runFrom = n;
      if (!on && runFrom >= 0) {
        if (n - runFrom > bestTo - bestFrom) {
          bestFrom = runFrom;
          bestTo = n;
        }
        runFrom = -1;
      }
    }
  }
  // The mean crosses a quarter a quarter window into the telegram and three
  // quarters past its end; the filters smear either edge, which is left out.
  const int guard = kHilbertHalf / 2 + box;
  const int from = std::max(kHilbertHalf + box + 2, bestFrom - window / 4 + guard);
  const int to = std::min(count - kHilbertHalf, bestTo - 3 * window / 4 - guard);
  if (to - from < 8 * bitLength) return result;

  // The analytic signal mixed down to the mid tone, boxed; per sample the
  // phase step of the boxed signal, step[m] from m − 1 to m, over [from, to).
  const int lo = from - box - 1;  // baseband from here, so the first box is full at from − 1
  std::vector<double> re(static_cast<size_t>(to - lo + box)), im(re.size());
  double c = 1, sn = 0;
  const double cw = std::cos(wc), sw = std::sin(wc);
  const int hi = std::min(count - kHilbertHalf, to + box);
  // The samples the transformer reads, as doubles once.
  std::vector<double> xs(samples + lo - kHilbertHalf, samples + hi + kHilbertHalf);
  for (int n = lo; n < hi; ++n) {
    const double* at = xs.data() + (n - lo + kHilbertHalf);
    double q = 0;
    for (int k = 1; k <= kHilbertHalf; k += 2) q += taps.h[k] * (at[-k] - at[k]);
    const double i = *at;
    // (i + jq)·(c − js)
    re[static_cast<size_t>(n - lo)] = i * c + q * sn;
    im[static_cast<size_t>(n - lo)] = q * c - i * sn;
    const double nc = c * cw - sn * sw, ns = sn * cw + c * sw;
    const double norm = (3.0 - (nc * nc + ns * ns)) * 0.5;  // keeps |c + js| at 1
    c = nc * norm;
    sn = ns * norm;
  }
  std::vector<double> step(static_cast<size_t>(count), 0.0);
  double sr = 0, si = 0, prevR = 0, prevI = 0;
  for (int n = lo; n < hi; ++n) {
    sr += re[static_cast<size_t>(n - lo)];
    si += im[static_cast<size_t>(n - lo)];
    if (n - lo >= box) {
      sr -= re[static_cast<size_t>(n - lo - box)];
      si -= im[static_cast<size_t>(n - lo - box)];
    }
    const int m = n - box / 2;  // the box ending at n is centred on m
    if (n - lo >= box && m >= from && m < to) {
      step[static_cast<size_t>(m)] = FastAtan2(si * prevR - sr * prevI, sr * prevR + si * prevI);
    }
    prevR = sr;
    prevI = si;
  }

  // Smoothing over about a third of a bit keeps the crossings sharp.
  const int half = std::clamp(static_cast<int>(bitLength / 6), 0, 15);
  std::vector<double> smooth(static_cast<size_t>(count), 0.0);
  {
    double inverse[32];
    for (int i = 1; i < 32; ++i) inverse[i] = 1.0 / i;
    double total = 0;
    int a = from, z = from;  // the sum covers [a, z), at most 31 long
    for (int n = from; n < to; ++n) {
      for (; z < std::min(to, n + half + 1); ++z) total += step[static_cast<size_t>(z)];
      for (; a < n - half; ++a) total -= step[static_cast<size_t>(a)];
      smooth[static_cast<size_t>(n)] = total * inverse[z - a];
    }
  }

  const double spread = std::fabs(kTwoPi * (f1 - f0) / kRate);  // between the tones, rad/sample
  const bool rising = f1 > f0;
  double mid = 0;
  TLine line;
  std::vector<char> value;
  for (int pass = 0; pass < 1; ++pass) {
    line = FitTransitions(smooth, from, to, mid, 0.25 * spread, bitLength);
    if (!line.ok) return result;
    result.bitRate = kRate / line.step;
    // Bits from the first transition on, while whole bits stay inside.
    const int bits = static_cast<int>((to - 1 - line.at) / line.step);
    if (bits < 4) return result;
    value.assign(static_cast<size_t>(bits), 0);
    for (int b = 0; b < bits; ++b) {
      const int a = static_cast<int>(std::ceil(line.at + line.step * (b + 0.25)));
      const int z = static_cast<int>(std::floor(line.at + line.step * (b + 0.75)));
      double total = 0;
      for (int n = std::max(a, from); n <= std::min(z, to - 1); ++n) {
        total += step[static_cast<size_t>(n)] - mid;
      }
      value[static_cast<size_t>(b)] = (total > 0) == rising ? 1 : 0;
    }
    // Each run of one tone: the slope of its unwrapped phase, least squares
    // with an intercept of its own, so that where the sender's clock put an
    // edge does not matter. A quarter box is left out at either end: more
    // loses too much of short runs to noise, less lets the smear pull the
    // tone toward the other one.
    const double edge = std::floor(box / 4.0);
    double sxx[2] = {0, 0}, sxy[2] = {0, 0};
    for (int b = 0; b < bits;) {
      int e = b;
      while (e < bits && value[static_cast<size_t>(e)] == value[static_cast<size_t>(b)]) ++e;
      const int a = static_cast<int>(std::ceil(line.at + line.step * b + edge));
      const int z = static_cast<int>(std::floor(line.at + line.step * e - edge));
      if (z - a >= 2) {
        // Sums over the run, time counted from its start.
        double psi = 0, sp = 0, stp = 0;
        for (int n = a + 1; n <= z; ++n) {
          psi += step[static_cast<size_t>(n)];
          sp += psi;
          stp += (n - a) * psi;
        }
        const double len = z - a + 1, mt = 0.5 * (len - 1);
        const int v = value[static_cast<size_t>(b)];
        sxx[v] += len * (len * len - 1) / 12;
        sxy[v] += stp - mt * sp;
      }
      b = e;
    }
    if (sxx[0] > 0) result.f0Hz = (sxy[0] / sxx[0] + wc) * kRate / kTwoPi;
    if (sxx[1] > 0) result.f1Hz = (sxy[1] / sxx[1] + wc) * kRate / kTwoPi;
    if (sxx[0] <= 0 || sxx[1] <= 0) return result;
    mid = 0.5 * (sxy[0] / sxx[0] + sxy[1] / sxx[1]);
  }
  TPhaseModel model{
      kTwoPi * result.f0Hz / kRate, kTwoPi * result.f1Hz / kRate, line.at, line.step, {}};
  if (RefineModel(samples, from, to, value, model)) {
    result.f0Hz = model.w0 * kRate / kTwoPi;
    result.f1Hz = model.w1 * kRate / kTwoPi;
    result.bitRate = kRate / model.step;
  }
  return result;
}

}  // namespace sorvex
