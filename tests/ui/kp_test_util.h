#pragma once
// KP record lists filled the way the program fills them: answers built by
// the answer encoder and stored by the answer decoder.

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "monitor/kp_record_list.h"
#include "protocol/answer_decoder.h"
#include "protocol/telegram.h"
#include "sim/answer_encoder.h"
#include "util/clock.h"
#include "util/date_time.h"

namespace sorvex::testing {

// 7 December 2026 14:05:09.045: "7/12/26 14:05:09:045".
inline double KpTestTime() {
  return EncodeDateTime({2026, 12, 7, 14, 5, 9, 45});
}

class TKpAnswers {
 public:
  explicit TKpAnswers(TKpRecordList& list, double now = KpTestTime()) : FList(list), FClock(now) {}

  void Gts(uint8_t kp, uint8_t group, uint8_t ts) {
    AnswerDescriptor a;
    a.KpAddress = kp;
    a.FunctionCode = FunctionByte(TelegramFunction::Gts);
    a.Group = group;
    a.Bytes = {ts};
    Decode(a);
  }
  void Gtit(uint8_t kp, uint8_t group, const std::array<int, 8>& values) {
    AnswerDescriptor a;
    a.KpAddress = kp;
    a.FunctionCode = FunctionByte(TelegramFunction::Gtit);
    a.Group = group;
    for (int k = 0; k < 8; ++k) a.Words[k] = MakeTitWord(values[k], 0);
    Decode(a);
  }
  void Bo(uint8_t kp, std::vector<uint8_t> bytes) {
    AnswerDescriptor a;
    a.KpAddress = kp;
    a.FunctionCode = FunctionByte(TelegramFunction::Bo);
    a.Bytes = std::move(bytes);
    Decode(a);
  }

 private:
  void Decode(const AnswerDescriptor& a) {
    uint8_t buffer[kAnswerBufferBytes] = {};
    const int16_t bits = EncodeAnswerTelegram(buffer, a);
    std::string text;
    TelegramInfo info;
    EXPECT_TRUE(
        DecodeAnswerTelegram(buffer, static_cast<uint16_t>(bits), text, info, FList, FClock))
        << text;
  }

  TKpRecordList& FList;
  TManualClock FClock;
};

}  // namespace sorvex::testing
