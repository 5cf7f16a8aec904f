// Tones and bit rate of a received telegram, estimated from the raw line
// samples. A first estimate: the analytic signal's phase gives the
// instantaneous frequency; its crossings of the mid frequency give the
// transition instants, whose least-squares line against their bit indices
// gives the bit grid; the bits read on it, each run's phase slope gives a
// tone. Then the sender's continuous phase is fitted to the samples
// themselves, which a short run's slope cannot match at high rates.
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

// atan2 to about 1e-5 rad (a bias of 0.01 Hz at most on a tone), at a
// fraction of the library's cost: it runs once per telegram sample.
double FastAtan2(double y, double x) {
  const double ax = std::fabs(x), ay = std::fabs(y);
  const double big = std::max(ax, ay);
  if (big == 0) return 0;
  const double a = std::min(ax, ay) / big, s = a * a;
  double r = ((-0.0464964749 * s + 0.15931422) * s - 0.327622764) * s * a + a;
  if (ay > ax) r = std::numbers::pi / 2 - r;
  if (x < 0) r = std::numbers::pi - r;
  return y < 0 ? -r : r;
}

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

// The sender's phase: tone 0 at w0, tone 1 at w1 (rad/sample), bit k from
// at + k·step; or, for a sender that changes tone on a sample clock of its
// own, bit k from the whole sample starts[k].
struct TPhaseModel {
  double w0, w1, at, step;
  std::vector<int> starts;  // empty: the changes fall where the clock puts them
};

// Samples mixed down by the model's phase, a block at a time: the phase left;
// the block's means of what moves it (time in tone 0, in tone 1, ∂θ/∂at,
// ∂θ/∂step); its first sample.
struct TBlockRow {
  double psi;
  double r[4];
  int first;
};

// What is left of the model's phase in the samples: the samples mixed down by
// it leave only its error, whose phase is taken a short block at a time,
// unwrapped.
bool MixDown(const int16_t* x, int from, int to, const std::vector<char>& value,
             const TPhaseModel& m, int block, std::vector<TBlockRow>& rows) {
  rows.clear();
  const int bits = static_cast<int>(value.size());
  const bool whole = !m.starts.empty();
  const int a = std::max(from, static_cast<int>(std::ceil(m.at + 0.5 * m.step)));
  const int z = std::min(to, static_cast<int>(std::floor(m.at + (bits - 0.5) * m.step)));
  if (z - a < 4 * block) return false;
  const double w[2] = {m.w0, m.w1};
  const double r0 = std::cos(w[0]), i0 = std::sin(w[0]), r1 = std::cos(w[1]), i1 = std::sin(w[1]);
  double oc = 1, os = 0;          // e^{−jθ̂}
  double tau1 = 0, g = 0, h = 0;  // time in tone 1, ∂θ̂/∂at, ∂θ̂/∂step
  double sr = 0, si = 0, ir = 0, ii = 0, s1 = 0, sg = 0, sh = 0;
  double psi = 0, lastR = 0, lastI = 0;
  int k = whole ? 0 : std::clamp(static_cast<int>(std::floor((a - m.at) / m.step)), 0, bits - 1);
  for (int n = a; n < z; ++n) {
    sr += x[n] * oc;
    si += x[n] * os;
    ir += oc * oc - os * os;  // Σe^{−j2θ̂}: where the image lands
    ii += 2 * oc * os;
    s1 += tau1;
    sg += g;
    sh += h;
    if ((n - a) % block == block - 1) {
      // x = A·sin θ = A/2j·(e^{jθ} − e^{−jθ}), θ = θ̂ + ψ: c = 2j·Σx·e^{−jθ̂} is
      // A·(D·e^{jψ} − I·e^{−jψ}), I = Σe^{−j2θ̂}; so e^{jψ} ∝ D·c + I·c̄.
      const double cr = -2 * si, ci = 2 * sr;
      const double ur = block * cr + ir * cr + ii * ci, ui = block * ci + ii * cr - ir * ci;
      // Where the image all but equals the signal, the block says little.
      if (ir * ir + ii * ii < 0.75 * block * block) {
        // Unwrapped by the turn from the block before, which stays well
        // within half a turn.
        psi += rows.empty() ? FastAtan2(ui, ur)
                            : FastAtan2(ui * lastR - ur * lastI, ur * lastR + ui * lastI);
        lastR = ur;
        lastI = ui;
        const double t = n - a - 0.5 * (block - 1);
        rows.push_back({psi, {t - s1 / block, s1 / block, sg / block, sh / block}, n - block + 1});
      }
      sr = si = ir = ii = s1 = sg = sh = 0;
    }
    // The step from n to n + 1: its share in tone 1, and a change it may hold.
    double cr = 0, ci = 0;
    if (whole) {
      while (k + 1 < bits && m.starts[static_cast<size_t>(k + 1)] <= n) ++k;
      const int v = value[static_cast<size_t>(k)];
      tau1 += v;
      cr = v ? r1 : r0;
      ci = v ? i1 : i0;
    } else {
      const int v = value[static_cast<size_t>(k)];
      const double edge = m.at + (k + 1) * m.step;
      if (edge < n + 1 && k + 1 < bits) {
        const int u = value[static_cast<size_t>(++k)];
        const double before = edge - n;
        tau1 += v * before + u * (1 - before);
        const double inc = w[v] * before + w[u] * (1 - before);
        cr = std::cos(inc);
        ci = std::sin(inc);
        g += w[v] - w[u];
        h += k * (w[v] - w[u]);
      } else {
        tau1 += v;
        cr = v ? r1 : r0;
        ci = v ? i1 : i0;
      }
    }
    const double nc = oc * cr + os * ci, ns = os * cr - oc * ci;
    oc = nc;
    os = ns;
  }
  return rows.size() >= 8;
}

// Least squares of the blocks' phases on a phase of their own and the
// model's corrections; a prior variance per correction keeps what the blocks
// cannot tell (0: not fitted) near the estimate. The misfit left per block.
bool Corrections(const std::vector<TBlockRow>& rows, const double prior[4], double out[4],
                 std::vector<double>& misfit) {
  constexpr int kN = 5;
  double a[kN][kN] = {}, b[kN] = {};
  for (const TBlockRow& row : rows) {
    const double h[kN] = {1, row.r[0], row.r[1], row.r[2], row.r[3]};
    for (int i = 0; i < kN; ++i) {
      for (int j = 0; j <= i; ++j) a[i][j] += h[i] * h[j];
      b[i] += h[i] * row.psi;
    }
  }
  // The blocks' phase noise is taken as 0.1 rad against the priors.
  for (int i = 1; i < kN; ++i) {
    if (prior[i - 1] > 0) {
      a[i][i] += 1e-2 / prior[i - 1];
    } else {
      for (int j = 0; j < kN; ++j) a[i][j] = a[j][i] = 0;
      a[i][i] = 1;
      b[i] = 0;
    }
  }
  // Cholesky: the matrix is symmetric, positive definite unless the blocks
  // leave the phase itself undetermined.
  double l[kN][kN] = {};
  for (int i = 0; i < kN; ++i) {
    for (int j = 0; j <= i; ++j) {
      double sum = i >= j ? a[i][j] : a[j][i];
      for (int k = 0; k < j; ++k) sum -= l[i][k] * l[j][k];
      if (i == j) {
        if (!(sum > 1e-12)) return false;
        l[i][i] = std::sqrt(sum);
      } else {
        l[i][j] = sum / l[j][j];
      }
    }
  }
  double x[kN];
  for (int i = 0; i < kN; ++i) {
    double sum = b[i];
    for (int k = 0; k < i; ++k) sum -= l[i][k] * x[k];
    x[i] = sum / l[i][i];
  }
  for (int i = kN - 1; i >= 0; --i) {
    double sum = x[i];
    for (int k = i + 1; k < kN; ++k) sum -= l[k][i] * x[k];
    x[i] = sum / l[i][i];
  }
  for (int i = 0; i < kN; ++i) {
    if (!std::isfinite(x[i])) return false;
  }
  std::copy(x + 1, x + kN, out);
  misfit.clear();
  for (const TBlockRow& row : rows) {
    misfit.push_back(row.psi - x[0] - row.r[0] * x[1] - row.r[1] * x[2] - row.r[2] * x[3] -
                     row.r[3] * x[4]);
  }
  return true;
}

double Rms(const std::vector<double>& v) {
  double sum = 0;
  for (const double e : v) sum += e * e;
  return v.empty() ? 0 : std::sqrt(sum / static_cast<double>(v.size()));
}

// Gauss–Newton on the phase model from the estimate so far; the misfit left.
bool Iterate(const int16_t* x, int from, int to, const std::vector<char>& value, int block,
             int iterations, const double prior[4], TPhaseModel& m, std::vector<TBlockRow>& rows,
             std::vector<double>& misfit) {
  for (int i = 0; i < iterations; ++i) {
    double d[4];
    if (!MixDown(x, from, to, value, m, block, rows) || !Corrections(rows, prior, d, misfit)) {
      return false;
    }
    m.w0 += d[0];
    m.w1 += d[1];
    m.at += d[2];
    m.step += d[3];
    if (!(m.step > 0)) return false;
  }
  return true;
}

bool RefineModel(const int16_t* x, int from, int to, const std::vector<char>& value,
                 TPhaseModel& model) {
  const double spread = std::fabs(model.w1 - model.w0);
  const int block = std::clamp(static_cast<int>(model.step / 2), 2, 8);
  const double prior[4] = {1e-3, 1e-3, 1.0, 1e-4 * model.step * model.step};
  std::vector<TBlockRow> rows;
  std::vector<double> misfit;
  TPhaseModel smooth = model;
  if (!Iterate(x, from, to, value, block, 2, prior, smooth, rows, misfit)) return false;
  TPhaseModel best = smooth;
  const double bestMisfit = Rms(misfit);
  // A sender on a sample clock of its own changes tone on whole samples, up
  // to half a sample from where the grid puts it; which whole samples is
  // found by trying offsets of the grid. Only a clearly better fit counts:
  // on a noisy line either model fits about as well. At low rates a
  // half-sample matters little against the bit, and the search is skipped.
  const double tonesOnly[4] = {1e-3, 1e-3, 0, 0};
  const int bits = static_cast<int>(value.size());
  TPhaseModel bestWhole;
  double wholeMisfit = 0;
  for (int i = 0; i < 8 && smooth.step < 16; ++i) {
    TPhaseModel whole = smooth;
    for (int k = 0; k <= bits; ++k) {
      whole.starts.push_back(
          static_cast<int>(std::lround(whole.at + (i - 4) / 8.0 + k * whole.step)));
    }
    if (Iterate(x, from, to, value, block, 1, tonesOnly, whole, rows, misfit) &&
        (bestWhole.starts.empty() || Rms(misfit) < wholeMisfit)) {
      bestWhole = whole;
      wholeMisfit = Rms(misfit);
    }
  }
  if (!bestWhole.starts.empty() && wholeMisfit < 0.9 * bestMisfit &&
      Iterate(x, from, to, value, block, 1, tonesOnly, bestWhole, rows, misfit)) {
    best = bestWhole;
  }
  if (std::fabs(best.w0 - model.w0) > spread / 4 || std::fabs(best.w1 - model.w1) > spread / 4) {
    return false;
  }
  model = best;
  return true;
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
    std::vector<double> mean(static_cast<size_t>(count), 0.0);
    double sum = 0, highest = 0;
    for (int n = 0; n < count; ++n) {
      sum += static_cast<double>(samples[n]) * samples[n];
      if (n >= window) sum -= static_cast<double>(samples[n - window]) * samples[n - window];
      mean[static_cast<size_t>(n)] = sum;
      highest = std::max(highest, sum);
    }
    for (int n = window, runFrom = -1; n <= count; ++n) {
      const bool on = n < count && mean[static_cast<size_t>(n)] > 0.25 * highest;
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
  for (int n = lo; n < hi; ++n) {
    double q = 0;
    for (int k = 1; k <= kHilbertHalf; k += 2) {
      q += taps.h[k] * (samples[n - k] - samples[n + k]);
    }
    const double i = samples[n];
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
    double total = 0;
    int a = from, z = from;  // the sum covers [a, z)
    for (int n = from; n < to; ++n) {
      for (; z < std::min(to, n + half + 1); ++z) total += step[static_cast<size_t>(z)];
      for (; a < n - half; ++a) total -= step[static_cast<size_t>(a)];
      smooth[static_cast<size_t>(n)] = total / (z - a);
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
        double psi = 0, mn = 0, mp = 0;
        std::vector<double> phase(static_cast<size_t>(z - a + 1));
        for (int n = a; n <= z; ++n) {
          if (n > a) psi += step[static_cast<size_t>(n)];
          phase[static_cast<size_t>(n - a)] = psi;
          mn += n;
          mp += psi;
        }
        const double len = z - a + 1;
        mn /= len;
        mp /= len;
        const int v = value[static_cast<size_t>(b)];
        for (int n = a; n <= z; ++n) {
          sxx[v] += (n - mn) * (n - mn);
          sxy[v] += (n - mn) * (phase[static_cast<size_t>(n - a)] - mp);
        }
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
