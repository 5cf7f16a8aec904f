#include "protocol/telegram.h"

#include <gtest/gtest.h>

#include "protocol/request_decoder.h"
#include "protocol/telegram_builder.h"
#include "protocol/telegram_text.h"

namespace sorvex {
namespace {

using test::Chars;
using test::TBits;

const char* const kGtsWorked = "C1/0 90/1 01/0 05/1 20/1 0C/1";

TEST(ParityBit, OddParityOverNineBits) {
  EXPECT_EQ(ParityBit(0x00), 1);
  EXPECT_EQ(ParityBit(0x01), 0);
  EXPECT_EQ(ParityBit(0x03), 1);
  EXPECT_EQ(ParityBit(0xC1), 0);
  EXPECT_EQ(ParityBit(0x90), 1);
  EXPECT_EQ(ParityBit(0x20), 0);
  EXPECT_EQ(ParityBit(0xFF), 1);
  EXPECT_EQ(ParityBit(0xFE), 0);
  for (int d = 0; d < 256; ++d) {
    const int ones =
        __builtin_popcount(static_cast<unsigned>(d)) + ParityBit(static_cast<uint8_t>(d));
    EXPECT_EQ(ones % 2, 1) << d;
  }
}

TEST(CheckCharParity, WritesParityErrorAtThePosition) {
  std::string text = "КП=1; abc";
  const size_t pos = std::string("КП=1; ").size();
  EXPECT_TRUE(CheckCharParity({0x05, 1}, text, pos));
  EXPECT_EQ(text, "КП=1; abc");
  EXPECT_FALSE(CheckCharParity({0x05, 0}, text, pos));
  EXPECT_EQ(text, "КП=1; Ошибка паритета");
}

TEST(CheckCharParity, BothEndCharactersFailIt) {
  std::string text;
  EXPECT_FALSE(CheckCharParity(kShortEnd, text, 0));
  EXPECT_FALSE(CheckCharParity(kLongEnd, text, 0));
  EXPECT_TRUE(IsShortEnd({0, 0}));
  EXPECT_FALSE(IsShortEnd({0, 1}));
  EXPECT_TRUE(IsLongEnd({0x20, 1}));
  EXPECT_FALSE(IsLongEnd({0x20, 0}));
  EXPECT_FALSE(IsLongEnd({0x21, 1}));
}

TEST(WriteTelegramError, SevenMessagesOverwriteFromThePosition) {
  const char* expected[] = {
      "Некорректная длина телеграммы",       "Ошибка паритета",
      "В ответе некорректный адрес КП",      "В ответе некорректный номер группы",
      "В ответе некорректный признак конца", "Ошибка контрольной суммы",
      "Не принята синхропоследовательность",
  };
  for (int code = 1; code <= 7; ++code) {
    std::string text = "abcdef";
    WriteTelegramError(code, text, 2);
    EXPECT_EQ(text, std::string("ab") + expected[code - 1]) << code;
    EXPECT_STREQ(TelegramErrorMessage(code), expected[code - 1]);
  }
  for (int code : {0, 8, -1, 255}) {
    std::string text = "abcdef";
    WriteTelegramError(code, text, 2);
    EXPECT_EQ(text, "abcdef") << code;
  }
  std::string text = "???";
  WriteTelegramError(TelegramError::BadLength, text, 0);
  EXPECT_EQ(text, "Некорректная длина телеграммы");
}

TEST(TelegramCrc, WorkedGtsExampleIsZero) {
  const TBits b = Chars(kGtsWorked);
  ASSERT_EQ(b.Count, 54);
  EXPECT_EQ(TelegramCrc(b.Data(), 6), 0);
}

TEST(TelegramCrc, EverySingleBitChangeFromBitNineOnBreaksIt) {
  const TBits b = Chars(kGtsWorked);
  for (unsigned bit = 9; bit < 54; ++bit) {
    EXPECT_NE(TelegramCrc(test::Flip(b, bit).Data(), 6), 0) << "bit " << bit;
  }
  // The address character is not covered.
  for (unsigned bit = 0; bit < 9; ++bit) {
    EXPECT_EQ(TelegramCrc(test::Flip(b, bit).Data(), 6), 0) << "bit " << bit;
  }
}

TEST(TelegramCrc, RemainderMakesTheCheckCharacter) {
  // The check character of the worked example is the remainder of bits 9..44.
  const TBits b = Chars(kGtsWorked);
  EXPECT_EQ(TelegramCrcRemainder(b.Data(), 36), 0x0C << 1 | 1);
  EXPECT_EQ(TelegramCrc(b.Data(), 1), 0);
  EXPECT_EQ(TelegramCrc(b.Data(), 0), 0);
  EXPECT_EQ(TelegramCrc(b.Data(), -5), 0);
}

TEST(UnpackTelegram, RegroupsNineBitCharactersAndIgnoresLeftovers) {
  TBits b = Chars(kGtsWorked);
  UnpackedTelegram t;
  UnpackTelegram(b.Data(), b.Count, t);
  ASSERT_EQ(t.Count, 6);
  EXPECT_EQ(t.Chars[0].Data, 0xC1);
  EXPECT_EQ(t.Chars[0].Ninth, 0);
  EXPECT_EQ(t.Chars[1].Data, 0x90);
  EXPECT_EQ(t.Chars[1].Ninth, 1);
  EXPECT_EQ(t.Chars[5].Data, 0x0C);
  EXPECT_EQ(t.Chars[5].Ninth, 1);
  UnpackTelegram(b.Data(), 53, t);
  EXPECT_EQ(t.Count, 5);
  // A 40-bit string holds four characters; the last four bits are ignored.
  TBits forty = Chars("C1 50 00 00/0");
  test::AppendBit(forty, 1);
  test::AppendBit(forty, 1);
  test::AppendBit(forty, 1);
  test::AppendBit(forty, 1);
  ASSERT_EQ(forty.Count, 40);
  UnpackTelegram(forty.Data(), forty.Count, t);
  EXPECT_EQ(t.Count, 4);
  UnpackTelegram(nullptr, 0, t);
  EXPECT_EQ(t.Count, 0);
}

TEST(UnpackTelegram, KeepsAtMost255Characters) {
  std::vector<uint8_t> bytes(65535 / 8 + 1, 0xFF);
  UnpackedTelegram t;
  UnpackTelegram(bytes.data(), 65535, t);
  EXPECT_EQ(t.Count, kMaxUnpackedChars);
  UnpackTelegram(bytes.data(), 2040, t);
  EXPECT_EQ(t.Count, 226);
}

// The header check, through the request decoder.
void ExpectHeader(const char* name, const TBits& bits, const std::string& text, uint8_t kp,
                  uint8_t function, int32_t lengthBits) {
  std::string got;
  TelegramInfo info;
  EXPECT_FALSE(DecodeRequestTelegram(bits.Data(), bits.Count, got, info)) << name;
  EXPECT_EQ(got, text) << name;
  EXPECT_EQ(info.KpAddress, kp) << name;
  EXPECT_EQ(info.FunctionCode, function) << name;
  EXPECT_EQ(info.LengthBits, lengthBits) << name;
}

TEST(HeaderCheck, ErrorsInTheirOrder) {
  // 35 bits: three complete characters.
  TBits b35 = Chars("C1 50 00");
  for (int i = 0; i < 8; ++i) test::AppendBit(b35, 0);
  ASSERT_EQ(b35.Count, 35);
  ExpectHeader("35 bits", b35, "Некорректная длина телеграммы", 0, 0, 0);
  // NoSync comes before any parity check.
  ExpectHeader("E1/1", Chars("E1/1 50 00 00/0"), "Не принята синхропоследовательность", 0, 0, 36);
  ExpectHeader("E1/0", Chars("E1/0 50 00 00/0"), "Не принята синхропоследовательность", 0, 0, 36);
  ExpectHeader("A1", Chars("A1 50 00 00/0"), "Не принята синхропоследовательность", 0, 0, 36);
  // C0: parity first, then the address.
  ExpectHeader("C0 good parity", Chars("C0/1 50 00 00/0"), "В ответе некорректный адрес КП", 0, 0,
               36);
  ExpectHeader("C0 bad parity", Chars("C0/0 50 00 00/0"), "Ошибка паритета", 0, 0, 36);
  ExpectHeader("C3 bad parity", Chars("C3/0 50 00 00/0"), "Ошибка паритета", 0, 0, 36);
  // Function and group parity, behind the KP prefix.
  ExpectHeader("function parity", Chars("C3 50/0 00 00/0"), "КП=3; Ошибка паритета", 3, 0, 36);
  ExpectHeader("group parity", Chars("C3 50 00/0 00/0"), "КП=3; Ошибка паритета", 3, 0x50, 36);
}

TEST(HeaderCheck, TooShortTextIsTheMessageAlone) {
  for (uint16_t count = 0; count < 36; ++count) {
    const TBits b = Chars("C1 50 00 00/0");
    std::string text;
    TelegramInfo info;
    EXPECT_FALSE(DecodeRequestTelegram(b.Data(), count, text, info));
    EXPECT_EQ(text, "Некорректная длина телеграммы") << count;
    EXPECT_EQ(info.LengthBits, 0);
  }
}

TEST(FunctionTag, MixedAlphabetsByteForByte) {
  // Latin letters spelled as bytes: T = 54, C = 43, M = 4D.
  EXPECT_STREQ(FunctionTag(0xF0), "\x54\x43\x4D; ");
  EXPECT_STREQ(FunctionTag(0x90), "\xD0\x93\x54\x43; ");
  EXPECT_STREQ(FunctionTag(0x00), "\xD0\x93\x54\xD0\x98\xD0\x98; ");
  EXPECT_STREQ(FunctionTag(0x30), "\xD0\x93\x54\xD0\x98\xD0\x98; ");
  EXPECT_STREQ(FunctionTag(0xA0), "\xD0\x97\xD0\xA3\x54\xD0\x98\xD0\xA2; ");
  // Cyrillic throughout.
  EXPECT_STREQ(FunctionTag(0x50), "\xD0\x9E\xD0\xA2; ");
  EXPECT_STREQ(FunctionTag(0x10), "\xD0\x93\xD0\xA2\xD0\x98\xD0\xA2; ");
  EXPECT_STREQ(FunctionTag(0xB0), "\xD0\x9D\xD0\xA3\xD0\xA2\xD0\x98\xD0\xA2; ");
  EXPECT_STREQ(FunctionTag(0x20), "\xD0\x93\xD0\x9A\xD0\x94\xD0\xA1; ");
  EXPECT_STREQ(FunctionTag(0xD0), "\xD0\x91\xD0\x9E; ");
  EXPECT_STREQ(FunctionTag(0x70), "\xD0\xA2\xD0\xA3; ");
  EXPECT_STREQ(FunctionTag(0xE0), "\xD0\xA2\xD0\xA3; ");
  EXPECT_EQ(FunctionTag(0x40), nullptr);
  EXPECT_EQ(FunctionTag(0xFF), nullptr);
  EXPECT_EQ(FunctionTag(0x51), nullptr);
}

TEST(TuObjectNumber, LowestSetBitPlusOneOrNine) {
  EXPECT_EQ(TuObjectNumber(0x00), 9u);
  EXPECT_EQ(TuObjectNumber(0x06), 2u);
  EXPECT_EQ(TuObjectNumber(0x01), 1u);
  EXPECT_EQ(TuObjectNumber(0x80), 8u);
  EXPECT_EQ(TuObjectNumber(0xFF), 1u);
}

TEST(TitWordValue, SignAndMagnitude) {
  EXPECT_EQ(TitWordValue(0xFF, 0x07), 2047);
  EXPECT_EQ(TitWordValue(0xFF, 0x0F), -2047);
  EXPECT_EQ(TitWordValue(0x00, 0x08), 0);
  EXPECT_EQ(TitWordValue(0x34, 0xF2), 0x234);
  EXPECT_EQ(TitWordStatus(0xF2), 15u);
  EXPECT_EQ(TitWordValue(0x34, 0xAA), -0x234);
  EXPECT_EQ(TitWordStatus(0xAA), 10u);
}

}  // namespace
}  // namespace sorvex
