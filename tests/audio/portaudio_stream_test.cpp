#include "audio/portaudio_stream.h"

#include <gtest/gtest.h>
#include <portaudio.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "alsa_files.h"
#include "modem/modem_device.h"

namespace sorvex {
namespace {

using namespace sorvex::test;

constexpr int kBlockSamples = kAudioBlockFrames * kAudioChannels;

class PortAudioStreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeScratchDir("sorvex_portaudio");
    capture = dir / "capture.raw";
    playback = dir / "playback.raw";
  }
  void TearDown() override { fs::remove_all(dir); }

  // `blocks` blocks of distinct, recognisable frames.
  std::vector<int16_t> CaptureBlocks(int blocks) {
    std::vector<int16_t> samples(static_cast<size_t>(blocks) * kBlockSamples);
    for (size_t i = 0; i < samples.size(); ++i) {
      samples[i] = static_cast<int16_t>((i % 2 == 0 ? 1 : -1) * static_cast<int>(i % 29989 + 1));
    }
    WriteRaw(capture, samples);
    return samples;
  }

  std::string RoutedConfig() { return WriteAlsaFileConfig(dir, capture, playback); }

  fs::path dir, capture, playback;
};

// A block function that fails costs that block only: it plays silence, is
// counted as dropped, and the blocks around it come through untouched.
TEST_F(PortAudioStreamTest, AFailedBlockPlaysSilenceAndIsCountedAsDropped) {
  constexpr int kBlocks = 6;
  const auto input = CaptureBlocks(kBlocks);
  const std::string conf = RoutedConfig();
  const ChildResult r = RunInChild(dir, conf, [&](std::string& message) {
    TPortAudioStream::Options options;
    options.MaxBlocks = kBlocks;
    TPortAudioStream stream(options);
    int calls = 0;
    if (!stream.Start([&](const int16_t* in, int16_t* out, int frames) {
          std::copy(in, in + 2 * frames, out);
          if (++calls == 3) throw std::runtime_error("block 2 failed");
        })) {
      message = "Start failed: " + stream.LastError();
      return 1;
    }
    if (!WaitUntil([&] { return !stream.Running(); }, 30000)) {
      message = "the stream did not finish after MaxBlocks";
      return 2;
    }
    stream.Stop();
    message =
        std::to_string(stream.BlocksProcessed()) + " " + std::to_string(stream.DroppedBlocks());
    return 0;
  });
  ASSERT_EQ(r.Status, 0) << r.Message << "\nstderr: " << r.Stderr;
  EXPECT_EQ(r.Message, std::to_string(kBlocks) + " 1") << "blocks, dropped";
  const auto output = ReadRaw(playback);
  ASSERT_GE(output.size(), input.size());
  const auto tail = output.end() - static_cast<std::ptrdiff_t>(input.size());
  for (int b = 0; b < kBlocks; ++b) {
    const auto got = tail + b * kBlockSamples;
    const auto sent = input.begin() + b * kBlockSamples;
    if (b == 2) {
      EXPECT_TRUE(std::all_of(got, got + kBlockSamples, [](int16_t v) { return v == 0; }));
    } else {
      EXPECT_TRUE(std::equal(got, got + kBlockSamples, sent)) << "block " << b;
    }
  }
}

// Blocks PortAudio hands over short, or after discarding input, never reach
// the two-channel device whole; the device's counter says so. The callback
// is driven by hand once the stream has finished its own blocks.
TEST_F(PortAudioStreamTest, ShortBlocksAndInputOverflowsCountThroughTheDevice) {
  CaptureBlocks(2);
  const std::string conf = RoutedConfig();
  const ChildResult r = RunInChild(dir, conf, [&](std::string& message) {
    TPortAudioStream::Options options;
    options.MaxBlocks = 2;
    auto owned = std::make_unique<TPortAudioStream>(options);
    TPortAudioStream* stream = owned.get();
    TModemDevice device("", std::move(owned));
    // Two blocks may be over before anyone looks: check what ran, not Running.
    if (!WaitUntil([&] { return !stream->Running(); }, 30000)) {
      message = "the stream did not finish after MaxBlocks";
      return 2;
    }
    if (stream->BlocksProcessed() != 2) {
      message = "the stream did not run its blocks: " + stream->LastError();
      return 1;
    }
    std::vector<int16_t> in(kBlockSamples, 1000), out(kBlockSamples, 7);
    std::string counts = std::to_string(device.DroppedBlocks());
    stream->OnBlock(in.data(), out.data(), 512, 0);
    if (!std::all_of(out.begin(), out.begin() + 1024, [](int16_t v) { return v == 0; })) {
      message = "a short block was not silenced";
      return 3;
    }
    counts += " " + std::to_string(device.DroppedBlocks());
    stream->OnBlock(in.data(), out.data(), kAudioBlockFrames, paInputOverflow);
    counts += " " + std::to_string(device.DroppedBlocks());
    stream->OnBlock(in.data(), out.data(), kAudioBlockFrames, paOutputUnderflow);
    counts += " " + std::to_string(device.DroppedBlocks());
    message = counts + " / " + std::to_string(device.BlocksProcessed());
    return 0;
  });
  ASSERT_EQ(r.Status, 0) << r.Message << "\nstderr: " << r.Stderr;
  // Nothing lost in the stream's own blocks; the short block and the one
  // after an overflow count, output trouble does not. The device processed
  // its two blocks and both full ones given by hand.
  EXPECT_EQ(r.Message, "0 1 2 2 / 4");
}

// A block function that copies input to output: the capture file's samples
// come back in the playback file, after PortAudio's priming silence.
TEST_F(PortAudioStreamTest, CopyThroughAlsaFilesShowsTheInputInTheOutput) {
  constexpr int kBlocks = 6;
  const auto input = CaptureBlocks(kBlocks);
  const std::string conf = RoutedConfig();
  const ChildResult r = RunInChild(dir, conf, [&](std::string& message) {
    TPortAudioStream::Options options;
    options.MaxBlocks = kBlocks;  // the capture side repeats stale data after its file
    TPortAudioStream stream(options);
    std::atomic<int> badFrames{0};
    std::atomic<bool> onCaller{false};
    const auto caller = std::this_thread::get_id();
    if (!stream.Start([&](const int16_t* in, int16_t* out, int frames) {
          if (frames != kAudioBlockFrames) ++badFrames;
          if (std::this_thread::get_id() == caller) onCaller = true;
          std::copy(in, in + 2 * frames, out);
        })) {
      message = "Start failed: " + stream.LastError();
      return 1;
    }
    if (!WaitUntil([&] { return !stream.Running(); }, 30000)) {
      message = "the stream did not finish after MaxBlocks";
      return 2;
    }
    stream.Stop();
    std::ostringstream s;
    s << stream.BlocksProcessed() << " " << badFrames.load() << " " << onCaller.load();
    message = s.str();
    return 0;
  });
  ASSERT_EQ(r.Status, 0) << r.Message << "\nstderr: " << r.Stderr;
  EXPECT_EQ(r.Message, std::to_string(kBlocks) + " 0 0") << "blocks, short blocks, on caller";
  EXPECT_EQ(r.Stderr, "");
  const auto output = ReadRaw(playback);
  ASSERT_GE(output.size(), input.size());
  const std::vector<int16_t> tail(output.end() - static_cast<std::ptrdiff_t>(input.size()),
                                  output.end());
  EXPECT_TRUE(tail == input) << "the last " << kBlocks << " blocks of the playback file";
  // What comes before is PortAudio's priming silence.
  const size_t priming = output.size() - input.size();
  EXPECT_EQ(priming % kBlockSamples, 0u);
  EXPECT_TRUE(std::all_of(output.begin(), output.begin() + static_cast<std::ptrdiff_t>(priming),
                          [](int16_t s) { return s == 0; }));
}

TEST_F(PortAudioStreamTest, StopWaitsForTheCallbackInFlightAndNoneFollows) {
  CaptureBlocks(4);
  const std::string conf = RoutedConfig();
  const ChildResult r = RunInChild(dir, conf, [&](std::string& message) {
    TPortAudioStream stream;
    std::atomic<int> calls{0};
    std::atomic<bool> inSlow{false}, slowDone{false};
    if (!stream.Start([&](const int16_t*, int16_t*, int) {
          if (++calls == 3) {
            inSlow = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            slowDone = true;
          }
        })) {
      message = "Start failed: " + stream.LastError();
      return 1;
    }
    if (!stream.Running()) {
      message = "not running after Start";
      return 2;
    }
    if (!WaitUntil([&] { return inSlow.load(); }, 30000)) {
      message = "no third block";
      return 3;
    }
    stream.Stop();
    if (!slowDone) {
      message = "Stop returned during a callback";
      return 4;
    }
    const int after = calls;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    if (calls != after) {
      message = "a callback after Stop";
      return 5;
    }
    if (stream.Running()) {
      message = "Running after Stop";
      return 6;
    }
    stream.Stop();  // twice is harmless
    return 0;
  });
  EXPECT_EQ(r.Status, 0) << r.Message << "\nstderr: " << r.Stderr;
  EXPECT_EQ(r.Stderr, "");
}

// Pa_Initialize / Pa_Terminate are counted: a second stream that fails or
// stops does not pull PortAudio away from one that is running, and after the
// last one stopped PortAudio initialises again.
TEST_F(PortAudioStreamTest, InitialisationIsReferenceCounted) {
  CaptureBlocks(4);
  const std::string conf = RoutedConfig();
  const ChildResult r = RunInChild(dir, conf, [&](std::string& message) {
    std::atomic<int> calls{0};
    auto block = [&](const int16_t*, int16_t* out, int frames) {
      std::fill(out, out + 2 * frames, 0);
      ++calls;
    };
    {
      TPortAudioStream::Options byName;
      byName.DeviceName = "default";
      TPortAudioStream first(byName);
      if (!first.Start(block)) {
        message = "device 'default' by name: " + first.LastError();
        return 1;
      }
      {
        TPortAudioStream::Options missing;
        missing.DeviceName = "no such sound device";
        TPortAudioStream second(missing);
        if (second.Start(block)) {
          message = "a missing device started";
          return 2;
        }
        if (second.LastError().find("no such sound device") == std::string::npos) {
          message = "error does not name the device: " + second.LastError();
          return 3;
        }
      }
      const int before = calls;
      if (!WaitUntil([&] { return calls >= before + 3; }, 30000) || !first.Running()) {
        message = "the first stream stopped with the second";
        return 4;
      }
      const auto names = TPortAudioStream::DuplexDeviceNames();
      if (std::find(names.begin(), names.end(), "default") == names.end()) {
        message = "'default' not among the duplex devices";
        return 5;
      }
      if (!first.Running()) {
        message = "listing devices stopped the stream";
        return 6;
      }
    }
    TPortAudioStream again;
    if (!again.Start(block)) {
      message = "no restart after the last stream stopped: " + again.LastError();
      return 7;
    }
    again.Stop();
    return 0;
  });
  EXPECT_EQ(r.Status, 0) << r.Message << "\nstderr: " << r.Stderr;
  EXPECT_EQ(r.Stderr, "");
}

// No device: Start is false, nothing runs, nothing at all is printed.
void ExpectQuietFailure(const fs::path& dir, const std::string& conf) {
  const ChildResult r = RunInChild(dir, conf, [](std::string& message) {
    bool called = false;
    for (int i = 0; i < 3; ++i) {
      TPortAudioStream stream;
      if (stream.Start([&](const int16_t*, int16_t*, int) { called = true; })) {
        message = "started without a device";
        return 1;
      }
      if (stream.Running() || stream.LastError().empty()) {
        message = "running, or no message";
        return 2;
      }
      message = stream.LastError();
      stream.Stop();
    }
    TPortAudioStream::Options byName;
    byName.DeviceName = "hw:29,0";
    TPortAudioStream named(byName);
    if (named.Start([&](const int16_t*, int16_t*, int) { called = true; })) return 3;
    TPortAudioStream::DuplexDeviceNames();
    return called ? 4 : 0;
  });
  EXPECT_EQ(r.Status, 0) << r.Message;
  EXPECT_FALSE(r.Message.empty()) << "LastError explains";
  EXPECT_EQ(r.Stderr, "") << "nothing on stderr";
}

// The machine's own configuration, as on CI: no sound card at all.
TEST_F(PortAudioStreamTest, NoSoundCardIsQuiet) {
  const std::string cards = GetFile("/proc/asound/cards");
  if (!cards.empty() && cards.find("no soundcards") == std::string::npos) {
    GTEST_SKIP() << "this machine has a sound card";
  }
  ExpectQuietFailure(dir, "");
}

TEST_F(PortAudioStreamTest, DefaultOnAMissingCardIsQuiet) {
  ExpectQuietFailure(dir, WriteAlsaNoCardConfig(dir));
}

}  // namespace
}  // namespace sorvex
