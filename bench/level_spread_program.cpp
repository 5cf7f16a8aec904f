// The sensitive receiver on a line as it is: KPs at different distances, so
// their telegrams arrive at different levels on one line noise, and the
// noise alone for an hour. Three lines per bit rate, each tried at several
// switch-on levels:
//
//   spread  one line noise; each telegram at one of six levels that put it
//           between 13.5 and 40 dB Eb/N0 (26.5 dB, the strongest at 16000 of
//           32767), in random order, with the impairments of a real line:
//           tones +12 Hz, bit rate +0.6 %, and in every third telegram the
//           level steps up 3 dB halfway through its bits;
//   equal   each telegram at 13.5 dB of its own: levels -6..+3 dB around
//           A = 7000, the line noise following each KP (its noise on the
//           line 1.5 s before its lead-in to 0.3 s after its carrier; the
//           level jumps at the change of KP), same impairments;
//   noise   one hour (28.8 M samples) of the spread line's noise, and one of
//           the equal line's loudest noise: every telegram returned is false.
//
// Each telegram: a gap of noise (0.3..0.6 s; the equal line above), a steady
// lead-in of 4 T of the tone opposite to the first bit, 189 random bits in
// continuous phase, the last tone held one bit longer. The receiver is driven
// as `sorvex-tool rx` drives it: 1024-frame blocks, re-armed after each
// telegram. A telegram is exact when the first telegram returned after its
// lead-in began and before the next one's began has its 189 bits; every
// other telegram returned is false.
//
//   level_spread_program [N telegrams per line, default 1000] [seed, default 1]
//                        [spread|equal|noise|all, default all] [baud, default all]
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "modem/modem.h"

namespace {

using sorvex::TModem;

constexpr double kFs = 8000;
constexpr int kBits = 189;
constexpr double kStrongest = 16000;  // sample units, the strongest KP on the spread line
constexpr double kReference = 7000;   // the equal line's 0 dB
constexpr double kWeakDb = 13.5;
constexpr int kSpreadLevels = 6;
const double kSwitchOn[] = {0.05, 0.02, 0.01, 0.005, 0.0};

struct Rate {
  int32_t Baud, Freq0, Freq1;
};
const Rate kRates[] = {{200, 2540, 2760}, {1200, 1300, 2100}, {2400, 1200, 2400}};

double SigmaFor(double amplitude, double db, int32_t baud) {
  return amplitude * std::sqrt(kFs / baud / (4 * std::pow(10.0, db / 10)));
}

struct Sent {
  size_t Start = 0;  // the lead-in's first sample
  int Kp = 0;
  std::vector<int> Bits;
};

// A line of telegrams, built sample by sample into one buffer.
class TLine {
 public:
  TLine(const Rate& rate, uint64_t seed) : FRate(rate), FRng(seed) {}

  void Noise(double seconds, double sigma) {
    const auto count = static_cast<size_t>(seconds * kFs);
    for (size_t n = 0; n < count; ++n) Put(sigma * FGauss(FRng));
  }

  // One telegram at `amplitude` on noise `sigma`, the level stepping by
  // `stepDb` halfway through its bits.
  void Telegram(int kp, double amplitude, double sigma, double stepDb) {
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    Sent s;
    s.Kp = kp;
    s.Start = FSamples.size();
    s.Bits.resize(kBits);
    for (int& b : s.Bits) b = static_cast<int>(FRng() & 1u);
    const double f0 = FRate.Freq0 + 12.0, f1 = FRate.Freq1 + 12.0;
    const double T = 1.0 / (FRate.Baud * 1.006);
    const double lead = 4.0 / FRate.Baud;
    std::vector<int> line = s.Bits;
    line.push_back(s.Bits.back());
    const double length = lead + static_cast<double>(line.size()) * T;
    const double step = lead + kBits / 2 * T;
    const double gain = std::pow(10.0, stepDb / 20);
    double phase = uniform(FRng);
    const auto count = static_cast<size_t>(std::ceil(length * kFs));
    for (size_t n = 0; n < count; ++n) {
      const double t = static_cast<double>(n) / kFs;
      double f;
      if (t < lead) {
        f = s.Bits[0] ? f0 : f1;
      } else {
        const auto k = std::min(static_cast<size_t>((t - lead) / T), line.size() - 1);
        f = line[k] ? f1 : f0;
      }
      const double a = t >= step ? amplitude * gain : amplitude;
      Put(a * std::sin(2 * std::numbers::pi * phase) + sigma * FGauss(FRng));
      phase += f / kFs;
      phase -= std::floor(phase);
    }
    FSent.push_back(std::move(s));
  }

  const std::vector<int16_t>& Samples() const { return FSamples; }
  const std::vector<Sent>& Telegrams() const { return FSent; }
  std::mt19937_64& Rng() { return FRng; }

 private:
  void Put(double v) {
    const double r = std::round(v);
    FSamples.push_back(static_cast<int16_t>(r > 32767 ? 32767 : (r < -32768 ? -32768 : r)));
  }

  Rate FRate;
  std::mt19937_64 FRng;
  std::normal_distribution<double> FGauss{0.0, 1.0};
  std::vector<int16_t> FSamples;
  std::vector<Sent> FSent;
};

struct Returned {
  size_t At;  // the sample after the block it came in
  std::vector<int> Bits;
};

std::vector<Returned> Receive(const Rate& rate, const std::vector<int16_t>& samples,
                              double switchOn) {
  TModem modem("", 1024);
  modem.SetGeneral(rate.Baud, rate.Freq0, rate.Freq1);
  modem.SetReceiver(sorvex::rkSensitive);
  modem.SetStartLevel(switchOn);
  modem.ResetReceiver();
  std::vector<Returned> out;
  std::vector<int16_t> frames(2 * 1024, 0);
  uint8_t bytes[256];
  for (size_t at = 0; at < samples.size(); at += 1024) {
    const int n = static_cast<int>(std::min<size_t>(1024, samples.size() - at));
    for (int k = 0; k < n; ++k) frames[2 * k] = samples[at + k];
    modem.ProcessBlock(0, frames.data(), n);
    const int32_t count = modem.TakeTelegram(bytes, 0);
    if (count > 0) {
      Returned r{at + n, {}};
      for (int k = 0; k < count; ++k) r.Bits.push_back((bytes[k / 8] >> (7 - k % 8)) & 1);
      out.push_back(std::move(r));
      modem.ResetReceiver();
    }
  }
  return out;
}

struct Score {
  std::vector<int> Sent, Exact;  // per KP
  int False = 0;
};

Score Judge(const TLine& line, const std::vector<Returned>& got, int kps) {
  Score s;
  s.Sent.assign(kps, 0);
  s.Exact.assign(kps, 0);
  const auto& sent = line.Telegrams();
  size_t r = 0;
  for (size_t i = 0; i < sent.size(); ++i) {
    const size_t end = i + 1 < sent.size() ? sent[i + 1].Start : line.Samples().size() + 1024;
    while (r < got.size() && got[r].At <= sent[i].Start) {
      ++s.False;
      ++r;
    }
    s.Sent[sent[i].Kp] += 1;
    bool first = true;
    std::printf("telegram %zu kp %d: nothing\n", i, sent[i].Kp);
    while (r < got.size() && got[r].At <= end) {
      const auto& bits = got[r].Bits;
      if (first && bits.size() >= kBits &&
          std::equal(sent[i].Bits.begin(), sent[i].Bits.end(), bits.begin())) {
        s.Exact[sent[i].Kp] += 1;
      } else {
        ++s.False;
        std::printf("telegram %zu kp %d (prev %d): got %zu bits first=%d at +%.3f s wrong %d\n", i,
                    sent[i].Kp, i ? sent[i - 1].Kp : -1, bits.size(), first ? 1 : 0,
                    (got[r].At - sent[i].Start) / kFs, [&] {
                      int w = 0;
                      for (int k = 0; k < kBits && k < (int)bits.size(); ++k)
                        w += bits[k] != sent[i].Bits[k];
                      return w;
                    }());
      }
      first = false;
      ++r;
    }
  }
  s.False += static_cast<int>(got.size() - r);
  return s;
}

void PrintScore(const char* name, double switchOn, const Score& s, int weakest) {
  int sent = 0, exact = 0;
  for (size_t k = 0; k < s.Sent.size(); ++k) {
    sent += s.Sent[k];
    exact += s.Exact[k];
  }
  std::printf("%-7s %6.3f | %5d/%5d %6.1f%% | weakest %4d/%4d %6.1f%% | false %3d | per KP:", name,
              switchOn, exact, sent, 100.0 * exact / sent, s.Exact[weakest], s.Sent[weakest],
              100.0 * s.Exact[weakest] / std::max(1, s.Sent[weakest]), s.False);
  for (size_t k = 0; k < s.Sent.size(); ++k) {
    std::printf(" %.1f", 100.0 * s.Exact[k] / std::max(1, s.Sent[k]));
  }
  std::printf("\n");
  std::fflush(stdout);
}

double SpreadSigma(const Rate& rate) {
  return SigmaFor(kStrongest * std::pow(10.0, -(40 - kWeakDb) / 20), kWeakDb, rate.Baud);
}

void Spread(const Rate& rate, int telegrams, uint64_t seed) {
  TLine line(rate, seed);
  const double sigma = SpreadSigma(rate);
  std::uniform_real_distribution<double> gap(0.3, 0.6);
  std::uniform_int_distribution<int> pick(0, kSpreadLevels - 1);
  for (int i = 0; i < telegrams; ++i) {
    const int kp = pick(line.Rng());
    const double db = kWeakDb + (40 - kWeakDb) * kp / (kSpreadLevels - 1);
    line.Noise(gap(line.Rng()), sigma);
    line.Telegram(kp, kStrongest * std::pow(10.0, (db - 40) / 20), sigma, i % 3 == 2 ? 3 : 0);
  }
  line.Noise(0.5, sigma);
  for (const double level : kSwitchOn) {
    PrintScore("spread", level, Judge(line, Receive(rate, line.Samples(), level), kSpreadLevels),
               0);
  }
}

void Equal(const Rate& rate, int telegrams, uint64_t seed) {
  TLine line(rate, seed + 1);
  std::uniform_int_distribution<int> pick(0, 6);  // -6, -4.5, .. +3 dB
  for (int i = 0; i < telegrams; ++i) {
    const int kp = pick(line.Rng());
    const double amplitude = kReference * std::pow(10.0, (-6 + 1.5 * kp) / 20);
    const double sigma = SigmaFor(amplitude, kWeakDb, rate.Baud);
    line.Noise(1.5, sigma);
    line.Telegram(kp, amplitude, sigma, i % 3 == 2 ? 3 : 0);
    line.Noise(0.3, sigma);
  }
  for (const double level : kSwitchOn) {
    PrintScore("equal", level, Judge(line, Receive(rate, line.Samples(), level), 7), 0);
  }
}

void NoiseHour(const Rate& rate, uint64_t seed) {
  const double loud = SigmaFor(kReference * std::pow(10.0, 3.0 / 20), kWeakDb, rate.Baud);
  for (const double sigma : {SpreadSigma(rate), loud}) {
    TLine line(rate, seed + 2);
    line.Noise(3600, sigma);
    std::printf("noise sigma %.4f:", sigma / 32768);
    for (const double level : kSwitchOn) {
      std::printf(" %g: %zu", level, Receive(rate, line.Samples(), level).size());
      std::fflush(stdout);
    }
    std::printf(" false records in one hour\n");
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int telegrams = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  const std::string part = argc > 3 ? argv[3] : "all";
  const int baud = argc > 4 ? std::atoi(argv[4]) : 0;
  for (const Rate& rate : kRates) {
    if (baud != 0 && baud != rate.Baud) continue;
    std::printf("\n== %d bit/s, %d / %d Hz (sent +12 Hz, bit rate +0.6 %%), seed %llu ==\n",
                rate.Baud, rate.Freq0, rate.Freq1, static_cast<unsigned long long>(seed));
    std::printf("line  switch-on |  exact / sent          | weakest (13.5 dB)          |\n");
    if (part == "all" || part == "spread") Spread(rate, telegrams, seed);
    if (part == "all" || part == "equal") Equal(rate, telegrams, seed);
    if (part == "all" || part == "noise") NoiseHour(rate, seed);
  }
  return 0;
}
