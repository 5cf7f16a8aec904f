// The sender's continuous phase fitted to a telegram's raw samples: each
// run's samples projected on its tone leave the model's error there, whose
// phases a least-squares fit turns into corrections of the tones and the bit
// grid; a sender on whole samples is searched for beside it.
#include "modem/phase_fit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <tuple>
#include <utility>

namespace sorvex {
namespace {

// A run's samples against the model: the phase left at their centre; what
// moves it (time in tone 0, in tone 1, ∂θ/∂at, ∂θ/∂step); its first bit;
// its weight, the bits it spans (the phase's variance goes as 1/length).
struct TBlockRow {
  double psi;
  double r[4];
  int bit;
  double weight;
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
    const int n = to - from;
    Sums = std::make_unique_for_overwrite<TSum[]>(static_cast<size_t>(n) + 1);
    // The two tones side by side in a vector's lanes, on even and odd
    // samples: each phasor's multiply-add chain waits on its own last step
    // only. They are exact again every 256 samples, before they drift.
    // A lane binds no reference: each is taken through a double.
    const auto phasor = [](double angle, TPair& c, TPair& s, int lane) {
      double sn, cs;
      FastSinCos(angle, sn, cs);
      c[lane] = cs;
      s[lane] = sn;
    };
    TPair stepC, stepS;
    for (int v = 0; v < 2; ++v) phasor(-2 * Ref[v], stepC, stepS, v);
    TSum run = {};  // in registers: no load waits on a store
    Sums[0] = run;
    for (int base = 0; base < n; base += 256) {
      TPair c[2], s[2];  // even, odd
      for (int v = 0; v < 2; ++v) {
        for (int odd = 0; odd < 2; ++odd) phasor(-Ref[v] * (base + odd), c[odd], s[odd], v);
      }
      const int end = std::min(n, base + 256);
      for (int i = base; i < end; i += 2) {
        for (int odd = 0; odd < 2 && i + odd < end; ++odd) {
          const double xs = x[from + i + odd], t = i + odd;
          const TPair xr = xs * c[odd], xi = xs * s[odd];
          run.zr += xr;
          run.zi += xi;
          run.yr += t * xr;
          run.yi += t * xi;
          Sums[static_cast<size_t>(i + odd + 1)] = run;
        }
        for (int odd = 0; odd < 2; ++odd) {
          const TPair nc = c[odd] * stepC - s[odd] * stepS;
          s[odd] = s[odd] * stepC + c[odd] * stepS;
          c[odd] = nc;
        }
      }
    }
  }
  // The phasor of samples [a, b) at tone w, near tone v's reference, taken at
  // the centre c of the stretch against the reference's phase there.
  void Project(int v, double w, int a, int b, double& re, double& im) const {
    const TSum& p = Sums[static_cast<size_t>(a - From)];
    const TSum& q = Sums[static_cast<size_t>(b - From)];
    const double zr = q.zr[v] - p.zr[v], zi = q.zi[v] - p.zi[v];
    const double c = 0.5 * (a + b - 1) - From;
    const double yr = q.yr[v] - p.yr[v] - c * zr, yi = q.yi[v] - p.yi[v] - c * zi;
    // e^{−jδ(n − c)} ≈ 1 − jδ(n − c): the tones stay within hertz of the reference.
    const double d = w - Ref[v];
    re = zr + d * yi;
    im = zi - d * yr;
  }
  // e^{−j2w̄(c − origin)} for the stretch [a, b) centred on c.
  void Turn(int v, int a, int b, double& re, double& im) const {
    FastSinCos(-Ref[v] * (a + b - 1 - 2 * From), im, re);
  }
  double Reference(int v) const { return Ref[v]; }
  int Origin() const { return From; }

 private:
  // Tone 0 and tone 1 in lanes 0 and 1.
  using TPair = TDoublePair;
  struct TSum {
    TPair zr, zi, yr, yi;
  };
  std::unique_ptr<TSum[]> Sums;
  double Ref[2] = {0, 0};
  int From = 0;
};

// What is left of the model's phase in the samples, one row per run of one
// tone: its samples projected on the tone leave only the model's error there.
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
  // sin(wL)/sin(w) per tone and stretch length L, which takes few values.
  std::vector<double> images[2];
  const auto image = [&](int v, int len) {
    std::vector<double>& known = images[v];
    if (known.size() <= static_cast<size_t>(len)) {
      known.resize(static_cast<size_t>(len) + 1, std::numeric_limits<double>::quiet_NaN());
    }
    double& value = known[static_cast<size_t>(len)];
    if (std::isnan(value)) value = std::sin(w[v] * len) / std::sin(w[v]);
    return value;
  };
  // One row per run of one tone, up to four bits long: no tone changes
  // within it, and it costs what one bit does; short enough that the model's
  // error turns well within half a turn from one row to the next. Where a
  // bit is but a few samples (2400 bit/s), the phase's slope within a run is
  // much of what tells a tone's error from its edges': there each bit keeps
  // its row (runs read a tone 1.4 Hz further off).
  const int runBits = m.step < 5 ? 1 : 4;
  for (int k = 0; k < bits;) {
    const int v = value[static_cast<size_t>(k)];
    int end = k + 1;
    while (end < bits && end - k < runBits && value[static_cast<size_t>(end)] == v) ++end;
    const double e = edge(k), next = edge(end);
    if (k > 0) {
      const int u = value[static_cast<size_t>(k - 1)];
      g += w[u] - w[v];
      h += k * (w[u] - w[v]);
    }
    // Sample n of the run lies at or after its first edge and before the next one.
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
      const double kernel = image(v, b - a);
      if (kernel * kernel < 0.75 * len * len) {
        double sr, si;
        sums.Project(v, w[v], a, b, sr, si);
        const double phi = at - ref * (c - origin);
        double tr, ti;
        sums.Turn(v, a, b, tr, ti);
        // L·S − K·e^{j·turn}·S̄, turned back by φ.
        const double pr = len * sr - kernel * (tr * sr + ti * si);
        const double pi = len * si - kernel * (ti * sr - tr * si);
        double cp, sp;
        FastSinCos(phi, sp, cp);
        const double ur = pr * cp + pi * sp, ui = pi * cp - pr * sp;
        // Unwrapped by the turn from the row before.
        psi += rows.empty() ? FastAtan2(ui, ur)
                            : FastAtan2(ui * lastR - ur * lastI, ur * lastR + ui * lastI);
        lastR = ur;
        lastI = ui;
        const double t1 = tau1 + v * (c - e);
        rows.push_back({psi, {c - m.at - t1, t1, g, h}, k, len / m.step});
      }
    }
    theta += w[v] * (next - e);
    tau1 += v * (next - e);
    k = end;
  }
  return rows.size() >= 8;
}

// z = L⁻¹b for a lower triangle L.
template <int N>
void SolveLower(const double (&l)[N][N], const double (&b)[N], double (&z)[N]) {
  for (int i = 0; i < N; ++i) {
    double sum = b[i];
    for (int k = 0; k < i; ++k) sum -= l[i][k] * z[k];
    z[i] = sum / l[i][i];
  }
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
  }
  SolveLower(l, b, z);
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
      const double wh = row.weight * h[i];
      for (int j = 0; j <= i; ++j) a[i][j] += wh * h[j];
      b[i] += wh * row.psi;
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

// The rows' weighted root mean square misfit.
double Rms(const std::vector<TBlockRow>& rows, const std::vector<double>& misfit) {
  double sum = 0, weight = 0;
  for (size_t i = 0; i < rows.size(); ++i) {
    sum += rows[i].weight * misfit[i] * misfit[i];
    weight += rows[i].weight;
  }
  return weight > 0 ? std::sqrt(sum / weight) : 0;
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
// time in tone 0, time in tone 1). Only the phases move between grids, so
// the normal matrix is factored once, and the rows between two tone changes,
// turned alike, count by their sums.
class TWholeSearch {
 public:
  TWholeSearch(const std::vector<TBlockRow>& rows, const std::vector<char>& value,
               const TPhaseModel& smooth)
      : Smooth(smooth) {
    double a[3][3] = {};
    size_t r = 0;
    for (int k = 0; k < static_cast<int>(value.size()) && r < rows.size(); ++k) {
      const int u = k > 0 ? value[static_cast<size_t>(k - 1)] : value[0];
      const int v = value[static_cast<size_t>(k)];
      if (u != v) Changes.push_back({k, (u ? smooth.w1 : smooth.w0) - (v ? smooth.w1 : smooth.w0)});
      for (; r < rows.size() && rows[r].bit == k; ++r) {
        const double h[3] = {1, rows[r].r[0], rows[r].r[1]}, y = rows[r].psi;
        const double wt = rows[r].weight;
        for (int i = 0; i < 3; ++i) {
          for (int j = 0; j <= i; ++j) a[i][j] += wt * h[i] * h[j];
          B[i] += wt * h[i] * y;
        }
        Yy += wt * y * y;
        Count += wt;
        if (!Changes.empty()) {
          TChange& c = Changes.back();
          c.n += wt;
          c.r0 += wt * h[1];
          c.r1 += wt * h[2];
          c.psi += wt * y;
        }
      }
    }
    double z[3];
    Ok = Cholesky(a, B, 1e-9, L, z);
  }

  // Two grids at once, one in each lane.
  TDoublePair Misfit(TDoublePair at, TDoublePair step) const {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    if (!Ok) return TDoublePair{kInfinity, kInfinity};
    TDoublePair b0 = {B[0], B[0]}, b1 = {B[1], B[1]}, b2 = {B[2], B[2]}, yy = {Yy, Yy};
    TDoublePair shift = {0, 0};
    for (const TChange& c : Changes) {
      const double k = c.bit;
      const TDoublePair edge = at + k * step;
      shift += c.dw * (RoundNear(edge) - (Smooth.at + k * Smooth.step));
      b0 -= shift * c.n;
      b1 -= shift * c.r0;
      b2 -= shift * c.r1;
      yy += shift * (shift * c.n - 2 * c.psi);
    }
    // What the fit explains, |L⁻¹b|², leaves the misfit.
    TDoublePair misfit;
    for (int lane = 0; lane < 2; ++lane) {
      const double b[3] = {b0[lane], b1[lane], b2[lane]};
      double z[3];
      SolveLower(L, b, z);
      const double explained = z[0] * z[0] + z[1] * z[1] + z[2] * z[2];
      misfit[lane] = std::sqrt(std::max(0.0, yy[lane] - explained) / Count);
    }
    return misfit;
  }

 private:
  // A tone change at `bit`, the turn a unit shift of its edge gives the
  // phase after it, and the sums of the rows from it to the next change.
  struct TChange {
    int bit;
    double dw;
    double n = 0, r0 = 0, r1 = 0, psi = 0;
  };
  const TPhaseModel& Smooth;
  double Count = 0;  // the rows' weight
  std::vector<TChange> Changes;
  double L[3][3] = {}, B[3] = {}, Yy = 0;
  bool Ok = false;
};

}  // namespace

bool RefineModel(const int16_t* x, int from, int to, const std::vector<char>& value, double setStep,
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
  // A sender on our sample rate (ours is one: the transmitter changes tone
  // on whole samples) puts each change up to half a sample from where the
  // grid puts it; even at 300 bit/s the phase jumps so left read hertz off.
  // Which whole samples is searched for over offsets and bit lengths of the
  // grid: the edges' rounding biases the smooth fit's bit length. Only a
  // clearly better fit counts: on a noisy line either model fits about as
  // well. Searched only for a sender at the set bit length, to two samples
  // over the telegram (no other is on our sample rate), and only if that
  // length is not a whole number of samples, which puts whole-sample edges
  // on the smooth grid anyway.
  const int bits = static_cast<int>(value.size());
  if (std::fabs(setStep - std::nearbyint(setStep)) > 1e-9 &&
      std::fabs(smooth.step - setStep) * bits <= 2) {
    // The last step's misfit is, to first order, what the rows would show
    // against the model it led to: no new pass is needed to judge grids
    // against that model.
    for (size_t i = 0; i < rows.size(); ++i) rows[i].psi = misfit[i];
    const double smoothMisfit = Rms(rows, misfit);
    double at = smooth.at, step = smooth.step;
    double wholeMisfit = std::numeric_limits<double>::infinity();
    // Along a line of grids, the best; a range of them puts the edges on
    // the same samples and fits alike, and its middle is the likeliest.
    const TWholeSearch whole(rows, value, smooth);
    std::vector<double> fits;
    const auto search = [&](int from, int to, auto grid) {
      fits.clear();
      for (int i = from; i <= to; i += 2) {
        const auto [a0, s0] = grid(i);
        const auto [a1, s1] = grid(std::min(i + 1, to));
        const TDoublePair fit = whole.Misfit(TDoublePair{a0, a1}, TDoublePair{s0, s1});
        fits.push_back(fit[0]);
        if (i + 1 <= to) fits.push_back(fit[1]);
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
    // Bit lengths up to a sample apart over the telegram, turning about the
    // middle bit: first a fifth of a sample apart, each with eight offsets
    // (a sender's edges can bias the smooth fit's bit length far enough
    // that neither offsets nor lengths alone lead to its grid), then a tenth
    // apart and sixteen offsets about the best.
    const auto turned = [bits](double a0, double s0, double s) {
      return std::pair{a0 - (s - s0) * bits / 2, s};
    };
    for (int i = -5; i <= 5; ++i) {
      const std::pair<double, double> grid =
          turned(smooth.at, smooth.step, smooth.step + i * 0.2 / bits);
      search(-4, 3, [grid](double j) { return std::pair{grid.first + j / 8, grid.second}; });
    }
    // Twice, so that the middle of a range of lengths is taken about the
    // middle of its offsets.
    for (int round = 0; round < 2; ++round) {
      const double a0 = at, s0 = step;
      search(-10, 10, [&](double i) { return turned(a0, s0, s0 + i * 0.1 / bits); });
      offsets(at, step);
    }
    TPhaseModel grid = smooth;
    grid.at = at;
    grid.step = step;
    for (int k = 0; k <= bits; ++k) {
      grid.starts.push_back(static_cast<int>(RoundNear(at + k * step)));
    }
    const double tonesOnly[4] = {1e-3, 1e-3, 0, 0};
    if (wholeMisfit < 0.9 * smoothMisfit &&
        Iterate(x, from, to, value, 1, tonesOnly, sums, grid, rows, misfit)) {
      best = grid;
    }
  }
  if (std::fabs(best.w0 - model.w0) > spread / 4 || std::fabs(best.w1 - model.w1) > spread / 4) {
    return false;
  }
  model = best;
  return true;
}

}  // namespace sorvex
