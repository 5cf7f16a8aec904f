// sorvex-tool decode and encode through the built program: exact output
// lines, telemetry lines, agreement with the library decoders, exit statuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "monitor/kp_record_list.h"
#include "protocol/answer_decoder.h"
#include "protocol/request_decoder.h"
#include "sim/answer_encoder.h"
#include "support/tool_runner.h"
#include "util/clock.h"

namespace sorvex {
namespace {

using testing::RunTool;

std::string HexOf(const uint8_t* bytes, int bits) {
  std::string s;
  char buf[3];
  for (int i = 0; i < (bits + 7) / 8; ++i) {
    std::snprintf(buf, sizeof buf, "%.2X", bytes[i]);
    s += buf;
  }
  return s;
}

TEST(ToolEncode, OtOfKpOne) {
  const testing::ToolResult r = RunTool("encode --kp 1 --function 50");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "000000000110000010010100001000000001000000000\n"
            "00 60 94 20 10 00\n"
            "Запрос на КП1; Функция  ОТ.\n");
}

TEST(ToolEncode, GroupsObjectsAndChannels) {
  testing::ToolResult r = RunTool("encode --kp 2 --function 0x90 --group 3");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\nЗапрос на КП2; Функция  ЗГТС, Группа=3.\n"), std::string::npos) << r.out;
  r = RunTool("encode --kp 2 --function A0 --group 8 --object 8");
  EXPECT_EQ(r.status, 0);
  // 00/0, C2/0, A0/1, 3F/1, 00/0.
  EXPECT_EQ(r.out,
            "000000000110000100101000001001111111000000000\n"
            "00 61 28 27 F0 00\n"
            "Запрос на КП2; Функция  ЗУТИТ, Группа 8, Канал 8. \n");
  r = RunTool("encode --kp 4 --function 70 --group 1 --object 3");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')),
            "000000000110001000011100000000000010000001000000000000");
  EXPECT_NE(r.out.find("\n00 62 1C 00 20 40 00\n"), std::string::npos);
  EXPECT_NE(r.out.find("ТУВ, Группа=1, Объект=3."), std::string::npos);
  r = RunTool("encode --kp 1 --function B0 --group 1 --object 1");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.find('\n'), 198u);  // lead, 16 settings characters, long end, check
  r = RunTool("encode --kp 1 --function 4F");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("Функция  ???.\n"), std::string::npos);
}

TEST(ToolEncode, BadUsage) {
  EXPECT_EQ(RunTool("encode --function 50").status, 2);
  EXPECT_EQ(RunTool("encode --kp 1").status, 2);
  EXPECT_EQ(RunTool("encode --kp 0 --function 50").status, 2);
  EXPECT_EQ(RunTool("encode --kp 32 --function 50").status, 2);
  EXPECT_EQ(RunTool("encode --kp 1 --function XY").status, 2);
  EXPECT_EQ(RunTool("encode --kp 1 --function 150").status, 2);
  EXPECT_EQ(RunTool("encode --kp 1 --function 50 --group 256").status, 2);
}

TEST(ToolDecode, WorkedGtsAnswer) {
  const std::string expected = "ok\t1\t90\t54\tКП=1; ГTC; Группа=1, Значение 05H\nTS\t1\t05\n";
  testing::ToolResult r =
      RunTool("decode --answer '110000010 100100001 000000010 000001011 001000001 000011001'");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, expected);
  r = RunTool("decode --answer 110000010.100100001_000000010.000001011_001000001.000011001");
  EXPECT_EQ(r.out, expected);
  r = RunTool("decode --answer --hex C1 90 --count 54");  // only "C190": too few bits
  EXPECT_EQ(r.status, 2);
  r = RunTool("decode --answer --hex 'C1 48 40 40 B2 08 64' --count 54");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, expected);
  // The same bits as a request: the decoder's verdict and text, nothing stored.
  r = RunTool("decode --request --hex C1484040B20864 --count 54");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "fail\t1\t90\t36\tКП=1; ГTC; В ответе некорректный признак конца\n");
}

TEST(ToolDecode, FailuresAndShortStrings) {
  testing::ToolResult r = RunTool("decode --request 11000011010010000100000001");  // 26 bits
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "fail\t0\t00\t0\tНекорректная длина телеграммы\n");
  r = RunTool("decode --answer 111000011100100001000000010000000000");  // E1/1
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "fail\t0\t00\t36\tНе принята синхропоследовательность\n");
  r = RunTool("decode --request --hex C128402000 --count 36");  // Ot of KP 1 without the lead
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "ok\t1\t50\t36\tКП=1; ОТ; \n");
  r = RunTool("decode --request --hex C120002000 --count 36");  // function 0x40
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "fail\t1\t40\t36\tКП=1; 40H??; C1(0) 40(0) 00(1) 00(0) \n");
}

TEST(ToolDecode, TelemetryLines) {
  AnswerDescriptor a;
  a.KpAddress = 5;
  a.FunctionCode = 0x10;
  a.Group = 2;
  for (int k = 0; k < 8; ++k) a.Words[k] = MakeTitWord(k % 2 ? -100 * k : 100 * k, 7);
  uint8_t bits[kAnswerBufferBytes];
  int16_t count = EncodeAnswerTelegram(bits, a);
  testing::ToolResult r =
      RunTool("decode --answer --hex " + HexOf(bits, count) + " --count " + std::to_string(count));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "ok\t5\t10\t189\tКП=5; ГТИТ; Группа=2, Данные: 0(7) -100(7) 200(7) -300(7) 400(7) "
            "-500(7) 600(7) -700(7) \n"
            "TIT\t2\t0\t-100\t200\t-300\t400\t-500\t600\t-700\n");
  a = AnswerDescriptor{};
  a.KpAddress = 6;
  a.FunctionCode = 0xD0;
  a.Bytes = {0x01, 0x80, 0x33};
  count = EncodeAnswerTelegram(bits, a);
  r = RunTool("decode --answer --hex " + HexOf(bits, count) + " --count " + std::to_string(count));
  EXPECT_EQ(r.out,
            "ok\t6\tD0\t63\tКП=6; БО; Значение=01 80 33 \nBO\t01\t80\t33\t00\t00\t00\t00\t00\n");
  a = AnswerDescriptor{};
  a.KpAddress = 7;
  a.FunctionCode = 0xF0;
  a.Bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  count = EncodeAnswerTelegram(bits, a);
  r = RunTool("decode --answer --hex " + HexOf(bits, count) + " --count " + std::to_string(count));
  EXPECT_EQ(
      r.out,
      "ok\t7\tF0\t126\tКП=7; TCM; Данные: 01 02 03 04 05 06 07 08 09 \n"
      "TS\t1\t01\nTS\t2\t02\nTS\t3\t03\nTS\t4\t04\nTS\t5\t05\nTS\t6\t06\nTS\t7\t07\nTS\t8\t08\n");
  // Group 9: shown, not stored, so no TS line.
  a = AnswerDescriptor{};
  a.KpAddress = 7;
  a.FunctionCode = 0x90;
  a.Group = 9;
  a.Bytes = {0xAA};
  count = EncodeAnswerTelegram(bits, a);
  r = RunTool("decode --answer --hex " + HexOf(bits, count) + " --count " + std::to_string(count));
  EXPECT_EQ(r.out, "ok\t7\t90\t54\tКП=7; ГTC; Группа=9, Значение AAH\n");
}

TEST(ToolDecode, AgreesWithTheLibrary) {
  TManualClock clock(1.0);
  std::vector<AnswerDescriptor> answers;
  for (uint8_t f : {0x00, 0x10, 0x20, 0x30, 0x50, 0x70, 0x90, 0xA0, 0xB0, 0xD0, 0xE0, 0xF0, 0x60}) {
    AnswerDescriptor a;
    a.KpAddress = 9;
    a.FunctionCode = f;
    a.Group = f == 0x50 ? 0 : 3;
    a.Object = 2;
    a.Bytes = {0x12, 0x34, 0x56};
    for (int k = 0; k < 8; ++k) a.Words[k] = static_cast<uint16_t>(0x1357 * (k + 1));
    answers.push_back(a);
  }
  for (const AnswerDescriptor& a : answers) {
    uint8_t bits[kAnswerBufferBytes];
    const int16_t count = EncodeAnswerTelegram(bits, a);
    for (int cut : {0, 9}) {  // whole, and without the last character
      const int n = count - cut;
      for (const char* mode : {"--answer", "--request"}) {
        std::string text;
        TelegramInfo info;
        TKpRecordList list;
        const bool answer = std::string(mode) == "--answer";
        const bool ok =
            answer ? DecodeAnswerTelegram(bits, static_cast<uint16_t>(n), text, info, list, clock)
                   : DecodeRequestTelegram(bits, static_cast<uint16_t>(n), text, info);
        char head[64];
        std::snprintf(head, sizeof head, "%s\t%u\t%.2X\t%d\t", ok ? "ok" : "fail", info.KpAddress,
                      info.FunctionCode, info.LengthBits);
        const testing::ToolResult r = RunTool(std::string("decode ") + mode + " --hex " +
                                              HexOf(bits, n) + " --count " + std::to_string(n));
        EXPECT_EQ(r.status, ok ? 0 : 1) << mode << " " << int(a.FunctionCode);
        const std::string first = r.out.substr(0, r.out.find('\n'));
        EXPECT_EQ(first, head + text) << mode << " " << int(a.FunctionCode);
      }
    }
  }
}

TEST(ToolDecode, BadUsage) {
  EXPECT_EQ(RunTool("decode 110000010").status, 2);  // no direction
  EXPECT_EQ(RunTool("decode --request --answer 110000010").status, 2);
  EXPECT_EQ(RunTool("decode --request").status, 2);                // no bits
  EXPECT_EQ(RunTool("decode --request 1100x0010").status, 2);      // not 0/1
  EXPECT_EQ(RunTool("decode --request 1100 --hex C1").status, 2);  // both
  EXPECT_EQ(RunTool("decode --request --hex C1G0").status, 2);
  EXPECT_EQ(RunTool("decode --request --hex C1 --count 9").status, 2);
  EXPECT_EQ(RunTool("decode --request 0101 --count 4").status, 2);  // --count needs --hex
  EXPECT_EQ(RunTool("decode --request " + std::string(2041, '0')).status, 2);
  EXPECT_EQ(RunTool("decode --request " + std::string(2040, '0')).status, 1);
}

}  // namespace
}  // namespace sorvex
