// The sensitive receiver's per-bit work: segment sums, the tone fits that
// decide each bit, the strobe refinement and the boundary error that keeps
// the bit clock on the transitions.
#include <algorithm>
#include <cmath>

#include "modem/sensitive_receiver.h"
#include "modem/sensitive_receiver_math.h"

namespace sorvex {

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
    TRatio fits[2];
    for (int t = 0; t < 2; ++t) {
      TFit own;
      own.Add(s, t, 1, 0);
      fits[t] = own.Ratio();
      if (fits[t].Above(best)) {
        best = fits[t];
        s.Tone = t;
      }
    }
    // A bit of a telegram stands far out of the other tone; on noise the
    // stronger of two is below four times the weaker 40 % of the time.
    const TRatio& other = fits[1 - s.Tone];
    const bool noiseLike = !(best.Num * other.Den > kToneMargin * other.Num * best.Den);
    if (StateCounter == 0) NoiseLikeBits = (NoiseLikeBits << 1) | (noiseLike ? 1u : 0u);
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
  // (Only while the carrier is there: the bits sampled while closing are
  // the silence after it.)
  if (Continuous && s.Tone == prev.Tone && StateCounter == 0) {
    // Short bits: one bit cannot tell the tones apart, two of the same tone
    // can (their overlap over two bits is small); judged as long bits are.
    TRatio fits[2];
    for (int t = 0; t < 2; ++t) {
      TFit pair;
      pair.Add(prev, t, 1, 0);
      pair.Add(s, t, 1, 0);
      fits[t] = pair.Ratio();
    }
    const TRatio& mine = fits[s.Tone];
    const TRatio& other = fits[1 - s.Tone];
    const bool noiseLike = !(mine.Num * other.Den > kToneMargin * other.Num * mine.Den);
    NoiseLikeBits = (NoiseLikeBits << 1) | (noiseLike ? 1u : 0u);
  }
  if (State == rsWaitStrobe) {
    // The strobe holds only if its first bit is the other tone.
    if ((s.Tone ? 1 : -1) != -LeadSign) return false;
    Pending = false;
    State = rsReceiving;
    StateCounter = 0;
    NoiseLikeBits = 0;
    TelegramEnergy = 0;
    JudgedBits = 0;
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
  if (StateCounter == 0) {
    TelegramEnergy += best.Num / best.Den / (kFullScale * kFullScale);
    JudgedBits += 1;
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

}  // namespace sorvex
