#include "sim/loopback_stream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace sorvex {
namespace {

constexpr int kBlockSamples = kAudioBlockFrames * kAudioChannels;

// Frames whose every sample tells its block and position.
std::vector<int16_t> NumberedFrames(int blocks) {
  std::vector<int16_t> frames(static_cast<size_t>(blocks) * kBlockSamples);
  for (size_t i = 0; i < frames.size(); ++i) frames[i] = static_cast<int16_t>(i % 30011);
  return frames;
}

// Output = input with the channels swapped and the right one negated.
void SwapBlock(const int16_t* in, int16_t* out, int frames) {
  for (int k = 0; k < frames; ++k) {
    out[2 * k] = in[2 * k + 1];
    out[2 * k + 1] = static_cast<int16_t>(-in[2 * k]);
  }
}

TEST(LoopbackStreamTest, PumpRunsBlocksInOrderOnTheCallersThread) {
  TLoopbackStream stream;
  const auto input = NumberedFrames(5);
  stream.QueueInput(input.data(), 5 * kAudioBlockFrames);
  const auto caller = std::this_thread::get_id();
  int calls = 0;
  ASSERT_TRUE(stream.Start([&](const int16_t* in, int16_t* out, int frames) {
    EXPECT_EQ(std::this_thread::get_id(), caller);
    EXPECT_EQ(frames, kAudioBlockFrames);
    ++calls;
    SwapBlock(in, out, frames);
  }));
  EXPECT_TRUE(stream.Running());
  EXPECT_EQ(calls, 0) << "manual: nothing runs before Pump";
  EXPECT_EQ(stream.Pump(3), 3);
  EXPECT_EQ(stream.Pump(2), 2);
  EXPECT_EQ(calls, 5);
  EXPECT_EQ(stream.Blocks(), 5);
  const auto output = stream.TakeOutput();
  ASSERT_EQ(output.size(), input.size());
  for (size_t k = 0; k < input.size() / 2; ++k) {
    ASSERT_EQ(output[2 * k], input[2 * k + 1]);
    ASSERT_EQ(output[2 * k + 1], static_cast<int16_t>(-input[2 * k]));
  }
  // The queue is empty: input is silence from now on.
  EXPECT_EQ(stream.Pump(1), 1);
  const auto silent = stream.TakeOutput();
  ASSERT_EQ(silent.size(), static_cast<size_t>(kBlockSamples));
  for (int16_t s : silent) ASSERT_EQ(s, 0);
  stream.Stop();
  EXPECT_FALSE(stream.Running());
  EXPECT_EQ(stream.Pump(1), 0) << "nothing after Stop";
}

TEST(LoopbackStreamTest, SourceAndSinkSeeEveryBlockIndex) {
  TLoopbackStream stream;
  std::vector<int64_t> sourced, sunk;
  stream.SetInputSource([&](int64_t index, int16_t* in, int frames) {
    sourced.push_back(index);
    for (int i = 0; i < frames * 2; ++i) in[i] = static_cast<int16_t>(index);
    return index < 3;  // blocks 0..2, then the input ends
  });
  stream.SetOutputSink([&](int64_t index, const int16_t* out, int frames) {
    sunk.push_back(index);
    for (int i = 0; i < frames * 2; ++i) ASSERT_EQ(out[i], static_cast<int16_t>(index + 100));
  });
  ASSERT_TRUE(stream.Start([](const int16_t* in, int16_t* out, int frames) {
    for (int i = 0; i < frames * 2; ++i) out[i] = static_cast<int16_t>(in[i] + 100);
  }));
  EXPECT_EQ(stream.Pump(10), 3) << "ends with the input";
  EXPECT_EQ(sourced, (std::vector<int64_t>{0, 1, 2, 3}));
  EXPECT_EQ(sunk, (std::vector<int64_t>{0, 1, 2}));
  EXPECT_TRUE(stream.TakeOutput().empty()) << "the sink took the output";
}

TEST(LoopbackStreamTest, EndWithQueue) {
  TLoopbackStream::Options options;
  options.EndWithQueue = true;
  TLoopbackStream stream(options);
  const auto input = NumberedFrames(2);
  stream.QueueInput(input.data(), 2 * kAudioBlockFrames - 100);  // the second block is short
  ASSERT_TRUE(stream.Start(
      [](const int16_t* in, int16_t* out, int frames) { std::copy(in, in + 2 * frames, out); }));
  EXPECT_EQ(stream.Pump(5), 2);
  const auto output = stream.TakeOutput();
  ASSERT_EQ(output.size(), input.size());
  for (size_t i = 0; i < output.size(); ++i) {
    ASSERT_EQ(output[i], i < input.size() - 200 ? input[i] : 0) << i;
  }
}

TEST(LoopbackStreamTest, FailedStartAndFailure) {
  TLoopbackStream stream;
  stream.SetFailStart(true);
  EXPECT_FALSE(stream.Start([](const int16_t*, int16_t*, int) {}));
  EXPECT_FALSE(stream.Running());
  EXPECT_EQ(stream.Pump(1), 0);
  stream.SetFailStart(false);
  ASSERT_TRUE(stream.Start([](const int16_t*, int16_t*, int) {}));
  EXPECT_EQ(stream.Pump(1), 1);
  stream.Fail();
  EXPECT_FALSE(stream.Running());
  EXPECT_EQ(stream.Pump(1), 0);
}

TEST(LoopbackStreamTest, ThreadedRunsOnItsOwnThreadOneBlockAtATime) {
  TLoopbackStream::Options options;
  options.Threaded = true;
  TLoopbackStream stream(options);
  std::atomic<int> inside{0};
  std::atomic<bool> overlap{false}, onCaller{false};
  std::atomic<int64_t> lastIndex{-1};
  std::atomic<bool> outOfOrder{false};
  const auto caller = std::this_thread::get_id();
  stream.SetInputSource([&](int64_t index, int16_t* in, int frames) {
    for (int i = 0; i < frames * 2; ++i) in[i] = static_cast<int16_t>(index & 0x7FFF);
    return true;
  });
  stream.SetOutputSink([&](int64_t index, const int16_t* out, int) {
    if (out[0] != static_cast<int16_t>(index & 0x7FFF)) outOfOrder = true;
    if (lastIndex.exchange(index) != index - 1) outOfOrder = true;
  });
  ASSERT_TRUE(stream.Start([&](const int16_t* in, int16_t* out, int frames) {
    if (inside.fetch_add(1) != 0) overlap = true;
    if (std::this_thread::get_id() == caller) onCaller = true;
    std::copy(in, in + 2 * frames, out);
    inside.fetch_sub(1);
  }));
  EXPECT_EQ(stream.Pump(1), 0) << "Pump is for manual mode";
  ASSERT_TRUE(stream.WaitForBlocks(200, 20000));
  stream.Stop();
  EXPECT_FALSE(stream.Running());
  const int64_t blocks = stream.Blocks();
  EXPECT_GE(blocks, 200);
  EXPECT_EQ(lastIndex.load(), blocks - 1);
  EXPECT_FALSE(overlap);
  EXPECT_FALSE(onCaller);
  EXPECT_FALSE(outOfOrder);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(stream.Blocks(), blocks) << "no block after Stop";
}

TEST(LoopbackStreamTest, StopWaitsForTheBlockInFlight) {
  TLoopbackStream::Options options;
  options.Threaded = true;
  TLoopbackStream stream(options);
  std::atomic<bool> entered{false}, finished{false};
  ASSERT_TRUE(stream.Start([&](const int16_t*, int16_t*, int) {
    if (entered.exchange(true)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    finished = true;
  }));
  while (!entered) std::this_thread::yield();
  stream.Stop();
  EXPECT_TRUE(finished) << "Stop returned while the block was still running";
}

TEST(LoopbackStreamTest, PacedThreadKeepsThePeriod) {
  TLoopbackStream::Options options;
  options.Threaded = true;
  options.BlockPeriodUs = 20000;  // 20 ms
  TLoopbackStream stream(options);
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(stream.Start([](const int16_t*, int16_t*, int) {}));
  ASSERT_TRUE(stream.WaitForBlocks(5, 20000));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  stream.Stop();
  // Block k runs k periods after the first: never faster than that.
  EXPECT_GE(elapsed, std::chrono::milliseconds(80));
}

TEST(LoopbackStreamTest, StopFromInsideTheBlockFunction) {
  TLoopbackStream::Options options;
  options.Threaded = true;
  TLoopbackStream stream(options);
  std::atomic<int> calls{0};
  ASSERT_TRUE(stream.Start([&](const int16_t*, int16_t*, int) {
    if (++calls == 3) stream.Stop();
  }));
  stream.WaitForBlocks(3, 20000);
  stream.Stop();  // joins the thread
  EXPECT_EQ(calls.load(), 3);
  EXPECT_EQ(stream.Blocks(), 3);
  EXPECT_FALSE(stream.Running());
}

}  // namespace
}  // namespace sorvex
