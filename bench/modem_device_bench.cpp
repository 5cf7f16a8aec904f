// The two-channel sound device's per-block work, as the audio callback does
// it: take the lock, cross-talk gate in 64-frame chunks, channel 0 and
// channel 1 receivers, both modulators into the output (× 32000, truncated).
// One iteration = one 1024-frame stereo block, reported in microseconds; the
// budget is 128 ms per block, the goal below 0.2 ms.
//   BM_DeviceBlockBusy   both receivers armed on noisy FSK (re-armed after each
//                        telegram, as the dispatch does), both modulators sending
//   BM_DeviceBlockIdle   receivers asleep, nothing to send
//   BM_CrossTalkGate     the gate alone
// audio_seconds: seconds of sound processed per second of CPU time.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "modem/modem_device.h"

namespace {

using sorvex::TModemDevice;

// 8 s of line on both channels: telegrams of 189 random bits at 200 baud
// (2540 / 2760 Hz, continuous phase, amplitude 12000) after a 30 ms steady
// lead-in, 100 ms gaps, white Gaussian noise σ = 1500; the right channel's
// bursts fall between the left channel's, so the gate opens and closes.
std::vector<int16_t> NoisyLine() {
  constexpr int kSamples = 8 * 8000;
  std::mt19937_64 rng(1);
  std::normal_distribution<double> noise(0.0, 1500.0);
  std::vector<double> x[2] = {std::vector<double>(kSamples, 0.0),
                              std::vector<double>(kSamples, 0.0)};
  double phase = 0;  // cycles
  int n = 0;
  int side = 0;
  while (n < kSamples) {
    n += 800;  // gap
    for (int k = 0; k < 240 && n < kSamples; ++k, ++n) {
      x[side][n] = 12000 * std::sin(2 * std::numbers::pi * phase);
      phase += 2760 / 8000.0;
    }
    for (int bit = 0; bit < 189; ++bit) {
      const double f = (bit == 0 || (rng() & 1)) ? 2540 : 2760;
      for (int k = 0; k < 40 && n < kSamples; ++k, ++n) {
        x[side][n] = 12000 * std::sin(2 * std::numbers::pi * phase);
        phase += f / 8000.0;
        phase -= std::floor(phase);
      }
    }
    side = 1 - side;
  }
  std::vector<int16_t> frames(2 * kSamples, 0);
  for (int i = 0; i < kSamples; ++i) {
    for (int c = 0; c < 2; ++c) {
      const double v = std::round(x[c][i] + noise(rng));
      frames[2 * i + c] = static_cast<int16_t>(std::fmax(-32768.0, std::fmin(32767.0, v)));
    }
  }
  return frames;
}

const std::vector<int16_t>& Line() {
  static const std::vector<int16_t> frames = NoisyLine();
  return frames;
}

void BM_DeviceBlockBusy(benchmark::State& state) {
  const auto& frames = Line();
  const int blocks = static_cast<int>(frames.size() / 2 / 1024);
  TModemDevice device("", nullptr);  // no stream: the blocks are driven here
  std::vector<uint8_t> telegram(255);
  for (size_t i = 0; i < telegram.size(); ++i) telegram[i] = static_cast<uint8_t>(i * 37 + 11);
  for (int ch = 0; ch < 2; ++ch) {
    device.SetRecordCapacity(ch, 64000);
    device.ResetReceiver(ch);
  }
  std::vector<int16_t> out(2048);
  uint8_t bytes[256];
  int b = 0;
  int64_t received = 0;
  for (auto _ : state) {
    // 2040 bits at 200 bit/s last 80 blocks: reloaded every 64 blocks, so
    // both modulators are always sending.
    if (b % 64 == 0) {
      device.Transmit(0, telegram.data(), 2040);
      device.Transmit(1, telegram.data(), 2040);
    }
    device.ProcessBlock(frames.data() + static_cast<size_t>(b % blocks) * 2048, out.data(), 1024);
    benchmark::DoNotOptimize(out.data());
    for (int ch = 0; ch < 2; ++ch) {
      if (device.TakeTelegram(ch, bytes, 0) != 0) {
        ++received;
        device.ResetReceiver(ch);
      }
    }
    ++b;
  }
  state.counters["telegrams"] = static_cast<double>(received);
  state.counters["audio_seconds"] = benchmark::Counter(
      static_cast<double>(state.iterations()) * 0.128, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DeviceBlockBusy)->Unit(benchmark::kMicrosecond);

void BM_DeviceBlockIdle(benchmark::State& state) {
  const auto& frames = Line();
  const int blocks = static_cast<int>(frames.size() / 2 / 1024);
  TModemDevice device("", nullptr);
  std::vector<int16_t> out(2048);
  int b = 0;
  for (auto _ : state) {
    device.ProcessBlock(frames.data() + static_cast<size_t>(b++ % blocks) * 2048, out.data(), 1024);
    benchmark::DoNotOptimize(out.data());
  }
}
BENCHMARK(BM_DeviceBlockIdle)->Unit(benchmark::kMicrosecond);

void BM_CrossTalkGate(benchmark::State& state) {
  const auto& frames = Line();
  const int blocks = static_cast<int>(frames.size() / 2 / 1024);
  std::vector<int16_t> block(2048);
  int b = 0;
  for (auto _ : state) {
    const int16_t* from = frames.data() + static_cast<size_t>(b++ % blocks) * 2048;
    std::copy(from, from + 2048, block.begin());
    TModemDevice::CrossTalkGate(block.data(), 1024);
    benchmark::DoNotOptimize(block.data());
  }
}
BENCHMARK(BM_CrossTalkGate)->Unit(benchmark::kMicrosecond);

}  // namespace
