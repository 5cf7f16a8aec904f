#include "sim/line_simulator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "modem/modem_device.h"
#include "monitor/kp_record_list.h"
#include "monitor/line_rig.h"
#include "protocol/answer_decoder.h"
#include "sim/scenario.h"

namespace sorvex {
namespace {

using testing::RateSetup;
using testing::WriteSettings;

// Runs one channel's receiver over the frames, re-arming after each telegram.
std::vector<std::pair<std::vector<uint8_t>, int>> Receive(const std::string& settings,
                                                          const std::vector<int16_t>& frames,
                                                          int channel) {
  TModem rx(settings, 1024);
  rx.ResetReceiver();
  std::vector<std::pair<std::vector<uint8_t>, int>> telegrams;
  std::vector<int16_t> block(2048, 0);
  for (size_t at = 0; at < frames.size(); at += 2048) {
    const size_t n = std::min<size_t>(2048, frames.size() - at);
    std::fill(block.begin(), block.end(), 0);
    std::copy(frames.begin() + static_cast<long>(at), frames.begin() + static_cast<long>(at + n),
              block.begin());
    rx.ProcessBlock(channel, block.data(), 1024);
    std::vector<uint8_t> bits(256, 0);
    const int count = rx.TakeTelegram(bits.data(), 0);
    if (count > 0) {
      telegrams.emplace_back(bits, count);
      rx.ResetReceiver();
    }
  }
  return telegrams;
}

TEST(LineSimulator, CleanAnswersDecodeAtTheHighestRate) {
  const std::string settings = WriteSettings({2400, 1200, 2400, 2400}, "sim2400.ini");
  TLineSimulator line(settings);
  std::mt19937 random(5);
  std::vector<uint8_t> sent;
  for (int i = 0; i < 300; ++i) {
    AnswerDescriptor a;
    a.KpAddress = static_cast<uint8_t>(1 + i % 31);
    a.FunctionCode = 0x90;
    a.Group = 1;
    a.Bytes = {static_cast<uint8_t>(random())};
    sent.push_back(a.Bytes[0]);
    line.SendAnswer(a);
    line.Silence(150);  // the receiver is re-armed only between blocks
  }
  const auto telegrams = Receive(settings, line.Frames(), 1);
  ASSERT_EQ(telegrams.size(), 300u);
  TKpRecordList store;
  TManualClock clock(1.0);
  int ok = 0;
  for (size_t i = 0; i < telegrams.size(); ++i) {
    std::string text;
    TelegramInfo info;
    if (DecodeAnswerTelegram(telegrams[i].first.data(), static_cast<uint16_t>(telegrams[i].second),
                             text, info, store, clock)) {
      ++ok;
      EXPECT_EQ(store.FindKpRecord(info.KpAddress, false)->TsBytes[0], sent[i]) << i;
    } else {
      ADD_FAILURE() << i << " " << telegrams[i].second << " " << text;
    }
  }
  EXPECT_EQ(ok, 300);  // the last bit's tone is held, so no last-bit errors
}

// What the line simulator's held last tone is for. The channel modem's own
// transmitter stops its carrier dead after the last bit. At 2400 baud the
// receiver takes each bit's mid-bit sample behind its filters, some 20
// samples (six bit times) after the bit was on the line, so the last bit's
// sample falls where the carrier has already stopped and reads the filters'
// ring-down: every bit before it arrives right, the last one now and then
// wrong, and such a telegram fails its check character.
TEST(LineSimulator, ACarrierStoppingDeadAtTheLastBitCostsSomeLastBitsAt2400Baud) {
  const std::string settings = WriteSettings({2400, 1200, 2400, 2400}, "dead2400.ini");
  TModem tx(settings, 1024);
  std::vector<int16_t> frames;
  auto append = [&frames](const double* right, int n) {
    for (int k = 0; k < n; ++k) {
      frames.push_back(0);
      frames.push_back(right ? TModemDevice::OutputSample(right[k]) : 0);
    }
  };
  std::mt19937 random(5);
  std::vector<std::vector<uint8_t>> sent;
  std::vector<int> sentBits;
  for (int i = 0; i < 300; ++i) {
    AnswerDescriptor a;
    a.KpAddress = static_cast<uint8_t>(1 + i % 31);
    a.FunctionCode = 0x90;
    a.Group = 1;
    a.Bytes = {static_cast<uint8_t>(random())};
    std::vector<uint8_t> telegram(kAnswerBufferBytes, 0);
    const int count = EncodeAnswerTelegram(telegram.data(), a);
    // Nine bits of the 0 tone ahead, as the simulator sends an answer.
    const int lead = TLineSimulator::kAnswerLeadBits;
    std::vector<uint8_t> line(kMaxTelegramBytes, 0);
    for (int b = 0; b < count; ++b) {
      if (telegram[b / 8] & (0x80 >> (b % 8))) line[(b + lead) / 8] |= 0x80 >> ((b + lead) % 8);
    }
    sent.push_back(telegram);
    sentBits.push_back(count);
    tx.StartTransmit(line.data(), count + lead);
    double block[1024];
    while (tx.Transmitting()) {
      tx.Modulate(block, 1024);
      append(block, 1024);
    }
    std::vector<double> silence(1200, 0.0);  // 150 ms: re-armed between blocks
    append(silence.data(), static_cast<int>(silence.size()));
  }
  const auto telegrams = Receive(settings, frames, 1);
  ASSERT_EQ(telegrams.size(), 300u);
  TKpRecordList store;
  TManualClock clock(1.0);
  int lastWrong = 0, failed = 0;
  for (size_t i = 0; i < telegrams.size(); ++i) {
    const auto& [bits, count] = telegrams[i];
    ASSERT_GE(count, sentBits[i]) << i;
    auto bit = [](const std::vector<uint8_t>& b, int k) { return (b[k / 8] >> (7 - k % 8)) & 1; };
    for (int k = 0; k + 1 < sentBits[i]; ++k)
      ASSERT_EQ(bit(bits, k), bit(sent[i], k)) << i << " " << k;
    const int last = sentBits[i] - 1;
    const bool wrong = bit(bits, last) != bit(sent[i], last);
    lastWrong += wrong;
    std::string text;
    TelegramInfo info;
    const bool ok =
        DecodeAnswerTelegram(bits.data(), static_cast<uint16_t>(count), text, info, store, clock);
    failed += !ok;
    EXPECT_EQ(ok, !wrong) << i << " " << text;
    if (!ok) {
      EXPECT_NE(text.find("Ошибка контрольной суммы"), std::string::npos) << text;
    }
  }
  // 8 of these 300; the simulator, holding the last tone, loses none.
  EXPECT_GT(lastWrong, 0);
  EXPECT_LT(lastWrong, 30);
  EXPECT_EQ(failed, lastWrong);
}

TEST(LineSimulator, NoiseGoesOnlyWhereAskedAndFollowsEbN0) {
  const std::string settings = WriteSettings({1200, 1300, 2100, 1500}, "sim1200.ini");
  TLineSimulator line(settings, 9);
  line.SetNoise(10.0, 1);
  line.Silence(1000);
  double left = 0, right = 0;
  const auto& f = line.Frames();
  for (size_t k = 0; k < f.size(); k += 2) {
    left += static_cast<double>(f[k]) * f[k];
    right += static_cast<double>(f[k + 1]) * f[k + 1];
  }
  const double n = static_cast<double>(f.size() / 2);
  EXPECT_EQ(left, 0.0);
  // σ = 32000 · sqrt(fs·T / (4 · Eb/N0)) = 32000 · sqrt(6.667 / 40) = 13064.
  EXPECT_NEAR(std::sqrt(right / n), 13064, 13064 * 0.02);
}

TEST(Scenario, ErrorsNameTheLineAndNothingIsProduced) {
  std::vector<int16_t> frames;
  std::string error;
  EXPECT_FALSE(RunScenario("silence 10\nexchange 3 Zork\n", "", frames, error));
  EXPECT_EQ(error, "line 2: missing or bad function (hex code or name)");
  EXPECT_FALSE(RunScenario("# comment\n\nexchange 40 Gts 1\n", "", frames, error));
  EXPECT_EQ(error, "line 3: bad KP '40'");
  EXPECT_FALSE(RunScenario("silence 5\nseed 4\n", "", frames, error));
  EXPECT_EQ(error, "line 2: seed must come before the first signal");
  EXPECT_FALSE(RunScenario("answer 3 Gts 1 bytes=ZZ\n", "", frames, error));
  EXPECT_EQ(error, "line 1: bad option 'bytes=ZZ'");
  EXPECT_FALSE(RunScenario("noise 12 middle\n", "", frames, error));
  EXPECT_TRUE(frames.empty());
  ASSERT_TRUE(RunScenario("silence 100  # a tenth of a second\n", "", frames, error)) << error;
  EXPECT_EQ(frames.size(), 2u * 800);
}

// Loudest sample of one side of interleaved frames, and whether any sample
// sits at the 16-bit limits (a clipped one).
std::pair<int, bool> PeakOf(const std::vector<int16_t>& frames, int side) {
  int peak = 0;
  bool limit = false;
  for (size_t k = static_cast<size_t>(side); k < frames.size(); k += 2) {
    peak = std::max(peak, std::abs(static_cast<int>(frames[k])));
    limit = limit || frames[k] == 32767 || frames[k] <= -32767;
  }
  return {peak, limit};
}

TEST(Scenario, LinesPeakAtMostSixDbBelowFullScaleWithoutClipping) {
  const std::string settings = WriteSettings({1200, 1300, 2100, 1500}, "peak1200.ini");
  const std::string head = "settings " + settings + "\nseed 4\n";
  const std::string traffic = "exchange 3 Gts 1 bytes=A5\nexchange 4 Gtit 2 words=1,2,3\n";
  std::vector<int16_t> frames;
  std::string error;
  // Clean: the transmitter's tones at half the device's 32000.
  ASSERT_TRUE(RunScenario(head + traffic, "", frames, error)) << error;
  for (int side : {0, 1}) {
    EXPECT_LE(PeakOf(frames, side).first, 16000) << side;
    EXPECT_GE(PeakOf(frames, side).first, 15900) << side;
  }
  // Noisy, down to the strongest noise a scenario takes: each side under
  // 16384, nothing at the limits, and close to 16384 where the noise is.
  for (const char* noise : {"noise 14 right\n", "noise 3\n", "noise -20\n"}) {
    SCOPED_TRACE(noise);
    ASSERT_TRUE(RunScenario(head + noise + traffic, "", frames, error)) << error;
    for (int side : {0, 1}) {
      const auto [peak, limit] = PeakOf(frames, side);
      EXPECT_LE(peak, 16384) << side;
      EXPECT_FALSE(limit) << side;
      if (side == 1) {  // a second of noise reaches some 4 σ of the 5 σ allowed for
        EXPECT_GT(peak, 16384 * 0.6);
      }
    }
  }
  // Tone and noise are scaled alike: on a silent stretch the noise is
  // ScenarioGain(σ) · σ, σ = 32000 · sqrt(6.667 / (4 · 10^1.4)) = 8242.
  ASSERT_TRUE(RunScenario(head + "noise 14 right\nsilence 2000\n", "", frames, error)) << error;
  double right = 0;
  for (size_t k = 1; k < frames.size(); k += 2) right += static_cast<double>(frames[k]) * frames[k];
  const double sigma = 32000 * std::sqrt(8000.0 / 1200 / (4 * std::pow(10.0, 1.4)));
  EXPECT_NEAR(sigma, 8242, 1);
  EXPECT_NEAR(std::sqrt(right / static_cast<double>(frames.size() / 2)),
              ScenarioGain(sigma) * sigma, ScenarioGain(sigma) * sigma * 0.03);
  EXPECT_EQ(PeakOf(frames, 0).first, 0);
  EXPECT_DOUBLE_EQ(ScenarioGain(0), 0.5);
  EXPECT_DOUBLE_EQ(ScenarioGain(sigma), 16384 / (32000 + 5 * sigma));
}

}  // namespace
}  // namespace sorvex
