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
#include <tuple>
#include <utility>
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

// One bit's samples against the model: the phase left at their centre; what
// moves it (time in tone 0, in tone 1, ∂θ/∂at, ∂θ/∂step); the bit.
struct TBlockRow {
  double psi;
  double r[4];
  int bit;
};

// The telegram's samples times either tone's reference phasor e^{−jw̄n},
// summed, and so their first moments: a stretch's projection on a tone near
// the reference then takes two differences, so a new model costs a pass over
// its bits, not over the samples.
class TToneSums {
 public:
  void Build(const int16_t* x, int from, int to, double w0, double w1) {
    From = from;
    Ref[0] = w0;
    Ref[1] = w1;
    const size_t n = static_cast<size_t>(to - from);
    for (int v = 0; v < 2; ++v) {
      Sums[v].assign(n + 1, TSum{});
      double c = 1, s = 0;
      const double cw = std::cos(Ref[v]), sw = std::sin(Ref[v]);
      TSum sum;
      for (size_t i = 0; i < n; ++i) {
        // The recurrence is exact again every 256 samples, before it drifts.
        if ((i & 255) == 0) {
          c = std::cos(Ref[v] * static_cast<double>(i));
          s = -std::sin(Ref[v] * static_cast<double>(i));
        }
        const double xr = x[from + static_cast<int>(i)] * c, xi = x[from + static_cast<int>(i)] * s;
        sum.zr += xr;
        sum.zi += xi;
        sum.yr += static_cast<double>(i) * xr;
        sum.yi += static_cast<double>(i) * xi;
        Sums[v][i + 1] = sum;
        const double nc = c * cw + s * sw;
        s = s * cw - c * sw;
        c = nc;
      }
    }
  }
  // The phasor of samples [a, b) at tone w, near tone v's reference, taken at
  // the centre c of the stretch against the reference's phase there.
  void Project(int v, double w, int a, int b, double& re, double& im) const {
    const TSum& p = Sums[v][static_cast<size_t>(a - From)];
    const TSum& q = Sums[v][static_cast<size_t>(b - From)];
    const double zr = q.zr - p.zr, zi = q.zi - p.zi;
    const double c = 0.5 * (a + b - 1) - From;
    const double yr = q.yr - p.yr - c * zr, yi = q.yi - p.yi - c * zi;
    // e^{−jδ(n − c)} ≈ 1 − jδ(n − c): the tones stay within hertz of the reference.
    const double d = w - Ref[v];
    re = zr + d * yi;
    im = zi - d * yr;
  }
  double Reference(int v) const { return Ref[v]; }
  int Origin() const { return From; }

 private:
  struct TSum {
    double zr = 0, zi = 0, yr = 0, yi = 0;
  };
  std::vector<TSum> Sums[2];
  double Ref[2] = {0, 0};
  int From = 0;
};

// What is left of the model's phase in the samples, one row per bit: each
// bit's samples projected on its tone leave only the model's error there.
bool MixDown(const TToneSums& sums, int from, int to, const std::vector<char>& value,
             const TPhaseModel& m, std::vector<TBlockRow>& rows) {
  rows.clear();
  const int bits = static_cast<int>(value.size());
  const bool whole = !m.starts.empty();
  const double w[2] = {m.w0, m.w1};
  const auto edge = [&](int k) {
    return whole ? static_cast<double>(m.starts[static_cast<size_t>(k)]) : m.at + k * m.step;
  };
  // The model's phase and what moves it, at the start of bit k; bit 0 starts at phase 0.
  double theta = 0, tau1 = 0, g = 0, h = 0;
  double psi = 0, lastR = 0, lastI = 0;
  const int a0 = std::max(from, static_cast<int>(std::ceil(m.at + 0.5 * m.step)));
  const int z0 = std::min(to, static_cast<int>(std::floor(m.at + (bits - 0.5) * m.step)));
  const double origin = sums.Origin();
  for (int k = 0; k < bits; ++k) {
    const int v = value[static_cast<size_t>(k)];
    const double e = edge(k), next = edge(k + 1);
    if (k > 0) {
      const int u = value[static_cast<size_t>(k - 1)];
      g += w[u] - w[v];
      h += k * (w[u] - w[v]);
    }
    // Sample n of bit k lies at or after its edge and before the next one.
    const int a = std::max(a0, static_cast<int>(std::ceil(e)));
    const int b = std::min(z0, static_cast<int>(std::ceil(next)));
    if (b - a >= 1) {
      const double c = 0.5 * (a + b - 1), len = b - a;
      const double at = theta + w[v] * (c - e);  // the model's phase at c
      // x = A·sin θ, θ = θ̂ + ψ: Σx·e^{−jθ̂} is A/2j·(L·e^{jψ} − I·e^{−jψ}),
      // I = Σe^{−j2θ̂} = e^{−j2θ̂(c)}·sin(wL)/sin(w); so e^{jψ} ∝ L·c + I·c̄.
      // Against the reference, θ̂ = φ + w̄·(n − origin), and the image's phase
      // reduces to the reference's alone.
      const double ref = sums.Reference(v);
      const double image = std::sin(w[v] * len) / std::sin(w[v]);
      if (image * image < 0.75 * len * len) {
        double sr, si;
        sums.Project(v, w[v], a, b, sr, si);
        const double phi = at - ref * (c - origin);
        const double turn = -2 * ref * (c - origin);
        const double tr = std::cos(turn), ti = std::sin(turn);
        // L·S − K·e^{j·turn}·S̄, turned back by φ.
        const double pr = len * sr - image * (tr * sr + ti * si);
        const double pi = len * si - image * (ti * sr - tr * si);
        const double cp = std::cos(phi), sp = std::sin(phi);
        const double ur = pr * cp + pi * sp, ui = pi * cp - pr * sp;
        // Unwrapped by the turn from the bit before, which stays well within
        // half a turn.
        psi += rows.empty() ? FastAtan2(ui, ur)
                            : FastAtan2(ui * lastR - ur * lastI, ur * lastR + ui * lastI);
        lastR = ur;
        lastI = ui;
        const double t1 = tau1 + v * (c - e);
        rows.push_back({psi, {c - m.at - t1, t1, g, h}, k});
      }
    }
    theta += w[v] * (next - e);
    tau1 += v * (next - e);
  }
  return rows.size() >= 8;
}

// A normal matrix a (its lower triangle read) as L·Lᵀ, and z = L⁻¹b; false
// when a pivot falls to `least` or below.
template <int N>
bool Cholesky(const double (&a)[N][N], const double (&b)[N], double least, double (&l)[N][N],
              double (&z)[N]) {
  for (int i = 0; i < N; ++i) {
    for (int j = 0; j <= i; ++j) {
      double sum = a[i][j];
      for (int k = 0; k < j; ++k) sum -= l[i][k] * l[j][k];
      if (i == j) {
        if (!(sum > least)) return false;
        l[i][i] = std::sqrt(sum);
      } else {
        l[i][j] = sum / l[j][j];
      }
    }
    for (int j = i + 1; j < N; ++j) l[i][j] = 0;
    double sum = b[i];
    for (int k = 0; k < i; ++k) sum -= l[i][k] * z[k];
    z[i] = sum / l[i][i];
  }
  return true;
}

// Least squares of the rows' phases on a phase of their own and the
// model's corrections; a prior variance per correction keeps what the rows
// cannot tell (0: not fitted) near the estimate. The misfit left per row.
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
  // The rows' phase noise is taken as 0.1 rad against the priors.
  for (int i = 1; i < kN; ++i) {
    if (prior[i - 1] > 0) {
      a[i][i] += 1e-2 / prior[i - 1];
    } else {
      for (int j = 0; j < kN; ++j) a[i][j] = a[j][i] = 0;
      a[i][i] = 1;
      b[i] = 0;
    }
  }
  // Symmetric, positive definite unless the rows leave the phase itself
  // undetermined.
  double l[kN][kN], x[kN];
  if (!Cholesky(a, b, 1e-12, l, x)) return false;
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
// The sums are taken again about the tones found when these have moved far
// enough for a bit's first-order correction to tell.
bool Iterate(const int16_t* x, int from, int to, const std::vector<char>& value, int iterations,
             const double prior[4], TToneSums& sums, TPhaseModel& m, std::vector<TBlockRow>& rows,
             std::vector<double>& misfit) {
  for (int i = 0; i < iterations; ++i) {
    const double reach = 0.5 * m.step;
    if (std::max(std::fabs(m.w0 - sums.Reference(0)), std::fabs(m.w1 - sums.Reference(1))) * reach >
        0.05) {
      sums.Build(x, from, to, m.w0, m.w1);
    }
    double d[4];
    if (!MixDown(sums, from, to, value, m, rows) || !Corrections(rows, prior, d, misfit)) {
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

// How well a sender changing tone on the whole samples round(at + k·step)
// fits, told from the smooth fit's rows without a new pass: moving edge k by
// d turns the phase after it by (w_before − w_after)·d; the misfit of the
// rows so turned, their phase and tones fitted again (least squares on 1,
// time in tone 0, time in tone 1).
double WholeMisfit(const std::vector<TBlockRow>& rows, const std::vector<char>& value,
                   const TPhaseModel& smooth, double at, double step) {
  const double w[2] = {smooth.w0, smooth.w1};
  double a[3][3] = {}, b[3] = {}, yy = 0, shift = 0;
  size_t r = 0;
  for (int k = 0; k < static_cast<int>(value.size()) && r < rows.size(); ++k) {
    if (k > 0) {
      const double d = std::nearbyint(at + k * step) - (smooth.at + k * smooth.step);
      const int u = value[static_cast<size_t>(k - 1)], v = value[static_cast<size_t>(k)];
      shift += (w[u] - w[v]) * d;
    }
    for (; r < rows.size() && rows[r].bit == k; ++r) {
      const double h[3] = {1, rows[r].r[0], rows[r].r[1]}, y = rows[r].psi - shift;
      for (int i = 0; i < 3; ++i) {
        for (int j = 0; j <= i; ++j) a[i][j] += h[i] * h[j];
        b[i] += h[i] * y;
      }
      yy += y * y;
    }
  }
  // What the fit explains, |L⁻¹b|², leaves the misfit.
  double l[3][3], z[3];
  if (!Cholesky(a, b, 1e-9, l, z)) return std::numeric_limits<double>::infinity();
  return std::sqrt(std::max(0.0, yy - z[0] * z[0] - z[1] * z[1] - z[2] * z[2]) /
                   static_cast<double>(rows.size()));
}

bool RefineModel(const int16_t* x, int from, int to, const std::vector<char>& value,
                 TPhaseModel& model) {
  const double spread = std::fabs(model.w1 - model.w0);
  const double prior[4] = {1e-3, 1e-3, 1.0, 1e-4 * model.step * model.step};
  TToneSums sums;
  sums.Build(x, from, to, model.w0, model.w1);
  std::vector<TBlockRow> rows;
  std::vector<double> misfit;
  TPhaseModel smooth = model;
  if (!Iterate(x, from, to, value, 2, prior, sums, smooth, rows, misfit)) return false;
  TPhaseModel best = smooth;
  // A sender on a sample clock of its own changes tone on whole samples, up
  // to half a sample from where the grid puts it; which whole samples is
  // found by trying offsets of the grid, then bit lengths, then offsets
  // again: its edges' rounding biases the smooth fit's bit length. Only a
  // clearly better fit counts: on a noisy line either model fits about as
  // well. At low rates a half-sample matters little against the bit, and the
  // search is skipped.
  const int bits = static_cast<int>(value.size());
  double d[4];
  if (smooth.step < 16 && MixDown(sums, from, to, value, smooth, rows) &&
      Corrections(rows, prior, d, misfit)) {
    const double smoothMisfit = Rms(misfit);
    double at = smooth.at, step = smooth.step;
    double wholeMisfit = std::numeric_limits<double>::infinity();
    // Along a line of grids, the best; a range of them puts the edges on
    // the same samples and fits alike, and its middle is the likeliest.
    const auto search = [&](int from, int to, auto grid) {
      std::vector<double> fits;
      for (int i = from; i <= to; ++i) {
        const auto [a, s] = grid(i);
        fits.push_back(WholeMisfit(rows, value, smooth, a, s));
      }
      const double least = *std::min_element(fits.begin(), fits.end());
      if (!(least <= wholeMisfit)) return;
      double sum = 0;
      int count = 0;
      for (int i = from; i <= to; ++i) {
        if (fits[static_cast<size_t>(i - from)] <= least * (1 + 1e-9)) {
          sum += i;
          ++count;
        }
      }
      std::tie(at, step) = grid(sum / count);
      wholeMisfit = least;
    };
    const auto offsets = [&](double a, double s) {
      search(-8, 7, [a, s](double i) { return std::pair{a + i / 16, s}; });
    };
    offsets(smooth.at, smooth.step);
    // Bit lengths a tenth of a sample apart over the telegram, up to a
    // sample, turning about the middle bit.
    const double a0 = at, s0 = step;
    search(-10, 10, [a0, s0, bits](double i) {
      const double s = s0 + i * 0.1 / bits;
      return std::pair{a0 - (s - s0) * bits / 2, s};
    });
    offsets(at, step);
    TPhaseModel whole = smooth;
    whole.at = at;
    whole.step = step;
    for (int k = 0; k <= bits; ++k) {
      whole.starts.push_back(static_cast<int>(std::nearbyint(at + k * step)));
    }
    const double tonesOnly[4] = {1e-3, 1e-3, 0, 0};
    if (wholeMisfit < 0.9 * smoothMisfit &&
        Iterate(x, from, to, value, 1, tonesOnly, sums, whole, rows, misfit)) {
      best = whole;
    }
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
