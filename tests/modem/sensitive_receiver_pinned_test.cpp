// The sensitive receiver's results pinned on long, hard lines at 200, 1200
// and 2400 baud: the bits of every telegram, every signal record (kind and
// value, to the last bit of the double), the level after every block, the
// noise peak and the tracked bit period. The digests were taken from the
// receiver as it first stood; work on its speed must leave every one of
// them as it is. A changed digest means a changed decision or record: find
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
    {{29, 29, 3885, 0xa9fd44cb34ee2814ull, 0xdfe3018e8bb05cccull, 0x9d139d7a1deb025bull},
     {34, 0, 0, 0x80e5231a76c34a3ull, 0x7b71c07e2c060e95ull, 0xf3821ca0f1e5037aull},
     {41, 42, 335, 0x3bc314a2d7f41239ull, 0x82736ba1e94428e6ull, 0xc6de1475c78d672aull}},
    {{67, 68, 8401, 0xabc25e6c655710bdull, 0xab25e2a290cfbbb2ull, 0x2d1683014343cf3dull},
     {67, 0, 0, 0x442e84cf57f4bfe5ull, 0xb20a3b9d2c8df865ull, 0x1aec74b9df0e3251ull},
     {68, 68, 4313, 0x7f7bf67dbd08fcbaull, 0x37653e8c644567cdull, 0x4f7bcae500810452ull}},
    {{81, 80, 8775, 0xe3bd428cc953acc1ull, 0x5b108c802594d239ull, 0xcdf5029d9c966f73ull},
     {82, 0, 0, 0x24dfb30475fd0676ull, 0xf7c9154dcf140d95ull, 0xcacdd5bb084f87b9ull},
     {84, 81, 7996, 0x500243a129e73696ull, 0xdc5388f8431b937aull, 0x8732af78056bee7eull}},
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
  ExpectDigest(d, {50, 52, 6404, 0xa4ef2f569fc0880ull, 0x648dafbdc38aee74ull, 0xbb3fc3a04780bb8ull},
               "rates changing");
}

}  // namespace
}  // namespace sorvex
