#include "protocol/request_decoder.h"

#include <gtest/gtest.h>

#include "protocol/telegram_builder.h"

namespace sorvex {
namespace {

using test::Chars;
using test::TBits;

struct TResult {
  bool Ok;
  std::string Text;
  TelegramInfo Info;
};

TResult Decode(const TBits& b) {
  TResult r;
  r.Ok = DecodeRequestTelegram(b.Data(), b.Count, r.Text, r.Info);
  return r;
}

void ExpectOk(const std::string& chars, const std::string& text, uint8_t kp, uint8_t function,
              int32_t lengthBits) {
  const TResult r = Decode(Chars(chars));
  EXPECT_TRUE(r.Ok) << chars << " → " << r.Text;
  EXPECT_EQ(r.Text, text) << chars;
  EXPECT_EQ(r.Info.KpAddress, kp) << chars;
  EXPECT_EQ(r.Info.FunctionCode, function) << chars;
  EXPECT_EQ(r.Info.LengthBits, lengthBits) << chars;
}

void ExpectFail(const std::string& chars, const std::string& text) {
  const TResult r = Decode(Chars(chars));
  EXPECT_FALSE(r.Ok) << chars;
  EXPECT_EQ(r.Text, text) << chars;
  EXPECT_EQ(r.Info.LengthBits, 36) << chars;
}

// 16 characters of a TitChannelSettings body: Д=-5..100, А=0..2047,
// П=-2047..7, С1=17, Г=-3, С2=200, К=0x80.
const char* const kSettingsBody = "05 08 64 00 00 00 FF 07 FF 0F 07 00 11 FD C8 80";
const char* const kSettingsText =
    "Уст: Д=-5..100, А=0..2047, П=-2047..7, С1=17, С2=200, Г=-3, К=128;";

std::string NutitRequest(const std::string& group, const std::string& body, bool goodCrc = true) {
  // The check character is computed by the test from the characters before it.
  TBits b = Chars("C2 B0 " + group + " " + body + " 20/1");
  const uint16_t rem = TelegramCrcRemainder(b.Data(), static_cast<uint16_t>(b.Count - 9));
  char check[8];
  std::snprintf(check, sizeof check, "%.2X/%u", rem >> 1, (rem & 1) ^ (goodCrc ? 0 : 1));
  return "C2 B0 " + group + " " + body + " 20/1 " + check;
}

TEST(DecodeRequest, NoGroupFunctions) {
  ExpectOk("C1 50 00 00/0", "КП=1; ОТ; ", 1, 0x50, 36);
  ExpectOk("DF F0 00 00/0", "КП=31; TCM; ", 31, 0xF0, 36);
  ExpectOk("C5 D0 00 00/0", "КП=5; БО; ", 5, 0xD0, 36);
  ExpectFail("C1 50 01 00/0", "КП=1; ОТ; В ответе некорректный номер группы");
  ExpectFail("C1 F0 00 20/1", "КП=1; TCM; В ответе некорректный признак конца");
  ExpectFail("C1 D0 00 00/1", "КП=1; БО; В ответе некорректный признак конца");
}

TEST(DecodeRequest, GroupFunctions) {
  ExpectOk("C3 90 01 00/0", "КП=3; ГTC; Группа=1", 3, 0x90, 36);
  ExpectOk("C3 20 3F 00/0", "КП=3; ГКДС; Группа=63", 3, 0x20, 36);
  ExpectOk("C3 10 04 00/0", "КП=3; ГТИТ; Группа=4", 3, 0x10, 36);
  ExpectFail("C3 90 00 00/0", "КП=3; ГTC; В ответе некорректный номер группы");
  ExpectFail("C3 10 40 00/0", "КП=3; ГТИТ; В ответе некорректный номер группы");
  // A Gts request of KP 3 with a bad end character;
  // the provisional "Группа=1" gives way to the message.
  ExpectFail("C3 90 01 20/1", "КП=3; ГTC; В ответе некорректный признак конца");
  // A 20/0 where a short end is expected is a bad end mark as well.
  ExpectFail("C3 20 01 20/0", "КП=3; ГКДС; В ответе некорректный признак конца");
}

TEST(DecodeRequest, GtiiIgnoresTheEndAndReportsGroupLowNibble) {
  ExpectOk("C1 00 01 00/0", "КП=1; ГTИИ; со сбросом, Группа=1", 1, 0x00, 36);
  ExpectOk("C1 00 05 A5/1", "КП=1; ГTИИ; со сбросом, Группа=5", 1, 0x00, 36);
  ExpectOk("C1 00 13 FF/1", "КП=1; ГTИИ; со сбросом, Группа=3", 1, 0x00, 36);
  ExpectOk("C1 30 1F 00/0", "КП=1; ГTИИ; без сброса, Группа=15", 1, 0x30, 36);
  ExpectFail("C1 00 00 00/0", "КП=1; ГTИИ; В ответе некорректный номер группы");
  ExpectFail("C1 30 20 00/0", "КП=1; ГTИИ; В ответе некорректный номер группы");
}

TEST(DecodeRequest, Zutit) {
  ExpectOk("C1 A0 00 00/0", "КП=1; ЗУTИТ; Группа=1, Канал=1", 1, 0xA0, 36);
  ExpectOk("C1 A0 3F 00/0", "КП=1; ЗУTИТ; Группа=8, Канал=8", 1, 0xA0, 36);
  ExpectOk("C1 A0 0A 00/0", "КП=1; ЗУTИТ; Группа=2, Канал=3", 1, 0xA0, 36);
  ExpectFail("C1 A0 40 00/0", "КП=1; ЗУTИТ; В ответе некорректный номер группы");
  ExpectFail("C1 A0 01 20/1", "КП=1; ЗУTИТ; В ответе некорректный признак конца");
}

TEST(DecodeRequest, NutitCarriesTheSettings) {
  ExpectOk(NutitRequest("0A", kSettingsBody),
           std::string("КП=2; НУТИТ; Группа=2, Канал=3, Данные: ") + kSettingsText, 2, 0xB0, 189);
  const std::string prefix = "КП=2; НУТИТ; ";
  ExpectFail(NutitRequest("40", kSettingsBody), prefix + "В ответе некорректный номер группы");
  ExpectFail("C2 B0 0A 00 00/0", prefix + "Некорректная длина телеграммы");
  ExpectFail(NutitRequest("0A", "05 08 64 00 00 00 FF 07 FF 0F 07 00 11 FD C8 80/1"),
             prefix + "Ошибка паритета");
  ExpectFail(NutitRequest("0A", kSettingsBody, false), prefix + "Ошибка контрольной суммы");
  // A short end at char 19 is a bad end mark, whatever follows.
  ExpectFail(std::string("C2 B0 0A ") + kSettingsBody + " 00/0 00/0",
             prefix + "В ответе некорректный признак конца");
}

TEST(DecodeRequest, SettingsTextKByte) {
  // К = 0xFF prints 255 (read unsigned; see telegram_text.cpp), Г = 0x80 prints −128.
  const std::string body = "00 00 00 00 00 00 00 00 00 00 00 00 00 80 00 FF";
  ExpectOk(NutitRequest("00", body),
           "КП=2; НУТИТ; Группа=1, Канал=1, Данные: Уст: Д=0..0, А=0..0, П=0..0, С1=0, С2=0, "
           "Г=-128, К=255;",
           2, 0xB0, 189);
  // Bits 12..15 of the bound words are dropped.
  const std::string high = "FF F7 FF FF 00 F0 00 00 00 00 00 00 7F 7F 01 7F";
  ExpectOk(NutitRequest("00", high),
           "КП=2; НУТИТ; Группа=1, Канал=1, Данные: Уст: Д=2047..-2047, А=0..0, П=0..0, С1=127, "
           "С2=1, Г=127, К=127;",
           2, 0xB0, 189);
}

TEST(DecodeRequest, TuObjects) {
  ExpectOk("C4 70 02 04 00/0", "КП=4; ТУ; Вкл, Группа=2, Объект=3;", 4, 0x70, 45);
  ExpectOk("C4 E0 1F 80 00/0", "КП=4; ТУ; Откл, Группа=31, Объект=8;", 4, 0xE0, 45);
  ExpectOk("C4 70 01 00 00/0", "КП=4; ТУ; Вкл, Группа=1, Объект=9;", 4, 0x70, 45);
  ExpectOk("C4 70 01 06 00/0", "КП=4; ТУ; Вкл, Группа=1, Объект=2;", 4, 0x70, 45);
  const std::string prefix = "КП=4; ТУ; ";
  ExpectFail("C4 70 00 01 00/0", prefix + "В ответе некорректный номер группы");
  ExpectFail("C4 70 20 01 00/0", prefix + "В ответе некорректный номер группы");
  ExpectFail("C4 70 01 01", prefix + "Некорректная длина телеграммы");
  ExpectFail("C4 70 01 01/1 00/0", prefix + "Ошибка паритета");
  ExpectFail("C4 E0 01 01 20/1", prefix + "В ответе некорректный признак конца");
}

TEST(DecodeRequest, UnrecognisedFunctionDumpsEveryCharacter) {
  const TResult r = Decode(Chars("C7 40 12 00/0 FF/0"));
  EXPECT_FALSE(r.Ok);
  EXPECT_EQ(r.Text, "КП=7; 40H??; C7(0) 40(0) 12(1) 00(0) FF(0) ");
  EXPECT_EQ(r.Info.KpAddress, 7);
  EXPECT_EQ(r.Info.FunctionCode, 0x40);
  EXPECT_EQ(r.Info.LengthBits, 36);
  // "%.X": no leading zero for a small code.
  EXPECT_EQ(Decode(Chars("C7 05 00 00/0")).Text, "КП=7; 5H??; C7(0) 05(1) 00(1) 00(0) ");
}

TEST(DecodeRequest, LongDumpIsNeverCut) {
  // 226 characters (2040 bits): 1024 bytes of text would not hold the dump.
  std::string list = "C9 41 00";
  for (int i = 0; i < 223; ++i) list += " 5A";
  TBits b = Chars(list);
  while (b.Count < 2040) test::AppendBit(b, 0);
  const TResult r = Decode(b);
  EXPECT_FALSE(r.Ok);
  const std::string head = "КП=9; 41H??; C9(1) 41(1) 00(1) ";
  ASSERT_EQ(r.Text.substr(0, head.size()), head);
  EXPECT_EQ(r.Text.size(), head.size() + 223 * std::string("5A(1) ").size());
  EXPECT_GT(r.Text.size(), 1024u);
}

TEST(DecodeRequest, StartsWithQuestionMarksAndClearsInfo) {
  std::string text = "old";
  TelegramInfo info{9, 9, 9};
  const TBits b = Chars("C1 50 00 00/0");
  EXPECT_TRUE(DecodeRequestTelegram(b.Data(), b.Count, text, info));
  EXPECT_EQ(text, "КП=1; ОТ; ");
  EXPECT_FALSE(DecodeRequestTelegram(b.Data(), 20, text, info));
  EXPECT_EQ(info.KpAddress, 0);
  EXPECT_EQ(info.FunctionCode, 0);
  EXPECT_EQ(info.LengthBits, 0);
}

}  // namespace
}  // namespace sorvex
