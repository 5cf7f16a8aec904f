// The sensitive receiver: DC blocker, two complex correlators (one per tone)
// over a sliding bit-long window, carrier detection on the tone amplitudes,
// a strobe confirmed by its first bit, bits decided on their own samples (or
// on stretches of continuous phase when bits are short), and a bit clock
// kept on the transitions by a phase-and-rate loop.
#include "modem/sensitive_receiver.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sorvex {

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

int Sign(double v) {
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

TSensitiveReceiver::TSensitiveReceiver(int32_t blockLength)
    : BlockLength(blockLength < 1 ? 1 : blockLength),
      LevelBuffer(static_cast<size_t>(BlockLength)) {
  Configure(200, 2540, 2760);
}

double TSensitiveReceiver::ToneOverlap(double freq0, double freq1, int m) {
  if (m <= 0) return 1.0;
  const double half = std::numbers::pi * (freq1 - freq0) / SampleRate;  // Δω / 2
  const double den = m * std::sin(half);
  if (std::fabs(den) < 1e-12) return 1.0;
  return std::min(1.0, std::fabs(std::sin(m * half) / den));
}

void TSensitiveReceiver::Configure(int32_t baudrate, int32_t freq0, int32_t freq1) {
  if (baudrate <= 0) baudrate = 200;
  if (baudrate == Baudrate && freq0 == Freq0 && freq1 == Freq1 && !Ring.empty()) return;
  Baudrate = baudrate;
  Freq0 = freq0;
  Freq1 = freq1;
  SamplesPerBit = static_cast<double>(SampleRate) / Baudrate;
  Continuous = SamplesPerBit < kShortBit;
  Window = std::max(1, static_cast<int>(std::lround(SamplesPerBit)));
  // The ring holds the stretch the strobe search fits (two bit periods of
  // the steady tone, the search range and three bits beyond it) and one
  // chunk more: a chunk's correlations are all made before the receiver
  // walks through them.
  const auto needed = static_cast<int64_t>(std::ceil(8 * SamplesPerBit)) + 2 * Window + 16 + kChunk;
  int64_t size = 16;
  while (size < needed) size *= 2;
  RingMask = size - 1;
  Ring.assign(static_cast<size_t>(kStride * size), 0.0);
  // A steady tone also shows in the other tone's correlator, by the tones'
  // overlap over the window; dividing the difference by what is left of it
  // gives the tone's amplitude back.
  ValueScale = 1.0 / std::max(kMinSeparation, 1.0 - ToneOverlap(Freq0, Freq1, Window)) / kFullScale;
  for (int t = 0; t < 2; ++t) {
    Omega[t] = kTwoPi * (t ? Freq1 : Freq0) / SampleRate;
    Step[t][0] = std::cos(Omega[t]);
    Step[t][1] = -std::sin(Omega[t]);
    ImageSum[t].assign(static_cast<size_t>(size + 1), Complex(0, 0));
    RunScale[t].assign(static_cast<size_t>(size + 1), 0.0);
    Complex sum(0, 0);
    for (int64_t m = 1; m <= size; ++m) {
      sum += std::polar(1.0, -2 * Omega[t] * static_cast<double>(m - 1));
      const double md = static_cast<double>(m);
      const double den = md * md - std::norm(sum);
      const bool flat = den <= 1e-9 * md * md;  // a tone at 0 or 4000 Hz: no sine part
      ImageSum[t][m] = flat ? Complex(0, 0) : sum;
      RunScale[t][m] = flat ? 4 / (md * md) : 4 / (md * den);
    }
  }
  for (int k = 0; k <= kTurnSteps; ++k) {
    TurnTable[k] = std::polar(1.0, (Omega[1] - Omega[0]) * k / kTurnSteps);
  }
  for (int i = 0; i < 9; ++i) {
    ShiftTurn[i] = std::polar(1.0, -(Omega[1] - Omega[0]) * (i - 4) / 4.0);
  }
  ClearSignalState();
  // A telegram in progress cannot go on with other tones or another bit
  // period: it is dropped, and the receiver waits for silence again.
  if (State > rsWaitSilence) {
    State = rsWaitSilence;
    StateCounter = 0;
    RxBitCount = 0;
    Pending = false;
    Searching = false;
    SegmentCount = 0;
  }
}

void TSensitiveReceiver::ClearSignalState() {
  // Only the sliding windows of the first samples after a reset reach back
  // before it (up to two windows); nothing else reads samples before it.
  for (int64_t j = -2 * Window - 1; j < 0; ++j) {
    std::fill_n(Ring.begin() + kStride * (j & RingMask), kStride, 0.0);
  }
  Index = 0;
  XPrev = YPrev = 0;
  for (int t = 0; t < 2; ++t) {
    Sliding[t][0] = Sliding[t][1] = 0;
  }
  SinceExactSum = 0;
}

void TSensitiveReceiver::Reset() {
  ClearSignalState();
  TelegramEvent.Reset();
  State = rsWaitSilence;
  RecordCount = 0;
  RxBitCount = 0;
  StateCounter = 0;
  PrevValue = 0;
  InputLevel = 0;
  PrevSteady = 0;
  LastSigned = 0;
  LastSignedAt = 0;
  Pending = false;
  Searching = false;
  StrobeRecord = -1;
  LeadSign = 0;
  SegmentCount = 0;
}

void TSensitiveReceiver::FillSegment(TSegment& s, int64_t first, int64_t last,
                                     double boundary) const {
  SumSegment(s, first, last);
  s.Boundary = boundary;
  if (Continuous) s.Turn = TurnAt(boundary);
}

void TSensitiveReceiver::SumSegment(TSegment& s, int64_t first, int64_t last) const {
  first = std::max({first, last - RingMask + 1, int64_t{0}});
  last = std::max(last, first);
  s.First = first;
  s.Last = last;
  TPair sum0(0.0), sum1(0.0);  // per tone: real, imaginary
  double energy = 0;
  for (int64_t j = first; j <= last; ++j) {
    const double* r = &Ring[static_cast<size_t>(kStride * (j & RingMask))];
    sum0 = sum0 + TPair::Load(r);
    sum1 = sum1 + TPair::Load(r + 2);
    energy += r[0] * r[0] + r[1] * r[1];  // |x·p|² = x²
  }
  s.Energy = energy;
  s.Sum[0] = Complex(sum0.Low(), sum0.High());
  s.Sum[1] = Complex(sum1.Low(), sum1.High());
  SetImages(s);
}

inline std::complex<double> TSensitiveReceiver::TurnAt(double boundary) const {
  // exp(−iΔω·b) = exp(−iΔω·n)·exp(iΔω·(n − b)) for the sample n = ⌈b⌉,
  // whose phasors give the first factor.
  const int64_t n = Ceil(boundary);
  if (n < 0 || n >= Index || Index - n > RingMask) return FarTurn(boundary);
  const double* r = &Ring[static_cast<size_t>(kStride * (n & RingMask))];
  const Complex p0(r[8], r[9]), p1(r[10], r[11]);
  const auto k =
      static_cast<size_t>(RoundHalfAway((static_cast<double>(n) - boundary) * kTurnSteps));
  return Mul(Mul(p1, std::conj(p0)), TurnTable[std::min<size_t>(k, kTurnSteps)]);
}

std::complex<double> TSensitiveReceiver::FarTurn(double boundary) const {
  return std::polar(1.0, -std::fmod((Omega[1] - Omega[0]) * boundary, kTwoPi));
}

inline void TSensitiveReceiver::TFit::Add(const Complex& c, const Complex& k, double m, double ur,
                                          double ui) {
  Sr += ur * c.real() - ui * c.imag();
  Si += ur * c.imag() + ui * c.real();
  // conj(u)² = (ur² − ui²) − 2i·ur·ui
  const double br = ur * ur - ui * ui, bi = -2 * ur * ui;
  Kr += br * k.real() - bi * k.imag();
  Ki += br * k.imag() + bi * k.real();
  M += m;
}

inline void TSensitiveReceiver::TFit::Add(const TSegment& s, int tone, double ur, double ui) {
  Add(s.Sum[tone], s.Image[tone], static_cast<double>(s.Last - s.First + 1), ur, ui);
}

inline TSensitiveReceiver::TRatio TSensitiveReceiver::TFit::Ratio() const {
  TRatio r;
  FittedRatio(Sr, Si, Kr, Ki, M, r.Num, r.Den);
  return r;
}

inline void TSensitiveReceiver::TFit::Turn(const Complex& turn, int from, int to, double& ur,
                                           double& ui) {
  if (from == to) return;
  const double tr = turn.real();
  const double ti = from > to ? turn.imag() : -turn.imag();
  const double r = ur * tr - ui * ti;
  ui = ur * ti + ui * tr;
  ur = r;
}

void TSensitiveReceiver::Append(const TSegment& s, double amplitude) {
  uint8_t& byte = RxBytes[RxBitCount / 8];
  byte = RxBitCount % 8 == 0 ? 0 : static_cast<uint8_t>(byte << 1);
  if (s.Tone) byte |= 1;
  RxBitCount += 1;
  if (s.Record >= 0) {
    TSignalRecord& r = Records[static_cast<size_t>(s.Record)];
    r.Kind = skBitSample;
    r.Value = (s.Tone ? amplitude : -amplitude) / kFullScale;
  }
}

bool TSensitiveReceiver::Decide(int index, bool lookAhead) {
  TSegment& s = Seg(index);
  const TSegment& prev = Seg(index - 1);
  if (lookAhead) {
    // A bit after that is mostly silence (a carrier stopping dead) fits
    // neither tone: the last bit is decided without it.
    const TSegment& next = Seg(index + 1);
    lookAhead = next.Energy * static_cast<double>(s.Last - s.First + 1) >
                0.25 * s.Energy * static_cast<double>(next.Last - next.First + 1);
  }
  TRatio best;
  int nextTone = 0;
  if (!Continuous) {
    for (int t = 0; t < 2; ++t) {
      TFit own;
      own.Add(s, t, 1, 0);
      const TRatio fit = own.Ratio();
      if (fit.Above(best)) {
        best = fit;
        s.Tone = t;
      }
    }
  } else {
    // The two bits before as decided (a firmer phase reference than one
    // short bit); both tones for this bit and the next.
    TFit base;
    double br = 1, bi = 0;
    if (index >= 2) {
      base.Add(Seg(index - 2), Seg(index - 2).Tone, 1, 0);
      TFit::Turn(prev.Turn, Seg(index - 2).Tone, prev.Tone, br, bi);
    }
    base.Add(prev, prev.Tone, br, bi);
    for (int t = 0; t < 2; ++t) {
      double ur = br, ui = bi;
      TFit::Turn(s.Turn, prev.Tone, t, ur, ui);
      TFit one = base;
      one.Add(s, t, ur, ui);
      if (!lookAhead) {
        const TRatio fit = one.Ratio();
        if (fit.Above(best)) {
          best = fit;
          s.Tone = t;
        }
        continue;
      }
      // Both tones for the next bit side by side: lane u is the next bit
      // taken as tone u, turned from t as TFit::Turn does.
      const TSegment& next = Seg(index + 1);
      const double tr = next.Turn.real(), ti = t > 0 ? next.Turn.imag() : -next.Turn.imag();
      const double rr = ur * tr - ui * ti, ri = ur * ti + ui * tr;
      double num[2], den[2];
      PairRatios(one.Sr, one.Si, one.Kr, one.Ki, one.M, next.Sum, next.Image,
                 static_cast<double>(next.Last - next.First + 1),
                 t == 0 ? TPair(ur, rr) : TPair(rr, ur), t == 0 ? TPair(ui, ri) : TPair(ri, ui),
                 num, den);
      for (int u = 0; u < 2; ++u) {
        const TRatio fit{num[u], den[u]};
        if (fit.Above(best)) {
          best = fit;
          s.Tone = t;
          nextTone = u;
        }
      }
    }
  }
  if (State == rsWaitStrobe) {
    // The strobe holds only if its first bit is the other tone.
    if ((s.Tone ? 1 : -1) != -LeadSign) return false;
    Pending = false;
    State = rsReceiving;
    StateCounter = 0;
  } else if (s.Tone != prev.Tone && StateCounter == 0) {
    // (Timing is learnt while the carrier is there, not from the closing's noise.)
    bool have = s.Tone ? s.HaveRise : s.HaveFall;
    double error = s.Tone ? s.RiseError : s.FallError;
    if (Continuous) {
      have = lookAhead;
      if (have) error = BoundaryError(index, nextTone, best);
    }
    if (have) {
      const double half = SamplesPerBit / 2;
      error = std::clamp(error, -half, half);
      NextBoundary += kPhaseGain * error;
      Current.Boundary += kPhaseGain * error;
      SamplesPerBitEst =
          std::clamp(SamplesPerBitEst + kRateGain * error, SamplesPerBit * (1 - kRateRange),
                     SamplesPerBit * (1 + kRateRange));
    }
  }
  // The record shows the line amplitude of the bit's tone as fitted: over
  // its own samples, or over the stretch where bits are short (a sample on
  // the wrong side of a boundary would weigh too much in three or four).
  Append(s, std::sqrt(best.Num / best.Den));
  return true;
}

void TSensitiveReceiver::PadAndSignal() {
  while (RxBitCount % 8 != 0) {
    RxBytes[RxBitCount / 8] = static_cast<uint8_t>(RxBytes[RxBitCount / 8] << 1);
    RxBitCount += 1;
  }
  TelegramEvent.Set();
  State = rsSleeping;
}

void TSensitiveReceiver::StartClock(double boundary, int32_t strobeRecord) {
  BitStart = Ceil(boundary);
  SamplesPerBitEst = SamplesPerBit;
  NextBoundary = boundary + SamplesPerBitEst;
  Current = TBitInProgress{boundary};
  // The lead-in's last two bit periods, as the bit before the first: the
  // reference of the first decision.
  const int64_t span = std::max<int64_t>(1, std::lround(2 * SamplesPerBit));
  FillSegment(Seg(0), BitStart - span, BitStart - 1, boundary - static_cast<double>(span));
  Seg(0).Tone = LeadSign > 0 ? 1 : 0;
  Seg(0).Record = -1;
  SegmentCount = 1;
  Pending = true;
  StrobeRecord = strobeRecord;
  if (StrobeRecord >= 0) Records[static_cast<size_t>(StrobeRecord)].Kind = skStrobe;
}

double TSensitiveReceiver::RefineStrobe(double guess) {
  // One stretch of samples for each candidate boundary b: the steady tone
  // up to b, then the first bit (the other tone) and the bits after it to
  // the stretch's end, each taken as the tone that fits best after those
  // before. The best fit of one tone of continuous phase over the whole
  // stretch picks b.
  const int lead = LeadSign > 0 ? 1 : 0;
  const double from = guess - Window / 2.0 - 1, to = guess + Window / 2.0 + 1;
  const int64_t low = Ceil(from) - 2 * Window;
  const int64_t high = Ceil(to + 3 * SamplesPerBit) - 1;
  TRatio best;
  double at = guess;
  // Candidate boundaries a half sample apart mostly cut the same runs of
  // samples: each run is summed once.
  int runCount = 0;
  auto run = [&](int64_t first, int64_t last) -> const TSegment& {
    for (int i = 0; i < runCount; ++i) {
      if (Runs[i].KeyFirst == first && Runs[i].KeyLast == last) return Runs[i].Sums;
    }
    TRun& r = Runs[runCount < kRuns ? runCount++ : kRuns];
    r.KeyFirst = first;
    r.KeyLast = last;
    SumSegment(r.Sums, first, last);
    return r.Sums;
  };
  auto tryAt = [&](double b) {
    TFit fit;  // the stretch so far, on the phase of its start
    fit.Add(run(low, Ceil(b) - 1), lead, 1, 0);
    double ur = 1, ui = 0;
    int tone = lead;
    TRatio whole;
    for (int64_t first = Ceil(b), bit = 0; first <= high; ++bit) {
      const double edge = b + static_cast<double>(bit) * SamplesPerBit;
      const int64_t last = std::min(high, Ceil(edge + SamplesPerBit) - 1);
      const TSegment& part = run(first, std::max(first, last));
      const Complex turn = TurnAt(edge);
      const double length = static_cast<double>(part.Last - part.First + 1);
      int next = 1 - lead;
      if (bit == 0) {
        // The first bit is the other tone whatever fits.
        TFit::Turn(turn, tone, next, ur, ui);
        fit.Add(part, next, ur, ui);
        whole = fit.Ratio();
      } else {
        // Both tones side by side, lane t turned from `tone` as TFit::Turn does.
        const double tr = turn.real(), ti = tone > 0 ? turn.imag() : -turn.imag();
        const double rr = ur * tr - ui * ti, ri = ur * ti + ui * tr;
        const double vr[2] = {tone == 0 ? ur : rr, tone == 0 ? rr : ur};
        const double vi[2] = {tone == 0 ? ui : ri, tone == 0 ? ri : ui};
        double num[2], den[2], sums[4][2];
        PairRatios(fit.Sr, fit.Si, fit.Kr, fit.Ki, fit.M, part.Sum, part.Image, length,
                   TPair(vr[0], vr[1]), TPair(vi[0], vi[1]), num, den, sums);
        const TRatio r0{num[0], den[0]}, r1{num[1], den[1]};
        next = r1.Above(r0) ? 1 : 0;
        whole = next ? r1 : r0;
        fit.Sr = sums[0][next];
        fit.Si = sums[1][next];
        fit.Kr = sums[2][next];
        fit.Ki = sums[3][next];
        fit.M += length;
        ur = vr[next];
        ui = vi[next];
      }
      tone = next;
      first = std::max(first, last) + 1;
    }
    if (whole.Above(best)) {
      best = whole;
      at = b;
    }
  };
  // Half samples over the range, then a quarter sample either side of the best.
  for (double b = from; b <= to + 1e-9; b += 0.5) tryAt(b);
  const double coarse = at;
  tryAt(coarse - 0.25);
  tryAt(coarse + 0.25);
  return at;
}

void TSensitiveReceiver::MoveSample(TSegment& from, TSegment& to, int64_t sample) const {
  const double* r = &Ring[static_cast<size_t>(kStride * (sample & RingMask))];
  for (int t = 0; t < 2; ++t) {
    const Complex z(r[2 * t], r[2 * t + 1]);
    from.Sum[t] -= z;
    to.Sum[t] += z;
  }
  if (sample == from.First) {
    from.First += 1;
    to.Last = sample;
  } else {
    from.Last -= 1;
    to.First = sample;
  }
  SetImages(from);
  SetImages(to);
}

void TSensitiveReceiver::SetImages(TSegment& s) const {
  // Σ_{n=first}^{last} exp(2iωn) = exp(2iω·last) · Σ_{i<m} exp(−2iω·i),
  // exp(2iω·last) being the conjugate square of that sample's phasor.
  const double* end = &Ring[static_cast<size_t>(kStride * (s.Last & RingMask))];
  const auto m = static_cast<size_t>(std::max<int64_t>(0, s.Last - s.First + 1));
  for (int t = 0; t < 2; ++t) {
    const Complex p(end[8 + 2 * t], -end[9 + 2 * t]);
    s.Image[t] = Mul(Mul(p, p), ImageSum[t][m]);
  }
}

double TSensitiveReceiver::BoundaryError(int index, int nextTone, TRatio fitHere) {
  // The bit before and this one with their common boundary moved in
  // quarter samples (a sample changing sides as it passes), up to a whole
  // sample each way: the move of the best fit. The stretch is the one the
  // decision fitted. The two bits keep the boundary that fits best: later
  // decisions take their phase from them.
  TSegment& prev = Seg(index - 1);
  TSegment& cur = Seg(index);
  const TSegment& next = Seg(index + 1);
  const int a = prev.Tone, b = cur.Tone;
  // The bit two before, when there is one, is the same whatever the move.
  TFit head;
  double hr = 1, hi = 0;
  if (index >= 2) {
    head.Add(Seg(index - 2), Seg(index - 2).Tone, 1, 0);
    TFit::Turn(prev.Turn, Seg(index - 2).Tone, a, hr, hi);
  }
  // The sample that changes sides for a boundary one sample earlier (the
  // last of the bit before) or later (the first of this bit): its
  // correlation and image terms, exp(2iω·n) being conj(p)².
  auto term = [&](int64_t n, int tone, Complex& z, Complex& e) {
    const double* r = &Ring[static_cast<size_t>(kStride * (n & RingMask))];
    z = Complex(r[2 * tone], r[2 * tone + 1]);
    const Complex p(r[8 + 2 * tone], -r[9 + 2 * tone]);
    e = Mul(p, p);
  };
  Complex earlyZ[2], earlyE[2], lateZ[2], lateE[2];
  for (int t : {a, b}) {
    term(prev.Last, t, earlyZ[t], earlyE[t]);
    term(cur.First, t, lateZ[t], lateE[t]);
  }
  const double mPrev = static_cast<double>(prev.Last - prev.First + 1);
  const double mCur = static_cast<double>(cur.Last - cur.First + 1);
  TRatio best = fitHere;
  int at = 4;
  auto tryAt = [&](int i) {  // boundary moved by (i − 4)/4 samples
    const int64_t first = Ceil(cur.Boundary + (i - 4) / 4.0);
    if (first <= prev.First || first > cur.Last || std::abs(first - cur.First) > 1) return;
    Complex sumPrev = prev.Sum[a], imagePrev = prev.Image[a];
    Complex sumCur = cur.Sum[b], imageCur = cur.Image[b];
    double mp = mPrev, mc = mCur;
    if (first > cur.First) {  // this bit's first sample goes to the bit before
      sumPrev += lateZ[a];
      imagePrev += lateE[a];
      sumCur -= lateZ[b];
      imageCur -= lateE[b];
      mp += 1;
      mc -= 1;
    } else if (first < cur.First) {  // the last sample before goes to this bit
      sumPrev -= earlyZ[a];
      imagePrev -= earlyE[a];
      sumCur += earlyZ[b];
      imageCur += earlyE[b];
      mp -= 1;
      mc += 1;
    }
    TFit fit = head;
    double ur = hr, ui = hi;
    fit.Add(sumPrev, imagePrev, mp, ur, ui);
    TFit::Turn(Mul(cur.Turn, ShiftTurn[i]), a, b, ur, ui);
    fit.Add(sumCur, imageCur, mc, ur, ui);
    TFit::Turn(next.Turn, b, nextTone, ur, ui);
    fit.Add(next, nextTone, ur, ui);
    const TRatio r = fit.Ratio();
    if (r.Above(best)) {
      best = r;
      at = i;
    }
  };
  // A quarter sample each way, then on in the better direction while the
  // fit improves.
  tryAt(3);
  tryAt(5);
  if (at == 3) {
    for (int i = 2; i >= 0 && at == i + 1; --i) tryAt(i);
  } else if (at == 5) {
    for (int i = 6; i <= 8 && at == i - 1; ++i) tryAt(i);
  }
  if (at != 4) {
    const double boundary = cur.Boundary + (at - 4) / 4.0;
    const int64_t first = Ceil(boundary);
    if (first > cur.First) MoveSample(cur, prev, cur.First);
    if (first < cur.First) MoveSample(prev, cur, prev.Last);
    cur.Boundary = boundary;
    cur.Turn = Mul(cur.Turn, ShiftTurn[at]);
  }
  return (at - 4) / 4.0;
}

void TSensitiveReceiver::Candidate(int64_t transition) {
  CandidateIndex = transition;
  const double boundary = Transitions[transition % kTransitions].Boundary;
  if (!Continuous) {
    StartClock(boundary, Transitions[transition % kTransitions].Record);
  } else {
    SearchRetries = 0;
    Candidate(boundary);
  }
}

void TSensitiveReceiver::Candidate(double guess) {
  // Short bits: the best boundary is sought once three bits beyond every
  // candidate are in.
  Searching = true;
  Guess = guess;
  SearchAt = Ceil(guess + Window / 2.0 + 1 + 3 * SamplesPerBit);
}

void TSensitiveReceiver::DropStrobe() {
  Pending = false;
  Searching = false;
  SegmentCount = 0;
  if (StrobeRecord >= 0 && StrobeRecord < RecordCapacity) {
    Records[static_cast<size_t>(StrobeRecord)].Kind = skSample;
  }
  StrobeRecord = -1;
}

void TSensitiveReceiver::CloseBit(int64_t last, int32_t record) {
  if (SegmentCount == kSegments) {
    SegmentFirst = (SegmentFirst + 1) % kSegments;  // the oldest goes
    SegmentCount -= 1;
  }
  TSegment& s = Seg(SegmentCount++);
  FillSegment(s, BitStart, last, Current.Boundary);
  s.RiseError = Current.RiseError;
  s.FallError = Current.FallError;
  s.HaveRise = Current.HaveRise;
  s.HaveFall = Current.HaveFall;
  s.Record = record;
  s.Tone = -1;
  BitStart = last + 1;
  Current = TBitInProgress{NextBoundary};
  NextBoundary += SamplesPerBitEst;
}

void TSensitiveReceiver::ProcessBlock(int channel, const int16_t* frames, int n, int32_t baudrate,
                                      int32_t freq0, int32_t freq1, TIirFilter* levelFilter) {
  if (n > BlockLength) return;  // ignored entirely, as the standard receiver does
  if (n <= 0 || frames == nullptr) return;
  Configure(baudrate, freq0, freq1);
  const int side = channel == 0 ? 0 : 1;

  // Level meter on the band-filtered input.
  double* const level = LevelBuffer.data();
  int first = 0;
#if defined(__SSE2__)
  // Four frames at a time: one side's samples widened to int32, then to double.
  for (; first + 4 <= n; first += 4) {
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frames + 2 * first));
    const __m128i wide =
        side == 0 ? _mm_srai_epi32(_mm_slli_epi32(four, 16), 16) : _mm_srai_epi32(four, 16);
    _mm_storeu_pd(level + first, _mm_cvtepi32_pd(wide));
    _mm_storeu_pd(level + first + 2, _mm_cvtepi32_pd(_mm_shuffle_epi32(wide, 0x4e)));
  }
#endif
  for (int k = first; k < n; ++k) level[k] = frames[2 * k + side];
  if (levelFilter != nullptr) levelFilter->Filter(level, level, n);
  // level = max(|x|, level − 5.12) per sample, unrolled: after the block it
  // is max(level₀ − 5.12·n, max_k(|x_k| + 5.12·k) − 5.12·(n − 1)), a plain
  // maximum that needs no sample-to-sample chain.
  double lanes[4] = {-kLevelCeiling, -kLevelCeiling, -kLevelCeiling, -kLevelCeiling};
  int k = 0;
  for (; k + 4 <= n; k += 4) {
    for (int j = 0; j < 4; ++j) {
      lanes[j] = std::max(lanes[j], std::fabs(level[k + j]) + kLevelDecay * (k + j));
    }
  }
  for (; k < n; ++k) lanes[0] = std::max(lanes[0], std::fabs(level[k]) + kLevelDecay * k);
  const double rise = std::max(std::max(lanes[0], lanes[1]), std::max(lanes[2], lanes[3]));
  const double peak = std::max(InputLevel - kLevelDecay * n, rise - kLevelDecay * (n - 1));
  InputLevel = peak > kLevelCeiling ? kLevelCeiling : peak;

  if (State == rsSleeping) {
    PeakMax = 0;
    LastPeak = 0;
    return;  // asleep: the correlators rest until Reset clears them
  }

  const double T = 1.0 / Baudrate;  // s, for the state durations
  const double windowLength = Window;
  TSignalRecord* const records = Records.empty() ? nullptr : Records.data();
  const double level2 = StartLevel > 0 ? StartLevel * StartLevel : -1.0;
  // The correlations of a chunk and the carrier seen through them are made
  // in tight passes, then the receiver walks through them.
  for (int done = 0; done < n; done += kChunk) {
    const int chunk = std::min(kChunk, n - done);
    const int64_t chunkStart = Index;
    // States only advance within a chunk; the trace is wanted from the wait
    // for the strobe on and, with short bits, the long window before it.
    Correlate(frames + 2 * done + side, chunk, Continuous && State <= rsWaitLevel,
              State >= rsWaitStrobe);
    for (int k = 0; k < chunk; ++k) {
      const int64_t idx = chunkStart + k;
      const double e2 = ChunkSquare[k], steady = ChunkSteady[k];
      double c = State >= rsWaitStrobe ? ChunkTrace[k] : 0.0;

      // Peak tracker: the noise peak of the wait for the carrier.
      if (State == rsWaitLevel) {
        if (e2 > PeakMax * PeakMax) {
          PeakMax = std::sqrt(e2);
          PeakRising = 1;
        } else if (PeakRising) {
          PeakRising = 0;
          PrevPeak = LastPeak;
          LastPeak = PeakMax;
        }
      } else {
        PeakMax = 0;
        LastPeak = 0;
      }

      int32_t record = -1;
      if (records != nullptr && State > rsWaitLevel && RecordCount < RecordCapacity) {
        record = RecordCount;
        records[record].Value = c;
        records[record].Kind = skSample;
      }
      // Records are written for every sample from the wait for the strobe on,
      // so an earlier sample's record lies as far back as the sample.
      auto recordOf = [&](int64_t sample) -> int32_t {
        if (record < 0) return -1;
        const int64_t r = record - (idx - sample);
        return r >= 0 ? static_cast<int32_t>(r) : -1;
      };

      // End of telegram after more than 4 T below the switch-on level; a bit
      // still waiting for the one after it is decided without it.
      if (State == rsReceiving) {
        if (e2 >= level2) {
          StateCounter = 0;
        } else {
          StateCounter += 1;
          if (StateCounter * 0.000125 > 4 * T) {
            if (Continuous && SegmentCount >= 2 && Seg(SegmentCount - 1).Tone < 0 &&
                RxBitCount < kMaxTelegramBits) {
              Decide(SegmentCount - 1, false);
            }
            PadAndSignal();
            return;  // the rest of the block is dropped; this record is not counted
          }
        }
      }

      // A change of sign of the trace, against the last sample that had a sign
      // (two tones can fit a short window equally well: the trace is then 0).
      double crossing = -1;
      if (Sign(c) != 0 && Sign(LastSigned) == -Sign(c)) {
        crossing = static_cast<double>(LastSignedAt) + static_cast<double>(idx - LastSignedAt) *
                                                           std::fabs(LastSigned) /
                                                           (std::fabs(LastSigned) + std::fabs(c));
      }

      bool clockRuns = false;
      switch (State) {
        case rsWaitSilence:
          if (e2 >= level2) {
            StateCounter = 0;
          } else {
            StateCounter += 1;
            if (StateCounter * 0.000125 > 2 * T) {
              State = rsWaitLevel;
              StateCounter = 0;
            }
          }
          break;
        case rsWaitLevel:
          // A steady tone: above the level, the same tone ahead all along.
          if (e2 > level2 && Sign(steady) != 0 && Sign(steady) == Sign(PrevSteady)) {
            StateCounter += 1;
            if (StateCounter * 0.000125 > 2 * T) {
              State = rsWaitStrobe;
              StateCounter = 0;
              LeadSign = Sign(steady);
              ChunkCarrier(chunkStart, k, chunk, false, true);
              c = ChunkTrace[k];
              Pending = Searching = false;
              TransitionCount = 0;
            }
          } else {
            StateCounter = 0;
          }
          break;
        case rsWaitStrobe:
          if (crossing >= 0 && Sign(c) == -LeadSign) {
            // The sliding difference crosses zero when its window holds as
            // many samples of each tone, Window/2 − 1/2 samples after the
            // first sample of the new bit; the boundary is put half a sample
            // before that sample.
            const double boundary = crossing + 0.5 - windowLength / 2;
            // Kept, in case the strobe under test turns out to be noise.
            Transitions[TransitionCount % kTransitions] = {boundary, record};
            TransitionCount += 1;
            if (!Pending && !Searching) Candidate(TransitionCount - 1);
          } else if (!Continuous && Pending && SegmentCount == 1 && Sign(c) == LeadSign) {
            DropStrobe();  // back to the steady tone before the first bit was over: noise
          }
          if (Searching && idx >= SearchAt) {
            // A best boundary at an end of the searched range may lie beyond
            // it (the transition that set the guess was noise): the search
            // moves there, at once backwards, after more samples forwards.
            double boundary = RefineStrobe(Guess);
            const double reach = windowLength / 2 + 1;
            for (int retry = 0; retry < 2 && boundary <= Guess - reach + 1e-9; ++retry) {
              Guess = boundary;
              boundary = RefineStrobe(Guess);
            }
            if (boundary >= Guess + reach - 1e-9 && SearchRetries < 2) {
              SearchRetries += 1;
              Candidate(boundary);
            } else {
              Searching = false;
              StartClock(boundary, recordOf(Ceil(boundary + (windowLength - 1) / 2)));
            }
          }
          clockRuns = Pending;
          break;
        case rsReceiving:
          clockRuns = true;
          break;
        default:
          break;
      }

      // Transitions of the sliding difference, as errors of the boundary that
      // started the current bit (long bits; short ones fit the boundary).
      if (clockRuns && !Continuous && crossing >= 0) {
        const double error = (crossing + 0.5 - windowLength / 2) - Current.Boundary;
        double& best = c > 0 ? Current.RiseError : Current.FallError;
        bool& have = c > 0 ? Current.HaveRise : Current.HaveFall;
        if (!have || std::fabs(error) < std::fabs(best)) best = error;
        have = true;
      }
      PrevValue = c;
      PrevSteady = steady;
      if (State >= rsWaitStrobe && Sign(c) != 0) {
        LastSigned = c;
        LastSignedAt = idx;
      }

      // Bit clock: a bit ends when the next sample lies beyond its boundary
      // (after a strobe found late, the clock catches up on bits already in).
      while (clockRuns && static_cast<double>(idx + 1) >= NextBoundary) {
        const int64_t last = std::min(idx, Ceil(NextBoundary) - 1);
        CloseBit(std::max(last, BitStart), recordOf(std::max(last, BitStart)));
        const int undecided = Continuous ? SegmentCount - 2 : SegmentCount - 1;
        if (undecided >= 1 && Seg(undecided).Tone < 0) {
          if (!Decide(undecided, Continuous)) {
            // A false strobe: the next transition seen since is the next candidate.
            const int64_t next = std::max(CandidateIndex + 1, TransitionCount - kTransitions);
            DropStrobe();
            if (next < TransitionCount) Candidate(next);
            clockRuns = Pending;
            continue;
          }
        }
        if (RxBitCount >= kMaxTelegramBits) {
          TelegramEvent.Set();
          State = rsSleeping;
          return;
        }
        clockRuns = State == rsReceiving || Pending;
      }

      if (record >= 0) RecordCount += 1;
    }
  }
}

void TSensitiveReceiver::Correlate(const int16_t* samples, int n, bool longWindow, bool trace) {
  if (longWindow) {
    trace ? Correlate<true, true>(samples, n) : Correlate<true, false>(samples, n);
  } else {
    trace ? Correlate<false, true>(samples, n) : Correlate<false, false>(samples, n);
  }
}

template <bool kLong, bool kTrace>
void TSensitiveReceiver::Correlate(const int16_t* samples, int n) {
  // Both tones at once, one per lane, each lane the scalar arithmetic.
  // Mixing phasors exactly on exp(−iω·Index) at the start of every block.
  double phasor[2][2];
  for (int t = 0; t < 2; ++t) {
    const double angle = std::fmod(Omega[t] * static_cast<double>(Index), kTwoPi);
    phasor[t][0] = std::cos(angle);
    phasor[t][1] = -std::sin(angle);
  }
  TPair pr(phasor[0][0], phasor[1][0]), pi(phasor[0][1], phasor[1][1]);
  const TPair stepR(Step[0][0], Step[1][0]), stepI(Step[0][1], Step[1][1]);
  TPair slidingR(Sliding[0][0], Sliding[1][0]), slidingI(Sliding[0][1], Sliding[1][1]);
  const TRunTerms terms = RunTermsOf(ImageSum, RunScale, kLong ? 2 * Window : Window);
  double xPrev = XPrev, yPrev = YPrev;
  double* const ring = Ring.data();
  const int64_t mask = RingMask;
  const int64_t window = Window;
  int64_t index = Index;

  for (int k = 0; k < n; ++k, ++index) {
    // DC blocker, mixing with a recursive phasor per tone, sliding sums
    // over the last Window samples; the carrier seen through them.
    const double x = samples[2 * k];
    const double y = x - xPrev + kDcPole * yPrev;
    xPrev = x;
    yPrev = y;
    double* const in = &ring[kStride * (index & mask)];
    const double* const out = &ring[kStride * ((index - window) & mask)];
    const TPair zr = TPair(y) * pr, zi = TPair(y) * pi;
    TPair outR, outI;
    TPair::Split(out, outR, outI);
    slidingR = slidingR + (zr - outR);
    slidingI = slidingI + (zi - outI);
    TPair::Join(in, zr, zi);
    TPair::Join(in + 4, slidingR, slidingI);
    TPair::Join(in + 8, pr, pi);
    TPair sr = slidingR, si = slidingI;
    if (kLong) {
      // Two sliding sums back to back, over two bit periods.
      TPair::Split(out + 4, outR, outI);
      sr = sr + outR;
      si = si + outI;
    }
    StoreCarrier(RunSquares(sr, si, pr, pi, terms), kTrace, ValueScale, ChunkSquare[k],
                 ChunkSteady[k], ChunkTrace[k]);
    const TPair nextR = pr * stepR - pi * stepI;
    pi = pr * stepI + pi * stepR;
    pr = nextR;
  }

  Sliding[0][0] = slidingR.Low();
  Sliding[1][0] = slidingR.High();
  Sliding[0][1] = slidingI.Low();
  Sliding[1][1] = slidingI.High();
  XPrev = xPrev;
  YPrev = yPrev;
  Index = index;
  // Keep the sliding sums exact: rounding from adding and removing samples
  // must not accumulate over a long run.
  SinceExactSum += n;
  if (SinceExactSum >= std::max<int64_t>(kExactSumInterval, 4 * Window)) {
    SinceExactSum = 0;
    for (int t = 0; t < 2; ++t) Sliding[t][0] = Sliding[t][1] = 0;
    for (int64_t j = Index - Window; j < Index; ++j) {
      const double* r = &Ring[static_cast<size_t>(kStride * (j & RingMask))];
      for (int t = 0; t < 2; ++t) {
        Sliding[t][0] += r[2 * t];
        Sliding[t][1] += r[2 * t + 1];
      }
    }
  }
}

void TSensitiveReceiver::ChunkCarrier(int64_t chunkStart, int from, int to, bool longWindow,
                                      bool trace) {
  const TRunTerms terms = RunTermsOf(ImageSum, RunScale, longWindow ? 2 * Window : Window);
  const double* const ring = Ring.data();
  for (int k = from; k < to; ++k) {
    const int64_t index = chunkStart + k;
    const double* in = &ring[kStride * (index & RingMask)];
    TPair sr, si, pr, pi;
    TPair::Split(in + 4, sr, si);
    TPair::Split(in + 8, pr, pi);
    if (longWindow) {
      // Two sliding sums back to back, over two bit periods.
      TPair outR, outI;
      TPair::Split(&ring[kStride * ((index - Window) & RingMask)] + 4, outR, outI);
      sr = sr + outR;
      si = si + outI;
    }
    StoreCarrier(RunSquares(sr, si, pr, pi, terms), trace, ValueScale, ChunkSquare[k],
                 ChunkSteady[k], ChunkTrace[k]);
  }
}

double TSensitiveReceiver::TakeNoise() {
  const double noise = PrevPeak;
  PrevPeak = 0;
  LastPeak = 0;
  PeakMax = 0;
  PeakRising = 0;
  return noise;
}

void TSensitiveReceiver::SetRecordCapacity(int32_t capacity) {
  Records.clear();
  Records.shrink_to_fit();
  RecordCapacity = 0;
  if (capacity > 0) {
    Records.assign(static_cast<size_t>(capacity), TSignalRecord{});
    RecordCapacity = capacity;
  }
  RecordCount = 0;
  StrobeRecord = -1;
  for (TSegment& s : Segments) s.Record = -1;
}

int32_t TSensitiveReceiver::CopySignalRecords(TSignalRecord* dest) const {
  if (Records.empty()) return 0;
  if (dest != nullptr && RecordCount > 0) {
    std::copy(Records.begin(), Records.begin() + RecordCount, dest);
  }
  return RecordCount;
}

int32_t TSensitiveReceiver::TakeTelegram(uint8_t* dest, int waitMs) {
  if (!TelegramEvent.Wait(waitMs)) return 0;
  if (dest != nullptr) std::memcpy(dest, RxBytes, static_cast<size_t>(RxBitCount / 8));
  return RxBitCount;
}

}  // namespace sorvex
