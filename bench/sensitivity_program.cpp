// Sensitivity of the two receivers: telegram success and bit error rate
// against Eb/N0, beside the ideal non-coherent detector's bound for the
// actual tone pair; then what line impairments cost the sensitive receiver.
//
//   sensitivity_program [N telegrams per point, default 1000] [seed, default 1]
//                       [table|impairments|all, default all]
//
// Eb/N0 for the real signal sampled at fs: a tone of amplitude A has power
// A²/2, so Eb = A²/2 · T with T = 1/baud. White Gaussian noise of variance σ²
// per sample has the two-sided density N0/2 over −fs/2..fs/2, so
// σ² = N0/2 · fs and
//   Eb/N0 = A² · (fs·T) / (4σ²),   σ = A · sqrt(fs·T / (4 · Eb/N0)),
// fs·T being the samples per bit (40 at 200 baud, 3.33 at 2400 baud). A
// recording at 44.1 or 48 kHz gets σ from its own fs, so N0 is the same
// once the resampler has brought it to 8000 Hz.
//
// The bound: two tones of equal energy with complex correlation ρ over one
// bit, |ρ| = |sin(πΔfT) / (πΔfT)|, detected non-coherently with perfect
// timing, err with
//   Pb = Q1(a, b) − ½·exp(−(a² + b²)/2)·I0(ab),  a, b = sqrt(Eb/N0/2 · (1 ∓ sqrt(1 − |ρ|²))),
// (½·exp(−Eb/2N0) when ρ = 0); a telegram of 189 bits is all right with
// probability (1 − Pb)^189.
//
// Each telegram: 189 random bits (seeded), silence of 5 T + 20 ms with a
// random sub-sample offset, a steady lead-in of 4 T of the tone opposite to
// the first bit, the bits in continuous phase over exact (fractional) bit
// times from a random start phase, the last tone held one bit longer (a
// line transmitter's carrier does not stop dead), then 8 T + 50 ms of
// silence; amplitude A = 7000. The noise covers the lead-in and the tone;
// the silences are quiet (with noise on them, what decides is the switch-on
// level, not the detector: see the last row of the impairments).
//
// The standard receiver runs with its usual settings for the rate and the
// start level at half its smoothed discriminator level of the clean tone;
// the sensitive receiver with its switch-on level at A/4 (12 dB below the
// tone), which also lets a telegram through a 6 dB drop of its level.
//
// A telegram counts as received when the receiver returns one with at least
// 189 bits, as a success when its first 189 bits are the ones sent. "BER"
// is over the first 189 bits of the received telegrams.
#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "audio/sound_file.h"
#include "dsp/detection_bound.h"
#include "modem/modem.h"

namespace {

using sorvex::TModem;

constexpr double kFs = 8000;
constexpr int kBits = 189;
constexpr double kAmplitude = 7000;  // sample units; at 6 dB and 200 baud σ ≈ 11000

struct Rate {
  const char* Name;
  int32_t Baud, Freq0, Freq1, Smoothing;  // smoothing: low-pass cut-off, Hz (order 2)
};

const Rate kRates[] = {{"200 baud (default settings)", 200, 2540, 2760, 500},
                       {"1200 baud", 1200, 1300, 2100, 1500},
                       {"2400 baud", 2400, 1200, 2400, 2400}};

// What the line does to a telegram.
struct Impairment {
  const char* Name = "none";
  double ToneOffset = 0;   // Hz, added to both tones
  double RateFactor = 1;   // sent bit rate / nominal
  double StepDb = 0;       // gain step (signal and noise) in the middle of the bits
  double Dc = 0;           // DC offset, in units of A
  bool DeadStop = false;   // the carrier stops dead after the last bit
  int FileRate = 8000;     // other rates go through a WAV file and the resampler
  bool NoisyLine = false;  // noise on the silences too (switch-on level A/2)
};

// One telegram on the line, as 8000 Hz stereo frames on the left channel.
class TLine {
 public:
  TLine(const Rate& rate, const Impairment& impairment, const std::string& scratch)
      : FRate(rate), FImp(impairment), FScratch(scratch) {}

  std::vector<int16_t> Telegram(const std::vector<int>& bits, double ebN0, std::mt19937_64& rng) {
    const double fs = FImp.FileRate;
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::normal_distribution<double> gauss(0.0, 1.0);
    const double T = 1.0 / (FRate.Baud * FImp.RateFactor);
    const double nominalT = 1.0 / FRate.Baud;
    const double sigma = kAmplitude * std::sqrt(fs * nominalT / (4 * ebN0));
    const double f0 = FRate.Freq0 + FImp.ToneOffset, f1 = FRate.Freq1 + FImp.ToneOffset;
    const double silence = 5 * nominalT + 0.02 + uniform(rng) / fs;
    const double lead = 4 * nominalT;
    const double tail = 8 * nominalT + 0.05;
    const double phase0 = uniform(rng);
    const double fLead = bits[0] ? f0 : f1;
    std::vector<int> line = bits;
    if (!FImp.DeadStop) line.push_back(bits.back());
    std::vector<double> start(line.size() + 1);  // phase at each bit start, cycles
    start[0] = phase0 + fLead * lead;
    for (size_t k = 0; k < line.size(); ++k) start[k + 1] = start[k] + (line[k] ? f1 : f0) * T;
    const double end = silence + lead + line.size() * T;
    const double step = silence + lead + bits.size() / 2 * T;
    const double gain = std::pow(10.0, FImp.StepDb / 20);
    const auto count = static_cast<size_t>(std::ceil((end + tail) * fs));
    std::vector<int16_t> samples(count);
    for (size_t n = 0; n < count; ++n) {
      const double t = n / fs;
      double v = 0;
      const bool tone = t >= silence && t < end;
      if (tone) {
        double phase;
        if (t < silence + lead) {
          phase = phase0 + fLead * (t - silence);
        } else {
          const double u = t - silence - lead;
          const auto k = std::min(static_cast<size_t>(std::floor(u / T)), line.size() - 1);
          phase = start[k] + (line[k] ? f1 : f0) * (u - k * T);
        }
        v = kAmplitude * std::sin(2 * std::numbers::pi * (phase - std::floor(phase)));
      }
      if (tone || FImp.NoisyLine) v += sigma * gauss(rng);
      if (t >= step) v *= gain;
      v += FImp.Dc * kAmplitude;
      const double r = std::round(v);
      samples[n] = static_cast<int16_t>(r > 32767 ? 32767 : (r < -32768 ? -32768 : r));
    }
    if (FImp.FileRate == 8000) {
      std::vector<int16_t> frames(2 * count, 0);
      for (size_t n = 0; n < count; ++n) frames[2 * n] = samples[n];
      return frames;
    }
    return ThroughResampler(samples);
  }

 private:
  // Writes a mono 16-bit WAV at the impairment's rate and reads it back as
  // 8000 Hz frames, the way rx, replay and listen read recordings.
  std::vector<int16_t> ThroughResampler(const std::vector<int16_t>& samples) {
    const uint32_t rate = static_cast<uint32_t>(FImp.FileRate);
    const uint32_t bytes = static_cast<uint32_t>(samples.size() * 2);
    auto put32 = [](std::vector<uint8_t>& out, uint32_t v) {
      for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
    };
    auto put16 = [](std::vector<uint8_t>& out, uint16_t v) {
      out.push_back(static_cast<uint8_t>(v));
      out.push_back(static_cast<uint8_t>(v >> 8));
    };
    std::vector<uint8_t> wav;
    wav.insert(wav.end(), {'R', 'I', 'F', 'F'});
    put32(wav, 36 + bytes);
    wav.insert(wav.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    put32(wav, 16);
    put16(wav, 1);  // PCM
    put16(wav, 1);  // mono
    put32(wav, rate);
    put32(wav, rate * 2);
    put16(wav, 2);
    put16(wav, 16);
    wav.insert(wav.end(), {'d', 'a', 't', 'a'});
    put32(wav, bytes);
    for (const int16_t s : samples) put16(wav, static_cast<uint16_t>(s));
    FILE* f = std::fopen(FScratch.c_str(), "wb");
    if (f == nullptr || std::fwrite(wav.data(), 1, wav.size(), f) != wav.size()) {
      std::fprintf(stderr, "cannot write %s\n", FScratch.c_str());
      std::exit(2);
    }
    std::fclose(f);
    sorvex::TSoundFileReader reader;
    std::string error;
    if (!reader.Open(FScratch, 0, error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      std::exit(2);
    }
    std::vector<int16_t> frames;
    std::vector<int16_t> block(2 * 1024);
    for (int got; (got = reader.ReadBlock(block.data(), 1024)) > 0;) {
      frames.insert(frames.end(), block.begin(), block.begin() + 2 * got);
    }
    return frames;
  }

  Rate FRate;
  Impairment FImp;
  std::string FScratch;
};

// Mean |smoothed discriminator| (full scale 1.0) of a clean steady Freq1
// tone of amplitude A in the standard chain, after the filters have settled.
double ToneLevel(const Rate& c) {
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

// One receiver under test: re-armed for each telegram, fed 1024-frame blocks
// until it returns a telegram or the line ends.
class TReceiverUnderTest {
 public:
  TReceiverUnderTest(const Rate& c, bool sensitive, double startLevel) : FModem("", 1024) {
    FModem.SetGeneral(c.Baud, c.Freq0, c.Freq1);
    FModem.SetFilter(TModem::kSmoothingSlot, 0, 2, c.Smoothing, 3000, 1);
    FModem.SetReceiver(sensitive ? sorvex::rkSensitive : sorvex::rkStandard);
    FModem.SetStartLevel(startLevel);
  }
  int32_t Receive(const std::vector<int16_t>& frames, uint8_t* bytes) {
    FModem.ResetReceiver();
    const int total = static_cast<int>(frames.size() / 2);
    for (int at = 0; at < total; at += 1024) {
      FModem.ProcessBlock(0, frames.data() + 2 * at, std::min(1024, total - at));
      const int32_t count = FModem.TakeTelegram(bytes, 0);
      if (count > 0) return count;
    }
    return 0;
  }

 private:
  TModem FModem;
};

struct Outcome {
  int Received = 0, Success = 0;
  int64_t Errors = 0, Compared = 0;
};

std::vector<int> RandomBits(std::mt19937_64& rng) {
  std::vector<int> bits(kBits);
  for (int& b : bits) b = static_cast<int>(rng() & 1u);
  return bits;
}

uint64_t PointSeed(uint64_t seed, const Rate& c, double db) {
  return seed * 1000003u + static_cast<uint64_t>(std::lround(db * 100)) * 7919u +
         static_cast<uint64_t>(c.Baud);
}

// `telegrams` telegrams at one Eb/N0 through one receiver. The same seed gives
// the same bits and noise, so receivers and impairments meet the same line.
Outcome Measure(const Rate& c, const Impairment& imp, TReceiverUnderTest& rx, double db,
                int telegrams, uint64_t seed, const std::string& scratch) {
  const double ebN0 = std::pow(10.0, db / 10);
  std::mt19937_64 rng(PointSeed(seed, c, db));
  TLine line(c, imp, scratch);
  Outcome o;
  uint8_t bytes[256];
  for (int i = 0; i < telegrams; ++i) {
    const std::vector<int> bits = RandomBits(rng);
    const std::vector<int16_t> frames = line.Telegram(bits, ebN0, rng);
    const int32_t count = rx.Receive(frames, bytes);
    if (count < kBits) continue;
    ++o.Received;
    int wrong = 0;
    for (int k = 0; k < kBits; ++k) wrong += ((bytes[k / 8] >> (7 - k % 8)) & 1) != bits[k];
    o.Errors += wrong;
    o.Compared += kBits;
    o.Success += wrong == 0;
  }
  return o;
}

// Linear interpolation of the Eb/N0 where the success rate first reaches
// `target`; NaN when it never does on the grid.
double Crossing(const std::vector<double>& db, const std::vector<double>& success, double target) {
  for (size_t i = 0; i < db.size(); ++i) {
    if (success[i] < target) continue;
    if (i == 0) return db[0];
    const double t = (target - success[i - 1]) / (success[i] - success[i - 1]);
    return db[i - 1] + t * (db[i] - db[i - 1]);
  }
  return NAN;
}

void Table(int telegrams, uint64_t seed, const std::string& scratch) {
  std::printf(
      "\n== Telegram success and bit error rate, N = %d telegrams of %d bits per point ==\n",
      telegrams, kBits);
  std::vector<std::string> summary;
  for (const Rate& c : kRates) {
    const double rho = sorvex::ToneCorrelation(c.Freq0, c.Freq1, c.Baud);
    const double standardLevel = 0.5 * ToneLevel(c);
    const double sensitiveLevel = 0.25 * kAmplitude / 32768;
    std::printf(
        "\n%s: %d / %d Hz, |rho| = %.3f; standard receiver: band-pass 500..3000 Hz, smoothing "
        "%d Hz, start level %.3f; sensitive receiver: switch-on level %.3f\n",
        c.Name, c.Freq0, c.Freq1, rho, c.Smoothing, standardLevel, sensitiveLevel);
    std::printf("%8s | %9s %8s | %8s %8s %9s | %8s %8s %9s\n", "Eb/N0 dB", "bound BER", "bound ok",
                "std rx", "std ok", "std BER", "sens rx", "sens ok", "sens BER");
    TReceiverUnderTest standard(c, false, standardLevel);
    TReceiverUnderTest sensitive(c, true, sensitiveLevel);
    const Impairment clean;
    std::vector<double> grid, okStandard, okSensitive;
    for (int db = 6; db <= 20; ++db) {
      const double pb = sorvex::NoncoherentFskBitErrorRate(std::pow(10.0, db / 10.0), rho);
      const Outcome s = Measure(c, clean, standard, db, telegrams, seed, scratch);
      const Outcome r = Measure(c, clean, sensitive, db, telegrams, seed, scratch);
      auto ber = [](const Outcome& o) {
        return o.Compared ? static_cast<double>(o.Errors) / o.Compared : NAN;
      };
      std::printf("%8d | %9.2e %7.1f%% | %7.1f%% %7.1f%% %9.2e | %7.1f%% %7.1f%% %9.2e\n", db, pb,
                  100 * std::pow(1 - pb, kBits), 100.0 * s.Received / telegrams,
                  100.0 * s.Success / telegrams, ber(s), 100.0 * r.Received / telegrams,
                  100.0 * r.Success / telegrams, ber(r));
      std::fflush(stdout);
      grid.push_back(db);
      okStandard.push_back(static_cast<double>(s.Success) / telegrams);
      okSensitive.push_back(static_cast<double>(r.Success) / telegrams);
    }
    const double bound = sorvex::NoncoherentFskEbN0ForTelegram(rho, kBits, 0.99);
    const double spec99 = Crossing(grid, okStandard, 0.99);
    const double sens99 = Crossing(grid, okSensitive, 0.99);
    char line[256];
    std::snprintf(line, sizeof line, "%-28s %8.2f %10s %10.2f %10.2f", c.Name, bound,
                  std::isnan(spec99) ? "> 20" : std::to_string(spec99).substr(0, 5).c_str(), sens99,
                  sens99 - bound);
    summary.push_back(line);
  }
  std::printf("\nEb/N0 (dB) for 99%% of telegrams (interpolated between the 1 dB points):\n");
  std::printf("%-28s %8s %10s %10s %10s\n", "", "bound", "standard", "sensitive", "gap");
  for (const auto& line : summary) std::printf("%s\n", line.c_str());
}

// The Eb/N0 (dB) where `success(db)` first reaches 99%, on a 0.5 dB grid
// walked from `start` (down while it is reached, else up), interpolated
// between the two grid points around it.
template <typename F>
double Find99(F success, double start) {
  double db = std::round(start * 2) / 2;
  double ok = success(db);
  if (ok >= 0.99) {
    for (int i = 0; i < 20 && ok >= 0.99; ++i) {
      const double lower = success(db - 0.5);
      if (lower < 0.99) return db - 0.5 + 0.5 * (0.99 - lower) / (ok - lower);
      db -= 0.5;
      ok = lower;
    }
    return db;
  }
  for (int i = 0; i < 40; ++i) {
    const double higher = success(db + 0.5);
    if (higher >= 0.99) return db + 0.5 * (0.99 - ok) / (higher - ok);
    db += 0.5;
    ok = higher;
  }
  return NAN;
}

void Impairments(int telegrams, uint64_t seed, const std::string& scratch) {
  std::vector<Impairment> list(12);
  list[1].Name = "tones +20 Hz";
  list[1].ToneOffset = 20;
  list[2].Name = "tones -20 Hz";
  list[2].ToneOffset = -20;
  list[3].Name = "bit rate +1%";
  list[3].RateFactor = 1.01;
  list[4].Name = "bit rate -1%";
  list[4].RateFactor = 0.99;
  list[5].Name = "level step +6 dB";
  list[5].StepDb = 6;
  list[6].Name = "level step -6 dB";
  list[6].StepDb = -6;
  list[7].Name = "DC offset A/2";
  list[7].Dc = 0.5;
  list[8].Name = "carrier stops dead";
  list[8].DeadStop = true;
  list[9].Name = "44.1 kHz recording";
  list[9].FileRate = 44100;
  list[10].Name = "48 kHz recording";
  list[10].FileRate = 48000;
  list[11].Name = "noise on the silences too";
  list[11].NoisyLine = true;
  std::printf(
      "\n== Impairments: Eb/N0 (dB) for 99%% of telegrams with the sensitive receiver, N = %d "
      "per point, 0.5 dB grid, interpolated ==\n",
      telegrams);
  std::printf(
      "(noise on the silences: switch-on level A/2, otherwise A/4; not one of the "
      "impairments asked for: it measures the squelch, not the detector)\n");
  for (const Rate& c : kRates) {
    const double rho = sorvex::ToneCorrelation(c.Freq0, c.Freq1, c.Baud);
    const double bound = sorvex::NoncoherentFskEbN0ForTelegram(rho, kBits, 0.99);
    std::printf("\n%s, bound %.2f dB\n%-28s %8s %8s\n", c.Name, bound, "impairment", "99% at",
                "cost");
    double clean = NAN;
    for (const Impairment& imp : list) {
      const double level = (imp.NoisyLine ? 0.5 : 0.25) * kAmplitude / 32768;
      TReceiverUnderTest rx(c, true, level);
      const double at = Find99(
          [&](double db) {
            return static_cast<double>(Measure(c, imp, rx, db, telegrams, seed, scratch).Success) /
                   telegrams;
          },
          std::isnan(clean) ? bound : clean);
      if (std::isnan(clean)) clean = at;
      std::printf("%-28s %8.2f %+8.2f\n", imp.Name, at, at - clean);
      std::fflush(stdout);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  const int telegrams = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1000;
  const uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 1;
  const std::string part = argc > 3 ? argv[3] : "all";
  const std::string scratch =
      "/tmp/sorvex-sensitivity-" + std::to_string(static_cast<long>(getpid())) + ".wav";
  std::printf(
      "Eb/N0 = A^2 (fs T) / (4 sigma^2): Eb = A^2/2 T, sigma^2 = N0/2 fs, A = %.0f; seed %llu\n",
      kAmplitude, static_cast<unsigned long long>(seed));
  if (part == "all" || part == "table") Table(telegrams, seed, scratch);
  if (part == "all" || part == "impairments") Impairments(telegrams, seed, scratch);
  std::remove(scratch.c_str());
  return 0;
}
