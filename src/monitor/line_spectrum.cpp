#include "monitor/line_spectrum.h"

#include "modem/audio_stream.h"
#include "modem/modem_device.h"
#include "util/clock.h"
#include "util/date_time.h"

namespace sorvex {

double TLineSpectrum::BinHz() {
  return static_cast<double>(kAudioFrameRate) / TAmplitudeSpectrum::kFftSize;
}

TLineSpectrum::TLineSpectrum()
    : FSpectrum(TModemDevice::kRecentFrames),
      FFrames(static_cast<size_t>(TModemDevice::kRecentFrames) * kAudioChannels) {
  Clear();
}

void TLineSpectrum::Clear() {
  for (auto& db : FDb) db.assign(kBins, AmplitudeToDb(0));
  FValid = false;
  FStamped = false;
}

bool TLineSpectrum::Tick(TModemDevice& device, const TClock& clock) {
  const int64_t elapsed = FStamped ? ElapsedMs(clock, FStamp) : 0;
  if (FStamped && elapsed < kPeriodMs) return false;
  // On the period's grid while the ticks keep up, so late ticks do not
  // slow the rate down; from now on after a stall.
  const int64_t period = kPeriodMs * clock.CounterFrequency() / 1000;
  FStamp = FStamped && elapsed < 2 * kPeriodMs ? FStamp + period : clock.Counter();
  FStamped = true;
  Update(device);
  return true;
}

void TLineSpectrum::Update(TModemDevice& device) {
  const int count = device.CopyRecentInput(FFrames.data(), TModemDevice::kRecentFrames);
  FSpectrum.Compute(FFrames.data(), count);
  for (int ch = 0; ch < 2; ++ch) {
    const std::vector<double>& amplitude = FSpectrum.Amplitude(ch);
    for (int m = 0; m < kBins; ++m) FDb[ch][m] = AmplitudeToDb(amplitude[m]);
  }
  FValid = true;
}

}  // namespace sorvex
