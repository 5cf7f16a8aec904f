#pragma once
// Test-side signal helpers, independent of the modem's transmitter: a
// continuous-phase FSK generator over exact, fractional bit times at any
// sample rate, seeded white noise, and a runner that feeds frames to a
// receiver block by block and collects its telegrams.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "modem/modem.h"

namespace sorvex::testing {

// One burst: `silence` s of zero, `lead` s of the steady tone of `leadBit`,
// then `bits` (1/baud s each, exact real times), then `tail` s of zero.
// Phase (in cycles) is the integral of the frequency from the start of the
// lead tone, so there is no phase jump anywhere in the burst.
struct FskBurst {
  double Baud = 200;
  double Freq0 = 2540;
  double Freq1 = 2760;
  double Silence = 0.02;
  double Lead = 0.02;
  int LeadBit = 1;
  std::vector<int> Bits;
  double Tail = 0.05;
  double Amplitude = 16000;  // sample units (full scale 32768)
  double Phase0 = 0.0;       // cycles at the start of the lead tone

  double Duration() const { return Silence + Lead + Bits.size() / Baud + Tail; }
  // Start of the first data bit, s.
  double DataStart() const { return Silence + Lead; }
};

inline double FskValue(const FskBurst& b, const std::vector<double>& cumulative, double t) {
  const double tau = t - b.Silence;
  if (tau < 0) return 0.0;
  const double fLead = b.LeadBit ? b.Freq1 : b.Freq0;
  if (tau < b.Lead) return b.Amplitude * std::sin(2 * std::numbers::pi * (b.Phase0 + fLead * tau));
  const double u = tau - b.Lead;
  const auto k = static_cast<size_t>(std::floor(u * b.Baud));
  if (k >= b.Bits.size()) return 0.0;
  const double f = b.Bits[k] ? b.Freq1 : b.Freq0;
  const double phase = b.Phase0 + fLead * b.Lead + cumulative[k] + f * (u - k / b.Baud);
  return b.Amplitude * std::sin(2 * std::numbers::pi * (phase - std::floor(phase)));
}

// The burst sampled at `rate` Hz, real-valued, sample n at t = n / rate.
inline std::vector<double> GenerateFsk(const FskBurst& b, double rate) {
  std::vector<double> cumulative(b.Bits.size() + 1, 0.0);  // cycles at each bit start
  for (size_t k = 0; k < b.Bits.size(); ++k) {
    cumulative[k + 1] = cumulative[k] + (b.Bits[k] ? b.Freq1 : b.Freq0) / b.Baud;
  }
  const auto count = static_cast<size_t>(std::ceil(b.Duration() * rate));
  std::vector<double> out(count);
  for (size_t n = 0; n < count; ++n) out[n] = FskValue(b, cumulative, n / rate);
  return out;
}

inline void AddNoise(std::vector<double>& signal, double sigma, uint32_t seed) {
  std::mt19937_64 rng(seed);
  std::normal_distribution<double> gauss(0.0, sigma);
  for (double& v : signal) v += gauss(rng);
}

inline int16_t ToPcm(double v) {
  const double r = std::round(v);
  return static_cast<int16_t>(r > 32767 ? 32767 : (r < -32768 ? -32768 : r));
}

// Interleaved stereo frames with the signal on `channel`, the other side silent.
inline std::vector<int16_t> ToFrames(const std::vector<double>& signal, int channel) {
  std::vector<int16_t> frames(signal.size() * 2, 0);
  for (size_t n = 0; n < signal.size(); ++n) frames[2 * n + (channel ? 1 : 0)] = ToPcm(signal[n]);
  return frames;
}

inline std::vector<int> RandomBits(size_t count, uint32_t seed, int firstBit) {
  std::mt19937 rng(seed);
  std::vector<int> bits(count);
  for (auto& b : bits) b = static_cast<int>(rng() & 1u);
  if (!bits.empty()) bits[0] = firstBit;
  return bits;
}

struct Telegram {
  int32_t BitCount = 0;
  std::vector<int> Bits;  // all BitCount bits, MSB first
};

inline std::vector<int> UnpackBits(const uint8_t* bytes, int32_t bitCount) {
  std::vector<int> bits(static_cast<size_t>(bitCount));
  for (int32_t i = 0; i < bitCount; ++i) bits[i] = (bytes[i / 8] >> (7 - i % 8)) & 1;
  return bits;
}

inline std::vector<uint8_t> PackBits(const std::vector<int>& bits) {
  std::vector<uint8_t> bytes((bits.size() + 7) / 8 + 1, 0);
  for (size_t i = 0; i < bits.size(); ++i) {
    if (bits[i]) bytes[i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
  }
  return bytes;
}

// Settings suited to a bit rate: the default tones and smoothing up to 300
// bit/s, above that tones about one bit rate apart and the smoothing cut-off
// near the bit rate. The band-pass stays at its default 500..3000 Hz.
struct RateSettings {
  int32_t Baud = 200;
  int32_t Freq0 = 2540;
  int32_t Freq1 = 2760;
  int32_t Smoothing = 500;  // Hz, second-order Butterworth low-pass
};

inline RateSettings SettingsForRate(int32_t baud) {
  switch (baud) {
    case 600:
      return {600, 1700, 2300, 700};
    case 1200:
      return {1200, 1300, 2100, 1500};
    case 2400:
      return {2400, 1200, 2400, 2400};
    default:
      return {baud, 2540, 2760, 500};
  }
}

inline void ApplySettings(TModem& modem, const RateSettings& s) {
  modem.SetGeneral(s.Baud, s.Freq0, s.Freq1);
  modem.SetFilter(TModem::kSmoothingSlot, 0, 2, s.Smoothing, 3000, 1);
}

// What our own transmitter sends for `bits` with settings `s`, peaks at
// 16000, after `lead` and before `tail` samples of silence.
inline std::vector<double> Transmitted(const RateSettings& s, const std::vector<int>& bits,
                                       size_t lead, size_t tail) {
  TModem tx("/nonexistent/sorvex/modem.ini", 1024);
  ApplySettings(tx, s);
  const std::vector<uint8_t> packed = PackBits(bits);
  tx.StartTransmit(packed.data(), static_cast<int32_t>(bits.size()));
  std::vector<double> signal(lead, 0.0);
  while (tx.Transmitting()) {
    double v = 0;
    tx.Modulate(&v, 1);
    signal.push_back(v * 16000);
  }
  signal.resize(signal.size() + tail, 0.0);
  return signal;
}

inline std::string SettingsIni(const RateSettings& s) {
  return "[GENERAL]\nBaudrate=" + std::to_string(s.Baud) + "\nFreq0=" + std::to_string(s.Freq0) +
         "\nFreq1=" + std::to_string(s.Freq1) +
         "\n[FILTERS]\nBand_Kind=0\nBand_Order=2\nBand_Freq1=500\nBand_Freq2=3000\nBand_Ripp=1\n"
         "Smoothing_Kind=0\nSmoothing_Order=2\nSmoothing_Freq1=" +
         std::to_string(s.Smoothing) + "\nSmoothing_Freq2=3000\nSmoothing_Ripp=1\n";
}

inline constexpr int32_t kOfferedRates[] = {50, 100, 200, 300, 600, 1200, 2400};

// Feeds the frames to `modem` in blocks of `block` frames; after each block a
// finished telegram is taken and, when `rearm`, the receiver is re-armed.
inline std::vector<Telegram> RunReceiver(TModem& modem, int channel,
                                         const std::vector<int16_t>& frames, int block,
                                         bool rearm = true) {
  std::vector<Telegram> telegrams;
  const int total = static_cast<int>(frames.size() / 2);
  uint8_t bytes[256];
  for (int at = 0; at < total; at += block) {
    const int n = std::min(block, total - at);
    modem.ProcessBlock(channel, frames.data() + 2 * at, n);
    const int32_t count = modem.TakeTelegram(bytes, 0);
    if (count > 0) {
      telegrams.push_back({count, UnpackBits(bytes, count)});
      if (rearm) modem.ResetReceiver();
    }
  }
  return telegrams;
}

}  // namespace sorvex::testing
