// The sensitive receiver: DC blocker, two complex correlators (one per tone)
// over a sliding bit-long window, carrier detection on the tone amplitudes,
// a strobe confirmed by its first bit, bits decided on their own samples (or
// on stretches of continuous phase when bits are short), and a bit clock
// kept on the transitions by a phase-and-rate loop.
#include "modem/sensitive_receiver.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

#include "modem/sensitive_receiver_math.h"

namespace sorvex {

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
  // The noise estimate is kept in the carrier window's units; noise over a
  // window reads inversely to its length, so it carries over.
  const double carrierWindow = 2 * Window;
  CarrierRatio = Continuous ? kShortCarrierRatio : kCarrierRatio;
  NoiseFloor = 4 * kNoiseFloorSigma * kNoiseFloorSigma / carrierWindow / (kFullScale * kFullScale);
  if (NoiseCount == 0) {
    NoiseMean = NoiseSlow = NoiseFast = NoiseFloor;
  } else {
    const double scale = NoiseWindow / carrierWindow;
    NoiseSlow *= scale;
    NoiseFast *= scale;
    NoiseMean = std::max({NoiseSlow, NoiseFast / 2, NoiseFloor});
  }
  NoiseWindow = carrierWindow;
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
  // The switch-on level is a floor under the detector's thresholds; 0 is none.
  const double level2 = StartLevel > 0 ? StartLevel * StartLevel : 0.0;
  // The carrier is judged over two bit periods, the bits over one, where
  // noise reads twice as strong.
  const double bitWindowNoise = 2.0;
  // The correlations of a chunk and the carrier seen through them are made
  // in tight passes, then the receiver walks through them.
  for (int done = 0; done < n; done += kChunk) {
    const int chunk = std::min(kChunk, n - done);
    const int64_t chunkStart = Index;
    // States only advance within a chunk; the trace is wanted from the wait
    // for the strobe on and, with short bits, the long window before it.
    Correlate(frames + 2 * done + side, chunk, CarrierWindow(State), State >= rsWaitStrobe);
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
        if (e2 >= std::max(level2, kQuietRatio * bitWindowNoise * NoiseMean)) {
          StateCounter = 0;
        } else {
          StateCounter += 1;
          if (StateCounter * 0.000125 > 4 * T) {
            if (Continuous && SegmentCount >= 2 && Seg(SegmentCount - 1).Tone < 0 &&
                RxBitCount < kMaxTelegramBits) {
              Decide(SegmentCount - 1, false);
            }
            if (EndTelegram())
              return;  // the rest of the block is dropped; this record is not counted
            if (CarrierWindow(rsWaitSilence)) ChunkCarrier(chunkStart, k + 1, chunk, true, false);
            continue;
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
        case rsWaitSilence: {
          // (The windows reach back before a reset for the first samples:
          // no noise is learnt from them.)
          // Long bits are judged quiet over one bit period, as before the
          // carrier detector came; the noise reads twice as strong there.
          const double scale = CarrierWindow(rsWaitSilence) ? 1.0 : bitWindowNoise;
          if (idx > (CarrierWindow(rsWaitSilence) ? 2 : 1) * Window) {
            LearnNoise(e2 / scale, steady / scale, true);
          }
          // Below the switch-on level is quiet only once the noise has been
          // seen over a quarter of a window at least.
          if (!(e2 < kQuietRatio * scale * NoiseMean ||
                (e2 < level2 && 4 * NoiseCount >= static_cast<int64_t>(NoiseWindow)))) {
            StateCounter = 0;
          } else {
            StateCounter += 1;
            if (StateCounter * 0.000125 > 2 * T) {
              State = rsWaitLevel;
              StateCounter = 0;
              if (!CarrierWindow(rsWaitSilence))
                ChunkCarrier(chunkStart, k + 1, chunk, true, false);
            }
          }
          break;
        }
        case rsWaitLevel:
          // A steady tone: above the level and standing out of the noise,
          // the same tone ahead all along.
          // (Plain averaging takes no sample a carrier's onset lifts above
          // the threshold.)
          if (idx > 2 * Window)
            LearnNoise(e2, steady,
                       StateCounter == 0 && e2 <= CarrierRatio * NoiseGuard * NoiseMean);
          if (e2 > std::max(level2, CarrierRatio * NoiseGuard * NoiseMean) && Sign(steady) != 0 &&
              Sign(steady) == Sign(PrevSteady)) {
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

      if (State == rsReceiving && std::popcount(NoiseLikeBits & 0xffu) >= 6) {
        if (EndTelegram()) return;
        if (CarrierWindow(rsWaitSilence)) ChunkCarrier(chunkStart, k + 1, chunk, true, false);
      }
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

bool TSensitiveReceiver::EndTelegram() {
  // Bits no stronger on average than noise in one bit period are noise that
  // looked like a carrier: no telegram, nothing recorded.
  if (JudgedBits > 0 &&
      TelegramEnergy < kTelegramRatio * 2 * NoiseMean * static_cast<double>(JudgedBits)) {
    State = rsWaitSilence;
    StateCounter = 0;
    RxBitCount = 0;
    RecordCount = 0;
    DropStrobe();
    return false;
  }
  PadAndSignal();
  return true;
}

void TSensitiveReceiver::LearnNoise(double e2, double steady, bool plain) {
  // The weaker tone: noise alone, even under a steady tone (the tones hardly
  // overlap over two bit periods), so a lead-in, or a telegram the receiver
  // was armed in, is hardly taken for noise.
  const double weaker = e2 - std::fabs(steady) / (kFullScale * kFullScale);
  if (NoiseCount < kNoiseWarmUp) {
    // The first samples are averaged plainly, so a receiver started on a
    // noisy line knows it at once; only where the weaker tone is at least
    // a tenth of the stronger (a lead-in leaks a few percent into it with
    // short bits; of two independent exponentials, the weaker's mean over
    // the pairs kept is 1.18 times its mean over all).
    if (!plain || weaker < 0.1 * e2) return;
    NoiseCount += 1;
    NoiseSlow += (kWeakerToMean / 1.18 * weaker - NoiseSlow) / static_cast<double>(NoiseCount);
    NoiseFast = NoiseSlow;
  } else {
    const double clipped = std::min(kWeakerToMean * weaker, CarrierRatio * NoiseMean);
    NoiseSlow += (clipped - NoiseSlow) / kNoiseSpan;
    NoiseFast += (clipped - NoiseFast) / kNoiseFastSpan;
    NoiseSlow = std::min(NoiseSlow, 2 * NoiseFast);
    if (NoiseCount < kNoiseSettled) NoiseCount += 1;
  }
  // A plain average of few samples may be low by chance: what it decides
  // (a carrier, a telegram) asks for a margin of two standard deviations.
  NoiseGuard =
      NoiseCount < kNoiseWarmUp
          ? 1 + 2 * std::sqrt(NoiseWindow / static_cast<double>(std::max<int64_t>(NoiseCount, 1)))
          : 1.0;
  // Until the slow mean has settled the fast one stands for it.
  NoiseMean =
      std::max({NoiseSlow, NoiseCount < kNoiseSettled ? NoiseFast : NoiseFast / 2, NoiseFloor});
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
