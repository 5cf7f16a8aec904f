// ProcessBlock throughput: one channel's receive chain (band-pass, level
// meter, Hilbert, discriminator, smoothing, five-state receiver) over
// 1024-frame blocks of a noisy 200-baud FSK line with the default settings.
// Reported as items (samples of one channel) per second; the target is at
// least 20 million, 1250× real time for both channels at 8000 Hz.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "modem/modem.h"

namespace {

using sorvex::TModem;

// 8 s of line: telegrams of 189 random bits at 200 baud (2540 / 2760 Hz,
// continuous phase, amplitude 12000) with a 30 ms steady lead-in, 100 ms
// gaps, white Gaussian noise σ = 1500 everywhere; stereo, signal on the left.
std::vector<int16_t> NoisyLine() {
  constexpr int kSamples = 8 * 8000;
  std::mt19937_64 rng(1);
  std::normal_distribution<double> noise(0.0, 1500.0);
  std::vector<double> x(kSamples, 0.0);
  double phase = 0;  // cycles
  int n = 0;
  while (n < kSamples) {
    n += 800;                                             // gap
    for (int k = 0; k < 240 && n < kSamples; ++k, ++n) {  // lead-in at Freq1
      x[n] = 12000 * std::sin(2 * std::numbers::pi * phase);
      phase += 2760 / 8000.0;
    }
    for (int bit = 0; bit < 189; ++bit) {
      const double f = (bit == 0 || (rng() & 1)) ? 2540 : 2760;
      for (int k = 0; k < 40 && n < kSamples; ++k, ++n) {
        x[n] = 12000 * std::sin(2 * std::numbers::pi * phase);
        phase += f / 8000.0;
        phase -= std::floor(phase);
      }
    }
  }
  std::vector<int16_t> frames(2 * kSamples, 0);
  for (int i = 0; i < kSamples; ++i) {
    const double v = std::round(x[i] + noise(rng));
    frames[2 * i] = static_cast<int16_t>(std::fmax(-32768.0, std::fmin(32767.0, v)));
    frames[2 * i + 1] = static_cast<int16_t>(noise(rng));
  }
  return frames;
}

void BM_ProcessBlock(benchmark::State& state) {
  static const std::vector<int16_t> frames = NoisyLine();
  const int blocks = static_cast<int>(frames.size() / 2 / 1024);
  TModem modem("", 1024);  // defaults: 200 baud, 2540 / 2760 Hz
  modem.SetRecordCapacity(8000);
  modem.ResetReceiver();
  uint8_t bytes[256];
  int block = 0;
  int64_t telegrams = 0;
  for (auto _ : state) {
    modem.ProcessBlock(0, frames.data() + 2 * 1024 * block, 1024);
    if (modem.TakeTelegram(bytes, 0) > 0) {
      ++telegrams;
      modem.ResetReceiver();
    }
    benchmark::DoNotOptimize(bytes);
    block = (block + 1) % blocks;
  }
  state.SetItemsProcessed(state.iterations() * 1024);
  state.counters["telegrams"] = static_cast<double>(telegrams);
}
BENCHMARK(BM_ProcessBlock);

// The signal chain alone (Demodulate), for the profile's split.
void BM_Demodulate(benchmark::State& state) {
  static const std::vector<int16_t> frames = NoisyLine();
  const int blocks = static_cast<int>(frames.size() / 2 / 1024);
  TModem modem("", 1024);
  std::vector<double> work(1024);
  int block = 0;
  for (auto _ : state) {
    const int16_t* f = frames.data() + 2 * 1024 * block;
    for (int k = 0; k < 1024; ++k) work[k] = f[2 * k];
    modem.Demodulate(work.data(), 1024, work.data());
    benchmark::DoNotOptimize(work.data());
    block = (block + 1) % blocks;
  }
  state.SetItemsProcessed(state.iterations() * 1024);
}
BENCHMARK(BM_Demodulate);

}  // namespace
