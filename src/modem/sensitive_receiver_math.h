// Arithmetic shared by the sensitive receiver's two source files (the
// per-sample correlation and the per-bit decisions); included by nothing else.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sorvex {

// Internal linkage: each of the two files gets its own inlined copy.
namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kLevelDecay = 5.12;  // sample units per sample, as the standard receiver's meter
constexpr double kLevelCeiling = 32768.0;
constexpr double kFullScale = 32768.0;
// DC blocker y = x − x₁ + r·y₁: corner near 6 Hz, within 0.03 dB from 300 Hz up.
constexpr double kDcPole = 0.995;
// Below this separation the tone pair is hardly distinguishable; the value
// scale stops growing there rather than amplifying noise without bound.
constexpr double kMinSeparation = 0.1;
// Timing loop, per transition: the boundary moves by kPhaseGain × error and
// the bit period by kRateGain × error (samples). The rate is kept within
// ±kRateRange of the nominal bit rate.
constexpr double kPhaseGain = 0.3;
constexpr double kRateGain = 0.02;
constexpr double kRateRange = 0.04;
// Sliding sums are recomputed exactly at least this often, so rounding from
// adding and removing samples never accumulates over a long run.
constexpr int64_t kExactSumInterval = 8192;
constexpr int kStride = 12;  // ring doubles per sample
// The carrier detector (a CFAR test; see the README): the stronger tone's
// squared amplitude over the carrier window (two bit periods), z = e²/N,
// against N, its mean on noise. On noise each tone's squared amplitude is
// near exponential with mean N/1.5 (the mean of the larger of two is 1.5
// times one's), so one window passes z > η with probability about
// 2·e^(−1.5η); a carrier needs z above η all through more than 2 T, two
// disjoint windows: (2·e^(−7.5))² = 1.2·10⁻⁶ with η = 5 for long bits,
// 0.4 per hour at 200 bit/s (0.36 M window pairs in an hour). Short bits
// hold so few samples per window that a lead-in at the sensitivity limit
// needs η = 3: 5·10⁻⁴, about 2000 false carriers an hour at 2400 bit/s,
// which the telegram test below turns away. A lead-in at 13.5 dB Eb/N0
// reads z ≈ 2·22.4/1.5 = 30.
constexpr double kCarrierRatio = 5.0;
constexpr double kShortCarrierRatio = 3.0;
// Below kQuietRatio·N the line is quiet: the silence before a carrier and
// the end of a telegram (more than 4 T of it). A telegram's own dips, two
// tones sharing a window, stay near a quarter of its level, far above.
constexpr double kQuietRatio = 3.0;
// A telegram whose bits' fitted squared amplitudes average less than
// kTelegramRatio times noise in one bit period (2N) is noise that passed for
// a carrier: dropped, nothing signalled. Bits at 8 dB Eb/N0 average 4.2.
constexpr double kTelegramRatio = 2.5;
// N is learnt from the weaker tone while the receiver waits for silence and
// for the carrier: on noise the two tones' squared amplitudes are near two
// independent exponentials, the weaker's mean a third of the stronger's, so
// kWeakerToMean times it estimates N; a steady tone (a lead-in, a telegram
// the receiver was armed in) leaves the weaker tone to the noise. Each
// sample is clipped at the carrier threshold η·N, and followed by two running means:
// a slow one over kNoiseSpan samples (0.5 s) for a steady figure, a fast one
// over kNoiseFastSpan (50 ms). N is the slow one, or half the fast one when
// that is larger: the noise rising by more than 3 dB lifts N at once; the
// slow one never stays above twice the fast one, so a fall pulls it down.
// The first kNoiseWarmUp samples are averaged plainly; up to
// kNoiseSettled samples learnt (three slow spans) N is the larger of the two.
constexpr double kWeakerToMean = 3.0;
constexpr double kNoiseSpan = 4000.0;
constexpr double kNoiseFastSpan = 400.0;
constexpr int64_t kNoiseWarmUp = 256;
constexpr int64_t kNoiseSettled = 12000;
// A telegram whose last eight judged bits hold six whose tone does not
// stand kToneMargin above the other is noise (the line's noise rose under a
// frozen estimate): ended there, or dropped unsaid when it has no more than
// kNoiseTelegramBits bits. Long bits are judged one by one, short ones in
// pairs of one tone (over one short bit the tones overlap too much). On
// noise the stronger of two is below four times the weaker 60 % of the
// time; a bit at 13.5 dB Eb/N0 falls short about once in a thousand.
constexpr double kToneMargin = 4.0;
constexpr int32_t kNoiseTelegramBits = 16;
// N never drops below the carrier of 1-LSB white noise, so it can grow
// back from a digitally silent line.
constexpr double kNoiseFloorSigma = 1.0;

inline int Sign(double v) {
  return v > 0 ? 1 : (v < 0 ? -1 : 0);
}

// std::ceil and std::lround without the library calls (sample times are far
// inside the int64 range); the same results.
inline int64_t Ceil(double x) {
  const auto t = static_cast<int64_t>(x);
  return t + (static_cast<double>(t) < x ? 1 : 0);
}
inline int64_t RoundHalfAway(double x) {
  auto t = static_cast<int64_t>(x);  // towards zero, exact remainder below
  const double rest = x - static_cast<double>(t);
  if (rest >= 0.5) t += 1;
  if (rest <= -0.5) t -= 1;
  return t;
}

// Two doubles in one register where the target has them, else a plain
// pair: each operation rounds as its scalar counterpart does.
#if defined(__SSE2__)
class TPair {
 public:
  explicit TPair(double both) : V(_mm_set1_pd(both)) {}
  TPair(double low, double high) : V(_mm_set_pd(high, low)) {}
  TPair() : V(_mm_setzero_pd()) {}
  // {p[0], p[2]} and {p[1], p[3]}: the real and imaginary parts of two
  // complex numbers stored one after the other.
  static void Split(const double* p, TPair& re, TPair& im) {
    const __m128d a = _mm_loadu_pd(p), b = _mm_loadu_pd(p + 2);
    re.V = _mm_unpacklo_pd(a, b);
    im.V = _mm_unpackhi_pd(a, b);
  }
  static TPair Load(const double* p) { return TPair(_mm_loadu_pd(p)); }
  // The inverse of Split.
  static void Join(double* p, TPair re, TPair im) {
    _mm_storeu_pd(p, _mm_unpacklo_pd(re.V, im.V));
    _mm_storeu_pd(p + 2, _mm_unpackhi_pd(re.V, im.V));
  }
  friend TPair operator+(TPair a, TPair b) { return TPair(_mm_add_pd(a.V, b.V)); }
  friend TPair operator-(TPair a, TPair b) { return TPair(_mm_sub_pd(a.V, b.V)); }
  friend TPair operator*(TPair a, TPair b) { return TPair(_mm_mul_pd(a.V, b.V)); }
  // std::max(0.0, x) per lane: x when 0 < x, else 0.
  TPair Positive() const { return TPair(_mm_max_pd(V, _mm_setzero_pd())); }
  TPair Sqrt() const { return TPair(_mm_sqrt_pd(V)); }
  // All ones per lane where this ≤ b, for Blend.
  TPair AtMost(TPair b) const { return TPair(_mm_cmple_pd(V, b.V)); }
  // a where the mask is set, else b.
  static TPair Blend(TPair mask, TPair a, TPair b) {
    return TPair(_mm_or_pd(_mm_and_pd(mask.V, a.V), _mm_andnot_pd(mask.V, b.V)));
  }
  double Low() const { return _mm_cvtsd_f64(V); }
  double High() const { return _mm_cvtsd_f64(_mm_unpackhi_pd(V, V)); }

 private:
  explicit TPair(__m128d v) : V(v) {}
  __m128d V;
};
#else
class TPair {
 public:
  explicit TPair(double both) : L(both), H(both) {}
  TPair(double low, double high) : L(low), H(high) {}
  TPair() = default;
  static void Split(const double* p, TPair& re, TPair& im) {
    re = TPair(p[0], p[2]);
    im = TPair(p[1], p[3]);
  }
  static TPair Load(const double* p) { return {p[0], p[1]}; }
  static void Join(double* p, TPair re, TPair im) {
    p[0] = re.L;
    p[1] = im.L;
    p[2] = re.H;
    p[3] = im.H;
  }
  friend TPair operator+(TPair a, TPair b) { return {a.L + b.L, a.H + b.H}; }
  friend TPair operator-(TPair a, TPair b) { return {a.L - b.L, a.H - b.H}; }
  friend TPair operator*(TPair a, TPair b) { return {a.L * b.L, a.H * b.H}; }
  TPair Positive() const { return {std::max(0.0, L), std::max(0.0, H)}; }
  TPair Sqrt() const { return {std::sqrt(L), std::sqrt(H)}; }
  TPair AtMost(TPair b) const { return {L <= b.L ? 1.0 : 0.0, H <= b.H ? 1.0 : 0.0}; }
  static TPair Blend(TPair mask, TPair a, TPair b) {
    return {mask.L != 0 ? a.L : b.L, mask.H != 0 ? a.H : b.H};
  }
  double Low() const { return L; }
  double High() const { return H; }

 private:
  double L = 0, H = 0;
};
#endif

// The squared amplitude (sample units) of each tone, one per lane, over a
// plain run of m samples ending at a sample: s the run's correlations, p
// the sample's mixing phasors. As FittedRatio below, but |k| (so the
// denominator) depends on m alone: scale = 4 / (m·(m² − |k|²)), q = Σ_{i<m}
// exp(−2iω·i), both zeroed (scale 4/m²) for a tone without sine part.
struct TRunTerms {
  TPair Qr, Qi, Scale, M;
};
inline TPair RunSquares(TPair sr, TPair si, TPair pr, TPair pi, const TRunTerms& c) {
  // The image sum of the run: exp(2iω·index) · Σ_{i<m} exp(−2iω·i),
  // exp(2iω·index) being conj(p)².
  const TPair cr = pr * pr - pi * pi, ci = TPair(-2.0) * pr * pi;
  const TPair kr = cr * c.Qr - ci * c.Qi, ki = cr * c.Qi + ci * c.Qr;
  const TPair rr = sr * sr, ii = si * si;
  return (c.Scale * (c.M * (rr + ii) - (kr * (rr - ii) - TPair(2.0) * ki * sr * si))).Positive();
}

inline TRunTerms RunTermsOf(const std::vector<std::complex<double>> imageSum[2],
                            const std::vector<double> runScale[2], int length) {
  const auto w = static_cast<size_t>(length);
  return {TPair(imageSum[0][w].real(), imageSum[1][w].real()),
          TPair(imageSum[0][w].imag(), imageSum[1][w].imag()),
          TPair(runScale[0][w], runScale[1][w]), TPair(static_cast<double>(w))};
}

// The carrier of one sample from its tones' squared amplitudes: the
// stronger one's (full scale 1.0), their difference and, with `trace`, the
// trace (the difference of the amplitudes, times `valueScale`).
inline void StoreCarrier(TPair square, bool trace, double valueScale, double& strongest,
                         double& steady, double& traced) {
  const double s0 = square.Low(), s1 = square.High();
  strongest = std::max(s0, s1) / (kFullScale * kFullScale);
  steady = s1 - s0;
  if (trace) {
    const TPair root = square.Sqrt();
    traced = (root.High() - root.Low()) * valueScale;
  }
}

// A fit (sums sr, si, kr, ki over m samples) with one more run of `length`
// samples, tone j's correlation c[j] and image sum k[j] turned by lane j of
// u, as TFit::Add then TFit::Ratio (FittedRatio) make it, both lanes at once.
inline void PairRatios(double sr, double si, double kr, double ki, double m,
                       const std::complex<double> c[2], const std::complex<double> k[2],
                       double length, TPair ur, TPair ui, double num[2], double den[2],
                       double sums[4][2] = nullptr) {
  const TPair cr(c[0].real(), c[1].real()), ci(c[0].imag(), c[1].imag());
  const TPair qr(k[0].real(), k[1].real()), qi(k[0].imag(), k[1].imag());
  const TPair br = ur * ur - ui * ui, bi = TPair(-2.0) * ur * ui;
  const TPair s0 = TPair(sr) + (ur * cr - ui * ci), s1 = TPair(si) + (ur * ci + ui * cr);
  const TPair k0 = TPair(kr) + (br * qr - bi * qi), k1 = TPair(ki) + (br * qi + bi * qr);
  const TPair mm(m + length);
  const TPair norm = s0 * s0 + s1 * s1;
  const TPair square = mm * mm;
  const TPair rest = square - (k0 * k0 + k1 * k1);
  const TPair flat = rest.AtMost(TPair(1e-9) * mm * mm);
  const TPair n =
      (TPair(4.0) * (mm * norm - (k0 * (s0 * s0 - s1 * s1) - k1 * TPair(2.0) * s0 * s1)))
          .Positive();
  const TPair numbers = TPair::Blend(flat, TPair(4.0) * norm, n);
  const TPair dens = TPair::Blend(flat, square, rest * mm);
  num[0] = numbers.Low();
  num[1] = numbers.High();
  den[0] = dens.Low();
  den[1] = dens.High();
  if (sums != nullptr) {
    const TPair* const lanes[4] = {&s0, &s1, &k0, &k1};
    for (int i = 0; i < 4; ++i) {
      sums[i][0] = lanes[i]->Low();
      sums[i][1] = lanes[i]->High();
    }
  }
}

// The product as the compiler forms it, without its check for infinities
// (the operands here are finite).
inline std::complex<double> Mul(const std::complex<double>& a, const std::complex<double>& b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

// The squared amplitude of the tone that best fits (least squares) m real
// samples, from their complex correlation s = Σ x_j·exp(−iωj) and the image
// sum k = Σ exp(2iωj) over the same samples. With few samples per cycle a
// real tone's cosine and sine parts are neither orthogonal nor of equal
// energy, and |s| alone would depend on the phase; projecting on their span
// (Gram matrix m/2·I ± k/2) removes that:
//   energy = 2·(m·|s|² − Re(k·s²)) / (m² − |k|²),  squared amplitude = 2·energy / m,
// given here as a fraction num / den (num ≥ 0, den > 0), so that fits
// compare without dividing.
inline void FittedRatio(double sr, double si, double kr, double ki, double m, double& num,
                        double& den) {
  const double norm = sr * sr + si * si;
  den = m * m - (kr * kr + ki * ki);
  if (den <= 1e-9 * m * m) {
    num = 4 * norm;
    den = m * m;
    return;
  }
  num = std::max(0.0, 4 * (m * norm - (kr * (sr * sr - si * si) - ki * 2 * sr * si)));
  den *= m;
}

}  // namespace

}  // namespace sorvex
