// Sensitivity of the receive chain: telegram success and bit error rate of
// TModem::ProcessBlock against Eb/N0, next to the theoretical bit error rate
// of non-coherent binary FSK, ½·exp(−Eb / 2N0).
//
//   sensitivity_program [N telegrams per point, default 1000] [seed, default 1] [Eb/N0 dB ...]
//
// Eb/N0 for the real signal sampled at fs = 8000 Hz: a tone of amplitude A
// has power A²/2, so Eb = A²/2 · T with T = 1/baud. White Gaussian noise of
// variance σ² per sample has the two-sided density N0/2 over the band
// −fs/2..fs/2, so σ² = N0/2 · fs, N0 = 2σ²/fs, and
//   Eb/N0 = A² · (fs·T) / (4σ²),   σ = A · sqrt(fs·T / (4 · Eb/N0)),
// fs·T being the samples per bit (40 at 200 baud, 6.67 at 1200 baud).
//
// Each telegram: 189 random bits (seeded), a steady lead-in tone of 4 T of
// the tone opposite to the first bit, continuous phase over exact
// (fractional) bit times with a random start phase and sub-sample offset,
// amplitude A = 7000. The noise covers the lead-in and the bits; the line is
// silent before and after. The start level (the operator's slider) is set to
// half the smoothed discriminator level of the clean steady tone. (With the
// noise on the whole line the level squelch cannot work at these Eb/N0: the
// last tables show that, with these wide-band settings, noise alone drives
// the smoothed discriminator about as high as the tone.)
//
// A telegram counts as received when the receiver returns one with at least
// 189 bits; as a success when its first 189 bits are the ones sent. "BER" is
// over the first 189 bits of every received telegram; a telegram whose bit
// clock started at the wrong place (a false or late strobe) comes out about
// half wrong, so "aligned" counts the received telegrams with fewer than 25%
// errors and "BER aligned" is the bit error rate over those alone, the one to
// compare with the theory.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <vector>

#include "modem/modem.h"

namespace {

using sorvex::TModem;

constexpr double kFs = 8000;
constexpr int kBits = 189;
constexpr double kAmplitude =
    7000;  // sample units; at 8 dB and 200 baud σ ≈ 8800, clipping < 0.03%
std::vector<double> kEbN0Db = {8, 10, 12, 14, 16};  // dB; replaced by arguments 3.. if given

struct Config {
  const char* Name;
  int32_t Baud, Freq0, Freq1, Smoothing;  // smoothing: low-pass cut-off, Hz (order 2)
};

// One burst sampled at 8000 Hz: `silence` s, lead-in, bits, `tail` s; the
// noise (σ) is added from the start of the lead-in to the end of the bits.
std::vector<int16_t> Burst(const Config& c, const std::vector<int>& bits, double sigma,
                           std::mt19937_64& rng) {
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  std::normal_distribution<double> gauss(0.0, 1.0);
  const double T = 1.0 / c.Baud;
  const double silence = 5 * T + 0.02 + uniform(rng) / kFs;  // sub-sample offset
  const double lead = 4 * T;
  const double tail = 8 * T + 0.05;
  const double phase0 = uniform(rng);  // cycles
  const double fLead = bits[0] ? c.Freq0 : c.Freq1;
  std::vector<double> start(bits.size() + 1);  // phase at each bit start, cycles
  start[0] = phase0 + fLead * lead;
  for (size_t k = 0; k < bits.size(); ++k) {
    start[k + 1] = start[k] + (bits[k] ? c.Freq1 : c.Freq0) * T;
  }
  const double end = silence + lead + bits.size() * T;
  const auto count = static_cast<size_t>(std::ceil((end + tail) * kFs));
  std::vector<int16_t> frames(2 * count, 0);
  for (size_t n = 0; n < count; ++n) {
    const double t = n / kFs;
    double v = 0;
    if (t >= silence && t < end) {
      double phase;
      if (t < silence + lead) {
        phase = phase0 + fLead * (t - silence);
      } else {
        const double u = t - silence - lead;
        const auto k = static_cast<size_t>(std::floor(u / T));
        phase = start[k] + (bits[k] ? c.Freq1 : c.Freq0) * (u - k * T);
      }
      v = kAmplitude * std::sin(2 * std::numbers::pi * (phase - std::floor(phase))) +
          sigma * gauss(rng);
    }
    const double r = std::round(v);
    frames[2 * n] = static_cast<int16_t>(r > 32767 ? 32767 : (r < -32768 ? -32768 : r));
  }
  return frames;
}

double ToneLevel(const Config& c);

void Run(const Config& c, int telegrams, uint64_t seed) {
  const double samplesPerBit = kFs / c.Baud;
  const double startLevel = 0.5 * ToneLevel(c);
  std::printf(
      "\n%s: %d baud, %d / %d Hz, band-pass 500..3000 Hz, smoothing %d Hz; "
      "%d telegrams of %d bits per point; start level %.3f\n",
      c.Name, c.Baud, c.Freq0, c.Freq1, c.Smoothing, telegrams, kBits, startLevel);
  std::printf("%8s %7s %9s %9s %10s %9s %11s %11s\n", "Eb/N0 dB", "sigma", "received", "success",
              "BER", "aligned", "BER aligned", "theory BER");
  TModem modem("", 1024);
  modem.SetGeneral(c.Baud, c.Freq0, c.Freq1);
  modem.SetFilter(TModem::kSmoothingSlot, 0, 2, c.Smoothing, 3000, 1);
  modem.SetStartLevel(startLevel);
  for (const double db : kEbN0Db) {
    const double ebn0 = std::pow(10.0, db / 10);
    const double sigma = kAmplitude * std::sqrt(samplesPerBit / (4 * ebn0));
    std::mt19937_64 rng(seed * 1000003u + static_cast<uint64_t>(db * 10) + c.Baud);
    int received = 0, success = 0, aligned = 0;
    int64_t errors = 0, compared = 0, alignedErrors = 0;
    for (int i = 0; i < telegrams; ++i) {
      std::vector<int> bits(kBits);
      for (int& b : bits) b = static_cast<int>(rng() & 1u);
      const std::vector<int16_t> frames = Burst(c, bits, sigma, rng);
      modem.ResetReceiver();
      const int total = static_cast<int>(frames.size() / 2);
      uint8_t bytes[256];
      int32_t count = 0;
      for (int at = 0; at < total && count == 0; at += 1024) {
        modem.ProcessBlock(0, frames.data() + 2 * at, std::min(1024, total - at));
        count = modem.TakeTelegram(bytes, 0);
      }
      if (count < kBits) continue;
      ++received;
      int wrong = 0;
      for (int k = 0; k < kBits; ++k) {
        const int got = (bytes[k / 8] >> (7 - k % 8)) & 1;
        wrong += got != bits[k];
      }
      errors += wrong;
      compared += kBits;
      success += wrong == 0;
      if (wrong < kBits / 4) {
        ++aligned;
        alignedErrors += wrong;
      }
    }
    const double ber = compared ? static_cast<double>(errors) / compared : NAN;
    const double berAligned =
        aligned ? static_cast<double>(alignedErrors) / (static_cast<double>(aligned) * kBits) : NAN;
    std::printf("%8.1f %7.0f %8.1f%% %8.1f%% %10.2e %8.1f%% %11.2e %11.2e\n", db, sigma,
                100.0 * received / telegrams, 100.0 * success / telegrams, ber,
                100.0 * aligned / telegrams, berAligned, 0.5 * std::exp(-ebn0 / 2));
  }
}

// Mean |smoothed discriminator| (full scale 1.0) of a clean steady Freq1
// tone of amplitude A, after the filters have settled.
double ToneLevel(const Config& c) {
  TModem tone("", 1024);
  tone.SetGeneral(c.Baud, c.Freq0, c.Freq1);
  tone.SetFilter(TModem::kSmoothingSlot, 0, 2, c.Smoothing, 3000, 1);
  tone.ResetReceiver();
  std::vector<double> x(8 * 1024);
  for (size_t n = 0; n < x.size(); ++n) {
    x[n] = kAmplitude * std::sin(2 * std::numbers::pi * c.Freq1 * n / kFs);
  }
  for (size_t b = 0; b < 8; ++b) tone.Demodulate(x.data() + 1024 * b, 1024, x.data() + 1024 * b);
  double level = 0;
  for (size_t n = 2048; n < x.size(); ++n) level += std::fabs(x[n]) / 32768;
  return level / static_cast<double>(x.size() - 2048);
}

// The smoothed discriminator's magnitude for noise alone, against a clean
// steady tone (Freq1) of amplitude A: why the noise is kept off the silences.
void NoiseLevels(const Config& c) {
  std::printf("\n%s: |discriminator| (full scale 1.0) of noise alone vs the tone\n", c.Name);
  const double level = ToneLevel(c);
  std::printf("  tone: mean %.3f; start level %.3f\n", level, 0.5 * level);
  for (const double db : kEbN0Db) {
    const double sigma = kAmplitude * std::sqrt(kFs / c.Baud / (4 * std::pow(10.0, db / 10)));
    TModem modem("", 1024);
    modem.SetGeneral(c.Baud, c.Freq0, c.Freq1);
    modem.SetFilter(TModem::kSmoothingSlot, 0, 2, c.Smoothing, 3000, 1);
    modem.ResetReceiver();
    std::mt19937_64 rng(7);
    std::normal_distribution<double> gauss(0.0, sigma);
    std::vector<double> y(40 * 1024);
    for (double& v : y) v = gauss(rng);
    for (size_t b = 0; b < 40; ++b)
      modem.Demodulate(y.data() + 1024 * b, 1024, y.data() + 1024 * b);
    double mean = 0;
    int above = 0;
    for (size_t n = 1024; n < y.size(); ++n) {
      mean += std::fabs(y[n]) / 32768;
      above += std::fabs(y[n]) / 32768 >= 0.5 * level;
    }
    const double m = static_cast<double>(y.size() - 1024);
    std::printf(
        "  Eb/N0 %4.1f dB: noise mean %.3f, %5.1f%% of samples at or above the start level\n", db,
        mean / m, 100.0 * above / m);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int telegrams = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  if (argc > 3) {
    kEbN0Db.clear();
    for (int i = 3; i < argc; ++i) kEbN0Db.push_back(std::atof(argv[i]));
  }
  std::printf(
      "Eb/N0 = A^2 (fs T) / (4 sigma^2): Eb = A^2/2 T, sigma^2 = N0/2 fs, fs = 8000 Hz, "
      "A = %.0f\n",
      kAmplitude);
  const Config configs[] = {{"200 baud (default settings)", 200, 2540, 2760, 500},
                            {"1200 baud", 1200, 1300, 2100, 1500}};
  for (const Config& c : configs) Run(c, telegrams, seed);
  for (const Config& c : configs) NoiseLevels(c);
  return 0;
}
