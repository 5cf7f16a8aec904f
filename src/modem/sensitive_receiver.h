#pragma once

#include <complex>
#include <cstdint>
#include <vector>

#include "dsp/iir_filter.h"
#include "modem/modem.h"
#include "util/auto_reset_event.h"
#include "util/bit_string.h"

namespace sorvex {

// A telegram receiver built as a non-coherent matched filter: per tone a
// complex correlator over one bit period, carrier detection on tone energy,
// bit timing taken from the first transition and tracked through the
// telegram by a phase-and-rate loop on the transitions, each bit decided on
// the tone energies integrated over exactly that bit's samples.
//
// Below 12 samples per bit (1200 and 2400 bit/s) one bit holds too few
// samples to tell two real tones apart whatever their phase; there each bit
// is decided on the stretch around it (the two bits before as decided, both
// candidates for the bit and for the one after), fitted as one tone of
// continuous phase across the boundaries, as the line's modulator sends it;
// the boundaries are refined on the same fits.
//
// It keeps the telegram receiver's contract: the same five states and
// framing (from the first transition after a steady tone, closed after more
// than 4 T below the switch-on level, padded to whole bytes with the bits
// sampled while closing), the same telegram event, signal records whose
// Value is positive for the Freq1 tone and negative for Freq0 with the line
// amplitude as magnitude (full scale 1.0), one bit sample record per bit
// whose Value has the sign of the bit taken, the band-filtered input level
// and the noise peak of the wait for the carrier.
//
// Levels compared with the switch-on level are tone amplitudes: a steady
// tone of amplitude A (full scale 1.0) reads A whatever the bit rate.
class TSensitiveReceiver {
 public:
  // Below this many samples per bit, bits are decided on stretches of bits.
  static constexpr double kShortBit = 12.0;

  explicit TSensitiveReceiver(int32_t blockLength);
  TSensitiveReceiver(const TSensitiveReceiver&) = delete;
  TSensitiveReceiver& operator=(const TSensitiveReceiver&) = delete;

  // Arms the receiver for the next telegram (waits for silence first).
  void Reset();
  // `frames`: n interleaved stereo frames; channel 0 takes the left sample,
  // 1 the right. Bit rate and tones are read once per call. `levelFilter`
  // (may be null) is the band-pass the level meter looks through; the
  // correlators take the input itself. Does nothing when n > blockLength.
  void ProcessBlock(int channel, const int16_t* frames, int n, int32_t baudrate, int32_t freq0,
                    int32_t freq1, TIirFilter* levelFilter);

  // Band-filtered peak level, full scale 1.0.
  double Level() const { return InputLevel / 32768.0; }
  // The noise peak of the last wait for the carrier; cleared by the call.
  double TakeNoise();
  void SetStartLevel(double level) { StartLevel = level; }
  void SetRecordCapacity(int32_t capacity);
  int32_t RecordCapacityValue() const { return RecordCapacity; }
  int32_t CopySignalRecords(TSignalRecord* dest) const;
  int32_t TakeTelegram(uint8_t* dest, int waitMs);
  int ReceiverState() const { return State; }

  // Samples per bit the timing loop has settled on (for tests).
  double TrackedSamplesPerBit() const { return SamplesPerBitEst; }
  // The line noise as the carrier detector sees it: the mean squared
  // amplitude of the stronger tone over the carrier window (full scale 1.0).
  double NoiseEstimate() const { return NoiseMean; }

  // |Σ_{j<m} exp(i·2π·(f1 − f0)/8000·j)| / m: how much of one tone's
  // correlation an m-sample correlator of the other tone picks up.
  static double ToneOverlap(double freq0, double freq1, int m);

 private:
  using Complex = std::complex<double>;

  // One bit's samples as the correlators saw them.
  struct TSegment {
    int64_t First = 0, Last = 0;          // sample indexes
    double Boundary = 0;                  // sample time where the bit starts
    Complex Sum[2];                       // Σ x_n·exp(−iω_t·n) over the bit, per tone t
    Complex Image[2];                     // Σ exp(2iω_t·n) over the bit, per tone t
    Complex Turn;                         // exp(−i(ω1 − ω0)·Boundary)
    double Energy = 0;                    // Σ x_n² over the bit
    int Tone = -1;                        // the bit taken, −1 not yet
    int32_t Record = -1;                  // record of the bit's last sample, −1 none
    double RiseError = 0, FallError = 0;  // boundary errors of the crossings in the bit
    bool HaveRise = false, HaveFall = false;
  };

  // A squared amplitude as a fraction, compared without dividing.
  struct TRatio {
    double Num = -1, Den = 1;
    bool Above(const TRatio& other) const { return Num * other.Den > other.Num * Den; }
  };
  // The correlation and image sums of a stretch of segments turned onto one
  // phase, and its length. One tone of continuous phase is exp(i(ω_j·n + ψ_j))
  // within segment j, and at the boundary b between segments j and j+1 the
  // phase runs on: ψ_{j+1} = ψ_j + (ω_j − ω_{j+1})·b. u_j = exp(−iψ_j)
  // turns each segment's correlation onto the common phase.
  struct TFit {
    double Sr = 0, Si = 0, Kr = 0, Ki = 0, M = 0;
    void Add(const TSegment& s, int tone, double ur, double ui);
    // A correlation c, image sum k and length m turned by u.
    void Add(const Complex& c, const Complex& k, double m, double ur, double ui);
    TRatio Ratio() const;
    // u ← u·exp(−i(ω_from − ω_to)·b) at a boundary b, turn = exp(−i(ω1 − ω0)·b).
    static void Turn(const Complex& turn, int from, int to, double& ur, double& ui);
  };

  void Configure(int32_t baudrate, int32_t freq0, int32_t freq1);
  // Runs the correlators over n samples (every second int16) into the ring,
  // and the carrier through them into the chunk (see ChunkCarrier).
  void Correlate(const int16_t* samples, int n, bool longWindow, bool trace);
  template <bool kLong, bool kTrace>
  void Correlate(const int16_t* samples, int n);
  // Samples [from, to) of the chunk from sample `chunkStart`: the squared
  // amplitude of the stronger tone (full scale 1.0) and the difference of the
  // two tones' squared amplitudes, over the window or, `longWindow`, over the
  // two bit periods ending at the sample; with `trace`, the trace.
  void ChunkCarrier(int64_t chunkStart, int from, int to, bool longWindow, bool trace);
  void ClearSignalState();
  // Whether `state` looks through two bit periods: the wait for the carrier,
  // and with short bits the wait for silence too.
  bool CarrierWindow(int32_t state) const {
    return state == rsWaitLevel || (Continuous && state == rsWaitSilence);
  }
  // Ends the telegram in progress: signalled, or dropped when its bits were
  // noise (false).
  bool EndTelegram();
  // A sample of the wait for the carrier joins the noise estimate: the
  // stronger tone's squared amplitude and the difference of the two;
  // `plain`, it may join the first plain average.
  void LearnNoise(double e2, double steady, bool plain);
  void FillSegment(TSegment& s, int64_t first, int64_t last, double boundary) const;
  // The sums of FillSegment alone (no boundary, no turn).
  void SumSegment(TSegment& s, int64_t first, int64_t last) const;
  // exp(−i(ω1 − ω0)·b) at a boundary b.
  Complex TurnAt(double boundary) const;
  Complex FarTurn(double boundary) const;  // for a boundary the ring no longer holds
  void SetImages(TSegment& s) const;
  // Moves `sample`, the first of `from` or its last, to the adjacent `to`.
  void MoveSample(TSegment& from, TSegment& to, int64_t sample) const;
  // Decides segment `Segments[index]`; returns false when the strobe fails.
  bool Decide(int index, bool lookAhead);
  void Append(const TSegment& s, double amplitude);
  void PadAndSignal();
  void StartClock(double boundary, int32_t strobeRecord);
  void DropStrobe();
  // Transitions[transition % kTransitions] from the steady tone: a strobe to try.
  void Candidate(int64_t transition);
  // Short bits: a boundary to search around.
  void Candidate(double guess);
  void CloseBit(int64_t last, int32_t record);
  // The first boundary that best splits the lead-in tone from the other tone
  // near `guess`, searched in quarter samples.
  double RefineStrobe(double guess);
  // The shift of the boundary before Segments[index] that best fits the
  // stretch decided on, searched in quarter samples over ±1 sample;
  // `fitHere` is the fit without a shift. The two bits keep the best.
  double BoundaryError(int index, int nextTone, TRatio fitHere);

  int32_t BlockLength;
  std::vector<double> LevelBuffer;  // band-filtered copy for the level meter

  // Configuration, recomputed when bit rate or tones change.
  int32_t Baudrate = 0, Freq0 = 0, Freq1 = 0;
  double SamplesPerBit = 1;  // nominal, 8000 / Baudrate
  bool Continuous = false;   // three-bit decisions
  int Window = 1;            // sliding correlator length, samples
  double Omega[2] = {0, 0};  // rad per sample
  double ValueScale = 1;     // trace amplitude difference → line amplitude, full scale 1.0
  // Per tone and length m = 0..RingSize: Σ_{i<m} exp(−2iω·i) and the factor
  // that turns an m-sample correlation into a squared amplitude (full scale).
  std::vector<Complex> ImageSum[2];
  std::vector<double> RunScale[2];
  static constexpr int kTurnSteps = 1024;
  Complex TurnTable[kTurnSteps + 1];     // exp(i(ω1 − ω0)·k/1024)
  double Step[2][2] = {{1, 0}, {1, 0}};  // per-sample phasor turn per tone
  // Per sample: the mixed sample per tone, then the sliding sums ending there.
  std::vector<double> Ring;
  int64_t RingMask = 0;
  Complex ShiftTurn[9];  // exp(−i(ω1 − ω0)·d) for d = −1, −0.75, …, +1

  // Signal state.
  int64_t Index = 0;                        // samples processed since the last reset
  double XPrev = 0, YPrev = 0;              // DC blocker
  double Sliding[2][2] = {{0, 0}, {0, 0}};  // sums over the last Window samples
  int64_t SinceExactSum = 0;
  // Samples correlated before the receiver walks through them.
  static constexpr int kChunk = 256;
  double ChunkSquare[kChunk] = {}, ChunkSteady[kChunk] = {}, ChunkTrace[kChunk] = {};

  // The carrier detector's noise estimate; kept across resets, the line's
  // noise does not change with them.
  double NoiseMean = 0;  // the larger of the two below
  double NoiseSlow = 0, NoiseFast = 0;
  double NoiseFloor = 0;    // its least value for the carrier window
  double CarrierRatio = 5;  // the threshold on e²/N for this bit rate
  double NoiseWindow = 1;   // the carrier window the estimate is for, samples
  double NoiseGuard = 1;    // the margin on a young estimate
  int64_t NoiseCount = 0;
  uint32_t NoiseLikeBits = 0;
  double TelegramEnergy = 0;  // Σ of the bits' fitted squared amplitudes while the carrier is there
  int32_t JudgedBits =
      0;  // and how many  // long bits: 1 for each recent bit that did not stand out

  // Receiver state.
  int32_t State = rsSleeping;
  int32_t StateCounter = 0;
  double PrevValue = 0;
  double PrevSteady = 0;  // the carrier's tone difference, the sample before
  double LastSigned = 0;  // the last trace value that was not 0, and its sample
  int64_t LastSignedAt = 0;
  int LeadSign = 0;        // +1 Freq1, −1 Freq0: the steady tone before the strobe
  bool Searching = false;  // a transition was seen; its boundary is sought once a bit has passed
  double Guess = 0;
  int64_t SearchAt = 0;
  int SearchRetries = 0;
  // The last transitions from the steady tone, while waiting for the strobe.
  struct TTransition {
    double Boundary;
    int32_t Record;
  };
  static constexpr int kTransitions = 8;
  TTransition Transitions[kTransitions] = {};
  int64_t TransitionCount = 0;
  int64_t CandidateIndex = 0;  // the transition the strobe under test came from
  bool Pending = false;        // a strobe waits for its first bit
  int32_t StrobeRecord = -1;
  double NextBoundary = 0;  // sample time where the current bit ends
  int64_t BitStart = 0;     // first sample of the current bit
  double SamplesPerBitEst = 1;
  // The bit in progress: where it starts, the crossings seen in it.
  struct TBitInProgress {
    double Boundary = 0;
    double RiseError = 0, FallError = 0;
    bool HaveRise = false, HaveFall = false;
  };
  TBitInProgress Current;
  static constexpr int kSegments = 4;
  // The last closed bits, oldest first (Seg(0) may be the lead-in), in a
  // ring from Segments[SegmentFirst].
  TSegment Segments[kSegments];
  int SegmentFirst = 0;
  int SegmentCount = 0;
  TSegment& Seg(int i) { return Segments[(SegmentFirst + i) % kSegments]; }
  const TSegment& Seg(int i) const { return Segments[(SegmentFirst + i) % kSegments]; }

  // The runs of samples one strobe search has summed (the last one spare).
  struct TRun {
    int64_t KeyFirst = 0, KeyLast = 0;
    TSegment Sums;
  };
  static constexpr int kRuns = 80;
  TRun Runs[kRuns + 1];

  // Contract shared with the standard receiver.
  uint8_t RxBytes[256] = {};
  int32_t RxBitCount = 0;
  TAutoResetEvent TelegramEvent;
  std::vector<TSignalRecord> Records;
  int32_t RecordCapacity = 0;
  int32_t RecordCount = 0;
  double StartLevel = 0.1;
  double InputLevel = 0;
  double PeakMax = 0, LastPeak = 0, PrevPeak = 0;
  uint8_t PeakRising = 0;
};

}  // namespace sorvex
