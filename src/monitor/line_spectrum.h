#pragma once

#include <cstdint>
#include <vector>

#include "dsp/amplitude_spectrum.h"

namespace sorvex {

class TClock;
class TModemDevice;

// The live spectrum of both channels: the last half second of the device's
// input, in dB (AmplitudeToDb of each bin's amplitude), renewed every
// kPeriodMs. The tick copies the frames under the device's lock and
// transforms them outside it.
class TLineSpectrum {
 public:
  static constexpr int kPeriodMs = 100;
  static constexpr int kBins = TAmplitudeSpectrum::kBins;
  // Hz per bin at 8000 Hz.
  static double BinHz();

  TLineSpectrum();

  // Renews the spectrum when kPeriodMs have passed on `clock` since the
  // last renewal (or none was made); true when it did.
  bool Tick(TModemDevice& device, const TClock& clock);
  // Renews it now.
  void Update(TModemDevice& device);
  // Forgets the picture (a new device): silence at −100 dB.
  void Clear();

  const std::vector<double>& Db(int channel) const { return FDb[channel & 1]; }
  bool Valid() const { return FValid; }

 private:
  TAmplitudeSpectrum FSpectrum;
  std::vector<int16_t> FFrames;
  std::vector<double> FDb[2];
  bool FValid = false;
  bool FStamped = false;
  int64_t FStamp = 0;
};

}  // namespace sorvex
