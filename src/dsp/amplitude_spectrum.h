#pragma once

#include <cstdint>
#include <vector>

namespace sorvex {

// Amplitude spectra of the two channels of a stretch of interleaved 16-bit
// stereo frames: a Hann window over the last `windowLength` frames, zeros up
// to kFftSize, both channels in one complex transform (left real, right
// imaginary) and split apart by its symmetry. A tone of amplitude A (full
// scale 1.0) at a bin's frequency reads A in that bin.
class TAmplitudeSpectrum {
 public:
  static constexpr int kFftSize = 4096;
  static constexpr int kBins = kFftSize / 2 + 1;  // 0 .. half the sample rate

  // windowLength is brought into 2 .. kFftSize.
  explicit TAmplitudeSpectrum(int windowLength);

  // `count` frames; fewer than the window are taken as the window's end
  // (silence before them), more leave out the oldest.
  void Compute(const int16_t* frames, int count);
  // Bin m lies at m × sampleRate / kFftSize.
  const std::vector<double>& Amplitude(int channel) const { return FAmplitude[channel & 1]; }
  int WindowLength() const { return static_cast<int>(FWindow.size()); }

 private:
  std::vector<double> FWindow;  // scaled so that the gain for a tone is 1
  std::vector<double> FRe, FIm;
  std::vector<double> FAmplitude[2];
};

}  // namespace sorvex
