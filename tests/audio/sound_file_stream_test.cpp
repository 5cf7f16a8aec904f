#include "audio/sound_file_stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "audio_test_util.h"

namespace sorvex {
namespace {

using namespace sorvex::test;

class SoundFileStreamTest : public ::testing::Test {
 protected:
  void SetUp() override { dir = MakeScratchDir("sorvex_filestream"); }
  void TearDown() override { fs::remove_all(dir); }
  std::string Path(const std::string& name) const { return (dir / name).string(); }

  // A stereo 8000 Hz recording of `frames` frames with numbered samples.
  std::vector<int16_t> Recording(const std::string& name, int64_t frames) {
    std::vector<int16_t> samples(static_cast<size_t>(frames) * 2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i % 20011 + 1);
    PutFile(Path(name), WavBytes16(8000, 2, samples));
    return samples;
  }

  static std::vector<int16_t> ReadWav(const std::string& path) {
    TSoundFileReader reader;
    std::string error;
    EXPECT_TRUE(reader.Open(path, 0, error)) << error;
    std::vector<int16_t> all, block(2048);
    int n;
    while ((n = reader.ReadBlock(block.data(), 1024)) > 0) {
      all.insert(all.end(), block.begin(), block.begin() + 2 * n);
    }
    return all;
  }

  fs::path dir;
};

TEST_F(SoundFileStreamTest, FastPlaysEveryBlockPadsTheLastAndReportsTheEnd) {
  const auto samples = Recording("in.wav", 2 * 1024 + 300);
  std::atomic<int> ends{0};
  std::atomic<bool> endOk{false};
  TSoundFileStream::Options options;
  options.InputPath = Path("in.wav");
  options.OnEnd = [&](bool ok) {
    endOk = ok;
    ++ends;
  };
  TSoundFileStream stream(options);
  std::vector<int16_t> seen;
  std::thread::id blockThread;
  ASSERT_TRUE(stream.Start([&](const int16_t* in, int16_t*, int frames) {
    EXPECT_EQ(frames, 1024);
    blockThread = std::this_thread::get_id();
    seen.insert(seen.end(), in, in + 2 * frames);
  })) << stream.Error();
  EXPECT_TRUE(stream.Running());
  ASSERT_TRUE(stream.WaitForEnd(20000));
  EXPECT_TRUE(stream.Ended());
  EXPECT_EQ(stream.BlocksProcessed(), 3);
  EXPECT_EQ(ends.load(), 1);
  EXPECT_TRUE(endOk);
  EXPECT_TRUE(stream.Running()) << "a clean end is not a failure";
  EXPECT_NE(blockThread, std::this_thread::get_id());
  ASSERT_EQ(seen.size(), 3u * 2048);
  for (size_t i = 0; i < seen.size(); ++i) {
    ASSERT_EQ(seen[i], i < samples.size() ? samples[i] : 0) << i;
  }
  stream.Stop();
  EXPECT_FALSE(stream.Running());
  EXPECT_EQ(ends.load(), 1);
}

TEST_F(SoundFileStreamTest, WritesBothOutputChannelsAtTheEnd) {
  Recording("in.wav", 4 * 1024);
  TSoundFileStream::Options options;
  options.InputPath = Path("in.wav");
  options.OutputPath = Path("out.wav");
  std::atomic<bool> fileThereAtEnd{false};
  options.OnEnd = [&](bool) { fileThereAtEnd = fs::exists(Path("out.wav")); };
  TSoundFileStream stream(options);
  int block = 0;
  ASSERT_TRUE(stream.Start([&](const int16_t* in, int16_t* out, int frames) {
    for (int k = 0; k < frames; ++k) {
      out[2 * k] = static_cast<int16_t>(block * 1000 + k % 1000);  // left: block and frame
      out[2 * k + 1] = static_cast<int16_t>(-in[2 * k]);           // right: from the input
    }
    ++block;
  }));
  ASSERT_TRUE(stream.WaitForEnd(20000));
  EXPECT_TRUE(fileThereAtEnd) << "written before the end is reported";
  EXPECT_EQ(stream.Error(), "");
  const auto out = ReadWav(Path("out.wav"));
  const auto in = ReadWav(Path("in.wav"));
  ASSERT_EQ(out.size(), 4u * 2048);
  for (int k = 0; k < 4 * 1024; ++k) {
    ASSERT_EQ(out[2 * k], static_cast<int16_t>((k / 1024) * 1000 + (k % 1024) % 1000)) << k;
    ASSERT_EQ(out[2 * k + 1], static_cast<int16_t>(-in[2 * k])) << k;
  }
}

TEST_F(SoundFileStreamTest, StopBeforeTheEndWritesWhatWasPlayed) {
  Recording("in.wav", 50 * 1024);
  TSoundFileStream::Options options;
  options.InputPath = Path("in.wav");
  options.OutputPath = Path("out.wav");
  options.RealTime = true;
  bool called = false;
  options.OnEnd = [&](bool) { called = true; };
  TSoundFileStream stream(options);
  ASSERT_TRUE(stream.Start([](const int16_t*, int16_t* out, int frames) {
    for (int i = 0; i < 2 * frames; ++i) out[i] = 77;
  }));
  while (stream.BlocksProcessed() < 1) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  stream.Stop();
  EXPECT_TRUE(stream.Ended());
  EXPECT_FALSE(called) << "OnEnd reports the end of the recording, not a Stop";
  const int64_t blocks = stream.BlocksProcessed();
  EXPECT_GE(blocks, 1);
  EXPECT_LT(blocks, 50);
  const auto out = ReadWav(Path("out.wav"));
  ASSERT_EQ(out.size(), static_cast<size_t>(blocks) * 2048);
  for (int16_t s : out) ASSERT_EQ(s, 77);
}

// Paced: block k runs (k + 1) × 128 ms after Start, so at any moment no more
// blocks have run than 128 ms periods have passed. Only that bound is
// asserted (a busy machine may run later, never earlier), plus that the
// whole recording is eventually played in order.
TEST_F(SoundFileStreamTest, RealTimeIsNeverFasterThanOneBlockPer128Ms) {
  Recording("in.wav", 6 * 1024);
  TSoundFileStream::Options options;
  options.InputPath = Path("in.wav");
  options.RealTime = true;
  TSoundFileStream stream(options);
  std::vector<int64_t> atBlock;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(stream.Start([&](const int16_t*, int16_t*, int) {
    atBlock.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(
                          std::chrono::steady_clock::now() - start)
                          .count());
  }));
  for (int i = 0; i < 20 && !stream.Ended(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const auto before = stream.BlocksProcessed();
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LE(before, elapsed / std::chrono::milliseconds(128)) << "ahead of real time";
  }
  ASSERT_TRUE(stream.WaitForEnd(30000));
  EXPECT_EQ(stream.BlocksProcessed(), 6);
  ASSERT_EQ(atBlock.size(), 6u);
  for (size_t k = 0; k < atBlock.size(); ++k) {
    EXPECT_GE(atBlock[k], static_cast<int64_t>(k + 1) * 128 - 1) << "block " << k;
  }
}

TEST_F(SoundFileStreamTest, FastIsFasterThanRealTime) {
  Recording("in.wav", 200 * 1024);  // 25.6 s of sound
  TSoundFileStream::Options options;
  options.InputPath = Path("in.wav");
  TSoundFileStream stream(options);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(stream.Start([](const int16_t*, int16_t*, int) {}));
  ASSERT_TRUE(stream.WaitForEnd(25000));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(25600));
  EXPECT_EQ(stream.BlocksProcessed(), 200);
}

TEST_F(SoundFileStreamTest, ResampledRecordingPlays) {
  PutFile(Path("in.wav"), WavBytes16(44100, 1, Tones(44100, 1, 44100, {1000.0}, {12000.0})));
  TSoundFileStream::Options options;
  options.InputPath = Path("in.wav");
  options.MonoChannel = 1;
  TSoundFileStream stream(options);
  std::vector<int16_t> seen;
  ASSERT_TRUE(stream.Start([&](const int16_t* in, int16_t*, int frames) {
    seen.insert(seen.end(), in, in + 2 * frames);
  }));
  ASSERT_TRUE(stream.WaitForEnd(20000));
  EXPECT_EQ(stream.BlocksProcessed(), 8) << "8000 frames in 1024-frame blocks";
  EXPECT_EQ(stream.Info().SampleRate, 44100);
  const ToneFit fit = FitTone(seen, 1, 1000.0, 400, 7600);
  EXPECT_NEAR(fit.Amplitude, 12000.0, 60.0);
  for (size_t k = 0; k < seen.size() / 2; ++k) ASSERT_EQ(seen[2 * k], 0);
}

TEST_F(SoundFileStreamTest, UnreadableRecordingDoesNotStart) {
  PutFile(Path("bad.wav"), "not a sound file at all");
  TSoundFileStream::Options options;
  options.InputPath = Path("bad.wav");
  TSoundFileStream stream(options);
  bool called = false;
  EXPECT_FALSE(stream.Start([&](const int16_t*, int16_t*, int) { called = true; }));
  EXPECT_FALSE(stream.Running());
  EXPECT_EQ(stream.Error().rfind("cannot read '" + Path("bad.wav") + "': ", 0), 0u)
      << stream.Error();
  EXPECT_FALSE(called);
}

TEST_F(SoundFileStreamTest, FailedOutputWriteIsReported) {
  Recording("in.wav", 1024);
  TSoundFileStream::Options options;
  options.InputPath = Path("in.wav");
  options.OutputPath = Path("missing/dir/out.wav");
  std::atomic<int> result{-1};
  options.OnEnd = [&](bool ok) { result = ok ? 1 : 0; };
  TSoundFileStream stream(options);
  ASSERT_TRUE(stream.Start([](const int16_t*, int16_t*, int) {}));
  ASSERT_TRUE(stream.WaitForEnd(20000));
  EXPECT_EQ(result.load(), 0);
  EXPECT_NE(stream.Error().find("cannot write"), std::string::npos) << stream.Error();
  EXPECT_FALSE(stream.Running());
}

TEST_F(SoundFileStreamTest, StopFromTheEndCallback) {
  Recording("in.wav", 2048);
  TSoundFileStream::Options options;
  options.InputPath = Path("in.wav");
  TSoundFileStream* self = nullptr;
  options.OnEnd = [&](bool) { self->Stop(); };
  TSoundFileStream stream(options);
  self = &stream;
  ASSERT_TRUE(stream.Start([](const int16_t*, int16_t*, int) {}));
  ASSERT_TRUE(stream.WaitForEnd(20000));
  stream.Stop();
  EXPECT_FALSE(stream.Running());
  EXPECT_EQ(stream.BlocksProcessed(), 2);
}

}  // namespace
}  // namespace sorvex
