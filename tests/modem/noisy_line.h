#pragma once
// A long, hard line for pinning a receiver's behaviour down: telegrams of
// random bits from a continuous-phase generator at signal-to-noise ratios
// from hopeless to clean, with what real lines do mixed in (tones off by up
// to ±20 Hz, the bit rate off by up to ±1 %, level steps of ±6 dB, a DC
// offset, the carrier stopping dead or fading out), noise all along, and
// ragged block sizes. Everything is drawn from the raw output of a seeded
// mt19937_64, so the line is the same on every standard library.

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

namespace sorvex::testing {

class TLineRandom {
 public:
  explicit TLineRandom(uint64_t seed) : Engine(seed) {}
  double Uniform() { return static_cast<double>(Engine() >> 11) * 0x1.0p-53; }  // [0, 1)
  double Uniform(double low, double high) { return low + (high - low) * Uniform(); }
  int Below(int n) { return static_cast<int>(Engine() % static_cast<uint64_t>(n)); }
  double Gauss() {  // Box–Muller, one of the pair
    const double u = 1.0 - Uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(2 * std::numbers::pi * Uniform());
  }

 private:
  std::mt19937_64 Engine;
};

struct TNoisyLine {
  std::vector<int16_t> Frames;  // stereo, the line on `Channel`, noise alone on the other
  std::vector<int> Blocks;      // block lengths to feed, 1..1024
  int Telegrams = 0;            // sent
};

// `seconds` of line at `baud` with tones f0/f1 and noise σ = 1000: each
// telegram's Eb/N0 drawn from 2..22 dB.
inline TNoisyLine MakeNoisyLine(int32_t baud, int32_t freq0, int32_t freq1, double seconds,
                                int channel, uint64_t seed) {
  TLineRandom rng(seed);
  const auto total = static_cast<size_t>(seconds * 8000);
  std::vector<double> x(total, 0.0);
  const double sigma = 1000;
  const double samplesPerBit = 8000.0 / baud;
  TNoisyLine line;
  size_t n = 0;
  while (n < total) {
    n += static_cast<size_t>(rng.Uniform(0.6, 6.0) * 20 * samplesPerBit + rng.Uniform(0, 400));
    if (n >= total) break;
    line.Telegrams += 1;
    const double ebn0 = std::pow(10.0, rng.Uniform(2, 22) / 10);
    // Eb/N0 = A²·(samples per bit) / (4σ²) for a real tone of amplitude A.
    double amplitude = std::min(20000.0, sigma * std::sqrt(4 * ebn0 / samplesPerBit));
    const bool impaired = rng.Below(2) == 0;
    const double df = impaired ? rng.Uniform(-20, 20) : 0;
    const double period = samplesPerBit * (impaired ? 1 + rng.Uniform(-0.01, 0.01) : 1);
    const double dc = impaired ? rng.Uniform(-2000, 2000) : 0;
    const int leadBit = rng.Below(2);
    const int leadBits = 2 + rng.Below(10);
    const int bits = 8 + rng.Below(240);
    const int stepAt = impaired ? rng.Below(bits) : -1;
    const double step = std::pow(2.0, rng.Uniform(-1, 1));  // up to ±6 dB
    const bool fade = rng.Below(4) == 0;
    double phase = rng.Uniform();  // cycles
    double end = static_cast<double>(n) + rng.Uniform();
    int tone = leadBit;
    for (int bit = -leadBits; bit < bits && n < total; ++bit) {
      if (bit >= 0) tone = rng.Below(2);
      if (bit == 0) tone = 1 - leadBit;
      if (bit == stepAt) amplitude *= step;
      end += period;
      const double f = (tone ? freq1 : freq0) + df;
      for (; n < total && static_cast<double>(n) < end; ++n) {
        x[n] = amplitude * std::sin(2 * std::numbers::pi * phase) + dc;
        phase += f / 8000;
        phase -= std::floor(phase);
      }
    }
    // A carrier that fades over two bits instead of stopping dead.
    for (int k = 0; fade && n < total && k < 2 * samplesPerBit; ++k, ++n) {
      x[n] = amplitude * (1 - k / (2 * samplesPerBit)) * std::sin(2 * std::numbers::pi * phase);
      phase += ((tone ? freq1 : freq0) + df) / 8000;
      phase -= std::floor(phase);
    }
  }
  line.Frames.assign(2 * total, 0);
  auto pcm = [](double v) {
    const double r = std::round(v);
    return static_cast<int16_t>(r > 32767 ? 32767 : (r < -32768 ? -32768 : r));
  };
  for (size_t i = 0; i < total; ++i) {
    line.Frames[2 * i + (channel ? 1 : 0)] = pcm(x[i] + sigma * rng.Gauss());
    line.Frames[2 * i + (channel ? 0 : 1)] = pcm(sigma * rng.Gauss());
  }
  for (size_t done = 0; done < total;) {
    const int kind = rng.Below(4);
    int block = kind == 0 ? 1024 : (kind == 1 ? 1 + rng.Below(16) : 1 + rng.Below(1024));
    block = static_cast<int>(std::min<size_t>(static_cast<size_t>(block), total - done));
    line.Blocks.push_back(block);
    done += static_cast<size_t>(block);
  }
  return line;
}

// FNV-1a over what a receiver shows, in three parts so a change says where
// it lies: the telegrams' bits, the signal records, the levels.
struct TReceiverDigest {
  uint64_t Bits = 0xcbf29ce484222325ull;
  uint64_t Records = 0xcbf29ce484222325ull;
  uint64_t Levels = 0xcbf29ce484222325ull;
  int Telegrams = 0, Strobes = 0, BitSamples = 0;

  static void Mix(uint64_t& h, const void* data, size_t size) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 0x100000001b3ull;
  }
  static void Mix(uint64_t& h, double v) {
    uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    Mix(h, &u, sizeof u);
  }
};

}  // namespace sorvex::testing
