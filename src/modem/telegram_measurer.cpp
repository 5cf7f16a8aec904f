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
constexpr int kHilbertHalf = 7;  // taps each side; odd taps only are non-zero
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

// The frequency less the mid tone (rad/sample) at points t0 + i·spacing.
struct TTrack {
  std::vector<double> f;
  double t0 = 0, spacing = 1;
  double Time(size_t i) const { return t0 + static_cast<double>(i) * spacing; }
  // The points whose times lie in [lo, hi], as [first, last); none when the
  // range falls between two points.
  std::pair<size_t, size_t> Within(double lo, double hi) const {
    const double a = std::max(0.0, std::ceil((lo - t0) / spacing));
    const double z = std::min(static_cast<double>(f.size()), std::floor((hi - t0) / spacing) + 1);
    return a < z ? std::pair{static_cast<size_t>(a), static_cast<size_t>(z)} : std::pair{0ul, 0ul};
  }
};

// Transition instants where the smoothed frequency crosses the mid tone on
// its way past the hysteresis on the other side, each given its bit index by
// the running bit length; glitches shorter than half a bit are dropped, and
// so are instants that stray from the fitted line.
TLine FitTransitions(const TTrack& smooth, double hysteresis, double bitLength) {
  std::vector<double> t;
  std::vector<long> k;
  double step = bitLength;
  int side = 0;          // +1 above the hysteresis, −1 below its negative
  double crossing = -1;  // the last crossing of the mid tone
  for (size_t n = 1; n < smooth.f.size(); ++n) {
    const double a = smooth.f[n - 1];
    const double b = smooth.f[n];
    if ((a < 0) != (b < 0)) crossing = smooth.Time(n - 1) + smooth.spacing * a / (a - b);
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

// The phase step between consecutive boxes of `box` samples of the analytic
// signal mixed down to wc, per sample: each box is one complex filter of the
// raw samples (the transformer and the mix folded into its taps), so only
// one point per box is worked out.
void BoxedSteps(const int16_t* samples, int from, int to, int box, double wc,
                const double (&h)[kHilbertHalf + 1], TTrack& track) {
  // z(n)·e^{jwc·n} = Σ_u x[n − u]·G[u], u from −kHilbertHalf: the box's
  // mixed samples, and j times its mixed transformer outputs. G's real and
  // imaginary parts side by side.
  const int taps = box + 2 * kHilbertHalf;
  std::vector<TDoublePair> g(static_cast<size_t>(taps), TDoublePair{0, 0});
  for (int m = 0; m < box; ++m) {
    const TDoublePair turn = {std::cos(wc * m), std::sin(wc * m)};
    const TDoublePair timesJ = {-turn[1], turn[0]};
    g[static_cast<size_t>(m + kHilbertHalf)] += turn;
    for (int k = 1; k <= kHilbertHalf; k += 2) {
      // x[n − m − k] and x[n − m + k] enter q[n − m] with h_k and −h_k.
      g[static_cast<size_t>(m + k + kHilbertHalf)] += h[k] * timesJ;
      g[static_cast<size_t>(m - k + kHilbertHalf)] -= h[k] * timesJ;
    }
  }
  // The taps in the samples' order, and the samples as doubles once: each
  // feeds several boxes.
  std::reverse(g.begin(), g.end());
  const std::vector<double> xs(samples + from - kHilbertHalf, samples + to + kHilbertHalf);
  const int boxes = (to - from) / box;
  track.f.assign(static_cast<size_t>(std::max(0, boxes - 1)), 0.0);
  track.t0 = from + box - 0.5;
  track.spacing = box;
  // Consecutive boxes' product, turned back by the mix between them.
  const double tr = std::cos(wc * box), ti = -std::sin(wc * box);
  std::vector<TDoublePair> z(static_cast<size_t>(boxes));
  for (int p = 0; p < boxes; ++p) {
    const double* x = xs.data() + p * box;  // the box's first sample less the transformer's reach
    // Two sums, so that no add waits on the one before.
    TDoublePair sum[2] = {{0, 0}, {0, 0}};
    int u = 0;
    for (; u + 1 < taps; u += 2) {
      sum[0] += x[u] * g[static_cast<size_t>(u)];
      sum[1] += x[u + 1] * g[static_cast<size_t>(u + 1)];
    }
    if (u < taps) sum[0] += x[u] * g[static_cast<size_t>(u)];
    z[static_cast<size_t>(p)] = sum[0] + sum[1];
  }
  // Apart from the filter, so that the arctangents, each waiting on its
  // division, overlap.
  const double perSample = 1.0 / box;
  for (size_t p = 1; p < z.size(); ++p) {
    const TDoublePair a = z[p], b = z[p - 1];
    const double pr = a[0] * b[0] + a[1] * b[1], pi = a[1] * b[0] - a[0] * b[1];
    track.f[p - 1] = FastAtan2(pi * tr + pr * ti, pr * tr - pi * ti) * perSample;
  }
}

// A moving average over 2·half + 1 points, fewer at either end.
void Smooth(const TTrack& raw, int half, TTrack& out) {
  out = raw;
  const int n = static_cast<int>(raw.f.size());
  double inverse[32];
  for (int i = 1; i < 32; ++i) inverse[i] = 1.0 / i;
  double total = 0;
  int a = 0, z = 0;  // the sum covers [a, z), at most 31 long
  for (int i = 0; i < n; ++i) {
    for (; z < std::min(n, i + half + 1); ++z) total += raw.f[static_cast<size_t>(z)];
    for (; a < i - half; ++a) total -= raw.f[static_cast<size_t>(a)];
    out.f[static_cast<size_t>(i)] = total * inverse[z - a];
  }
}

// The longest stretch whose power over `window` samples (a multiple of 4)
// stays above a quarter of the highest held over two windows: [from, to) of the windows' last
// samples. Found on quarter-window blocks, the ends then to the sample.
void FindTelegram(const int16_t* samples, int count, int window, int& from, int& to) {
  from = to = 0;
  const int part = window / 4, blocks = count / part;
  if (blocks < 8) return;
  // Squares in 32 bits (a sample's is at most 2^30), sums in 64: exact.
  std::vector<int64_t> block(static_cast<size_t>(blocks), 0);
  for (int j = 0; j < blocks; ++j) {
    int64_t sum = 0;
    for (int n = j * part; n < (j + 1) * part; ++n) sum += samples[n] * samples[n];
    block[static_cast<size_t>(j)] = sum;
  }
  // The window ending on block j's last sample.
  const auto windowAt = [&](int j) {
    return block[static_cast<size_t>(j)] + block[static_cast<size_t>(j - 1)] +
           block[static_cast<size_t>(j - 2)] + block[static_cast<size_t>(j - 3)];
  };
  // The highest power held over two windows in a row, a bit: a line click
  // a few samples long, however loud, must not set the level the telegram
  // is measured against.
  int64_t highest = 0;
  for (int j = 7; j < blocks; ++j)
    highest = std::max(highest, std::min(windowAt(j), windowAt(j - 4)));
  const auto on = [&](int64_t power) { return 4 * power > highest; };
  int first = 0, last = 0;  // the longest run of blocks on, [first, last)
  for (int j = 3, runFrom = -1; j <= blocks; ++j) {
    const bool now = j < blocks && on(windowAt(j));
    if (now && runFrom < 0) runFrom = j;
    if (!now && runFrom >= 0) {
      if (j - runFrom > last - first) {
        first = runFrom;
        last = j;
      }
      runFrom = -1;
    }
  }
  if (last == first) return;
  // Where the power crosses, between block ends k − 1 and k, sliding from k − 1's.
  const auto square = [&](int n) { return static_cast<int64_t>(samples[n]) * samples[n]; };
  const auto crossing = [&](int k, bool rising) {
    const int end = (k + 1) * part - 1;
    if (k == 3) return end;  // the first whole window
    int64_t power = windowAt(k - 1);
    for (int n = k * part; n < end; ++n) {
      power += square(n) - square(n - window);
      if (on(power) == rising) return n;
    }
    return end;
  };
  from = crossing(first, true);
  to = last == blocks ? count : crossing(last, false);
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
  const int window = 4 * (std::max(16, static_cast<int>(bitLength / 2)) / 4);
  int bestFrom = 0, bestTo = 0;
  FindTelegram(samples, count, window, bestFrom, bestTo);
  // The mean crosses a quarter a quarter window into the telegram and three
  // quarters past its end; the filters smear either edge, which is left out.
  const int guard = kHilbertHalf / 2 + box;
  const int from = std::max(kHilbertHalf + box + 2, bestFrom - window / 4 + guard);
  const int to = std::min(count - kHilbertHalf, bestTo - 3 * window / 4 - guard);
  if (to - from < 8 * bitLength) return result;

  // The frequency less the mid tone: `raw` for bits and tones, `smooth` for
  // the transitions.
  TTrack raw, smooth;
  BoxedSteps(samples, from, to, box, wc, taps.h, raw);
  // Smoothing over about a third of a bit keeps the crossings sharp; a box
  // is a third at 200 bit/s, a ninth at 50.
  Smooth(raw, static_cast<int>(std::lround((bitLength / 3 / box - 1) / 2)), smooth);

  const double spread = std::fabs(kTwoPi * (f1 - f0) / kRate);  // between the tones, rad/sample
  const bool rising = f1 > f0;
  const TLine line = FitTransitions(smooth, 0.25 * spread, bitLength);
  if (!line.ok) return result;
  result.bitRate = kRate / line.step;
  // Bits from the first transition on, while whole bits stay inside.
  const int bits = static_cast<int>((to - 1 - line.at) / line.step);
  if (bits < 4) return result;
  std::vector<char> value(static_cast<size_t>(bits), 0);
  for (int b = 0; b < bits; ++b) {
    auto [first, last] =
        raw.Within(line.at + line.step * (b + 0.25), line.at + line.step * (b + 0.75));
    if (first == last) {  // points sparser than half a bit: the one nearest its middle
      const double centre = (line.at + line.step * (b + 0.5) - raw.t0) / raw.spacing;
      first = static_cast<size_t>(
          std::clamp(std::lround(centre), 0l, static_cast<long>(raw.f.size()) - 1));
      last = first + 1;
    }
    double total = 0;
    for (size_t i = first; i < last; ++i) total += raw.f[i];
    value[static_cast<size_t>(b)] = (total > 0) == rising ? 1 : 0;
  }
  // Each run of one tone: the slope of its unwrapped phase, least squares
  // with an intercept of its own, so that where the sender's clock put an
  // edge does not matter. Half a box is left out at either end (a point
  // draws on a box either side): more loses too much of short runs to noise,
  // less lets the smear pull the tone toward the other one.
  const double edge = std::floor(box / 2.0);
  double sxx[2] = {0, 0}, sxy[2] = {0, 0};
  for (int b = 0; b < bits;) {
    int e = b;
    while (e < bits && value[static_cast<size_t>(e)] == value[static_cast<size_t>(b)]) ++e;
    const auto [first, last] =
        raw.Within(line.at + line.step * b + edge, line.at + line.step * e - edge);
    if (last - first >= 2) {
      // The phase at the points' boundaries, time counted in points from the first.
      double psi = 0, sp = 0, stp = 0;
      for (size_t i = first; i < last; ++i) {
        psi += raw.f[i] * raw.spacing;
        sp += psi;
        stp += static_cast<double>(i - first + 1) * psi;
      }
      const double len = static_cast<double>(last - first + 1), mt = 0.5 * (len - 1);
      const int v = value[static_cast<size_t>(b)];
      sxx[v] += raw.spacing * raw.spacing * len * (len * len - 1) / 12;
      sxy[v] += raw.spacing * (stp - mt * sp);
    }
    b = e;
  }
  if (sxx[0] > 0) result.f0Hz = (sxy[0] / sxx[0] + wc) * kRate / kTwoPi;
  if (sxx[1] > 0) result.f1Hz = (sxy[1] / sxx[1] + wc) * kRate / kTwoPi;
  if (sxx[0] <= 0 || sxx[1] <= 0) return result;
  TPhaseModel model{
      kTwoPi * result.f0Hz / kRate, kTwoPi * result.f1Hz / kRate, line.at, line.step, {}};
  if (RefineModel(samples, from, to, value, bitLength, model)) {
    result.f0Hz = model.w0 * kRate / kTwoPi;
    result.f1Hz = model.w1 * kRate / kTwoPi;
    result.bitRate = kRate / model.step;
  }
  return result;
}

TToneEstimate MeasureTelegramSignal(const TTelegramSignal& signal) {
  return MeasureTelegramSignal(signal.samples.data(), static_cast<int>(signal.samples.size()),
                               signal.rate, signal.f0, signal.f1);
}

}  // namespace sorvex
