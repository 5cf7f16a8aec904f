#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "line_rig.h"
#include "protocol/request_decoder.h"

namespace sorvex {
namespace {

using testing::LineRig;
using testing::RateSetup;

constexpr RateSetup k200{200, 2540, 2760, 500};
constexpr RateSetup k2400{2400, 1200, 2400, 2400};

std::vector<const TLogEntry*> Kind(const LineRig& rig, int logIndex, uint8_t kind) {
  std::vector<const TLogEntry*> out;
  for (const auto& e : rig.observer.entries)
    if (e.logIndex == logIndex && e.kind == kind) out.push_back(&e);
  return out;
}

double Ms(double dateTime) {
  return dateTime * 86400000.0;
}

TEST(Polling, TimeoutFollowsRequestLengthAndBaudRate) {
  for (const auto& [setup, expected] : {std::pair{k200, 1825}, std::pair{k2400, 151}}) {
    LineRig rig(setup, "timeout" + std::to_string(setup.Baud) + ".ini");
    rig.monitor.SetSendRequest(3, 0x90, 2);
    rig.monitor.SbStartSendClick(true);
    EXPECT_EQ(rig.monitor.RequestStamp(), 0);
    rig.monitor.TimerRedrawTimer();
    EXPECT_EQ(rig.monitor.AnswerTimeoutMs(), expected) << setup.Baud;
    EXPECT_NE(rig.monitor.RequestStamp(), 0);
    EXPECT_EQ(rig.monitor.ContextKp(), 3);
    const auto sent = Kind(rig, 1, lkRequest);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0]->text, "Запрос на КП3; Функция  ЗГТС, Группа=2.");
  }
}

TEST(Polling, FunctionsWithoutGroupSendGroupZero) {
  EXPECT_FALSE(TMonitor::FunctionTakesGroup(0x50));
  EXPECT_FALSE(TMonitor::FunctionTakesGroup(0xD0));
  EXPECT_FALSE(TMonitor::FunctionTakesGroup(0xF0));
  EXPECT_TRUE(TMonitor::FunctionTakesGroup(0x90));
  EXPECT_TRUE(TMonitor::FunctionTakesGroup(0x10));

  LineRig rig(k2400, "ot.ini");
  rig.monitor.SetSendRequest(2, 0x50, 5);
  rig.monitor.SbStartSendClick(true);
  rig.Play(400);
  // What went out on the left decodes as a valid OT request: group 0.
  TModem receiver(rig.Settings(), 1024);
  receiver.ResetReceiver();
  const auto& out = rig.Output();
  bool right = false;
  for (size_t k = 1; k < out.size(); k += 2) right |= out[k] != 0;
  EXPECT_FALSE(right) << "requests go out on the left only";
  uint8_t telegram[256] = {};
  int32_t bits = 0;
  for (size_t at = 0; at + 2048 <= out.size() && bits == 0; at += 2048) {
    receiver.ProcessBlock(0, out.data() + at, 1024);
    bits = receiver.TakeTelegram(telegram, 0);
  }
  ASSERT_GT(bits, 0);
  std::string text;
  TelegramInfo info;
  EXPECT_TRUE(DecodeRequestTelegram(telegram, static_cast<uint16_t>(bits), text, info)) << text;
  EXPECT_EQ(info.KpAddress, 2);
  EXPECT_EQ(info.FunctionCode, 0x50);
}

TEST(Polling, SilentKpTimesOutAtTheInterval) {
  LineRig rig(k2400, "silent.ini");
  rig.monitor.BtStartStopClick(true);
  rig.monitor.SetSendRequest(3, 0x90, 1);
  rig.monitor.SbStartSendClick(true);
  rig.Play(1000);
  const auto requests = Kind(rig, 1, lkRequest);
  const auto timeouts = Kind(rig, 1, lkExchangeProblem);
  ASSERT_GE(requests.size(), 5u);
  ASSERT_GE(timeouts.size(), requests.size() - 1);
  EXPECT_EQ(timeouts[0]->text, "Тайм-аут ожидания ответа от КП3.");
  EXPECT_EQ(Kind(rig, 0, lkExchangeProblem).size(), timeouts.size());
  for (size_t i = 1; i < requests.size(); ++i) {
    const double gap = Ms(requests[i]->time) - Ms(requests[i - 1]->time);
    // 151 ms, seen on the next 10 ms tick.
    EXPECT_GE(gap, 150.5) << i;
    EXPECT_LE(gap, 161.5) << i;
  }
  // The time-out line comes right before the request that replaces it.
  const auto& x = rig.observer.Journal("X");
  for (size_t i = 1; i < x.size(); ++i) {
    if (x[i].rfind("lkExchangeProblem", 0) == 0 && i + 1 < x.size()) {
      EXPECT_EQ(x[i + 1].rfind("lkRequest", 0), 0u);
    }
  }
}

TEST(Polling, WithoutReceptionRequestsRepeatWithoutTimeoutLines) {
  LineRig rig(k2400, "noreception.ini");
  rig.monitor.SetSendRequest(3, 0x90, 1);
  rig.monitor.SbStartSendClick(true);
  rig.Play(700);
  EXPECT_GE(Kind(rig, 1, lkRequest).size(), 4u);
  EXPECT_TRUE(Kind(rig, 1, lkExchangeProblem).empty());
  EXPECT_TRUE(Kind(rig, 0, lkExchangeProblem).empty());
}

TEST(Polling, AnyValidAnswerEndsTheWaitAndContextStaysThePolledKp) {
  LineRig rig(k2400, "answer.ini");
  rig.monitor.BtStartStopClick(true);
  rig.monitor.SetSendRequest(3, 0x90, 1);
  rig.monitor.SbStartSendClick(true);
  rig.monitor.TimerRedrawTimer();  // first request out
  // Another control centre's request on the line, then a KP 5 answer.
  RequestDescriptor request;
  request.KpAddress = 7;
  request.FunctionCode = 0x90;
  request.Group = 1;
  rig.Line().SendRequest(request);
  rig.Line().SendRequest(request);
  AnswerDescriptor answer;
  answer.KpAddress = 5;
  answer.FunctionCode = 0x90;
  answer.Group = 1;
  answer.Bytes = {0x0F};
  rig.Line().SendAnswer(answer);
  const int64_t before = static_cast<int64_t>(Kind(rig, 1, lkRequest).size());
  rig.Play(0);
  // No repeat or missing-answer lines while polling; the context is the polled KP.
  for (const auto& line : rig.observer.Journal("X")) {
    EXPECT_EQ(line.find("Повторный"), std::string::npos);
    EXPECT_EQ(line.find("Не получен"), std::string::npos);
  }
  EXPECT_EQ(rig.monitor.ContextKp(), 3);
  const auto problems = Kind(rig, 1, lkExchangeProblem);
  bool outOfContext = false;
  for (const auto* p : problems)
    outOfContext |= p->text == "Ответ не в контексе запроса. Запрошен КП3. Ответ от КП5.";
  EXPECT_TRUE(outOfContext);
  // The answer cleared the stamp; the next tick sent a new request.
  EXPECT_GT(static_cast<int64_t>(Kind(rig, 1, lkRequest).size()), before);
}

TEST(Polling, SwitchingOnAndOffWritesTheLinesAndKeepsTheContext) {
  LineRig rig(k2400, "switch.ini");
  rig.monitor.SetSendRequest(4, 0x10, 2);
  rig.monitor.SbStartSendClick(true);
  rig.monitor.TimerRedrawTimer();
  rig.monitor.SbStartSendClick(false);
  const auto& lines = rig.observer.lines;
  ASSERT_GE(lines.size(), 5u);
  EXPECT_EQ(lines[0], "E\tlkInfo\t--- Старт передачи ---");
  EXPECT_EQ(lines[1], "X\tlkInfo\t--- Старт передачи ---");
  EXPECT_EQ(lines.back(), "X\tlkInfo\t--- Стоп передачи ---");
  EXPECT_EQ(rig.monitor.ContextKp(), 4);
  EXPECT_NE(rig.monitor.RequestStamp(), 0);
  // Reception switched while polling keeps the context too.
  rig.monitor.SbStartSendClick(true);
  rig.monitor.BtStartStopClick(true);
  EXPECT_EQ(rig.monitor.ContextKp(), 4);
  rig.monitor.SbStartSendClick(false);
  rig.monitor.BtStartStopClick(false);
  EXPECT_EQ(rig.monitor.ContextKp(), 0);
}

}  // namespace
}  // namespace sorvex
