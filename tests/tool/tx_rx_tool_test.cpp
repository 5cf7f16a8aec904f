// sorvex-tool tx and rx through the built program: the WAV that tx writes
// (tones, bit durations, continuous phase, silence around it), its decoding
// back through rx, other sample rates and channel counts, and bad input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "modem/fsk_signal.h"
#include "support/tool_runner.h"

namespace sorvex {
namespace {

namespace fs = std::filesystem;
using testing::FskBurst;
using testing::GenerateFsk;
using testing::RandomBits;
using testing::SettingsForRate;

constexpr double kPi = std::numbers::pi;

struct Wav {
  int Rate = 0;
  int Channels = 0;
  int Bits = 0;
  std::vector<int16_t> Samples;  // interleaved
  size_t Frames() const { return Channels ? Samples.size() / Channels : 0; }
  int16_t At(size_t frame, int channel) const { return Samples[frame * Channels + channel]; }
};

void PutLe(std::string& s, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
}

// A canonical 16-bit PCM WAV, written here independently of the reader under test.
void WriteWav(const std::string& path, int rate, int channels,
              const std::vector<int16_t>& samples) {
  std::string s = "RIFF";
  const uint32_t data = static_cast<uint32_t>(samples.size() * 2);
  PutLe(s, 36 + data, 4);
  s += "WAVEfmt ";
  PutLe(s, 16, 4);
  PutLe(s, 1, 2);
  PutLe(s, channels, 2);
  PutLe(s, rate, 4);
  PutLe(s, rate * channels * 2, 4);
  PutLe(s, channels * 2, 2);
  PutLe(s, 16, 2);
  s += "data";
  PutLe(s, data, 4);
  for (int16_t v : samples) PutLe(s, static_cast<uint16_t>(v), 2);
  std::ofstream(path, std::ios::binary) << s;
}

uint32_t GetLe(const std::string& s, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i)
    v |= static_cast<uint32_t>(static_cast<uint8_t>(s[at + i])) << (8 * i);
  return v;
}

bool ReadWav(const std::string& path, Wav& wav) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << in.rdbuf();
  const std::string s = buffer.str();
  if (s.size() < 12 || s.compare(0, 4, "RIFF") != 0 || s.compare(8, 4, "WAVE") != 0) return false;
  bool haveFormat = false;
  for (size_t at = 12; at + 8 <= s.size();) {
    const std::string id = s.substr(at, 4);
    const uint32_t size = GetLe(s, at + 4, 4);
    const size_t body = at + 8;
    if (id == "fmt ") {
      wav.Channels = static_cast<int>(GetLe(s, body + 2, 2));
      wav.Rate = static_cast<int>(GetLe(s, body + 4, 4));
      wav.Bits = static_cast<int>(GetLe(s, body + 14, 2));
      haveFormat = true;
    } else if (id == "data" && haveFormat) {
      const size_t n = std::min<size_t>(size, s.size() - body) / 2;
      wav.Samples.resize(n);
      for (size_t i = 0; i < n; ++i) {
        wav.Samples[i] = static_cast<int16_t>(GetLe(s, body + 2 * i, 2));
      }
      return true;
    }
    at = body + size + (size & 1);
  }
  return false;
}

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("sorvex_h4_tool_" + std::to_string(getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  std::string Path(const std::string& name) const { return (dir / name).string(); }

  // Runs sorvex-tool with `args`; returns its exit status, stdout in `out`,
  // stderr in `err`.
  int Run(const std::string& args, std::string& out, std::string& err) const {
    const auto result = testing::RunTool(args, testing::StderrMode::Capture);
    out = result.out;
    err = result.err;
    return result.status;
  }

  std::string WriteSettings(const std::string& name, const testing::RateSettings& s) const {
    const std::string path = Path(name);
    std::ofstream(path) << testing::SettingsIni(s);
    return path;
  }

  fs::path dir;
};

std::string BitText(const std::vector<int>& bits) {
  std::string s;
  for (int b : bits) s += b ? '1' : '0';
  return s;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Parses "<count>\t<bits>" and checks the form of the line.
bool ParseLine(const std::string& line, int& count, std::string& bits) {
  const size_t tab = line.find('\t');
  if (tab == std::string::npos) return false;
  count = std::stoi(line.substr(0, tab));
  bits = line.substr(tab + 1);
  return static_cast<int>(bits.size()) == count && bits.find_first_not_of("01") == bits.npos;
}

TEST_F(ToolTest, TxWritesTonesOfExactBitDurationsWithContinuousPhase) {
  const std::vector<int> bits = RandomBits(36, 17, 1);
  std::string out, err;
  const std::string wavPath = Path("tx.wav");
  ASSERT_EQ(Run("tx --bits " + BitText(bits) + " -o " + wavPath, out, err), 0) << err;
  Wav wav;
  ASSERT_TRUE(ReadWav(wavPath, wav));
  EXPECT_EQ(wav.Rate, 8000);
  EXPECT_EQ(wav.Channels, 2);
  EXPECT_EQ(wav.Bits, 16);
  // 100 ms, 36 bits of 40 samples at 200 baud, 100 ms.
  ASSERT_EQ(wav.Frames(), 800u + 1440u + 800u);
  for (size_t n = 0; n < wav.Frames(); ++n) {
    ASSERT_EQ(wav.At(n, 1), 0) << n;
    if (n < 800 || n >= 2240) {
      ASSERT_EQ(wav.At(n, 0), 0) << n;
    }
  }
  // Against a continuous-phase model: bit k covers samples 40k..40k+39,
  // sample × 32000 truncated toward zero.
  double phase = 0;  // cycles
  for (int n = 0; n < 1440; ++n) {
    const double expected = std::trunc(32000 * std::sin(2 * kPi * phase));
    ASSERT_NEAR(wav.At(800 + n, 0), expected, 1.0) << n;
    phase += (bits[n / 40] ? 2760 : 2540) / 8000.0;
    phase -= std::floor(phase);
  }
  // Each bit's tone by a DFT over the bit.
  for (int k = 0; k < 36; ++k) {
    std::complex<double> x0, x1;
    for (int n = 40 * k; n < 40 * k + 40; ++n) {
      const double v = wav.At(800 + n, 0);
      x0 += v * std::polar(1.0, -2 * kPi * 2540 * n / 8000.0);
      x1 += v * std::polar(1.0, -2 * kPi * 2760 * n / 8000.0);
    }
    ASSERT_EQ(std::abs(x1) > std::abs(x0) ? 1 : 0, bits[k]) << k;
  }
  // No phase jump: no step between neighbours exceeds the largest a 2760 Hz
  // sine of amplitude 32000 can make.
  const double maxStep = 2 * 32000 * std::sin(kPi * 2760 / 8000.0) + 2;
  for (int n = 800; n < 2240; ++n) {
    ASSERT_LE(std::abs(wav.At(n + 1, 0) - wav.At(n, 0)), maxStep) << n;
  }
}

TEST_F(ToolTest, TxOptionsLeadTailChannelAndHex) {
  std::string out, err;
  ASSERT_EQ(Run("tx"
                " --hex A5F --count 10 --lead-ms 0 --tail-ms 50 "
                "--channel right -o " +
                    Path("hex.wav"),
                out, err),
            0)
      << err;
  ASSERT_EQ(Run("tx"
                " --bits 10100101.11 --lead-ms 0 --tail-ms 50 --channel right -o " +
                    Path("bits.wav"),
                out, err),
            0)
      << err;
  Wav hex, bits;
  ASSERT_TRUE(ReadWav(Path("hex.wav"), hex));
  ASSERT_TRUE(ReadWav(Path("bits.wav"), bits));
  EXPECT_EQ(hex.Samples, bits.Samples);
  ASSERT_EQ(hex.Frames(), 400u + 400u);
  for (size_t n = 0; n < hex.Frames(); ++n) {
    ASSERT_EQ(hex.At(n, 0), 0);
    if (n >= 400) {
      ASSERT_EQ(hex.At(n, 1), 0);
    }
  }
  EXPECT_EQ(hex.At(0, 1), 0);  // sin 0
  EXPECT_NE(hex.At(1, 1), 0);
  // --hex without --count sends every digit: 12 bits.
  ASSERT_EQ(Run("tx --hex a5f --lead-ms 10 --tail-ms 10 -o " + Path("all.wav"), out, err), 0)
      << err;
  Wav all;
  ASSERT_TRUE(ReadWav(Path("all.wav"), all));
  EXPECT_EQ(all.Frames(), 80u + 480u + 80u);
}

TEST_F(ToolTest, TxOutputDecodesBackThroughRxAtEveryRateOnBothChannels) {
  for (const int32_t baud : testing::kOfferedRates) {
    SCOPED_TRACE(baud);
    const std::string settings = WriteSettings("rate.ini", SettingsForRate(baud));
    const std::vector<int> data = RandomBits(100, 23 + baud, 0);
    // Three bits of the steady tone first: the transmitter has no lead-in.
    const std::string sent = "111" + BitText(data);
    for (const int channel : {0, 1}) {
      std::string out, err;
      const std::string wav = Path("rt.wav");
      ASSERT_EQ(Run("tx " + settings + " --bits " + sent + " --channel " +
                        (channel ? "right" : "left") + " -o " + wav,
                    out, err),
                0)
          << err;
      ASSERT_EQ(
          Run("rx " + wav + " --settings " + settings + " --channel " + std::to_string(channel),
              out, err),
          0)
          << err;
      const auto lines = Lines(out);
      ASSERT_EQ(lines.size(), 1u) << out;
      int count = 0;
      std::string bits;
      ASSERT_TRUE(ParseLine(lines[0], count, bits)) << lines[0];
      EXPECT_EQ(count % 8, 0);
      EXPECT_GE(count, 104);
      EXPECT_EQ(bits.substr(0, 100), BitText(data));
      // The other channel is silent.
      ASSERT_EQ(
          Run("rx " + wav + " --settings " + settings + " --channel " + std::to_string(1 - channel),
              out, err),
          0)
          << err;
      EXPECT_EQ(out, "");
    }
  }
}

TEST_F(ToolTest, RxIsReArmedAfterEachTelegram) {
  const std::string settings = WriteSettings("200.ini", SettingsForRate(200));
  std::vector<int16_t> stereo;
  std::vector<std::vector<int>> sent;
  for (int i = 0; i < 3; ++i) {
    const std::vector<int> bits = RandomBits(48 + 8 * i, 300 + i, i % 2);
    sent.push_back(bits);
    FskBurst b;
    b.Bits = bits;
    b.LeadBit = 1 - bits[0];
    b.Silence = 0.05;
    b.Lead = 0.03;
    b.Tail = 0.05;
    b.Amplitude = 12000 + 3000 * i;
    const auto frames = testing::ToFrames(GenerateFsk(b, 8000), 0);
    stereo.insert(stereo.end(), frames.begin(), frames.end());
  }
  WriteWav(Path("three.wav"), 8000, 2, stereo);
  std::string out, err;
  ASSERT_EQ(Run("rx " + Path("three.wav") + " --settings " + settings, out, err), 0) << err;
  const auto lines = Lines(out);
  ASSERT_EQ(lines.size(), 3u) << out;
  for (int i = 0; i < 3; ++i) {
    int count = 0;
    std::string bits;
    ASSERT_TRUE(ParseLine(lines[i], count, bits));
    EXPECT_EQ(bits.substr(0, sent[i].size()), BitText(sent[i])) << i;
  }
}

// A telegram whose file ends right after its last bit is still closed.
TEST_F(ToolTest, RxClosesATelegramAtTheEndOfTheFile) {
  std::string out, err;
  const std::vector<int> data = RandomBits(40, 5, 0);
  ASSERT_EQ(Run("tx --bits 111" + BitText(data) + " --tail-ms 0 -o " + Path("cut.wav"), out, err),
            0);
  ASSERT_EQ(Run("rx " + Path("cut.wav"), out, err), 0) << err;
  const auto lines = Lines(out);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].substr(lines[0].find('\t') + 1, 40), BitText(data));
}

// Band-limited interpolation by an integer factor (windowed sinc, Blackman
// window): an independent way to make a higher-rate copy of a recording.
std::vector<double> Upsample(const std::vector<double>& x, int factor) {
  const int half = 32;  // input samples on each side
  std::vector<double> y(x.size() * factor);
  for (size_t m = 0; m < y.size(); ++m) {
    const double t = static_cast<double>(m) / factor;  // in input samples
    const long centre = static_cast<long>(std::floor(t));
    double sum = 0;
    for (long k = centre - half + 1; k <= centre + half; ++k) {
      if (k < 0 || k >= static_cast<long>(x.size())) continue;
      const double u = t - k;
      const double sinc = u == 0 ? 1.0 : std::sin(kPi * u) / (kPi * u);
      const double w = 0.42 + 0.5 * std::cos(kPi * u / half) + 0.08 * std::cos(2 * kPi * u / half);
      sum += x[k] * sinc * w;
    }
    y[m] = sum;
  }
  return y;
}

TEST_F(ToolTest, OtherRatesAndChannelCountsDecodeTheSameBits) {
  for (const int32_t baud : {200, 1200}) {
    SCOPED_TRACE(baud);
    const auto rate = SettingsForRate(baud);
    const std::string settings = WriteSettings("s.ini", rate);
    const std::vector<int> data = RandomBits(120, 400 + baud, 0);
    FskBurst b;
    b.Baud = baud;
    b.Freq0 = rate.Freq0;
    b.Freq1 = rate.Freq1;
    b.Bits = data;
    b.LeadBit = 1;
    b.Silence = 0.0513;
    b.Lead = 4.3 / baud;
    b.Tail = 0.1;
    b.Amplitude = 14000;
    b.Phase0 = 0.3;
    std::string out, err;
    auto decode = [&](const std::string& file, int channel) {
      EXPECT_EQ(
          Run("rx " + file + " --settings " + settings + " --channel " + std::to_string(channel),
              out, err),
          0)
          << err;
      const auto lines = Lines(out);
      return lines.size() == 1 ? lines[0] : "lines: " + std::to_string(lines.size());
    };
    // The 8000 Hz stereo original, signal on the right.
    const std::vector<double> base = GenerateFsk(b, 8000);
    WriteWav(Path("8000.wav"), 8000, 2, testing::ToFrames(base, 1));
    const std::string reference = decode(Path("8000.wav"), 1);
    int count = 0;
    std::string bits;
    ASSERT_TRUE(ParseLine(reference, count, bits)) << reference;
    ASSERT_EQ(bits.substr(0, 120), BitText(data));

    for (const int fs : {44100, 48000}) {
      SCOPED_TRACE(fs);
      // Generated directly at that rate (exact fractional bit times).
      const std::vector<double> high = GenerateFsk(b, fs);
      std::vector<int16_t> mono(high.size());
      for (size_t n = 0; n < high.size(); ++n) mono[n] = testing::ToPcm(high[n]);
      WriteWav(Path("mono.wav"), fs, 1, mono);
      WriteWav(Path("stereo.wav"), fs, 2, testing::ToFrames(high, 1));
      for (const int channel : {0, 1}) {
        const std::string line = decode(Path("mono.wav"), channel);  // mono feeds the chosen side
        ASSERT_TRUE(ParseLine(line, count, bits)) << line;
        EXPECT_EQ(bits.substr(0, 120), BitText(data));
      }
      const std::string line = decode(Path("stereo.wav"), 1);
      ASSERT_TRUE(ParseLine(line, count, bits)) << line;
      EXPECT_EQ(bits.substr(0, 120), BitText(data));
      EXPECT_EQ(decode(Path("stereo.wav"), 0), "lines: 0");
    }
    // The 8000 Hz original interpolated to 48000 Hz in the test.
    const std::vector<double> up = Upsample(base, 6);
    std::vector<int16_t> mono(up.size());
    for (size_t n = 0; n < up.size(); ++n) mono[n] = testing::ToPcm(up[n]);
    WriteWav(Path("up.wav"), 48000, 1, mono);
    const std::string line = decode(Path("up.wav"), 0);
    ASSERT_TRUE(ParseLine(line, count, bits)) << line;
    EXPECT_EQ(bits.substr(0, 120), BitText(data));
  }
}

TEST_F(ToolTest, RxRejectsUnreadableInputWithExitTwoAndOneLine) {
  std::ofstream(Path("text.wav")) << "this is not a sound file\n";
  // A WAV cut inside its header.
  std::vector<int16_t> samples(4000, 1000);
  WriteWav(Path("full.wav"), 8000, 2, samples);
  std::ifstream full(Path("full.wav"), std::ios::binary);
  std::string head(30, '\0');
  full.read(head.data(), 30);
  std::ofstream(Path("cut.wav"), std::ios::binary) << head;
  // A WAV whose data chunk ends early (the header promises 8000 bytes).
  std::ifstream again(Path("full.wav"), std::ios::binary);
  std::string most(3000, '\0');
  again.read(most.data(), 3000);
  std::ofstream(Path("short.wav"), std::ios::binary) << most;
  std::ofstream(Path("empty.wav"), std::ios::binary).flush();
  for (const std::string name : {"text.wav", "cut.wav", "short.wav", "empty.wav", "missing.wav"}) {
    SCOPED_TRACE(name);
    std::string out, err;
    EXPECT_EQ(Run("rx " + Path(name), out, err), 2);
    EXPECT_EQ(out, "");
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  }
}

TEST_F(ToolTest, BadUsageExitsTwo) {
  std::string out, err;
  const std::string ini = WriteSettings("ok.ini", SettingsForRate(200));
  EXPECT_EQ(Run("tx " + ini + " -o " + Path("a.wav"), out, err), 2);  // no bits
  EXPECT_EQ(Run("tx " + ini + " --bits 0120 -o " + Path("a.wav"), out, err), 2);
  EXPECT_EQ(Run("tx " + ini + " --hex 0G -o " + Path("a.wav"), out, err), 2);
  EXPECT_EQ(Run("tx " + ini + " --hex 0F --count 9 -o " + Path("a.wav"), out, err), 2);
  EXPECT_EQ(Run("tx " + ini + " --bits 01 --hex 0F -o " + Path("a.wav"), out, err), 2);
  EXPECT_EQ(Run("tx " + ini + " --bits 01 --channel middle -o " + Path("a.wav"), out, err), 2);
  EXPECT_EQ(Run("tx " + ini + " --bits 01 -o " + Path("no/such/dir/a.wav"), out, err), 2);
  EXPECT_FALSE(fs::exists(Path("a.wav")));
  ASSERT_EQ(Run("tx " + ini + " --bits 0101 -o " + Path("b.wav"), out, err), 0);
  EXPECT_EQ(Run("rx " + Path("b.wav") + " --channel 2", out, err), 2);
  EXPECT_EQ(Run("rx", out, err), 2);
}

// Values only a hand-edited file holds are brought into range when the file
// is read (a zero or negative rate gives 200 baud, equal tones the default
// pair, an impossible filter the nearest one), alike for tx and rx: what tx
// sends with such a file, rx reads back with it; over noise rx prints only
// well-formed telegrams.
TEST_F(ToolTest, HandEditedSettingsAreBroughtIntoRangeAlikeForTxAndRx) {
  const std::vector<std::string> files = {"[GENERAL]\nBaudrate=0\n", "[GENERAL]\nBaudrate=-100\n",
                                          "[GENERAL]\nFreq0=5000\nFreq1=6000\n",
                                          "[FILTERS]\nBand_Kind=7\nSmoothing_Order=0\n",
                                          "[GENERAL]\nBaudrate=garbage\n[FILTERS]\nBand_Order=x\n"};
  std::vector<int16_t> noise(2 * 20000);
  std::mt19937 rng(3);
  std::normal_distribution<double> g(0, 3000);
  for (auto& v : noise) v = testing::ToPcm(g(rng));
  WriteWav(Path("noise.wav"), 8000, 2, noise);
  const std::vector<int> data = RandomBits(40, 11, 0);
  for (const auto& text : files) {
    SCOPED_TRACE(text);
    const std::string ini = Path("bad.ini");
    std::ofstream(ini) << text;
    std::string out, err;
    ASSERT_EQ(Run("tx " + ini + " --bits 111" + BitText(data) + " -o " + Path("bad.wav"), out, err),
              0)
        << err;
    ASSERT_EQ(Run("rx " + Path("bad.wav") + " --settings " + ini, out, err), 0) << err;
    const auto lines = Lines(out);
    ASSERT_EQ(lines.size(), 1u) << out;
    int count = 0;
    std::string bits;
    ASSERT_TRUE(ParseLine(lines[0], count, bits)) << lines[0];
    EXPECT_EQ(bits.substr(0, data.size()), BitText(data));
    // 40 bits at 200 baud: the tone lasts 43 × 40 samples (three lead bits).
    Wav wav;
    ASSERT_TRUE(ReadWav(Path("bad.wav"), wav));
    size_t toneFrames = 0;
    for (size_t f = 0; f < wav.Frames(); ++f) toneFrames += wav.At(f, 0) != 0;
    EXPECT_NEAR(static_cast<double>(toneFrames), 43 * 40, 43);

    ASSERT_EQ(Run("rx " + Path("noise.wav") + " --settings " + ini, out, err), 0) << err;
    for (const auto& line : Lines(out)) {
      EXPECT_TRUE(ParseLine(line, count, bits)) << line;
      EXPECT_EQ(count % 8, 0) << line;
    }
  }
  // Equal tones within 1..3999 Hz are kept as written: one tone carries no
  // bits, and the receiver, guarding itself, reports no telegram.
  const std::string ini = Path("equal.ini");
  std::ofstream(ini) << "[GENERAL]\nFreq0=2600\nFreq1=2600\n";
  std::string out, err;
  ASSERT_EQ(Run("tx " + ini + " --bits 111" + BitText(data) + " -o " + Path("equal.wav"), out, err),
            0)
      << err;
  ASSERT_EQ(Run("rx " + Path("equal.wav") + " --settings " + ini, out, err), 0) << err;
  EXPECT_EQ(out, "");
}

}  // namespace
}  // namespace sorvex
