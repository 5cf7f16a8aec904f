#include "monitor/kp_record_list.h"

#include <gtest/gtest.h>

#include <cstring>

#include "protocol/answer_decoder.h"
#include "sim/answer_encoder.h"
#include "util/clock.h"

namespace sorvex {
namespace {

bool AllZeroExceptKp(const TKpRecord& r) {
  TKpRecord zero;
  zero.Kp = r.Kp;
  // Compare member by member: padding bytes are not part of the record.
  for (int c = 0; c < 2; ++c) {
    for (int f = 0; f < kFunctionCountEntries; ++f) {
      if (r.FunctionCounts[c][f] != 0) return false;
    }
    if (r.Accepted[c] || r.Rejected[c] || r.Levels[c].MinLevelDb || r.Levels[c].MaxLevelDb ||
        r.Levels[c].LevelDb || r.Asym[c].Asymmetry || r.Asym[c].MaxAsymmetry ||
        r.Noise[c].NoiseDb || r.Noise[c].MaxNoiseDb || r.Snr[c].SnrDb || r.Snr[c].WorstSnrDb ||
        r.LastUpdate[c]) {
      return false;
    }
  }
  const KpTelemetryBlock& t = r.Telemetry;
  for (int i = 0; i < 8; ++i) {
    if (t.TsBytes[i] || t.TsTimes[i] || t.BoBytes[i]) return false;
  }
  for (int g = 0; g < 4; ++g) {
    if (t.TitTimes[g]) return false;
    for (int k = 0; k < 8; ++k) {
      if (t.TitValues[g][k]) return false;
    }
  }
  return t.BoTime == 0;
}

TEST(KpRecordList, FindWithoutCreateOnEmptyListCreatesNothing) {
  TKpRecordList list;
  EXPECT_EQ(list.FindKpRecord(5, false), nullptr);
  EXPECT_EQ(list.Size(), 0u);
}

// However a record comes to be (the decoder's create, the statistics'
// AddRecord, or again after Clear), it starts zero-filled: nothing of an
// earlier record of the same KP survives.
TEST(KpRecordList, FreshRecordsAreZeroHoweverTheyAreCreated) {
  TKpRecordList list;
  KpTelemetryBlock* a = list.FindKpRecord(5, true);
  KpTelemetryBlock* b = list.FindKpRecord(5, true);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_EQ(list.FindKpRecord(5, false), a);
  ASSERT_EQ(list.Size(), 1u);
  EXPECT_EQ(list[0].Kp, 5);
  EXPECT_EQ(&list[0].Telemetry, a);
  EXPECT_TRUE(AllZeroExceptKp(list[0]));
  TKpRecord& added = list.AddRecord(7);
  EXPECT_EQ(added.Kp, 7);
  EXPECT_TRUE(AllZeroExceptKp(added));

  TKpRecord& used = *list.FindRecord(5);
  used.Accepted[1] = 3;
  used.Rejected[0] = 2;
  used.FunctionCounts[1][0x90] = 3;
  used.Levels[0].MinLevelDb = -6;
  used.LastUpdate[1] = 46000.5;
  used.Telemetry.TsBytes[2] = 0x81;
  used.Telemetry.TitValues[3][7] = -5;
  used.Telemetry.BoTime = 46000.5;
  ASSERT_FALSE(AllZeroExceptKp(used));
  list.Clear();
  list.AddRecord(7);
  list.FindKpRecord(5, true);
  ASSERT_EQ(list.Size(), 2u);
  EXPECT_TRUE(AllZeroExceptKp(*list.FindRecord(5)));
  EXPECT_TRUE(AllZeroExceptKp(*list.FindRecord(7)));
}

TEST(KpRecordList, AppendsInInsertionOrderUntilSorted) {
  TKpRecordList list;
  for (uint8_t kp : {9, 3, 31, 1}) list.FindKpRecord(kp, true);
  ASSERT_EQ(list.Size(), 4u);
  EXPECT_EQ(list[0].Kp, 9);
  EXPECT_EQ(list[3].Kp, 1);
  KpTelemetryBlock* block3 = list.FindKpRecord(3, false);
  list.SortByKp();
  EXPECT_EQ(list[0].Kp, 1);
  EXPECT_EQ(list[1].Kp, 3);
  EXPECT_EQ(list[2].Kp, 9);
  EXPECT_EQ(list[3].Kp, 31);
  EXPECT_EQ(list.FindKpRecord(3, false), block3);  // records keep their addresses
  list.AddRecord(2);
  EXPECT_EQ(list[4].Kp, 2);
}

TEST(KpRecordList, ClearFreesEverything) {
  TKpRecordList list;
  for (int kp = 1; kp <= 31; ++kp) list.FindKpRecord(static_cast<uint8_t>(kp), true);
  EXPECT_EQ(list.Size(), 31u);
  list.Clear();
  EXPECT_TRUE(list.Empty());
  for (int kp = 0; kp < 256; ++kp)
    EXPECT_EQ(list.FindKpRecord(static_cast<uint8_t>(kp), false), nullptr);
}

TEST(KpRecordList, AnswerDecoderStoresThroughTheList) {
  TKpRecordList list;
  TManualClock clock(46000.0);
  AnswerDescriptor a;
  a.KpAddress = 3;
  a.FunctionCode = 0x90;
  a.Group = 3;
  a.Bytes = {0x81};
  uint8_t bits[kAnswerBufferBytes];
  const int16_t count = EncodeAnswerTelegram(bits, a);
  std::string text;
  TelegramInfo info;
  // A failed answer creates no record.
  EXPECT_FALSE(
      DecodeAnswerTelegram(bits, static_cast<uint16_t>(count - 1), text, info, list, clock));
  EXPECT_TRUE(list.Empty());
  ASSERT_TRUE(DecodeAnswerTelegram(bits, static_cast<uint16_t>(count), text, info, list, clock));
  const KpTelemetryBlock* block = list.FindKpRecord(3, false);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->TsBytes[2], 0x81);
  EXPECT_EQ(block->TsTimes[2], 46000.0);
  EXPECT_EQ(block->TsTimes[0], 0);
  ASSERT_EQ(list.Size(), 1u);
  EXPECT_EQ(list[0].Accepted[1], 0u);  // the decoder touches only the telemetry
}

}  // namespace
}  // namespace sorvex
