// The receive chain of TModem: band-pass, level meter, Hilbert
// transformer, amplitude-weighted frequency discriminator and smoothing
// low-pass (Demodulate), then the five-state telegram receiver with its
// free-running mid-bit clock (ProcessBlock).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <vector>

#include "modem/modem.h"
#include "modem/sensitive_receiver.h"

namespace sorvex {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr double kNormalise = 1.0 / 32768.0;  // sample units → full scale 1.0
constexpr double kEnvelopeFloor = 1e-10;      // below it the discriminator outputs 0
constexpr double kLevelDecay = 5.12;          // sample units per sample: full scale → 0 in 0.8 s
constexpr double kLevelCeiling = 32768.0;

}  // namespace

void TModem::ResetReceiver() {
  if (FSensitive) {
    FFilters[kBandSlot].Reset();  // its level meter looks through the band-pass
    FSensitive->Reset();
    return;
  }
  FFilters[kBandSlot].Reset();
  FFilters[kSmoothingSlot].Reset();
  Hilbert.Reset();
  TelegramEvent.Reset();
  State = rsWaitSilence;
  RecordCount = 0;
  RxBitCount = 0;
  StateCounter = 0;
  PrevValue = 0;
  InputLevel = 0;
  PrevPhase = 0;
  // BitClock and the peak tracker are deliberately left as they are.
}

void TModem::Demodulate(double* in, int n, double* out) {
  if (n <= 0 || n > BlockLength || in == nullptr || out == nullptr) return;
  // Sized once to BlockLength; this only allocates if the constructor did not.
  if (static_cast<int>(FScratchI.size()) < BlockLength) FScratchI.resize(BlockLength);
  if (static_cast<int>(FScratchQ.size()) < BlockLength) FScratchQ.resize(BlockLength);
  double* const I = FScratchI.data();
  double* const Q = FScratchQ.data();

  // 1. Band-pass in place.
  FFilters[kBandSlot].Filter(in, in, n);

  // 2. Peak level meter with linear decay, on the band-filtered samples.
  double level = InputLevel;
  for (int k = 0; k < n; ++k) {
    level = std::max(std::fabs(in[k]), level - kLevelDecay);
  }
  InputLevel = std::min(level, kLevelCeiling);

  // 3. Analytic pair: I is the filtered signal delayed by 16 samples (aligns
  // the in-phase path with the 31-tap FIR quadrature output), Q its Hilbert
  // transform.
  Hilbert.Process(in, n, I, Q);

  // 4. Discriminator limits in radians per sample, once per call.
  const double w0 = kTwoPi * Freq0 * 0.000125;
  const double w1 = kTwoPi * Freq1 * 0.000125;
  // Freq0 == Freq1 would divide by zero: the output is then 0 (no tone is
  // distinguishable), which keeps the receiver free of NaN on its own.
  const double span = w1 - w0;
  const bool usable = span != 0.0;
  const double scale = usable ? 2.0 / span : 0.0;

  // 5. Amplitude-weighted discriminator. `in` has been consumed into I/Q, so
  // `out` may be the same array.
  double prevPhase = PrevPhase;
  for (int k = 0; k < n; ++k) {
    const double i = I[k];
    const double q = Q[k];
    const double a = std::sqrt(q * q + i * i);
    if (a < kEnvelopeFloor) {
      out[k] = 0.0;  // dead input: PrevPhase is left unchanged
      continue;
    }
    // asin's argument is within [-1, 1] since a >= |i|; the clamp only
    // guards against rounding and does not change in-range values.
    const double ratio = std::clamp(i / a, -1.0, 1.0);
    double phi = std::asin(ratio) + kPi / 2;  // 0..π
    if (q > 0) phi = kTwoPi - phi;            // θ + π modulo 2π
    double d = phi - prevPhase;               // radians per sample
    prevPhase = phi;
    if (d < 0) d += kTwoPi;
    // Not std::clamp: Freq0 > Freq1 is allowed, and then w0 > w1.
    if (d < w0) {
      d = w0;
    } else if (d > w1) {
      d = w1;
    }
    out[k] = usable ? ((d - w0) * scale - 1.0) * a : 0.0;
  }
  PrevPhase = prevPhase;

  // 6. Smoothing low-pass in place.
  FFilters[kSmoothingSlot].Filter(out, out, n);
}

void TModem::ProcessBlock(int channel, const int16_t* frames, int n) {
  const int64_t blockStart = FRawCount;
  if (n > 0 && n <= BlockLength && frames != nullptr) {
    const int side = channel == 0 ? 0 : 1;
    for (int k = 0; k < n; ++k)
      FRaw[static_cast<size_t>((FRawCount + k) % kRawCapacity)] = frames[2 * k + side];
    FRawCount += n;
  }
  if (FSensitive) {
    const bool busy = FSensitive->ReceiverState() != rsSleeping;
    FSensitive->ProcessBlock(channel, frames, n, Baudrate, Freq0, Freq1, &FFilters[kBandSlot]);
    if (busy && FSensitive->ReceiverState() == rsSleeping) FRawMark = FRawCount;
    return;
  }
  if (n > BlockLength) return;  // ignored entirely: no filtering, level or state change
  if (n <= 0 || frames == nullptr) return;
  const double T = 1.0 / Baudrate;  // s; Baudrate ≤ 0 gives ±inf or a negative T, never NaN
  const int side = channel == 0 ? 0 : 1;

  double* const work = WorkBuffer.data();
  for (int k = 0; k < n; ++k) work[k] = frames[2 * k + side];
  Demodulate(work, n, work);

  TSignalRecord* const records = Records.empty() ? nullptr : Records.data();
  for (int k = 0; k < n; ++k) {
    const double c = work[k] * kNormalise;
    const double e = std::fabs(c);

    // a. Peak tracker: during the wait for level, PrevPeak holds the running
    // maximum as it stood at the local maximum before the most recent one.
    if (State == rsWaitLevel) {
      if (e > PeakMax) {
        PeakMax = e;
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

    // b.
    if (State == rsSleeping) continue;

    // c. Recording.
    TSignalRecord* record = nullptr;
    if (records != nullptr && State > rsWaitLevel && RecordCount < RecordCapacity) {
      record = &records[RecordCount];
      record->Value = c;
      record->Kind = skSample;
    }

    // d. End of telegram after more than 4 T below the start level.
    if (State == rsReceiving) {
      if (e >= StartLevel) {
        StateCounter = 0;
      } else {
        StateCounter += 1;
        if (StateCounter * 0.000125 > 4 * T) {
          while (RxBitCount % 8 != 0) {
            RxBytes[RxBitCount / 8] = static_cast<uint8_t>(RxBytes[RxBitCount / 8] << 1);
            RxBitCount += 1;
          }
          TelegramEvent.Set();
          FRawMark = blockStart + k + 1;
          State = rsSleeping;
          return;  // the rest of the block is dropped; this record is not counted
        }
      }
    }

    // e. By state.
    bool clockRuns = false;
    switch (State) {
      case rsWaitSilence:
        if (e >= StartLevel) {
          StateCounter = 0;
        } else {
          StateCounter += 1;
          if (StateCounter * 0.000125 > 2 * T) {
            State = rsWaitLevel;
            StateCounter = 0;
          }
        }
        PrevValue = c;
        break;
      case rsWaitLevel:
        if (e > StartLevel && ((c > 0 && PrevValue > 0) || (c < 0 && PrevValue < 0))) {
          StateCounter += 1;
          if (StateCounter * 0.000125 > 2 * T) {
            State = rsWaitStrobe;
            StateCounter = 0;
          }
        } else {
          StateCounter = 0;
        }
        PrevValue = c;
        break;
      case rsWaitStrobe:
        if ((PrevValue > 0 && c < 0) || (PrevValue < 0 && c > 0)) {
          // Zero crossing interpolated linearly between the two samples, plus half a bit.
          BitClock = 0.5 * T + (e / (std::fabs(PrevValue) + e)) * 0.000125 - 0.5 * 0.000125;
          PrevValue = c;
          State = rsReceiving;
          if (record != nullptr) record->Kind = skStrobe;
          clockRuns = true;
        } else {
          PrevValue = c;
        }
        break;
      case rsReceiving:
        clockRuns = true;
        break;
      default:
        break;
    }

    // f. Free-running bit clock, never re-synchronised after the strobe.
    if (clockRuns) {
      if (BitClock >= T) {
        BitClock -= T;
        if (record != nullptr) record->Kind = skBitSample;
        uint8_t& byte = RxBytes[RxBitCount / 8];
        byte = RxBitCount % 8 == 0 ? 0 : static_cast<uint8_t>(byte << 1);
        if (c > 0) byte |= 1;
        RxBitCount += 1;
        if (RxBitCount >= kMaxTelegramBits) {
          TelegramEvent.Set();
          FRawMark = blockStart + k + 1;
          State = rsSleeping;
          return;
        }
      }
      BitClock += 0.000125;
    }

    // g.
    if (record != nullptr) RecordCount += 1;
  }
}

double TModem::TakeNoise() {
  if (FSensitive) return FSensitive->TakeNoise();
  const double noise = PrevPeak;
  PrevPeak = 0;
  LastPeak = 0;
  PeakMax = 0;
  PeakRising = 0;
  return noise;
}

void TModem::SetRecordCapacity(int32_t capacity) {
  if (FSensitive) {
    FSensitive->SetRecordCapacity(capacity);
    return;
  }
  Records.clear();
  Records.shrink_to_fit();
  RecordCapacity = 0;
  if (capacity > 0) {
    Records.assign(static_cast<size_t>(capacity), TSignalRecord{});
    RecordCapacity = capacity;
  }
  RecordCount = 0;
}

int32_t TModem::CopySignalRecords(TSignalRecord* dest) const {
  if (FSensitive) return FSensitive->CopySignalRecords(dest);
  if (Records.empty()) return 0;
  if (dest != nullptr && RecordCount > 0) {
    std::copy(Records.begin(), Records.begin() + RecordCount, dest);
  }
  return RecordCount;
}

TTelegramSignal TModem::TelegramSignal(int32_t bits) const {
  TTelegramSignal signal{
      {}, static_cast<double>(Baudrate), static_cast<double>(Freq0), static_cast<double>(Freq1)};
  std::vector<int16_t>& dest = signal.samples;
  if (FRawMark < 0 || bits <= 0 || Baudrate <= 0) return signal;
  // The telegram ends up to 4 bits and a block before the mark, and a
  // telegram the receiver cut short began before its bits say: a margin of
  // line on both sides lets the measurer find the edges (the margin costs
  // it little: only the telegram found is worked on).
  const double bit = static_cast<double>(SampleRate) / Baudrate;
  int64_t length = static_cast<int64_t>((bits + 16) * bit) + 2 * BlockLength + 256;
  length = std::min({length, FRawMark, kRawCapacity - (FRawCount - FRawMark)});
  if (length <= 0) return signal;
  dest.resize(static_cast<size_t>(length));
  // The ring holds it in at most two pieces.
  const size_t start = static_cast<size_t>((FRawMark - length) % kRawCapacity);
  const size_t first = std::min(static_cast<size_t>(length), FRaw.size() - start);
  std::copy_n(FRaw.begin() + static_cast<std::ptrdiff_t>(start), first, dest.begin());
  std::copy_n(FRaw.begin(), static_cast<size_t>(length) - first,
              dest.begin() + static_cast<std::ptrdiff_t>(first));
  return signal;
}

TToneEstimate TModem::MeasureTelegram(int32_t bits) const {
  // Nothing kept leaves the signal empty, which measures as NaN.
  return MeasureTelegramSignal(TelegramSignal(bits));
}

int32_t TModem::TakeTelegram(uint8_t* dest, int waitMs) {
  if (FSensitive) return FSensitive->TakeTelegram(dest, waitMs);
  if (!TelegramEvent.Wait(waitMs)) return 0;  // a successful wait consumes the signal
  if (dest != nullptr) std::memcpy(dest, RxBytes, static_cast<size_t>(RxBitCount / 8));
  return RxBitCount;
}

}  // namespace sorvex
