#include "protocol/request_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "protocol/request_decoder.h"
#include "protocol/telegram.h"
#include "protocol/telegram_builder.h"
#include "util/str_format.h"

namespace sorvex {
namespace {

using test::TBits;

struct TEncoded {
  uint8_t Bytes[kRequestBufferBytes] = {};
  int16_t Count = 0;
};

TEncoded Encode(uint8_t kp, uint8_t function, uint8_t group = 0, uint8_t object = 0) {
  TEncoded e;
  e.Count = EncodeRequestTelegram(e.Bytes, {kp, function, group, object});
  return e;
}

std::string Hex(const uint8_t* bytes, int bits) {
  std::string s;
  char buf[4];
  for (int i = 0; i < (bits + 7) / 8; ++i) {
    std::snprintf(buf, sizeof buf, i ? " %.2X" : "%.2X", bytes[i]);
    s += buf;
  }
  return s;
}

// The encoded string without its leading 00/0, as the receiver hands it over.
TBits Frame(const TEncoded& e) {
  TBits b;
  for (int i = 9; i < e.Count; ++i) test::AppendBit(b, (e.Bytes[i / 8] >> (7 - i % 8)) & 1);
  return b;
}

TEST(EncodeRequest, OtOfKpOne) {
  const TEncoded e = Encode(1, 0x50);
  EXPECT_EQ(e.Count, 45);
  EXPECT_EQ(Hex(e.Bytes, e.Count), "00 60 94 20 10 00");
  EXPECT_EQ(test::BitsText(e.Bytes, e.Count),
            "000000000"
            "110000010"
            "010100001"
            "000000001"
            "000000000");
  EXPECT_EQ(DescribeRequest({1, 0x50, 0, 0}), "Запрос на КП1; Функция  ОТ.");
}

TEST(EncodeRequest, Lengths) {
  for (int f : {0x00, 0x10, 0x20, 0x30, 0x50, 0x90, 0xA0, 0xD0, 0xF0, 0x40, 0xFF}) {
    EXPECT_EQ(Encode(2, static_cast<uint8_t>(f), 1, 1).Count, 45) << f;
  }
  EXPECT_EQ(Encode(2, 0x70, 1, 1).Count, 54);
  EXPECT_EQ(Encode(2, 0xE0, 1, 1).Count, 54);
  EXPECT_EQ(Encode(2, 0xB0, 1, 1).Count, 198);  // lead + 21 characters
}

TEST(EncodeRequest, TuMask) {
  TEncoded e = Encode(1, 0x70, 2, 0);
  UnpackedTelegram t;
  UnpackTelegram(e.Bytes, static_cast<uint16_t>(e.Count), t);
  ASSERT_EQ(t.Count, 6);
  EXPECT_EQ(t.Chars[4].Data, 0x00);
  EXPECT_EQ(t.Chars[4].Ninth, 1);
  e = Encode(1, 0x70, 2, 3);
  UnpackTelegram(e.Bytes, static_cast<uint16_t>(e.Count), t);
  EXPECT_EQ(t.Chars[4].Data, 0x04);
  EXPECT_EQ(t.Chars[4].Ninth, 0);
  e = Encode(1, 0xE0, 2, 9);
  UnpackTelegram(e.Bytes, static_cast<uint16_t>(e.Count), t);
  EXPECT_EQ(t.Chars[4].Data, 0x00);
  EXPECT_TRUE(IsShortEnd(t.Chars[5]));
}

TEST(EncodeRequest, ChannelAddressOfZutitAndNutit) {
  UnpackedTelegram t;
  TEncoded e = Encode(1, 0xA0, 1, 1);
  UnpackTelegram(e.Bytes, static_cast<uint16_t>(e.Count), t);
  EXPECT_EQ(t.Chars[3].Data, 0x00);
  e = Encode(1, 0xA0, 8, 8);
  UnpackTelegram(e.Bytes, static_cast<uint16_t>(e.Count), t);
  EXPECT_EQ(t.Chars[3].Data, 0x3F);
  e = Encode(1, 0xB0, 2, 3);
  UnpackTelegram(e.Bytes, static_cast<uint16_t>(e.Count), t);
  ASSERT_EQ(t.Count, 22);
  EXPECT_EQ(t.Chars[3].Data, 0x0A);
  for (int i = 4; i < 20; ++i) {
    EXPECT_EQ(t.Chars[i].Data, 0);
    EXPECT_EQ(t.Chars[i].Ninth, 1);
  }
  EXPECT_TRUE(IsLongEnd(t.Chars[20]));
  EXPECT_EQ(TelegramCrc(Frame(e).Data(), 21), 0);
  // Group and Object 0 wrap modulo 256.
  e = Encode(1, 0xA0, 0, 0);
  UnpackTelegram(e.Bytes, static_cast<uint16_t>(e.Count), t);
  EXPECT_EQ(t.Chars[3].Data, 0xF7);
}

TEST(EncodeRequest, DecodesBack) {
  struct TCase {
    RequestDescriptor R;
    const char* Text;
  };
  const std::string zeroSettings = "Данные: Уст: Д=0..0, А=0..0, П=0..0, С1=0, С2=0, Г=0, К=0;";
  const std::string nutit1 = "КП=1; НУТИТ; Группа=1, Канал=1, " + zeroSettings;
  const std::string nutit2 = "КП=12; НУТИТ; Группа=3, Канал=6, " + zeroSettings;
  const std::string nutit3 = "КП=31; НУТИТ; Группа=8, Канал=8, " + zeroSettings;
  const TCase cases[] = {
      {{1, 0x50, 0, 0}, "КП=1; ОТ; "},
      {{2, 0xF0, 0, 0}, "КП=2; TCM; "},
      {{3, 0xD0, 0, 0}, "КП=3; БО; "},
      {{4, 0x90, 8, 0}, "КП=4; ГTC; Группа=8"},
      {{5, 0x20, 1, 0}, "КП=5; ГКДС; Группа=1"},
      {{6, 0x10, 4, 0}, "КП=6; ГТИТ; Группа=4"},
      {{7, 0x00, 3, 0}, "КП=7; ГTИИ; со сбросом, Группа=3"},
      {{8, 0x30, 3, 0}, "КП=8; ГTИИ; без сброса, Группа=3"},
      {{9, 0xA0, 2, 3}, "КП=9; ЗУTИТ; Группа=2, Канал=3"},
      {{9, 0xA0, 8, 1}, "КП=9; ЗУTИТ; Группа=8, Канал=1"},
      {{1, 0xB0, 1, 1}, nutit1.c_str()},
      {{12, 0xB0, 3, 6}, nutit2.c_str()},
      {{31, 0xB0, 8, 8}, nutit3.c_str()},
      {{31, 0x70, 5, 6}, "КП=31; ТУ; Вкл, Группа=5, Объект=6;"},
      {{30, 0xE0, 31, 1}, "КП=30; ТУ; Откл, Группа=31, Объект=1;"},
  };
  for (const TCase& c : cases) {
    TEncoded e;
    e.Count = EncodeRequestTelegram(e.Bytes, c.R);
    const TBits frame = Frame(e);
    std::string text;
    TelegramInfo info;
    EXPECT_TRUE(DecodeRequestTelegram(frame.Data(), frame.Count, text, info)) << c.Text;
    EXPECT_EQ(text, c.Text);
    EXPECT_EQ(info.KpAddress, c.R.KpAddress);
    EXPECT_EQ(info.FunctionCode, c.R.FunctionCode);
    EXPECT_EQ(info.LengthBits, e.Count - 9);
    // With its leading 00/0 the string is not a frame.
    EXPECT_FALSE(DecodeRequestTelegram(e.Bytes, static_cast<uint16_t>(e.Count), text, info));
    EXPECT_EQ(text, "Не принята синхропоследовательность");
  }
}

// The receiver hands over a few bits sampled after the telegram; a Nutit
// request must survive them, and its check character must catch every
// single-bit fault from the function character on.
TEST(EncodeRequest, NutitForEveryChannelPassesTheRequestDecoder) {
  for (int group = 1; group <= 8; ++group) {
    for (int channel = 1; channel <= 8; ++channel) {
      SCOPED_TRACE(group * 10 + channel);
      const TEncoded e =
          Encode(7, 0xB0, static_cast<uint8_t>(group), static_cast<uint8_t>(channel));
      TBits frame = Frame(e);
      ASSERT_EQ(frame.Count, 189);
      for (int i = 0; i < 4; ++i) test::AppendBit(frame, 0);
      std::string text;
      TelegramInfo info;
      ASSERT_TRUE(DecodeRequestTelegram(frame.Data(), frame.Count, text, info)) << text;
      EXPECT_EQ(info.LengthBits, 189);
      EXPECT_NE(text.find(StrFormat("Группа=%d, Канал=%d, ", group, channel)), std::string::npos)
          << text;
    }
  }
  const TEncoded e = Encode(7, 0xB0, 4, 5);
  for (int bit = 9; bit < 189; ++bit) {
    TBits frame = Frame(e);
    frame.Bytes[bit / 8] ^= static_cast<uint8_t>(0x80 >> (bit % 8));
    std::string text;
    TelegramInfo info;
    EXPECT_FALSE(DecodeRequestTelegram(frame.Data(), frame.Count, text, info)) << bit;
  }
}

TEST(PutTelegramChar, ClearsBytesItMovesIntoButNotTheFirst) {
  uint8_t buffer[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  PutTelegramChar(buffer, 3, 0x00, 0);  // bits 3..11
  EXPECT_EQ(buffer[0], 0xE0);           // bits 0..2 kept
  EXPECT_EQ(buffer[1], 0x00);           // cleared, bits 12..15 included
  EXPECT_EQ(buffer[2], 0xFF);           // never reached
  uint8_t b2[3] = {0x00, 0xFF, 0xFF};
  PutTelegramChar(b2, 0, 0xFF, 1);
  EXPECT_EQ(b2[0], 0xFF);
  EXPECT_EQ(b2[1], 0x80);
  EXPECT_EQ(b2[2], 0xFF);
  // A character ending on a byte boundary does not touch the next byte.
  uint8_t b3[3] = {0xFF, 0xFF, 0xAA};
  PutTelegramChar(b3, 7, 0x55, 0);  // bits 7..15
  EXPECT_EQ(b3[0], 0xFE);
  EXPECT_EQ(b3[1], 0xAA);
  EXPECT_EQ(b3[2], 0xAA);
}

TEST(EncodeRequest, LongestFitsTwentyFiveBytes) {
  auto buffer = std::make_unique<uint8_t[]>(kRequestBufferBytes);  // exact size: ASan checks
  std::fill(buffer.get(), buffer.get() + kRequestBufferBytes, 0xFF);
  EXPECT_EQ(EncodeRequestTelegram(buffer.get(), {31, 0xB0, 8, 8}), 198);
  EXPECT_EQ(buffer[24] & 0x03, 0);  // bits behind the string are 0
}

TEST(DescribeRequest, EveryText) {
  const std::string p = "Запрос на КП3; Функция ";
  auto d = [](uint8_t f, uint8_t g = 0, uint8_t o = 0) { return DescribeRequest({3, f, g, o}); };
  EXPECT_EQ(d(0x50), p + " ОТ.");
  EXPECT_EQ(d(0x90, 2), p + " ЗГТС, Группа=2.");
  EXPECT_EQ(d(0x20, 2), p + " ЗГКДС, Группа=2.");
  EXPECT_EQ(d(0x10, 2), p + " ЗГТИТ, Группа=2.");
  EXPECT_EQ(d(0x30, 2), p + " ЗГТИИ1, Группа=2.");
  EXPECT_EQ(d(0x00, 2), p + " ЗГТИИ2, Группа=2.");
  EXPECT_EQ(d(0xF0), p + " ЗТСМ.");
  EXPECT_EQ(d(0xD0), p + " ЗБО.");
  // Zutit and Nutit: Group and Object are the 1-based group and channel
  // the encoder sends (8, 8 → channel address 0x3F).
  EXPECT_EQ(d(0xA0, 8, 8), p + " ЗУТИТ, Группа 8, Канал 8. ");
  EXPECT_EQ(d(0xB0, 2, 3), p + " НУТИТ, Группа 2, Канал 3. ");
  EXPECT_EQ(d(0x70, 4, 5), p + " ТУВ, Группа=4, Объект=5.");
  EXPECT_EQ(d(0xE0, 4, 5), p + " ТУО, Группа=4, Объект=5.");
  EXPECT_EQ(d(0x40), p + " ???.");
  EXPECT_EQ(d(0xFF), p + " ???.");
}

}  // namespace
}  // namespace sorvex
