// The sensitive receiver's results pinned on long, hard lines at 200, 1200
// and 2400 baud: the bits of every telegram, every signal record (kind and
// value, to the last bit of the double), the level after every block, the
// noise peak and the tracked bit period. The digests were taken when the
// carrier detector came to measure the noise itself; work on its speed
// must leave every one of them as it is. A changed digest means a changed decision or record: find
// the first block where the two receivers part before touching a value.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "dsp/iir_filter.h"
#include "modem/modem.h"
#include "modem/noisy_line.h"
#include "modem/sensitive_receiver.h"

namespace sorvex {
namespace {

using testing::MakeNoisyLine;
using testing::TNoisyLine;
using testing::TReceiverDigest;

struct TRate {
  int32_t Baud, Freq0, Freq1;
  double Seconds;
  double StartLevel;  // about three times the noise's tone amplitude over a bit
};

constexpr TRate kRates[] = {
    {200, 2540, 2760, 60, 0.03}, {1200, 1300, 2100, 20, 0.07}, {2400, 1200, 2400, 15, 0.1}};

// Feeds `line` block by block, taking each telegram (then re-arming) and
// the records it leaves, into `d`.
void Feed(TSensitiveReceiver& rx, const TRate& rate, const TNoisyLine& line, int channel,
          TIirFilter* band, TReceiverDigest& d) {
  uint8_t bytes[256];
  std::vector<TSignalRecord> records(static_cast<size_t>(rx.RecordCapacityValue()) + 1);
  auto takeRecords = [&] {
    const int32_t count = rx.CopySignalRecords(records.data());
    TReceiverDigest::Mix(d.Records, &count, sizeof count);
    for (int32_t i = 0; i < count; ++i) {
      TReceiverDigest::Mix(d.Records, &records[i].Kind, 1);
      TReceiverDigest::Mix(d.Records, records[i].Value);
      d.Strobes += records[i].Kind == skStrobe;
      d.BitSamples += records[i].Kind == skBitSample;
    }
  };
  size_t at = 0;
  for (const int n : line.Blocks) {
    rx.ProcessBlock(channel, line.Frames.data() + 2 * at, n, rate.Baud, rate.Freq0, rate.Freq1,
                    band);
    at += static_cast<size_t>(n);
    TReceiverDigest::Mix(d.Levels, rx.Level());
    const int state = rx.ReceiverState();
    TReceiverDigest::Mix(d.Levels, &state, sizeof state);
    const int32_t count = rx.TakeTelegram(bytes, 0);
    if (count > 0) {
      d.Telegrams += 1;
      TReceiverDigest::Mix(d.Bits, &count, sizeof count);
      TReceiverDigest::Mix(d.Bits, bytes, static_cast<size_t>(count / 8));
      takeRecords();
      TReceiverDigest::Mix(d.Levels, rx.TakeNoise());
      TReceiverDigest::Mix(d.Levels, rx.TrackedSamplesPerBit());
      rx.Reset();
    }
  }
  takeRecords();
}

struct TExpected {
  int Telegrams, Strobes, BitSamples;
  uint64_t Bits, Records, Levels;
};

void ExpectDigest(const TReceiverDigest& d, const TExpected& e, const std::string& what) {
  EXPECT_EQ(d.Telegrams, e.Telegrams) << what;
  EXPECT_EQ(d.Strobes, e.Strobes) << what;
  EXPECT_EQ(d.BitSamples, e.BitSamples) << what;
  EXPECT_EQ(d.Bits, e.Bits) << what << std::hex << " bits 0x" << d.Bits;
  EXPECT_EQ(d.Records, e.Records) << what << std::hex << " records 0x" << d.Records;
  EXPECT_EQ(d.Levels, e.Levels) << what << std::hex << " levels 0x" << d.Levels;
}

// Per rate: the line on the left through the level meter's band-pass with a
// record buffer as the work tab keeps it; on the right with no records and
// no band-pass; with a record buffer that overflows.
const TExpected kPinned[3][3] = {
    {{30, 30, 3919, 0xddc0f6769fbe8659ull, 0x73fb88880f9b9b54ull, 0x67c153841e51015dull},
     {33, 0, 0, 0x43bee86238673775ull, 0xd8f706edf03243c5ull, 0x4f8ac1311970ef2cull},
     {42, 43, 343, 0x6ded9fc59c0f5cfull, 0xfbe76ec42f6f934full, 0xa11e9f427d337cfdull}},
    {{66, 67, 8049, 0x2898ab1175de38cdull, 0x344efcba8e8620b7ull, 0xa45859f9dce63dc6ull},
     {66, 0, 0, 0xe451e9cfcaa75ee0ull, 0x850a197bf4fb895ull, 0x2d4923355dc0e6cdull},
     {70, 70, 4458, 0x8354f659a5b48b4cull, 0x22138b7cebf9d029ull, 0xb5958334c50bf6aeull}},
    {{76, 75, 8452, 0x68522a178a928fc1ull, 0x943d0427626b58b6ull, 0x4f566a69c17d0981ull},
     {74, 0, 0, 0x8837af5b01960415ull, 0x54191692fe7f4315ull, 0x9301629540b24681ull},
     {76, 73, 7845, 0xca0637eaa394b2b3ull, 0xc6bf2c011355f908ull, 0x75d425451679e6dull}},
};

TEST(SensitiveReceiverPinnedTest, LongNoisyLinesGiveThePinnedResults) {
  for (int r = 0; r < 3; ++r) {
    const TRate& rate = kRates[r];
    for (int variant = 0; variant < 3; ++variant) {
      const int channel = variant == 1 ? 1 : 0;
      const TNoisyLine line = MakeNoisyLine(rate.Baud, rate.Freq0, rate.Freq1, rate.Seconds,
                                            channel, 100 * rate.Baud + variant);
      TIirFilter band(SampleRate);
      band.Design(fkButterworth, btBandPass, 2, 500, 3000, 1);
      TSensitiveReceiver rx(1024);
      if (variant != 1) rx.SetRecordCapacity(variant == 0 ? 64000 : 500);
      rx.SetStartLevel(rate.StartLevel);
      rx.Reset();
      TReceiverDigest d;
      Feed(rx, rate, line, channel, variant == 1 ? nullptr : &band, d);
      // Many of the telegrams sent are strong enough to be taken.
      EXPECT_GT(d.Telegrams, line.Telegrams / 3) << rate.Baud;
      ExpectDigest(d, kPinned[r][variant],
                   std::to_string(rate.Baud) + " baud, variant " + std::to_string(variant));
    }
  }
}

// One receiver through all three rates in turn, the tones changing under
// it in the middle of whatever it is doing.
TEST(SensitiveReceiverPinnedTest, RatesChangingUnderOneReceiver) {
  TSensitiveReceiver rx(1024);
  rx.SetRecordCapacity(20000);
  rx.SetStartLevel(0.06);
  rx.Reset();
  TReceiverDigest d;
  for (const int r : {2, 0, 1, 2}) {
    const TRate& rate = kRates[r];
    const TNoisyLine line = MakeNoisyLine(rate.Baud, rate.Freq0, rate.Freq1, 3, 0, 7 + r);
    Feed(rx, rate, line, 0, nullptr, d);
  }
  ExpectDigest(d,
               {36, 38, 3927, 0x2b9f796ce21f02c9ull, 0x809cca32a5b2c5full, 0xd3503082a7bcbdb8ull},
               "rates changing");
}

}  // namespace
}  // namespace sorvex
