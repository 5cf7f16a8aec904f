// The modem's choice of receiver: the GENERAL/Receiver key, the switch
// between the two, and the sensitive receiver's contract through TModem.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "modem/fsk_signal.h"
#include "modem/modem.h"

namespace sorvex {
namespace {

namespace fs = std::filesystem;
using testing::ApplySettings;
using testing::FskBurst;
using testing::GenerateFsk;
using testing::RandomBits;
using testing::RunReceiver;
using testing::SettingsForRate;
using testing::ToFrames;

class ReceiverChoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("sorvex_receiver_choice_" + std::to_string(getpid()));
    fs::create_directories(dir);
    path = (dir / "modem.ini").string();
  }
  void TearDown() override { fs::remove_all(dir); }
  int32_t ReceiverOf(const std::string& text) {
    std::ofstream(path, std::ios::trunc) << text;
    return TModem(path, 1024).GetReceiver();
  }
  fs::path dir;
  std::string path;
};

TEST_F(ReceiverChoiceTest, KeyReadsAsTheStandardChainUnlessItSaysOne) {
  EXPECT_EQ(ReceiverOf("[GENERAL]\nBaudrate=1200\n"), rkStandard);  // files written before
  EXPECT_EQ(ReceiverOf("[GENERAL]\nReceiver=1\n"), rkSensitive);
  EXPECT_EQ(ReceiverOf("[GENERAL]\nReceiver=1 sensitive\n"), rkSensitive);
  for (const char* other : {"0", "2", "-1", "abc", ""}) {
    EXPECT_EQ(ReceiverOf(std::string("[GENERAL]\nReceiver=") + other + "\n"), rkStandard) << other;
  }
  TModem m(path, 1024);
  m.SetReceiver(5);
  EXPECT_EQ(m.GetReceiver(), rkStandard);
  // Saving writes the key beside the other general settings.
  m.SetReceiver(rkSensitive);
  ASSERT_TRUE(m.SaveSettings(path));
  EXPECT_EQ(TModem(path, 1024).GetReceiver(), rkSensitive);
  m.SetReceiver(rkStandard);
  ASSERT_TRUE(m.SaveSettings(path));
  EXPECT_EQ(TModem(path, 1024).GetReceiver(), rkStandard);
}

// The same noisy telegram through a modem of each kind: only the sensitive
// one gets it; records, noise and level come from the receiver chosen.
TEST_F(ReceiverChoiceTest, TheChosenReceiverRunsBehindTheModemOperations) {
  const std::vector<int> bits = RandomBits(120, 21, 0);
  FskBurst b;
  b.Bits = bits;
  b.LeadBit = 1;
  b.Lead = 0.03;
  b.Amplitude = 7000;
  std::vector<double> x = GenerateFsk(b, 8000);
  // 13.5 dB Eb/N0 on the tone, quiet silences.
  std::mt19937_64 rng(4);
  std::normal_distribution<double> gauss(0.0, 7000 * std::sqrt(40 / (4 * std::pow(10.0, 1.35))));
  for (size_t n = static_cast<size_t>(b.Silence * 8000);
       n < static_cast<size_t>((b.DataStart() + bits.size() / b.Baud) * 8000); ++n) {
    x[n] += gauss(rng);
  }
  const auto frames = ToFrames(x, 1);
  for (const int32_t kind : {rkStandard, rkSensitive}) {
    SCOPED_TRACE(kind);
    TModem m(path, 1024);  // no file: 200 baud, 2540 / 2760 Hz
    m.SetReceiver(kind);
    m.SetRecordCapacity(20000);
    m.SetStartLevel(kind == rkSensitive ? 0.05 : 0.1);
    m.ResetReceiver();
    const auto got = RunReceiver(m, 1, frames, 1024, false);
    const bool exact = got.size() == 1 && std::equal(bits.begin(), bits.end(), got[0].Bits.begin());
    EXPECT_EQ(exact, kind == rkSensitive);
    if (kind != rkSensitive) continue;
    std::vector<TSignalRecord> records(20000);
    const int32_t count = m.CopySignalRecords(records.data());
    int samples = 0;
    for (int32_t i = 0; i < count; ++i) samples += records[i].Kind == skBitSample;
    EXPECT_EQ((samples + 7) / 8 * 8, got[0].BitCount);
    EXPECT_GT(m.Level(), 0.2);  // the band-filtered peak of tone and noise
    EXPECT_GT(m.TakeNoise(), 0.0);
    EXPECT_EQ(m.ReceiverState(), rsSleeping);
  }
}

TEST_F(ReceiverChoiceTest, SwitchingSleepsAndKeepsLevelAndRecordCapacity) {
  const std::vector<int> bits = RandomBits(64, 22, 0);
  FskBurst b;
  b.Bits = bits;
  const auto frames = ToFrames(GenerateFsk(b, 8000), 0);
  TModem m(path, 1024);
  m.SetRecordCapacity(30);
  m.SetStartLevel(0.2);
  m.ResetReceiver();
  ASSERT_EQ(m.ReceiverState(), rsWaitSilence);
  for (const int32_t kind : {rkSensitive, rkStandard, rkSensitive}) {
    m.SetReceiver(kind);
    EXPECT_EQ(m.ReceiverState(), rsSleeping);
    m.ResetReceiver();
    const auto got = RunReceiver(m, 0, frames, 1024, false);
    ASSERT_EQ(got.size(), 1u) << kind;
    EXPECT_TRUE(std::equal(bits.begin(), bits.end(), got[0].Bits.begin())) << kind;
    EXPECT_EQ(m.CopySignalRecords(nullptr), 30) << kind;  // capacity kept, buffer full
  }
  // The switch-on level went along: at 0.6 the 16000-amplitude tone (0.49) is too weak.
  m.SetStartLevel(0.6);
  m.ResetReceiver();
  EXPECT_TRUE(RunReceiver(m, 0, frames, 1024, false).empty());
}

TEST_F(ReceiverChoiceTest, SensitiveLevelMeterLooksThroughTheBandPass) {
  std::ofstream(path) << "[GENERAL]\nReceiver=1\n[FILTERS]\nBand_Order=4\n";
  TModem m(path, 1024);
  ASSERT_EQ(m.GetReceiver(), rkSensitive);
  std::vector<double> low(4096), inBand(4096);
  for (size_t n = 0; n < low.size(); ++n) {
    low[n] = 10000 * std::sin(2 * M_PI * 100 * n / 8000.0);
    inBand[n] = 10000 * std::sin(2 * M_PI * 1913 * n / 8000.0);
  }
  const auto lowFrames = ToFrames(low, 0), inFrames = ToFrames(inBand, 0);
  for (int k = 0; k < 4; ++k) m.ProcessBlock(0, lowFrames.data() + 2048 * k, 1024);
  EXPECT_LT(m.Level(), 0.05);
  for (int k = 0; k < 4; ++k) m.ProcessBlock(0, inFrames.data() + 2048 * k, 1024);
  EXPECT_NEAR(m.Level(), 10000.0 / 32768, 0.03);
}

}  // namespace
}  // namespace sorvex
