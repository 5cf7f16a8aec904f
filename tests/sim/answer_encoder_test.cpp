#include "sim/answer_encoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "protocol/answer_decoder.h"
#include "protocol/request_decoder.h"
#include "protocol/telegram.h"
#include "protocol/telegram_builder.h"
#include "util/clock.h"

namespace sorvex {
namespace {

constexpr double kNow = 45000.5;

struct TBuilt {
  uint8_t Bytes[kAnswerBufferBytes] = {};
  int16_t Count = 0;
};

TBuilt Build(const AnswerDescriptor& a) {
  TBuilt b;
  b.Count = EncodeAnswerTelegram(b.Bytes, a);
  return b;
}

class AnswerRoundTrip : public ::testing::Test {
 protected:
  bool Decode(const AnswerDescriptor& a) {
    const TBuilt b = Build(a);
    Bits = b.Count;
    return DecodeAnswerTelegram(b.Bytes, static_cast<uint16_t>(b.Count), Text, Info, Store, Clock);
  }
  KpTelemetryBlock* Block(uint8_t kp) { return Store.FindKpRecord(kp, false); }

  TManualClock Clock{kNow};
  test::TMapStore Store;
  std::string Text;
  TelegramInfo Info;
  int Bits = 0;
};

AnswerDescriptor Answer(uint8_t kp, uint8_t function, uint8_t group = 0) {
  AnswerDescriptor a;
  a.KpAddress = kp;
  a.FunctionCode = function;
  a.Group = group;
  return a;
}

TEST_F(AnswerRoundTrip, WorkedGtsExampleBitForBit) {
  AnswerDescriptor a = Answer(1, 0x90, 1);
  a.Bytes = {0x05};
  const TBuilt b = Build(a);
  const test::TBits expected = test::Chars("C1/0 90/1 01/0 05/1 20/1 0C/1");
  ASSERT_EQ(b.Count, expected.Count);
  EXPECT_EQ(std::memcmp(b.Bytes, expected.Data(), expected.Bytes.size()), 0);
  EXPECT_TRUE(Decode(a));
  EXPECT_EQ(Text, "КП=1; ГTC; Группа=1, Значение 05H");
}

TEST_F(AnswerRoundTrip, Ot) {
  EXPECT_TRUE(Decode(Answer(2, 0x50)));
  EXPECT_EQ(Text, "КП=2; ОТ; ");
  EXPECT_EQ(Info.LengthBits, 36);
  EXPECT_EQ(Bits, 36);
  EXPECT_EQ(Store.Calls, 0);
}

TEST_F(AnswerRoundTrip, TsmLandsInTsGroups) {
  AnswerDescriptor a = Answer(3, 0xF0);
  a.Bytes = {0x81, 0x00, 0xFF, 0x5A};
  EXPECT_TRUE(Decode(a));
  EXPECT_EQ(Text, "КП=3; TCM; Данные: 81 00 FF 5A ");
  EXPECT_EQ(Info.LengthBits, 81);
  EXPECT_EQ(Bits, 81);
  KpTelemetryBlock* block = Block(3);
  ASSERT_NE(block, nullptr);
  const uint8_t expected[8] = {0x81, 0x00, 0xFF, 0x5A, 0, 0, 0, 0};
  for (int g = 0; g < 8; ++g) {
    EXPECT_EQ(block->TsBytes[g], expected[g]) << g;
    EXPECT_EQ(block->TsTimes[g], g < 4 ? kNow : 0) << g;
  }
  // 63 groups: the largest Tsm; only 1..8 stored.
  a.Bytes.assign(63, 0x11);
  for (int i = 0; i < 63; ++i) a.Bytes[i] = static_cast<uint8_t>(i);
  EXPECT_TRUE(Decode(a));
  EXPECT_EQ(Info.LengthBits, 9 * 68);
  for (int g = 0; g < 8; ++g) EXPECT_EQ(block->TsBytes[g], g);
  // More than 63 bytes are cut to 63.
  a.Bytes.assign(70, 0x22);
  EXPECT_TRUE(Decode(a));
  EXPECT_EQ(Info.LengthBits, 9 * 68);
}

TEST_F(AnswerRoundTrip, GtsBothFormsEveryGroup) {
  for (int g = 1; g <= 63; ++g) {
    AnswerDescriptor a = Answer(4, 0x90, static_cast<uint8_t>(g));
    a.Bytes = {static_cast<uint8_t>(g * 3)};
    ASSERT_TRUE(Decode(a)) << g << ": " << Text;
    char expected[64];
    std::snprintf(expected, sizeof expected, "КП=4; ГTC; Группа=%d, Значение %.2XH", g,
                  g * 3 & 0xFF);
    EXPECT_EQ(Text, expected);
    EXPECT_EQ(Info.LengthBits, 54);
    a.ShortForm = true;
    ASSERT_TRUE(Decode(a));
    EXPECT_EQ(Text, "КП=4; ГTC; Группа=" + std::to_string(g));
    EXPECT_EQ(Info.LengthBits, 36);
  }
  KpTelemetryBlock* block = Block(4);
  ASSERT_NE(block, nullptr);
  for (int g = 1; g <= 8; ++g) {
    EXPECT_EQ(block->TsBytes[g - 1], g * 3);
    EXPECT_EQ(block->TsTimes[g - 1], kNow);
  }
}

TEST_F(AnswerRoundTrip, GkdsAnswer) {
  AnswerDescriptor a = Answer(5, 0x20, 2);
  a.Bytes = {0x44};
  EXPECT_TRUE(Decode(a));
  EXPECT_EQ(Text, "КП=5; ГКДС; ");
  EXPECT_EQ(Info.LengthBits, 54);
  EXPECT_EQ(Bits, 54);
}

TEST_F(AnswerRoundTrip, GtitSignedValuesAndStatus) {
  AnswerDescriptor a = Answer(6, 0x10, 3);
  const int values[8] = {0, 1, -1, 2047, -2047, 1000, -1000, 5};
  const unsigned status[8] = {0, 15, 1, 2, 3, 8, 9, 0};
  for (int k = 0; k < 8; ++k) a.Words[k] = MakeTitWord(values[k], status[k]);
  EXPECT_TRUE(Decode(a));
  EXPECT_EQ(
      Text,
      "КП=6; ГТИТ; Группа=3, Данные: 0(0) 1(F) -1(1) 2047(2) -2047(3) 1000(8) -1000(9) 5(0) ");
  EXPECT_EQ(Info.LengthBits, 189);
  EXPECT_EQ(Bits, 189);
  KpTelemetryBlock* block = Block(6);
  ASSERT_NE(block, nullptr);
  for (int k = 0; k < 8; ++k) EXPECT_EQ(block->TitValues[2][k], values[k]) << k;
  EXPECT_EQ(block->TitTimes[2], kNow);
  EXPECT_EQ(block->TitTimes[3], 0);
  // Every group 1..63; 5..63 change nothing in the block.
  KpTelemetryBlock before = *block;
  for (int g = 5; g <= 63; ++g) {
    a.Group = static_cast<uint8_t>(g);
    ASSERT_TRUE(Decode(a)) << g;
  }
  EXPECT_EQ(std::memcmp(&before, block, sizeof before), 0);
  a.Group = 4;
  ASSERT_TRUE(Decode(a));
  EXPECT_EQ(block->TitValues[3][4], -2047);
  a.ShortForm = true;
  EXPECT_TRUE(Decode(a));
  EXPECT_EQ(Text, "КП=6; ГТИТ; Группа=4");
  EXPECT_EQ(Info.LengthBits, 36);
}

TEST_F(AnswerRoundTrip, GtiiCounters) {
  for (uint8_t f : {uint8_t{0x00}, uint8_t{0x30}}) {
    AnswerDescriptor a = Answer(7, f, 0x1A);
    for (int k = 0; k < 8; ++k) a.Words[k] = static_cast<uint16_t>(k * 9000);
    EXPECT_TRUE(Decode(a));
    EXPECT_EQ(Text, std::string("КП=7; ГTИИ; ") + (f == 0 ? "со сбросом" : "без сброса") +
                        ", Группа=10, Данные: 0 9000 18000 27000 36000 45000 54000 63000 ");
    EXPECT_EQ(Info.LengthBits, 189);
  }
  EXPECT_EQ(Store.Calls, 0);
}

TEST_F(AnswerRoundTrip, ZutitSettings) {
  AnswerDescriptor a = Answer(8, 0xA0, 0x3F);
  a.Words = MakeTitChannelSettings({-100, 100, -2047, 2047, 0, 5}, 10, -128, 255, 0xFF);
  EXPECT_TRUE(Decode(a));
  EXPECT_EQ(Text,
            "КП=8; ЗУTИТ; Группа=8, Канал=8, Данные: Уст: Д=-100..100, А=-2047..2047, П=0..5, "
            "С1=10, С2=255, Г=-128, К=255;");
  EXPECT_EQ(Info.LengthBits, 189);
}

TEST_F(AnswerRoundTrip, NutitAcknowledgement) {
  EXPECT_TRUE(Decode(Answer(9, 0xB0, 0x09)));
  EXPECT_EQ(Text, "КП=9; НУТИТ; Группа=2, Канал=2");
  EXPECT_EQ(Info.LengthBits, 36);
}

TEST_F(AnswerRoundTrip, BoKeepsOlderBytesBeyondTheCount) {
  AnswerDescriptor a = Answer(10, 0xD0);
  a.Bytes = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_TRUE(Decode(a));
  EXPECT_EQ(Text, "КП=10; БО; Значение=01 02 03 04 05 06 07 08 ");
  EXPECT_EQ(Info.LengthBits, 108);
  uint8_t model[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (int count : {3, 2, 6, 2, 8, 4}) {
    const auto value = static_cast<uint8_t>(0xA0 + count);
    a.Bytes.assign(static_cast<size_t>(count), value);
    for (int i = 0; i < count; ++i) model[i] = value;
    Clock.AdvanceMs(10);
    ASSERT_TRUE(Decode(a)) << count;
    EXPECT_EQ(Info.LengthBits, 9 * (count + 4));
    KpTelemetryBlock* block = Block(10);
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(block->BoBytes[i], model[i]) << count << " " << i;
    EXPECT_EQ(block->BoTime, Clock.Now());
  }
}

TEST_F(AnswerRoundTrip, TuObjects) {
  for (uint8_t f : {uint8_t{0x70}, uint8_t{0xE0}}) {
    for (int object = 0; object <= 9; ++object) {
      AnswerDescriptor a = Answer(11, f, 31);
      a.Object = static_cast<uint8_t>(object);
      ASSERT_TRUE(Decode(a));
      const int reported = object >= 1 && object <= 8 ? object : 9;
      EXPECT_EQ(Text, std::string("КП=11; ТУ; ") + (f == 0x70 ? "Вкл" : "Откл") +
                          ", Группа=31, Объект=" + std::to_string(reported) + ";");
      EXPECT_EQ(Info.LengthBits, 45);
    }
  }
}

TEST_F(AnswerRoundTrip, UnknownFunctionDumps) {
  AnswerDescriptor a = Answer(12, 0x40, 1);
  a.Bytes = {0xAB};
  EXPECT_FALSE(Decode(a));
  EXPECT_EQ(Text, "КП=12; 40H??; CC(1) 40(0) 01(0) AB(0) 00(0) ");
  EXPECT_EQ(Info.LengthBits, 36);
}

// The same bits fed as a request: most answers are no valid request, and
// the request decoder never stores anything.
TEST_F(AnswerRoundTrip, RequestDecoderOnAnswers) {
  AnswerDescriptor a = Answer(1, 0x90, 1);
  a.Bytes = {0x05};
  const TBuilt b = Build(a);
  std::string text;
  TelegramInfo info;
  EXPECT_FALSE(DecodeRequestTelegram(b.Bytes, static_cast<uint16_t>(b.Count), text, info));
  EXPECT_EQ(text, "КП=1; ГTC; В ответе некорректный признак конца");
}

// Every prefix of every answer, copied into a buffer of exactly its bytes
// (ASan sees a read past it), decodes without reading or writing out of
// bounds; the block is alone on the heap, so a write past it is caught too.
class TExactStore : public TTelemetryStore {
 public:
  KpTelemetryBlock* FindKpRecord(uint8_t, bool create) override {
    if (!create) return Block.get();
    if (!Block) Block = std::make_unique<KpTelemetryBlock>();
    return Block.get();
  }
  std::unique_ptr<KpTelemetryBlock> Block;
};

std::vector<AnswerDescriptor> EveryFunction() {
  std::vector<AnswerDescriptor> all;
  auto add = [&](uint8_t f, uint8_t g, std::vector<uint8_t> bytes = {}, bool shortForm = false) {
    AnswerDescriptor a = Answer(31, f, g);
    a.Bytes = std::move(bytes);
    a.ShortForm = shortForm;
    for (int k = 0; k < 8; ++k) a.Words[k] = static_cast<uint16_t>(0x8F7F + k * 0x1111);
    a.Object = 3;
    all.push_back(a);
  };
  add(0x50, 0);
  add(0xF0, 0, std::vector<uint8_t>(63, 0xEE));
  add(0xF0, 0, {});
  add(0x90, 63, {0x12});
  add(0x90, 8, {0x12});
  add(0x90, 9, {}, true);
  add(0x20, 1, {0x12});
  add(0x10, 63);
  add(0x10, 4);
  add(0x10, 1, {}, true);
  add(0x00, 31);
  add(0x30, 1);
  add(0xA0, 63);
  add(0xB0, 63);
  add(0xD0, 0, {1, 2});
  add(0xD0, 0, {1, 2, 3, 4, 5, 6, 7, 8});
  add(0x70, 1);
  add(0xE0, 31);
  add(0x40, 1, {1, 2, 3});
  return all;
}

TEST(AnswerBounds, EveryPrefixStaysInsideItsCharacters) {
  TManualClock clock(kNow);
  for (const AnswerDescriptor& a : EveryFunction()) {
    const TBuilt b = Build(a);
    int valid = 0;
    for (int count = 0; count <= b.Count + 8 && count <= kAnswerBufferBytes * 8; ++count) {
      const size_t bytes = static_cast<size_t>((count + 7) / 8);
      auto exact = std::make_unique<uint8_t[]>(bytes);
      std::memcpy(exact.get(), b.Bytes, bytes);
      TExactStore store;
      std::string text;
      TelegramInfo info;
      valid +=
          DecodeAnswerTelegram(exact.get(), static_cast<uint16_t>(count), text, info, store, clock);
      EXPECT_FALSE(text.empty());
      DecodeRequestTelegram(exact.get(), static_cast<uint16_t>(count), text, info);
    }
    if (a.FunctionCode != 0x40) {
      EXPECT_GT(valid, 0) << int(a.FunctionCode);
    }
  }
}

}  // namespace
}  // namespace sorvex
