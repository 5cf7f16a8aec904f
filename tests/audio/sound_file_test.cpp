#include "audio/sound_file.h"

#include <gtest/gtest.h>

#include <random>

#include "audio_test_util.h"

namespace sorvex {
namespace {

using namespace sorvex::test;

class SoundFileTest : public ::testing::Test {
 protected:
  void SetUp() override { dir = MakeScratchDir("sorvex_sound"); }
  void TearDown() override { fs::remove_all(dir); }

  std::string Path(const std::string& name) const { return (dir / name).string(); }

  // Every frame of the file, read in 1024-frame blocks; checks that only the
  // last block is short.
  static std::vector<int16_t> ReadAll(TSoundFileReader& reader) {
    std::vector<int16_t> all;
    std::vector<int16_t> block(1024 * 2);
    bool shortSeen = false;
    for (;;) {
      const int n = reader.ReadBlock(block.data(), 1024);
      EXPECT_GE(n, 0) << reader.LastError();
      if (n <= 0) break;
      EXPECT_FALSE(shortSeen) << "a short block before the end";
      if (n < 1024) shortSeen = true;
      all.insert(all.end(), block.begin(), block.begin() + 2 * n);
    }
    return all;
  }

  fs::path dir;
};

TEST_F(SoundFileTest, StereoAt8000PassesThroughBitExactly) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> any(-32768, 32767);
  std::vector<int16_t> samples(2 * 5000);
  for (auto& s : samples) s = static_cast<int16_t>(any(rng));
  samples[0] = -32768;
  samples[1] = 32767;
  PutFile(Path("a.wav"), WavBytes16(8000, 2, samples));

  TSoundFileReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(Path("a.wav"), 0, error)) << error;
  EXPECT_EQ(reader.Info().SampleRate, 8000);
  EXPECT_EQ(reader.Info().Channels, 2);
  EXPECT_EQ(reader.Info().Frames, 5000);
  EXPECT_EQ(ReadAll(reader), samples);
  std::vector<int16_t> block(2048);
  EXPECT_EQ(reader.ReadBlock(block.data(), 1024), 0) << "end stays the end";
}

TEST_F(SoundFileTest, BlocksAre1024FramesAndTheLastIsShort) {
  PutFile(Path("a.wav"), WavBytes16(8000, 2, std::vector<int16_t>(2 * 2500, 5)));
  TSoundFileReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(Path("a.wav"), 0, error)) << error;
  std::vector<int16_t> block(2048);
  EXPECT_EQ(reader.ReadBlock(block.data(), 1024), 1024);
  EXPECT_EQ(reader.ReadBlock(block.data(), 1024), 1024);
  EXPECT_EQ(reader.ReadBlock(block.data(), 1024), 452);
  EXPECT_EQ(reader.ReadBlock(block.data(), 1024), 0);
}

TEST_F(SoundFileTest, MonoAt8000FeedsTheChosenSideOnly) {
  std::vector<int16_t> mono;
  for (int i = 0; i < 3000; ++i) mono.push_back(static_cast<int16_t>(i * 7 - 10000));
  PutFile(Path("m.wav"), WavBytes16(8000, 1, mono));
  for (int side = 0; side < 2; ++side) {
    TSoundFileReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(Path("m.wav"), side, error)) << error;
    EXPECT_EQ(reader.Info().Channels, 1);
    const auto all = ReadAll(reader);
    ASSERT_EQ(all.size(), 2 * mono.size());
    for (size_t i = 0; i < mono.size(); ++i) {
      ASSERT_EQ(all[2 * i + side], mono[i]) << i;
      ASSERT_EQ(all[2 * i + 1 - side], 0) << i;
    }
  }
}

TEST_F(SoundFileTest, OfMoreThanTwoChannelsTheFirstTwoAreUsed) {
  std::vector<int16_t> four;
  for (int i = 0; i < 1500; ++i) {
    for (int c = 0; c < 4; ++c) four.push_back(static_cast<int16_t>(1000 * c + i));
  }
  PutFile(Path("q.wav"), WavBytes16(8000, 4, four));
  TSoundFileReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(Path("q.wav"), 0, error)) << error;
  const auto all = ReadAll(reader);
  ASSERT_EQ(all.size(), 2u * 1500);
  for (int i = 0; i < 1500; ++i) {
    ASSERT_EQ(all[2 * i], i);
    ASSERT_EQ(all[2 * i + 1], 1000 + i);
  }
}

TEST_F(SoundFileTest, FloatSamplesAreRoundedAndClipped) {
  const std::vector<float> in = {
      0.5f, -0.5f, 1.5f, -2.0f, 1.0f, -1.0f, 1.4f / 32768.0f, -1.6f / 32768.0f, 0.0f, 0.25f};
  PutFile(Path("f.wav"), WavBytesFloat(8000, 2, in));
  TSoundFileReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(Path("f.wav"), 0, error)) << error;
  const std::vector<int16_t> expected = {16384,  -16384, 32767, -32768, 32767,
                                         -32768, 1,      -2,    0,      8192};
  EXPECT_EQ(ReadAll(reader), expected);
}

struct RateCase {
  int Rate;
  int Channels;
};

class SoundFileRateTest : public SoundFileTest, public ::testing::WithParamInterface<RateCase> {};

// A tone of 1 s at the file's rate comes out as 8000 frames of the same tone:
// frequency from zero crossings and a least-squares fit, amplitude within
// 0.5 %, and nothing else left beyond the fit's small residual.
TEST_P(SoundFileRateTest, ToneKeepsItsFrequencyAndAmplitude) {
  const RateCase c = GetParam();
  const int64_t frames = c.Rate;  // 1 s
  const std::vector<double> freqs = {1000.0, 1700.0};
  const std::vector<double> amps = {16000.0, 8000.0};
  PutFile(Path("t.wav"),
          WavBytes16(c.Rate, c.Channels, Tones(c.Rate, c.Channels, frames, freqs, amps)));

  for (int side = 0; side < (c.Channels == 1 ? 2 : 1); ++side) {
    TSoundFileReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(Path("t.wav"), side, error)) << error;
    EXPECT_EQ(reader.Info().SampleRate, c.Rate);
    EXPECT_EQ(reader.Info().Channels, c.Channels);
    const auto all = ReadAll(reader);
    const size_t n = all.size() / 2;
    EXPECT_NEAR(static_cast<double>(n), 8000.0, 2.0);
    // Skip the converter's edges.
    const size_t from = 400, to = n - 400;
    for (int ch = 0; ch < 2; ++ch) {
      const int source = c.Channels == 1 ? (ch == side ? 0 : -1) : ch;
      if (source < 0) {
        for (size_t i = from; i < to; ++i) ASSERT_EQ(all[2 * i + ch], 0);
        continue;
      }
      const ToneFit fit = FitTone(all, ch, freqs[source], from, to);
      EXPECT_NEAR(fit.Amplitude, amps[source], amps[source] * 0.005) << "channel " << ch;
      EXPECT_LT(fit.Residual, 2.0) << "channel " << ch;
      EXPECT_NEAR(ZeroCrossingFrequency(all, ch, from, to), freqs[source], 1.0);
    }
  }
}

// The line band passes the converter flat: a tone anywhere from 100 Hz to
// 3.4 kHz keeps its amplitude within ±0.1 dB, and comes out a clean sine.
TEST_P(SoundFileRateTest, PassbandIsFlatToThreePointFourKilohertz) {
  const RateCase c = GetParam();
  if (c.Rate == 8000) GTEST_SKIP() << "no conversion at 8000 Hz (bit-exact, tested above)";
  for (const double freq : {100.0, 300.0, 1000.0, 1700.0, 2540.0, 3000.0, 3300.0, 3400.0}) {
    SCOPED_TRACE(freq);
    const int64_t frames = c.Rate / 2;
    PutFile(Path("p.wav"),
            WavBytes16(c.Rate, c.Channels,
                       Tones(c.Rate, c.Channels, frames, {freq, freq}, {20000.0, 20000.0})));
    TSoundFileReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(Path("p.wav"), 0, error)) << error;
    const auto all = ReadAll(reader);
    const size_t n = all.size() / 2;
    ASSERT_GT(n, 3000u);
    const ToneFit fit = FitTone(all, 0, freq, 500, n - 500);
    EXPECT_NEAR(20 * std::log10(fit.Amplitude / 20000.0), 0.0, 0.1);
    EXPECT_LT(fit.Residual, 2.0);
  }
}

INSTANTIATE_TEST_SUITE_P(Rates, SoundFileRateTest,
                         ::testing::Values(RateCase{8000, 1}, RateCase{8000, 2}, RateCase{44100, 1},
                                           RateCase{44100, 2}, RateCase{48000, 1},
                                           RateCase{48000, 2}),
                         [](const auto& info) {
                           return std::to_string(info.param.Rate) + "Hz_" +
                                  (info.param.Channels == 1 ? "mono" : "stereo");
                         });

// Every unreadable file: Open fails with one line naming the file.
TEST_F(SoundFileTest, UnreadableFilesGiveAOneLineError) {
  const std::string good = WavBytes16(8000, 2, Tones(8000, 2, 4000, {1000, 1000}, {9000, 9000}));
  PutFile(Path("text.wav"), std::string(400, 'x') + "\nthis is not a sound file\n");
  PutFile(Path("empty.wav"), "");
  PutFile(Path("header.wav"), good.substr(0, 30));
  PutFile(Path("data.wav"), good.substr(0, 44 + 6000));
  PutFile(Path("odd.wav"), good.substr(0, 44 + 6001));
  fs::create_directories(dir / "folder.wav");
  for (const std::string name : {"missing.wav", "text.wav", "empty.wav", "header.wav", "data.wav",
                                 "odd.wav", "folder.wav"}) {
    TSoundFileReader reader;
    std::string error;
    EXPECT_FALSE(reader.Open(Path(name), 0, error)) << name;
    const std::string prefix = "cannot read '" + Path(name) + "': ";
    EXPECT_EQ(error.rfind(prefix, 0), 0u) << error;
    EXPECT_GT(error.size(), prefix.size()) << "a reason follows";
    EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    EXPECT_EQ(reader.LastError(), error);
    std::vector<int16_t> block(2048);
    EXPECT_EQ(reader.ReadBlock(block.data(), 1024), -1) << name;
  }
}

TEST_F(SoundFileTest, WriteStereoWavRoundTrips) {
  std::vector<int16_t> frames;
  for (int i = 0; i < 3000; ++i) {
    frames.push_back(static_cast<int16_t>(i * 11));
    frames.push_back(static_cast<int16_t>(-i * 9));
  }
  std::string error;
  ASSERT_TRUE(WriteStereoWav(Path("out.wav"), frames.data(), 3000, error)) << error;
  EXPECT_TRUE(error.empty());
  const std::string bytes = GetFile(Path("out.wav"));
  ASSERT_EQ(bytes.size(), 44u + 3000 * 4) << "canonical PCM WAV";
  EXPECT_EQ(bytes.substr(0, 4), "RIFF");
  EXPECT_EQ(bytes.substr(8, 4), "WAVE");
  TSoundFileReader reader;
  ASSERT_TRUE(reader.Open(Path("out.wav"), 0, error)) << error;
  EXPECT_EQ(reader.Info().SampleRate, 8000);
  EXPECT_EQ(reader.Info().Channels, 2);
  EXPECT_EQ(ReadAll(reader), frames);
  // Only the target is left: the temporary file was renamed into place.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
}

TEST_F(SoundFileTest, WriteStereoWavReplacesAnOldFile) {
  PutFile(Path("out.wav"), "old contents");
  std::vector<int16_t> frames(2 * 10, 3);
  std::string error;
  ASSERT_TRUE(WriteStereoWav(Path("out.wav"), frames.data(), 10, error)) << error;
  EXPECT_EQ(GetFile(Path("out.wav")).size(), 44u + 40);
}

TEST_F(SoundFileTest, WriteStereoWavFailureLeavesNoFile) {
  std::vector<int16_t> frames(2 * 100, 1);
  std::string error;
  EXPECT_FALSE(WriteStereoWav(Path("no/such/dir/out.wav"), frames.data(), 100, error));
  EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
  EXPECT_EQ(error.find('\n'), std::string::npos);
  // The target is a directory: the temporary file is written, the rename
  // fails, and the temporary file is removed again.
  fs::create_directories(dir / "target.wav");
  error.clear();
  EXPECT_FALSE(WriteStereoWav(Path("target.wav"), frames.data(), 100, error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1)
      << "only the directory itself";
  EXPECT_FALSE(WriteStereoWav(Path("x.wav"), nullptr, 5, error));
  EXPECT_FALSE(fs::exists(dir / "x.wav"));
}

// A WAV without frames is a well-formed file but no recording: refused.
TEST_F(SoundFileTest, EmptyWavIsWrittenButNotTakenAsARecording) {
  std::string error;
  ASSERT_TRUE(WriteStereoWav(Path("e.wav"), nullptr, 0, error)) << error;
  TSoundFileReader reader;
  EXPECT_FALSE(reader.Open(Path("e.wav"), 0, error));
  EXPECT_EQ(error,
            "cannot read '" + Path("e.wav") + "': its data chunk is empty: it holds no sound");
  std::vector<int16_t> block(2048);
  EXPECT_EQ(reader.ReadBlock(block.data(), 1024), -1);
}

}  // namespace
}  // namespace sorvex
