#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "modem/modem.h"
#include "protocol/request_encoder.h"
#include "sim/answer_encoder.h"

namespace sorvex {

// A synthetic line: the control centre on the left channel, the KPs on the
// right, as 8000 Hz 16-bit stereo frames. Telegrams are modulated with the
// channel modem's own transmitter (sample × 32000, truncated, then × the gain) from a modem
// settings file; white Gaussian noise at a given Eb/N0 can lie on both
// channels throughout.
class TLineSimulator {
 public:
  // Bits of the 0 tone put before an answer, so the receiver sees a steady
  // tone before the address character's first bit (always 1). A request
  // brings its own: the encoder's leading 00/0.
  static constexpr int kAnswerLeadBits = 9;

  explicit TLineSimulator(const std::string& settingsFile, uint32_t seed = 1);

  // Eb/N0 in dB for the noise added from now on to one channel (0 left,
  // 1 right) or, with channel −1, to both; NaN switches it off. Mind the
  // device's cross-talk gate: left-channel noise peaking above 1000 silences
  // the right channel, as a loud request side does on a real line.
  void SetNoise(double ebN0Db, int channel = -1);
  // Noise samples are drawn from the normal distribution cut off at this many
  // standard deviations (beyond it, drawn again), so a line's loudest sample
  // is known in advance: tone peak + kNoiseBound σ.
  static constexpr double kNoiseBound = 5;
  // The largest noise standard deviation set so far on a channel, in units
  // of the unscaled line (tones at 32000).
  double MaxNoiseSigma(int channel) const { return FMaxSigma[channel]; }
  // Scales every sample from now on, tone and noise alike (the Eb/N0 stays),
  // on one channel or, with −1, both; 1 by default.
  void SetGain(double gain, int channel = -1);
  // The next telegrams' sender runs off its settings: both tones shifted by
  // `toneOffsetHz`, the bit rate times `rateFactor` (0, 1: as set).
  void SetDrift(double toneOffsetHz, double rateFactor);
  void Silence(double ms);
  // The bits on one channel (the other one silent), the last tone held one
  // bit longer, then silence long enough for the receiver to close the
  // telegram (8 bit times, at least 20 ms).
  void Send(int channel, const uint8_t* bits, int bitCount);
  // flipBit ≥ 0 inverts that bit of the telegram (counted from the address
  // character's first bit) before sending: a line fault.
  void SendRequest(const RequestDescriptor& request, int flipBit = -1);
  void SendAnswer(const AnswerDescriptor& answer, int flipBit = -1);

  int32_t Baudrate() const { return FBaudrate; }
  double BitMs() const { return 1000.0 / FBaudrate; }
  // Interleaved left/right frames so far.
  const std::vector<int16_t>& Frames() const { return FFrames; }
  int64_t FrameCount() const { return static_cast<int64_t>(FFrames.size() / 2); }

 private:
  void Append(const double* left, const double* right, int n);
  // The modem's transmitter with fractional tones and bit rate.
  void ModulateDrifted(int channel, const uint8_t* bits, int bitCount);

  TModem FModem;
  int32_t FBaudrate;
  std::mt19937 FRandom;
  std::normal_distribution<double> FGauss{0.0, 1.0};
  double FNoiseSigma[2] = {0, 0};  // per channel, in sample units
  double FMaxSigma[2] = {0, 0};
  double FGain[2] = {1, 1};
  double FToneOffset = 0;
  double FRateFactor = 1;
  std::vector<int16_t> FFrames;
};

}  // namespace sorvex
