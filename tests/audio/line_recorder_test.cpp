#include "audio/line_recorder.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <thread>

#include "audio/sound_file.h"
#include "audio_test_util.h"
#include "modem/modem_device.h"
#include "sim/loopback_stream.h"

namespace sorvex {
namespace {

using namespace sorvex::test;

// Frame i of a recognisable line: a loud left side (the cross-talk gate
// would silence the right) and a right side that is never 0.
int16_t Left(int64_t i) {
  return static_cast<int16_t>(3000 + (i * 7919) % 20000);
}
int16_t Right(int64_t i) {
  return static_cast<int16_t>(1 + (i * 104729) % 30000);
}
std::vector<int16_t> LineFrames(int64_t first, int count) {
  std::vector<int16_t> frames(2 * static_cast<size_t>(count));
  for (int k = 0; k < count; ++k) {
    frames[2 * k] = Left(first + k);
    frames[2 * k + 1] = Right(first + k);
  }
  return frames;
}

// Every frame of the file, read as replay reads it; fails the test on a
// warning or an error.
std::vector<int16_t> ReadAll(const std::string& path) {
  TSoundFileReader reader;
  std::string error;
  EXPECT_TRUE(reader.Open(path, 0, error)) << error;
  EXPECT_EQ(reader.Warning(), "");
  std::vector<int16_t> all, block(2048);
  for (int n; (n = reader.ReadBlock(block.data(), 1024)) > 0;)
    all.insert(all.end(), block.begin(), block.begin() + 2 * n);
  return all;
}

// The frames must be the line from its first frame on.
void ExpectPrefixOfLine(const std::vector<int16_t>& frames) {
  const int n = static_cast<int>(frames.size() / 2);
  for (int i = 0; i < n; ++i) {
    if (frames[2 * i] != Left(i) || frames[2 * i + 1] != Right(i)) {
      ADD_FAILURE() << "frame " << i << " of " << n << " is not the line's";
      return;
    }
  }
}

TEST(LineRecorder, RecordsTheInputAsDeliveredWhileTheDeviceKeepsTheLastHalfSecond) {
  const fs::path dir = MakeScratchDir("line_recorder");
  auto stream = std::make_unique<TLoopbackStream>();
  TLoopbackStream* loop = stream.get();
  TModemDevice device("", std::move(stream));
  std::string error;
  auto recorder = TLineRecorder::Create((dir / "line.wav").string(), {}, error);
  ASSERT_TRUE(recorder) << error;
  device.SetInputTap(recorder.get());

  const std::vector<int16_t> line = LineFrames(0, 20 * 1024);
  std::vector<int16_t> recent(2 * TModemDevice::kRecentFrames);
  loop->QueueInput(line.data(), 3 * 1024);
  ASSERT_EQ(loop->Pump(3), 3);
  // Less than half a second so far: all of it.
  ASSERT_EQ(device.CopyRecentInput(recent.data(), TModemDevice::kRecentFrames), 3 * 1024);
  EXPECT_TRUE(std::equal(recent.begin(), recent.begin() + 6 * 1024, line.begin()));
  loop->QueueInput(line.data() + 6 * 1024, 17 * 1024);
  ASSERT_EQ(loop->Pump(17), 17);
  ASSERT_EQ(device.CopyRecentInput(recent.data(), TModemDevice::kRecentFrames),
            TModemDevice::kRecentFrames);
  EXPECT_TRUE(std::equal(recent.begin(), recent.end(), line.end() - recent.size()));

  device.SetInputTap(nullptr);
  EXPECT_TRUE(recorder->Finish()) << recorder->Error();
  EXPECT_EQ(recorder->FramesWritten(), 20 * 1024);
  // Before the gate, bit for bit, and not a byte more than a plain WAV.
  EXPECT_EQ(ReadAll((dir / "line.wav").string()), line);
  EXPECT_EQ(fs::file_size(dir / "line.wav"), 44u + 4u * 20 * 1024);
  // A recording of nothing leaves no file behind.
  auto idle = TLineRecorder::Create((dir / "idle.wav").string(), {}, error);
  ASSERT_TRUE(idle) << error;
  EXPECT_TRUE(idle->Finish());
  EXPECT_FALSE(fs::exists(dir / "idle.wav"));
  // A device named by mistake is refused, not written over.
  EXPECT_FALSE(TLineRecorder::Create("/dev/null", {}, error));
  EXPECT_EQ(error, "not a regular file");
}

// The file must read whole, with no warning, whenever the recording dies:
// a child records as fast as it can, committing every millisecond, and is
// killed at random moments.
TEST(LineRecorder, AFileKilledAtAnyMomentReadsWithoutAWarning) {
  const fs::path dir = MakeScratchDir("line_recorder");
  std::mt19937 random(7);
  int64_t longest = 0;
  for (int run = 0; run < 12; ++run) {
    const std::string path = (dir / ("killed" + std::to_string(run) + ".wav")).string();
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      TLineRecorder::Options options;
      options.CommitIntervalMs = 1;
      std::string error;
      auto recorder = TLineRecorder::Create(path, options, error);
      if (!recorder) _exit(3);
      for (int64_t at = 0;; at += 1024) {
        const std::vector<int16_t> block = LineFrames(at, 1024);
        recorder->InputBlock(block.data(), 1024);
        std::this_thread::sleep_for(std::chrono::microseconds(300));
      }
    }
    ASSERT_GT(child, 0);
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::uniform_int_distribution(20, 150)(random)));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the child could not record";
    // Killed before its header was written: no file at all, never an empty one.
    if (!fs::exists(path)) continue;
    const std::vector<int16_t> frames = ReadAll(path);
    ExpectPrefixOfLine(frames);
    longest = std::max<int64_t>(longest, static_cast<int64_t>(frames.size() / 2));
  }
  EXPECT_GT(longest, 0) << "no run got as far as a commit";
}

// A writer that cannot keep up (here: a queue of two blocks, emptied every
// 20 ms, against blocks pumped back to back) stops the recording with what
// it took; the device processes every block all the same.
TEST(LineRecorder, ADiskThatDoesNotKeepUpStopsTheRecordingNotTheAnalysis) {
  const fs::path dir = MakeScratchDir("line_recorder");
  auto stream = std::make_unique<TLoopbackStream>();
  TLoopbackStream* loop = stream.get();
  TModemDevice device("", std::move(stream));
  TLineRecorder::Options options;
  options.QueueBlocks = 2;
  std::string error;
  auto recorder = TLineRecorder::Create((dir / "slow.wav").string(), options, error);
  ASSERT_TRUE(recorder) << error;
  device.SetInputTap(recorder.get());
  const std::vector<int16_t> line = LineFrames(0, 64 * 1024);
  loop->QueueInput(line.data(), 64 * 1024);
  ASSERT_EQ(loop->Pump(64), 64);
  EXPECT_EQ(device.BlocksProcessed(), 64);

  device.SetInputTap(nullptr);
  EXPECT_FALSE(recorder->Finish());
  EXPECT_EQ(recorder->Failure(), TLineRecorder::TFailure::TooSlow);
  EXPECT_LT(recorder->FramesWritten(), 64 * 1024);
  const std::vector<int16_t> frames = ReadAll((dir / "slow.wav").string());
  EXPECT_EQ(static_cast<int64_t>(frames.size() / 2), recorder->FramesWritten());
  ExpectPrefixOfLine(frames);
}

}  // namespace
}  // namespace sorvex
