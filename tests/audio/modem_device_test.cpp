#include "modem/modem_device.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <sstream>
#include <thread>

#include "alsa_files.h"
#include "audio/modem_device_factory.h"
#include "audio/portaudio_stream.h"
#include "audio/sound_file_stream.h"
#include "sim/loopback_stream.h"

namespace sorvex {
namespace {

using namespace sorvex::test;

constexpr int kBlock = 1024;
constexpr int kBlockSamples = kBlock * 2;

// ---------------------------------------------------------------------------
// The cross-talk gate on its own.

// Which chunks the gate must silence, decided independently of the code.
std::vector<bool> LoudChunks(const std::vector<int16_t>& frames) {
  const size_t n = frames.size() / 2;
  std::vector<bool> loud((n + 63) / 64, false);
  for (size_t k = 0; k < n; ++k) {
    if (std::abs(static_cast<int>(frames[2 * k])) > 1000) loud[k / 64] = true;
  }
  return loud;
}

TEST(CrossTalkGateTest, LeftBurstZeroesTheRightExactlyInItsChunks) {
  std::vector<int16_t> frames(kBlockSamples);
  for (int k = 0; k < kBlock; ++k) {
    // A 2500 Hz burst of amplitude 3000 over frames 100..299 (chunks 1..4),
    // with its quiet edges rising and falling through 1000.
    double left = 0;
    if (k >= 100 && k < 300) {
      const double envelope = std::sin(M_PI * (k - 100) / 200.0);
      left = 3000 * envelope * std::sin(2 * M_PI * 2500 * k / 8000.0);
    }
    frames[2 * k] = static_cast<int16_t>(std::lround(left));
    frames[2 * k + 1] = static_cast<int16_t>(1 + k % 500);  // never 0
  }
  const auto original = frames;
  const auto loud = LoudChunks(frames);
  TModemDevice::CrossTalkGate(frames.data(), kBlock);
  int silenced = 0;
  for (int k = 0; k < kBlock; ++k) {
    ASSERT_EQ(frames[2 * k], original[2 * k]) << "the left side is never touched";
    ASSERT_EQ(frames[2 * k + 1], loud[k / 64] ? 0 : original[2 * k + 1]) << "frame " << k;
  }
  for (bool l : loud) silenced += l;
  EXPECT_GE(silenced, 2);
  EXPECT_FALSE(loud[0]);
  EXPECT_FALSE(loud[5]);
}

TEST(CrossTalkGateTest, ThresholdIsAbove1000) {
  for (const int peak : {1000, -1000, 1001, -1001, -32768, 32767, 999}) {
    std::vector<int16_t> frames(kBlockSamples, 7);
    for (int k = 0; k < kBlock; ++k) frames[2 * k] = 0;
    frames[2 * (3 * 64 + 17)] = static_cast<int16_t>(peak);  // one sample in chunk 3
    TModemDevice::CrossTalkGate(frames.data(), kBlock);
    const bool gated = std::abs(peak) > 1000;
    for (int k = 0; k < kBlock; ++k) {
      const bool inChunk = k / 64 == 3;
      ASSERT_EQ(frames[2 * k + 1], gated && inChunk ? 0 : 7) << "peak " << peak << " frame " << k;
    }
  }
}

TEST(CrossTalkGateTest, ShortBlockEndsInAShortChunk) {
  std::vector<int16_t> frames(2 * 100, 9);
  for (int k = 0; k < 100; ++k) frames[2 * k] = k == 80 ? 1001 : 0;
  TModemDevice::CrossTalkGate(frames.data(), 100);
  for (int k = 0; k < 100; ++k) ASSERT_EQ(frames[2 * k + 1], k >= 64 ? 0 : 9) << k;
}

TEST(OutputSampleTest, ScaledBy32000AndTruncatedTowardZero) {
  EXPECT_EQ(TModemDevice::OutputSample(0.0), 0);
  EXPECT_EQ(TModemDevice::OutputSample(1.0), 32000);
  EXPECT_EQ(TModemDevice::OutputSample(-1.0), -32000);
  EXPECT_EQ(TModemDevice::OutputSample(0.99999), 31999);  // 31999.68
  EXPECT_EQ(TModemDevice::OutputSample(-0.99999), -31999);
  EXPECT_EQ(TModemDevice::OutputSample(1.0 / 32000 * 0.999), 0);
  EXPECT_EQ(TModemDevice::OutputSample(-1.0 / 32000 * 1.5), -1);
}

// ---------------------------------------------------------------------------
// Signals.

// The first `bits` bits of a telegram, MSB first.
std::string BitText(const uint8_t* bytes, int bits) {
  std::string s;
  for (int i = 0; i < bits; ++i) s += (bytes[i / 8] & (0x80 >> (i % 8))) ? '1' : '0';
  return s;
}

struct Telegram {
  std::vector<uint8_t> Bytes;
  int Bits;
  std::string Text() const { return BitText(Bytes.data(), Bits); }
};

// Request on the left, answer on the right (both start with a 0 bit, so the
// lead-in of 1 bits is the steady tone before the first transition).
const Telegram kRequest{{0x35, 0xA7, 0x1C}, 24};
const Telegram kAnswer{{0x2B, 0xC4, 0x99, 0x4E, 0x60}, 36};

// Modulated samples (full scale 1.0) of 16 lead-in 1 bits and the telegram,
// from our transmitter with the given settings.
std::vector<double> Burst(const std::string& settings, const Telegram& t) {
  std::vector<uint8_t> bits(2 + t.Bytes.size() + 1, 0);
  bits[0] = bits[1] = 0xFF;
  for (int i = 0; i < t.Bits; ++i) {
    if (t.Bytes[i / 8] & (0x80 >> (i % 8)))
      bits[2 + i / 8] |= static_cast<uint8_t>(0x80 >> (i % 8));
  }
  TModem modem(settings, kBlock);
  modem.StartTransmit(bits.data(), 16 + t.Bits);
  std::vector<double> out;
  std::vector<double> block(kBlock);
  while (modem.Transmitting()) {
    modem.Modulate(block.data(), kBlock);
    out.insert(out.end(), block.begin(), block.end());
  }
  while (!out.empty() && out.back() == 0.0) out.pop_back();
  return out;
}

// A whole number of blocks of line signal: silence, the request on the left,
// a pause, the answer on the right, silence.
std::vector<int16_t> Exchange(const std::string& settings, int* blocks) {
  const auto request = Burst(settings, kRequest);
  const auto answer = Burst(settings, kAnswer);
  const size_t requestAt = 400, answerAt = requestAt + request.size() + 800;
  size_t frames = answerAt + answer.size() + 2400;
  frames = (frames + kBlock - 1) / kBlock * kBlock;
  std::vector<int16_t> line(frames * 2, 0);
  for (size_t i = 0; i < request.size(); ++i) {
    line[2 * (requestAt + i)] = static_cast<int16_t>(std::lround(16000 * request[i]));
  }
  for (size_t i = 0; i < answer.size(); ++i) {
    line[2 * (answerAt + i) + 1] = static_cast<int16_t>(std::lround(12000 * answer[i]));
  }
  *blocks = static_cast<int>(frames / kBlock);
  return line;
}

// What the device must play for a transmission: Modulate × 32000 truncated,
// block by block from the first block after Transmit.
std::vector<int16_t> ExpectedChannel(const std::string& settings, const Telegram& t, int blocks) {
  TModem modem(settings, kBlock);
  modem.StartTransmit(t.Bytes.data(), t.Bits);
  std::vector<int16_t> out;
  std::vector<double> block(kBlock);
  for (int b = 0; b < blocks; ++b) {
    modem.Modulate(block.data(), kBlock);
    for (double s : block) out.push_back(static_cast<int16_t>(std::trunc(s * 32000.0)));
  }
  return out;
}

class ModemDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = MakeScratchDir("sorvex_device");
    settings = (dir / "modem.ini").string();  // absent: the default settings
  }
  void TearDown() override { fs::remove_all(dir); }

  // Arms both receivers as the main window does.
  static void Arm(TModemDevice& device) {
    for (int ch = 0; ch < 2; ++ch) {
      device.SetRecordCapacity(ch, 64000);
      device.ResetReceiver(ch);
    }
  }

  static void ExpectTelegram(const std::vector<uint8_t>& got, int bits, const Telegram& want) {
    EXPECT_GE(bits, want.Bits);
    EXPECT_EQ(bits % 8, 0);
    EXPECT_EQ(BitText(got.data(), std::min(bits, want.Bits)), want.Text());
  }

  fs::path dir;
  std::string settings;
};

TEST_F(ModemDeviceTest, OpensOnTheStreamAndReportsItsSettings) {
  PutFile(settings, "[GENERAL]\nBaudrate=600\nFreq0=1300\nFreq1=2100\n");
  auto stream = std::make_unique<TLoopbackStream>();
  TLoopbackStream* loop = stream.get();
  TModemDevice device(settings, std::move(stream));
  EXPECT_EQ(device.GetStatus(), 0);
  EXPECT_TRUE(loop->Running());
  EXPECT_EQ(device.BaudRate(0), 600);
  EXPECT_EQ(device.BaudRate(1), 600);
  EXPECT_EQ(device.ReceiverState(0), rsSleeping) << "asleep until armed";
  device.ResetReceiver(1);
  EXPECT_EQ(device.ReceiverState(1), rsWaitSilence);
  EXPECT_EQ(device.ReceiverState(0), rsSleeping);
  // Channels other than 0 and 1 do nothing.
  EXPECT_EQ(device.BaudRate(2), 0);
  EXPECT_EQ(device.BaudRate(-1), 0);
  uint8_t bytes[256];
  EXPECT_EQ(device.TakeTelegram(5, bytes, 0), 0);
  device.Transmit(7, bytes, 8);
  device.ResetReceiver(-3);
}

TEST_F(ModemDeviceTest, WithoutADeviceStatusIsMinusOneAndTheOperationsStillWork) {
  auto stream = std::make_unique<TLoopbackStream>();
  stream->SetFailStart(true);
  TModemDevice device(settings, std::move(stream));
  EXPECT_EQ(device.GetStatus(), -1);
  device.SetStartLevel(0, 0.2);
  device.SetRecordCapacity(1, 100);
  device.ResetReceiver(1);
  EXPECT_EQ(device.ReceiverState(1), rsWaitSilence);
  EXPECT_EQ(device.BaudRate(0), 200);
  EXPECT_EQ(device.Level(0), 0.0);
  EXPECT_EQ(device.CopySignalRecords(1, nullptr), 0);
  uint8_t bytes[256];
  EXPECT_EQ(device.TakeTelegram(0, bytes, 20), 0) << "a wait with no stream times out";

  TModemDevice none(settings, nullptr);
  EXPECT_EQ(none.GetStatus(), -1);
  EXPECT_EQ(none.BaudRate(1), 200);
}

TEST_F(ModemDeviceTest, AStreamThatFailsWhileRunningReadsMinusOne) {
  auto stream = std::make_unique<TLoopbackStream>();
  TLoopbackStream* loop = stream.get();
  TModemDevice device(settings, std::move(stream));
  EXPECT_EQ(device.GetStatus(), 0);
  EXPECT_EQ(loop->Pump(2), 2);
  loop->Fail();
  EXPECT_EQ(device.GetStatus(), -1);
  EXPECT_EQ(loop->Pump(1), 0);
  EXPECT_EQ(device.BaudRate(0), 200);
}

TEST_F(ModemDeviceTest, NothingToSendPlaysSilenceOnBothSides) {
  auto stream = std::make_unique<TLoopbackStream>();
  TLoopbackStream* loop = stream.get();
  TModemDevice device(settings, std::move(stream));
  std::mt19937 rng(3);
  std::uniform_int_distribution<int> any(-20000, 20000);
  std::vector<int16_t> input(8 * kBlockSamples);
  for (auto& s : input) s = static_cast<int16_t>(any(rng));
  loop->QueueInput(input.data(), 8 * kBlock);
  Arm(device);
  ASSERT_EQ(loop->Pump(8), 8);
  const auto output = loop->TakeOutput();
  ASSERT_EQ(output.size(), input.size());
  for (int16_t s : output) ASSERT_EQ(s, 0);
}

TEST_F(ModemDeviceTest, TransmittedStringIsOnTheLeftOnlySampleExact) {
  auto stream = std::make_unique<TLoopbackStream>();
  TLoopbackStream* loop = stream.get();
  TModemDevice device(settings, std::move(stream));
  ASSERT_EQ(loop->Pump(2), 2) << "silence first";
  device.Transmit(0, kRequest.Bytes.data(), kRequest.Bits);
  constexpr int kBlocks = 4;  // 24 bits at 200 bit/s = 120 ms, then silence
  ASSERT_EQ(loop->Pump(kBlocks), kBlocks);
  const auto output = loop->TakeOutput();
  ASSERT_EQ(output.size(), static_cast<size_t>(2 + kBlocks) * kBlockSamples);
  const auto expected = ExpectedChannel(settings, kRequest, kBlocks);
  int nonzero = 0;
  for (int k = 0; k < (2 + kBlocks) * kBlock; ++k) {
    const int16_t want = k < 2 * kBlock ? 0 : expected[k - 2 * kBlock];
    ASSERT_EQ(output[2 * k], want) << "left, frame " << k;
    ASSERT_EQ(output[2 * k + 1], 0) << "right, frame " << k;
    nonzero += output[2 * k] != 0;
  }
  EXPECT_GT(nonzero, 900) << "120 ms of tone";
  // The right channel transmits on the right only.
  device.Transmit(1, kAnswer.Bytes.data(), kAnswer.Bits);
  ASSERT_EQ(loop->Pump(kBlocks), kBlocks);
  const auto right = loop->TakeOutput();
  const auto expectedRight = ExpectedChannel(settings, kAnswer, kBlocks);
  for (int k = 0; k < kBlocks * kBlock; ++k) {
    ASSERT_EQ(right[2 * k], 0) << k;
    ASSERT_EQ(right[2 * k + 1], expectedRight[k]) << k;
  }
}

// The gate runs before the receivers: with the left side loud in every
// chunk, the right receiver hears nothing.
TEST_F(ModemDeviceTest, GateSilencesTheRightReceiverWhileTheLeftIsLoud) {
  for (const int16_t left : {int16_t{1000}, int16_t{1001}}) {
    auto stream = std::make_unique<TLoopbackStream>();
    TLoopbackStream* loop = stream.get();
    TModemDevice device(settings, std::move(stream));
    Arm(device);
    std::vector<int16_t> input(4 * kBlockSamples);
    for (int k = 0; k < 4 * kBlock; ++k) {
      input[2 * k] = left;  // DC: the band-pass keeps the left receiver quiet
      input[2 * k + 1] =
          static_cast<int16_t>(std::lround(12000 * std::sin(2 * M_PI * 2600 * k / 8000.0)));
    }
    loop->QueueInput(input.data(), 4 * kBlock);
    ASSERT_EQ(loop->Pump(4), 4);
    if (left > 1000) {
      EXPECT_EQ(device.Level(1), 0.0) << "gated";
    } else {
      EXPECT_GT(device.Level(1), 0.2) << "not gated at exactly 1000";
    }
  }
}

// Both receivers through the loopback, polled after every block as the
// dispatch does: the request comes first, then the answer; a finished
// receiver sleeps, so its records stay those of its telegram.
TEST_F(ModemDeviceTest, TelegramsOnBothInputsInOrderThroughTheLoopback) {
  int blocks = 0;
  const auto line = Exchange(settings, &blocks);
  auto stream = std::make_unique<TLoopbackStream>();
  TLoopbackStream* loop = stream.get();
  TModemDevice device(settings, std::move(stream));
  Arm(device);
  loop->QueueInput(line.data(), static_cast<int64_t>(line.size() / 2));
  std::vector<uint8_t> bytes(256);
  std::vector<std::pair<int, int>> arrivals;  // channel, block
  std::vector<int> bitCounts(2), recordCounts(2);
  std::vector<std::vector<uint8_t>> got(2);
  for (int b = 0; b < blocks; ++b) {
    ASSERT_EQ(loop->Pump(1), 1);
    for (int ch = 0; ch < 2; ++ch) {
      const int bits = device.TakeTelegram(ch, bytes.data(), 0);
      if (bits == 0) continue;
      arrivals.emplace_back(ch, b);
      got[ch] = bytes;
      bitCounts[ch] = bits;
      recordCounts[ch] = device.CopySignalRecords(ch, nullptr);
      EXPECT_EQ(device.ReceiverState(ch), rsSleeping);
    }
  }
  ASSERT_EQ(arrivals.size(), 2u);
  EXPECT_EQ(arrivals[0].first, 0) << "the request first";
  EXPECT_EQ(arrivals[1].first, 1);
  EXPECT_LT(arrivals[0].second, arrivals[1].second);
  ExpectTelegram(got[0], bitCounts[0], kRequest);
  ExpectTelegram(got[1], bitCounts[1], kAnswer);
  // Asleep: more blocks change neither records nor telegrams.
  std::vector<int16_t> noise(3 * kBlockSamples);
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> any(-15000, 15000);
  for (auto& s : noise) s = static_cast<int16_t>(any(rng));
  loop->QueueInput(noise.data(), 3 * kBlock);
  ASSERT_EQ(loop->Pump(3), 3);
  for (int ch = 0; ch < 2; ++ch) {
    std::vector<TSignalRecord> records(64000);
    EXPECT_EQ(device.CopySignalRecords(ch, records.data()), recordCounts[ch]);
    int strobes = 0, samples = 0;
    for (int i = 0; i < recordCounts[ch]; ++i) {
      strobes += records[i].Kind == skStrobe;
      samples += records[i].Kind == skBitSample;
    }
    EXPECT_EQ(strobes, 1) << "channel " << ch;
    // One bit-sample record per sampled bit; the padding to a whole byte is not sampled.
    EXPECT_LE(samples, bitCounts[ch]) << "channel " << ch;
    EXPECT_GT(samples, bitCounts[ch] - 8) << "channel " << ch;
    EXPECT_GE(samples, ch == 0 ? kRequest.Bits : kAnswer.Bits);
    EXPECT_EQ(device.TakeTelegram(ch, bytes.data(), 0), 0) << "taken once";
  }
}

// The same exchange from a recording, paced at real time, polled from this
// thread while the stream's thread runs the blocks.
TEST_F(ModemDeviceTest, TelegramsOnBothInputsInOrderThroughTheFileBackend) {
  int blocks = 0;
  const auto line = Exchange(settings, &blocks);
  const std::string wav = (dir / "line.wav").string();
  std::string error;
  ASSERT_TRUE(WriteStereoWav(wav, line.data(), static_cast<int64_t>(line.size() / 2), error))
      << error;

  TAudioOptions options;
  options.Kind = TAudioOptions::Backend::SoundFile;
  options.SoundFile.InputPath = wav;
  options.SoundFile.RealTime = true;
  options.SoundFile.OutputPath = (dir / "out.wav").string();
  auto stream = std::make_unique<TSoundFileStream>(options.SoundFile);
  TSoundFileStream* file = stream.get();
  TModemDevice device(settings, std::move(stream), Arm);  // armed before the first block
  ASSERT_EQ(device.GetStatus(), 0) << file->Error();
  std::vector<uint8_t> bytes(256);
  std::vector<std::pair<int, int64_t>> arrivals;
  std::vector<std::vector<uint8_t>> got(2);
  std::vector<int> bitCounts(2);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (arrivals.size() < 2 && std::chrono::steady_clock::now() < deadline) {
    for (int ch = 0; ch < 2; ++ch) {
      const int bits = device.TakeTelegram(ch, bytes.data(), 0);
      if (bits == 0) continue;
      arrivals.emplace_back(ch, device.BlocksProcessed());
      got[ch] = bytes;
      bitCounts[ch] = bits;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(arrivals.size(), 2u);
  EXPECT_EQ(arrivals[0].first, 0);
  EXPECT_EQ(arrivals[1].first, 1);
  EXPECT_LT(arrivals[0].second, arrivals[1].second) << "taken at different blocks";
  ExpectTelegram(got[0], bitCounts[0], kRequest);
  ExpectTelegram(got[1], bitCounts[1], kAnswer);
  ASSERT_TRUE(file->WaitForEnd(30000));
  EXPECT_EQ(file->BlocksProcessed(), blocks);
  EXPECT_EQ(device.GetStatus(), 0) << "a recording that ended is not a failed device";
}

// A recording played as fast as possible, then taken with a positive wait.
TEST_F(ModemDeviceTest, FastFileBackendAndOutputFile) {
  int blocks = 0;
  const auto line = Exchange(settings, &blocks);
  const std::string wav = (dir / "line.wav").string();
  std::string error;
  ASSERT_TRUE(WriteStereoWav(wav, line.data(), static_cast<int64_t>(line.size() / 2), error));
  TAudioOptions options;
  options.Kind = TAudioOptions::Backend::SoundFile;
  options.SoundFile.InputPath = wav;
  options.SoundFile.OutputPath = (dir / "out.wav").string();
  auto device = OpenModemDevice(settings, options);
  auto* file = dynamic_cast<TSoundFileStream*>(device->Stream());
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(file->WaitForEnd(30000));
  // It ran before the receivers were armed: nothing was received, and the
  // output (nothing transmitted) is silence of the recording's length.
  uint8_t bytes[256];
  EXPECT_EQ(device->TakeTelegram(0, bytes, 0), 0);
  TSoundFileReader reader;
  ASSERT_TRUE(reader.Open(options.SoundFile.OutputPath, 0, error)) << error;
  EXPECT_EQ(reader.Info().Frames, static_cast<int64_t>(blocks) * kBlock);
}

// TakeTelegram with a wait does not hold the lock: the stream's thread keeps
// running blocks (it needs the lock for each) and the telegram arrives.
TEST_F(ModemDeviceTest, TakeTelegramWaitsWithoutHoldingTheLock) {
  int blocks = 0;
  const auto line = Exchange(settings, &blocks);
  TLoopbackStream::Options options;
  options.Threaded = true;
  options.BlockPeriodUs = 2000;
  auto stream = std::make_unique<TLoopbackStream>(options);
  TLoopbackStream* loop = stream.get();
  // Silence until this thread is about to wait, then 20 more blocks of
  // silence (100 ms: the wait has begun by then), then the exchange once.
  std::atomic<bool> waiting{false};
  int64_t start = -1;  // used on the stream's thread only
  loop->SetInputSource([&](int64_t index, int16_t* in, int) {
    if (!waiting) return true;
    if (start < 0) start = index + 20;
    const int64_t b = index - start;
    if (b >= 0 && b < blocks) {
      std::copy(line.begin() + b * kBlockSamples, line.begin() + (b + 1) * kBlockSamples, in);
    }
    return true;
  });
  TModemDevice device(settings, std::move(stream), Arm);
  uint8_t bytes[256];
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(device.TakeTelegram(1, bytes, 30), 0) << "nothing yet";
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(30));
  waiting = true;
  const int bits = device.TakeTelegram(0, bytes, 20000);
  ASSERT_GT(bits, 0) << "the stream was held up";
  ExpectTelegram(std::vector<uint8_t>(bytes, bytes + 256), bits, kRequest);
  const int answerBits = device.TakeTelegram(1, bytes, 20000);
  ASSERT_GT(answerBits, 0);
  ExpectTelegram(std::vector<uint8_t>(bytes, bytes + 256), answerBits, kAnswer);
}

// Open and close 1000 times while the loopback thread runs blocks, with the
// locked operations going on from this thread. Also built under
// ThreadSanitizer (preset tsan).
TEST_F(ModemDeviceTest, OpenAndClose1000TimesWhileBlocksFlow) {
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> any(-12000, 12000);
  std::vector<int16_t> noise(kBlockSamples);
  for (auto& s : noise) s = static_cast<int16_t>(any(rng));
  int64_t totalBlocks = 0;
  for (int i = 0; i < 1000; ++i) {
    TLoopbackStream::Options options;
    options.Threaded = true;
    auto stream = std::make_unique<TLoopbackStream>(options);
    TLoopbackStream* loop = stream.get();
    loop->SetInputSource([&noise](int64_t, int16_t* in, int) {
      std::copy(noise.begin(), noise.end(), in);
      return true;
    });
    loop->SetOutputSink([](int64_t, const int16_t*, int) {});
    {
      TModemDevice device(settings, std::move(stream));
      ASSERT_EQ(device.GetStatus(), 0);
      for (int ch = 0; ch < 2; ++ch) {
        device.SetRecordCapacity(ch, 2000);  // 64000 as in the main window costs time, not coverage
        device.ResetReceiver(ch);
      }
      device.Transmit(0, kRequest.Bytes.data(), kRequest.Bits);
      ASSERT_TRUE(loop->WaitForBlocks(1, 20000)) << "iteration " << i;
      uint8_t bytes[256];
      device.TakeTelegram(i % 2, bytes, i % 10 == 0 ? 1 : 0);
      device.Level(0);
      device.TakeNoise(1);
      device.CopySignalRecords(0, nullptr);
      device.SetStartLevel(1, 0.1);
      totalBlocks += device.BlocksProcessed();
    }
  }
  EXPECT_GE(totalBlocks, 1000);
}

// ---------------------------------------------------------------------------
// A real TModemDevice on the unmodified PortAudio path, the default ALSA
// device routed to files: the exchange comes in from the capture file, a
// transmitted request goes out into the playback file.
TEST_F(ModemDeviceTest, RealAlsaPathThroughFiles) {
  int blocks = 0;
  const auto line = Exchange(settings, &blocks);
  const fs::path capture = dir / "capture.raw", playback = dir / "playback.raw";
  WriteRaw(capture, line);
  const std::string conf = WriteAlsaFileConfig(dir, capture, playback);
  const Telegram transmitted{{0x5A, 0x0F, 0xC3}, 24};

  const ChildResult r = RunInChild(dir, conf, [&](std::string& message) {
    TPortAudioStream::Options pa;
    pa.MaxBlocks = blocks;  // the capture repeats stale data after its file
    auto stream = std::make_unique<TPortAudioStream>(pa);
    TPortAudioStream* portAudio = stream.get();
    // Armed, and the request loaded, before the first block.
    TModemDevice device(settings, std::move(stream), [&](TModemDevice& d) {
      Arm(d);
      d.Transmit(0, transmitted.Bytes.data(), transmitted.Bits);
    });
    // Status may already read −1: the stream runs as fast as it can and ends
    // after MaxBlocks, perhaps before this line.
    if (!portAudio->LastError().empty()) {
      message = "no start: " + portAudio->LastError();
      return 1;
    }
    if (!WaitUntil([&] { return !portAudio->Running(); }, 30000)) {
      message = "the stream did not finish";
      return 2;
    }
    std::ostringstream out;
    out << portAudio->BlocksProcessed();
    for (int ch = 0; ch < 2; ++ch) {
      uint8_t bytes[256] = {};
      const int bits = device.TakeTelegram(ch, bytes, 0);
      out << " " << bits << ":" << BitText(bytes, bits);
    }
    out << " " << device.GetStatus();
    message = out.str();
    return 0;
  });
  ASSERT_EQ(r.Status, 0) << r.Message << "\nstderr: " << r.Stderr;
  EXPECT_EQ(r.Stderr, "");
  std::istringstream in(r.Message);
  int64_t ran = 0;
  std::string request, answer;
  int status = 0;
  in >> ran >> request >> answer >> status;
  EXPECT_EQ(ran, blocks);
  EXPECT_EQ(status, -1) << "finished after MaxBlocks";
  auto check = [](const std::string& field, const Telegram& want) {
    const size_t colon = field.find(':');
    ASSERT_NE(colon, std::string::npos) << field;
    const int bits = std::stoi(field.substr(0, colon));
    const std::string text = field.substr(colon + 1);
    EXPECT_GE(bits, want.Bits) << field;
    EXPECT_EQ(bits % 8, 0);
    EXPECT_EQ(text.substr(0, want.Bits), want.Text());
  };
  check(request, kRequest);
  check(answer, kAnswer);

  // The playback file: priming silence, then `blocks` blocks, the request
  // from the first of them, on the left only.
  const auto output = ReadRaw(playback);
  ASSERT_GE(output.size(), static_cast<size_t>(blocks) * kBlockSamples);
  const std::vector<int16_t> tail(
      output.end() - static_cast<std::ptrdiff_t>(blocks) * kBlockSamples, output.end());
  const auto expected = ExpectedChannel(settings, transmitted, blocks);
  for (int k = 0; k < blocks * kBlock; ++k) {
    ASSERT_EQ(tail[2 * k], expected[k]) << "left, frame " << k;
    ASSERT_EQ(tail[2 * k + 1], 0) << "right, frame " << k;
  }
}

TEST_F(ModemDeviceTest, DefaultDeviceWithoutASoundCardIsQuiet) {
  const std::string conf = WriteAlsaNoCardConfig(dir);
  const ChildResult r = RunInChild(dir, conf, [&](std::string& message) {
    auto device = OpenModemDevice(settings);
    message = std::to_string(device->GetStatus()) + " " + std::to_string(device->BaudRate(0));
    device->ResetReceiver(0);
    return device->ReceiverState(0) == rsWaitSilence ? 0 : 1;
  });
  EXPECT_EQ(r.Status, 0) << r.Message;
  EXPECT_EQ(r.Message, "-1 200");
  EXPECT_EQ(r.Stderr, "");
}

}  // namespace
}  // namespace sorvex
