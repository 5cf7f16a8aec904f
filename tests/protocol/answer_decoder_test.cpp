#include "protocol/answer_decoder.h"

#include <gtest/gtest.h>

#include "protocol/telegram_builder.h"
#include "util/clock.h"

namespace sorvex {
namespace {

using test::Chars;
using test::TBits;
using test::TCountingStore;
using test::WithCheck;

constexpr double kNow = 46000.25;

struct TResult {
  bool Ok;
  std::string Text;
  TelegramInfo Info;
};

class DecodeAnswer : public ::testing::Test {
 protected:
  TResult Decode(const TBits& b) {
    TResult r;
    r.Ok = DecodeAnswerTelegram(b.Data(), b.Count, r.Text, r.Info, Store, Clock);
    return r;
  }
  void ExpectFail(const TBits& b, const std::string& text, std::string what = "") {
    if (what.empty()) what = test::BitsText(b.Data(), b.Count);
    const int calls = Store.Calls;
    const TResult r = Decode(b);
    EXPECT_FALSE(r.Ok) << what;
    EXPECT_EQ(r.Text, text) << what;
    EXPECT_EQ(r.Info.LengthBits, 36) << what;
    EXPECT_EQ(Store.Calls, calls) << what << ": a failed answer must not reach the store";
  }
  TManualClock Clock{kNow};
  TCountingStore Store;
};

TEST_F(DecodeAnswer, WorkedGtsExample) {
  const TResult r = Decode(Chars("C1/0 90/1 01/0 05/1 20/1 0C/1"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text, "КП=1; ГTC; Группа=1, Значение 05H");
  EXPECT_EQ(r.Info.KpAddress, 1);
  EXPECT_EQ(r.Info.FunctionCode, 0x90);
  EXPECT_EQ(r.Info.LengthBits, 54);
  EXPECT_EQ(Store.Calls, 1);
  EXPECT_EQ(Store.LastKp, 1);
  EXPECT_TRUE(Store.LastCreate);
  EXPECT_EQ(Store.Block().TsBytes[0], 0x05);
  EXPECT_EQ(Store.Block().TsTimes[0], kNow);
  for (int g = 1; g < 8; ++g) EXPECT_EQ(Store.Block().TsTimes[g], 0) << g;
}

TEST_F(DecodeAnswer, WorkedGtsExampleFailsForEverySingleBitChange) {
  const TBits good = Chars("C1/0 90/1 01/0 05/1 20/1 0C/1");
  for (unsigned bit = 9; bit < 54; ++bit) {
    const TResult r = Decode(test::Flip(good, bit));
    EXPECT_FALSE(r.Ok) << "bit " << bit << ": " << r.Text;
  }
  EXPECT_EQ(Store.Calls, 0);
  // The last character, covered only by the check: a checksum error.
  EXPECT_EQ(Decode(test::Flip(good, 53)).Text, "КП=1; ГTC; Ошибка контрольной суммы");
}

TEST_F(DecodeAnswer, GtsShortFormAndErrors) {
  const TResult r = Decode(Chars("C1 90 01 00/0"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text, "КП=1; ГTC; Группа=1");
  EXPECT_EQ(r.Info.LengthBits, 36);
  EXPECT_EQ(Store.Calls, 0);
  // Five characters with a short end at char 3 are still the short form.
  EXPECT_TRUE(Decode(Chars("C1 90 01 00/0 55")).Ok);
  const std::string p = "КП=1; ГTC; ";
  ExpectFail(Chars("C1 90 00 00/0"), p + "В ответе некорректный номер группы");
  ExpectFail(WithCheck("C1 90 40 05"), p + "В ответе некорректный номер группы");
  ExpectFail(Chars("C1 90 01 05 20/1"), p + "Некорректная длина телеграммы");
  ExpectFail(Chars("C1 90 01 05/0 20/1 00"), p + "Ошибка паритета");
  // Six characters with a short end at char 3: the long form, whose parity fails.
  ExpectFail(Chars("C1 90 01 00/0 20/1 00"), p + "Ошибка паритета");
  // 20/0 where a long end is expected.
  ExpectFail(Chars("C1 90 01 05 20/0 0C/1"), p + "В ответе некорректный признак конца");
  ExpectFail(Chars("C1 90 01 05 20/1 0C/0"), p + "Ошибка контрольной суммы");
}

TEST_F(DecodeAnswer, GtsGroupsBeyondTheBlockAreShownNotStored) {
  TResult r = Decode(WithCheck("C2 90 08 81"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(Store.Block().TsBytes[7], 0x81);
  r = Decode(WithCheck("C2 90 09 7E"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text, "КП=2; ГTC; Группа=9, Значение 7EH");
  EXPECT_EQ(r.Info.LengthBits, 54);
  r = Decode(WithCheck("C2 90 3F 7E"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text, "КП=2; ГTC; Группа=63, Значение 7EH");
  EXPECT_EQ(Store.Calls, 1);  // groups 9 and 63 did not reach the store
}

TEST_F(DecodeAnswer, TsmStoresGroupsOneToEight) {
  TResult r = Decode(WithCheck("C3 F0 00"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text, "КП=3; TCM; Данные: ");
  EXPECT_EQ(r.Info.LengthBits, 45);
  EXPECT_EQ(Store.Calls, 0);  // n = 0 stores nothing
  r = Decode(WithCheck("C3 F0 03 0A FF 00"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text, "КП=3; TCM; Данные: 0A FF 00 ");
  EXPECT_EQ(r.Info.LengthBits, 72);
  EXPECT_EQ(Store.Block().TsBytes[0], 0x0A);
  EXPECT_EQ(Store.Block().TsBytes[1], 0xFF);
  EXPECT_EQ(Store.Block().TsBytes[2], 0x00);
  EXPECT_EQ(Store.Block().TsTimes[2], kNow);
  EXPECT_EQ(Store.Block().TsTimes[3], 0);
  // n = 10: groups 9 and 10 are shown, only 1..8 stored.
  r = Decode(WithCheck("C3 F0 0A 01 02 03 04 05 06 07 08 09 10"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text, "КП=3; TCM; Данные: 01 02 03 04 05 06 07 08 09 10 ");
  EXPECT_EQ(r.Info.LengthBits, 9 * 15);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Store.Block().TsBytes[i], i + 1);
  const std::string p = "КП=3; TCM; ";
  ExpectFail(Chars("C3 F0 40 20/1 00"), p + "В ответе некорректный номер группы");
  ExpectFail(Chars("C3 F0 02 01 20/1 00"), p + "Некорректная длина телеграммы");
  ExpectFail(Chars("C3 F0 02 01 02/1 20/1 00"), p + "Ошибка паритета");
  ExpectFail(Chars("C3 F0 02 01 02 20/0 00"), p + "В ответе некорректный признак конца");
  ExpectFail(Chars("C3 F0 02 01 02 20/1 00"), p + "Ошибка контрольной суммы");
}

TEST_F(DecodeAnswer, GtitSignedValuesWithStatus) {
  // Values 1, -1, 2047, -2047, 0, 0x123 with status 5, -0x234 with status 15, 7 with status 1.
  const char* words = "01 00 01 08 FF 07 FF 0F 00 00 23 51 34 FA 07 10";
  TResult r = Decode(WithCheck(std::string("C4 10 02 ") + words));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text,
            "КП=4; ГТИТ; Группа=2, Данные: 1(0) -1(0) 2047(0) -2047(0) 0(0) 291(5) -564(F) 7(1) ");
  EXPECT_EQ(r.Info.LengthBits, 189);
  const int16_t expected[8] = {1, -1, 2047, -2047, 0, 291, -564, 7};
  for (int k = 0; k < 8; ++k) EXPECT_EQ(Store.Block().TitValues[1][k], expected[k]) << k;
  EXPECT_EQ(Store.Block().TitTimes[1], kNow);
  EXPECT_EQ(Store.Block().TitTimes[0], 0);
  // Group 5 and beyond: shown, not stored.
  const int calls = Store.Calls;
  r = Decode(WithCheck(std::string("C4 10 05 ") + words));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text.substr(0, std::string("КП=4; ГТИТ; Группа=5").size()), "КП=4; ГТИТ; Группа=5");
  EXPECT_EQ(Store.Calls, calls);
  // Short form.
  r = Decode(Chars("C4 10 03 00/0"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text, "КП=4; ГТИТ; Группа=3");
  EXPECT_EQ(r.Info.LengthBits, 36);
  EXPECT_EQ(Store.Calls, calls);
  const std::string p = "КП=4; ГТИТ; ";
  ExpectFail(Chars("C4 10 00 00/0"), p + "В ответе некорректный номер группы");
  ExpectFail(Chars("C4 10 01 01 00 00/0"), p + "Некорректная длина телеграммы");
  ExpectFail(
      Chars(std::string("C4 10 01 01 00 01 08 FF/0 07 FF 0F 00 00 23 51 34 FA 07 10 20/1 00")),
      p + "Ошибка паритета");
  ExpectFail(Chars(std::string("C4 10 01 ") + words + " 20/0 00"),
             p + "В ответе некорректный признак конца");
  ExpectFail(Chars(std::string("C4 10 01 ") + words + " 20/1 00"), p + "Ошибка контрольной суммы");
}

TEST_F(DecodeAnswer, GtiiCounters) {
  const char* words = "01 00 FF FF 00 01 34 12 00 00 00 80 FF 00 00 FF";
  TResult r = Decode(WithCheck(std::string("C5 00 13 ") + words));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text,
            "КП=5; ГTИИ; со сбросом, Группа=3, Данные: 1 65535 256 4660 0 32768 255 65280 ");
  EXPECT_EQ(r.Info.LengthBits, 189);
  r = Decode(WithCheck(std::string("C5 30 01 ") + words));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text.substr(0, std::string("КП=5; ГTИИ; без сброса, Группа=1, Данные: 1 ").size()),
            "КП=5; ГTИИ; без сброса, Группа=1, Данные: 1 ");
  EXPECT_EQ(Store.Calls, 0);
  const std::string p = "КП=5; ГTИИ; ";
  ExpectFail(WithCheck(std::string("C5 00 20 ") + words), p + "В ответе некорректный номер группы");
  ExpectFail(WithCheck(std::string("C5 00 00 ") + words), p + "В ответе некорректный номер группы");
  ExpectFail(Chars("C5 00 01 00/0"), p + "Некорректная длина телеграммы");
}

TEST_F(DecodeAnswer, ZutitSettingsAndNutitAcknowledgement) {
  const char* body = "05 08 64 00 00 00 FF 07 FF 0F 07 00 11 FD C8 80";
  TResult r = Decode(WithCheck(std::string("C6 A0 3F ") + body));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text,
            "КП=6; ЗУTИТ; Группа=8, Канал=8, Данные: Уст: Д=-5..100, А=0..2047, П=-2047..7, "
            "С1=17, С2=200, Г=-3, К=128;");
  EXPECT_EQ(r.Info.LengthBits, 189);
  ExpectFail(WithCheck(std::string("C6 A0 40 ") + body),
             "КП=6; ЗУTИТ; В ответе некорректный номер группы");
  r = Decode(Chars("C6 B0 0A 00/0"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text, "КП=6; НУТИТ; Группа=2, Канал=3");
  EXPECT_EQ(r.Info.LengthBits, 36);
  // The Nutit answer examines no group range: 0xFF is channel address 255.
  r = Decode(Chars("C6 B0 FF 00/0"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text, "КП=6; НУТИТ; Группа=32, Канал=8");
  ExpectFail(Chars("C6 B0 0A 20/1"), "КП=6; НУТИТ; В ответе некорректный признак конца");
  EXPECT_EQ(Store.Calls, 0);
}

TEST_F(DecodeAnswer, GkdsExaminesNothingMore) {
  for (const char* chars : {"C7 20 01 00/0", "C7 20 00 FF/0", "C7 20 01 05 20/1 0C/0 11 22"}) {
    const TResult r = Decode(Chars(chars));
    EXPECT_TRUE(r.Ok) << chars;
    EXPECT_EQ(r.Text, "КП=7; ГКДС; ") << chars;
    EXPECT_EQ(r.Info.LengthBits, 54) << chars;
  }
  EXPECT_EQ(Store.Calls, 0);
}

TEST_F(DecodeAnswer, OtAnswer) {
  const TResult r = Decode(Chars("C8 50 00 00/0"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text, "КП=8; ОТ; ");
  EXPECT_EQ(r.Info.LengthBits, 36);
  ExpectFail(Chars("C8 50 01 00/0"), "КП=8; ОТ; В ответе некорректный номер группы");
  ExpectFail(Chars("C8 50 00 20/1"), "КП=8; ОТ; В ответе некорректный признак конца");
}

TEST_F(DecodeAnswer, BoCollection) {
  TResult r = Decode(WithCheck("C9 D0 12 34"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text, "КП=9; БО; Значение=12 34 ");
  EXPECT_EQ(r.Info.LengthBits, 54);
  EXPECT_EQ(Store.Block().BoBytes[0], 0x12);
  EXPECT_EQ(Store.Block().BoBytes[1], 0x34);
  EXPECT_EQ(Store.Block().BoTime, kNow);
  // Eight bytes, then a two-byte answer: the bytes from 2 on keep their values.
  r = Decode(WithCheck("C9 D0 01 02 03 04 05 06 07 08"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text, "КП=9; БО; Значение=01 02 03 04 05 06 07 08 ");
  EXPECT_EQ(r.Info.LengthBits, 108);
  Clock.AdvanceMs(1000);
  r = Decode(WithCheck("C9 D0 AA BB"));
  EXPECT_TRUE(r.Ok);
  const uint8_t expected[8] = {0xAA, 0xBB, 3, 4, 5, 6, 7, 8};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(Store.Block().BoBytes[i], expected[i]) << i;
  EXPECT_EQ(Store.Block().BoTime, Clock.Now());
  // A 20/1 as the first or second data byte is not yet an end: parity error.
  const std::string p = "КП=9; БО; ";
  ExpectFail(Chars("C9 D0 12 20/1 0C/1 00"), p + "Ошибка паритета");
  ExpectFail(Chars("C9 D0 20/1 12 20/1 00"), "КП=9; Ошибка паритета");  // header step 7
  ExpectFail(Chars("C9 D0 12 34 20/1"), p + "Некорректная длина телеграммы");
  // 20/0 obeys the parity rule, so before the eighth byte it is data; after
  // eight bytes it stands where the long end must be.
  ExpectFail(Chars("C9 D0 12 34 20/0 00"), p + "Некорректная длина телеграммы");
  ExpectFail(Chars("C9 D0 01 02 03 04 05 06 07 08 20/0 00"),
             p + "В ответе некорректный признак конца");
  ExpectFail(Chars("C9 D0 12 34 20/1 00"), p + "Ошибка контрольной суммы");
  // Nine data bytes: after eight the ninth must be the long end.
  ExpectFail(WithCheck("C9 D0 01 02 03 04 05 06 07 08 09"),
             p + "В ответе некорректный признак конца");
  // Characters run out before the end: a length error, never a look behind them.
  ExpectFail(Chars("C9 D0 01 02 03 04 05"), p + "Некорректная длина телеграммы");
  ExpectFail(Chars("C9 D0 01 02 03 04 20/1"), p + "Некорректная длина телеграммы");
}

TEST_F(DecodeAnswer, TuAnswer) {
  TResult r = Decode(Chars("CA 70 03 00 00/0"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text, "КП=10; ТУ; Вкл, Группа=3, Объект=9;");
  EXPECT_EQ(r.Info.LengthBits, 45);
  r = Decode(Chars("CA E0 03 06 00/0"));
  EXPECT_TRUE(r.Ok);
  EXPECT_EQ(r.Text, "КП=10; ТУ; Откл, Группа=3, Объект=2;");
  ExpectFail(Chars("CA E0 00 06 00/0"), "КП=10; ТУ; В ответе некорректный номер группы");
  ExpectFail(Chars("CA E0 01 06"), "КП=10; ТУ; Некорректная длина телеграммы");
  EXPECT_EQ(Store.Calls, 0);
}

TEST_F(DecodeAnswer, UnrecognisedFunction0x40) {
  const TResult r = Decode(Chars("C1 40 00 00/0"));
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.Text, "КП=1; 40H??; C1(0) 40(0) 00(1) 00(0) ");
  EXPECT_EQ(r.Info.KpAddress, 1);
  EXPECT_EQ(r.Info.FunctionCode, 0x40);
  EXPECT_EQ(r.Info.LengthBits, 36);
  EXPECT_EQ(Store.Calls, 0);
}

TEST_F(DecodeAnswer, HeaderErrors) {
  ExpectFail(Chars("E1/1 90 01 00/0"), "Не принята синхропоследовательность");
  ExpectFail(Chars("A1 90 01 00/0"), "Не принята синхропоследовательность");
  ExpectFail(Chars("C0/1 90 01 00/0"), "В ответе некорректный адрес КП");
  ExpectFail(Chars("C0/0 90 01 00/0"), "Ошибка паритета");
  // The group character's parity is tested in the header even for Bo,
  // where it is the first data byte.
  ExpectFail(WithCheck("C1 D0 12/0 34"), "КП=1; Ошибка паритета");
  const TResult r = Decode(Chars("C1 90 01"));
  EXPECT_EQ(r.Text, "Некорректная длина телеграммы");
  EXPECT_EQ(r.Info.LengthBits, 0);
}

class TCountingClock : public TClock {
 public:
  double Now() const override {
    ++Reads;
    return 5.0;
  }
  int64_t Counter() const override { return 0; }
  int64_t CounterFrequency() const override { return 1; }
  mutable int Reads = 0;
};

TEST(DecodeAnswerClock, ReadsTheDateTimeOnceAtEntry) {
  TCountingClock clock;
  test::TMapStore store;
  std::string text;
  TelegramInfo info;
  const TBits tsm = WithCheck("C1 F0 08 01 02 03 04 05 06 07 08");
  EXPECT_TRUE(DecodeAnswerTelegram(tsm.Data(), tsm.Count, text, info, store, clock));
  EXPECT_EQ(clock.Reads, 1);
  const TBits bad = Chars("C1 F0");
  EXPECT_FALSE(DecodeAnswerTelegram(bad.Data(), bad.Count, text, info, store, clock));
  EXPECT_EQ(clock.Reads, 2);
  KpTelemetryBlock* block = store.FindKpRecord(1, false);
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(block->TsTimes[i], 5.0);
}

TEST(DecodeAnswerStore, FailedAnswersCreateNoRecord) {
  TManualClock clock(1.0);
  test::TMapStore store;
  std::string text;
  TelegramInfo info;
  const TBits bad = test::Flip(WithCheck("C3 90 01 05"), 53);
  EXPECT_FALSE(DecodeAnswerTelegram(bad.Data(), bad.Count, text, info, store, clock));
  EXPECT_FALSE(store.Has(3));
  EXPECT_EQ(store.Calls, 0);
}

}  // namespace
}  // namespace sorvex
