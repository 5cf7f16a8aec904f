// ProcessBlock throughput of the sensitive receiver: one channel over
// 1024-frame blocks of a noisy line with telegrams at 200, 1200 and 2400
// baud (their usual tones), the level meter looking through the default
// band-pass, 64000 signal records as the work tab keeps them. Reported as
// items (samples of one channel) per second; the goal is at least 20 million.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/iir_filter.h"
#include "modem/sensitive_receiver.h"

namespace {

struct Rate {
  int32_t Baud, Freq0, Freq1;
};

constexpr Rate kRates[] = {{200, 2540, 2760}, {1200, 1300, 2100}, {2400, 1200, 2400}};

// 8 s of line: telegrams of 189 random bits (continuous phase, amplitude
// 12000) after 8 bit periods of steady tone, 100 ms gaps, white Gaussian
// noise σ = 1500 everywhere (about 19 dB Eb/N0 at 200 baud); the signal on
// the left, noise alone on the right.
std::vector<int16_t> NoisyLine(const Rate& rate) {
  constexpr int kSamples = 8 * 8000;
  std::mt19937_64 rng(1);
  std::normal_distribution<double> noise(0.0, 1500.0);
  std::vector<double> x(kSamples, 0.0);
  const double samplesPerBit = 8000.0 / rate.Baud;
  double phase = 0;  // cycles
  int n = 0;
  double bitEnd = 0;
  auto tone = [&](double frequency, double until) {
    for (; n < kSamples && n < until; ++n) {
      x[n] = 12000 * std::sin(2 * std::numbers::pi * phase);
      phase += frequency / 8000.0;
      phase -= std::floor(phase);
    }
  };
  while (n < kSamples) {
    n += 800;  // gap
    bitEnd = n;
    tone(rate.Freq1, bitEnd += 8 * samplesPerBit);  // lead-in
    for (int bit = 0; bit < 189; ++bit) {
      tone((bit == 0 || (rng() & 1)) ? rate.Freq0 : rate.Freq1, bitEnd += samplesPerBit);
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

void BM_SensitiveProcessBlock(benchmark::State& state) {
  const Rate& rate = kRates[state.range(0)];
  const std::vector<int16_t> frames = NoisyLine(rate);
  const int blocks = static_cast<int>(frames.size() / 2 / 1024);
  sorvex::TIirFilter band(8000);
  band.Design(sorvex::fkButterworth, sorvex::btBandPass, 2, 500, 3000, 1);
  sorvex::TSensitiveReceiver receiver(1024);
  receiver.SetRecordCapacity(64000);
  receiver.SetStartLevel(0.1);
  receiver.Reset();
  uint8_t bytes[256];
  int block = 0;
  int64_t telegrams = 0;
  for (auto _ : state) {
    receiver.ProcessBlock(0, frames.data() + 2 * 1024 * block, 1024, rate.Baud, rate.Freq0,
                          rate.Freq1, &band);
    if (receiver.TakeTelegram(bytes, 0) > 0) {
      ++telegrams;
      receiver.Reset();
    }
    benchmark::DoNotOptimize(bytes);
    block = (block + 1) % blocks;
  }
  state.SetItemsProcessed(state.iterations() * 1024);
  state.SetLabel(std::to_string(rate.Baud) + " baud");
  state.counters["telegrams"] = static_cast<double>(telegrams);
}
BENCHMARK(BM_SensitiveProcessBlock)->DenseRange(0, 2);

}  // namespace
