#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "line_rig.h"
#include "protocol/answer_decoder.h"
#include "protocol/request_decoder.h"

namespace sorvex {
namespace {

using testing::LineRig;
using testing::RateSetup;

constexpr RateSetup k1200{1200, 1300, 2100, 1500};

RequestDescriptor Request(uint8_t kp, uint8_t function, uint8_t group = 0) {
  RequestDescriptor r;
  r.KpAddress = kp;
  r.FunctionCode = function;
  r.Group = group;
  return r;
}

AnswerDescriptor TsAnswer(uint8_t kp, uint8_t group, uint8_t ts) {
  AnswerDescriptor a;
  a.KpAddress = kp;
  a.FunctionCode = 0x90;
  a.Group = group;
  a.Bytes = {ts};
  return a;
}

// The decoder's own texts, so the expectations follow the protocol layer.
std::string RequestText(const RequestDescriptor& r) {
  uint8_t bits[kRequestBufferBytes] = {};
  const int n = EncodeRequestTelegram(bits, r);
  // Drop the leading 00/0: the receiver starts at the address character.
  uint8_t shifted[kRequestBufferBytes] = {};
  for (int i = 9; i < n; ++i)
    if (bits[i / 8] & (0x80 >> (i % 8))) shifted[(i - 9) / 8] |= 0x80 >> ((i - 9) % 8);
  std::string text;
  TelegramInfo info;
  DecodeRequestTelegram(shifted, static_cast<uint16_t>(n - 9), text, info);
  return text;
}

std::string AnswerText(const AnswerDescriptor& a) {
  uint8_t bits[kAnswerBufferBytes] = {};
  const int n = EncodeAnswerTelegram(bits, a);
  std::string text;
  TelegramInfo info;
  TKpRecordList scratch;
  TManualClock clock;
  DecodeAnswerTelegram(bits, static_cast<uint16_t>(n), text, info, scratch, clock);
  return text;
}

class ExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rig.monitor.BtStartStopClick(true);
    rig.observer.lines.clear();
  }
  std::vector<std::string> Exchange() const { return rig.observer.Journal("X"); }
  // The events journal without the statistics lines.
  std::vector<std::string> Events() const {
    std::vector<std::string> out;
    for (const auto& l : rig.observer.Journal("E"))
      if (l.rfind("lkInfo\t", 0) != 0) out.push_back(l);
    return out;
  }

  LineRig rig{k1200};
};

TEST_F(ExchangeTest, ReceptionSwitchWritesBothJournalsAndArmsReceivers) {
  LineRig fresh{k1200, "fresh.ini"};
  fresh.monitor.BtStartStopClick(true);
  EXPECT_EQ(fresh.observer.lines, (std::vector<std::string>{"E\tlkInfo\t--- Старт приема ---",
                                                            "X\tlkInfo\t--- Старт приема ---"}));
  EXPECT_EQ(fresh.monitor.Device()->ReceiverState(0), rsWaitSilence);
  EXPECT_EQ(fresh.monitor.Device()->ReceiverState(1), rsWaitSilence);
  EXPECT_TRUE(fresh.monitor.AwaitFirstRequest());
  fresh.monitor.BtStartStopClick(false);
  EXPECT_EQ(fresh.observer.lines.back(), "X\tlkInfo\t--- Стоп приема ---");
}

TEST_F(ExchangeTest, RequestAnswerPairWritesTheExchangeJournal) {
  const auto request = Request(3, 0x90, 1);
  const auto answer = TsAnswer(3, 1, 0xA5);
  rig.Line().SendRequest(request);
  rig.Line().Silence(30);
  rig.Line().SendAnswer(answer);
  rig.Play();
  EXPECT_EQ(Exchange(), (std::vector<std::string>{"lkRequest\t" + RequestText(request),
                                                  "lkAnswer\t" + AnswerText(answer)}));
  EXPECT_EQ(rig.monitor.ContextKp(), 0);
  EXPECT_EQ(rig.observer.kpWindowChanges, 1);
  const KpTelemetryBlock* block = rig.monitor.KpStats().FindKpRecord(3, false);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block->TsBytes[0], 0xA5);
  // Both telegrams were shown: the request blue, the answer red.
  ASSERT_EQ(rig.observer.shown.size(), 2u);
  EXPECT_EQ(rig.observer.shown[0].colour, TraceColour::Blue);
  EXPECT_EQ(rig.observer.shown[1].colour, TraceColour::Red);
  EXPECT_GT(rig.observer.shown[1].count, 0);
  // Statistics for both channels of KP 3.
  const TKpRecord* r = rig.monitor.KpStats().FindRecord(3);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Accepted[0], 1u);
  EXPECT_EQ(r->Accepted[1], 1u);
  EXPECT_EQ(r->FunctionCounts[1][0x90], 1u);
  EXPECT_TRUE(rig.observer.errors.empty());
}

TEST_F(ExchangeTest, RepeatedRequestAndMissingAnswer) {
  rig.Line().SendRequest(Request(3, 0x90, 1));
  rig.Line().Silence(50);
  rig.Line().SendRequest(Request(3, 0x90, 1));
  rig.Line().Silence(50);
  rig.Line().SendRequest(Request(5, 0x90, 1));
  rig.Play();
  const std::string repeat = "lkExchangeProblem\tПовторный запрос КП3. Ожидание приличного уровня.";
  const std::string missing =
      "lkExchangeProblem\tНе получен ответ от КП3. Ожидание приличного уровня.";
  const auto x = Exchange();
  ASSERT_EQ(x.size(), 5u);
  EXPECT_EQ(x[1], repeat);
  EXPECT_EQ(x[3], missing);
  EXPECT_EQ(Events(), (std::vector<std::string>{repeat, missing}));
  EXPECT_EQ(rig.monitor.ContextKp(), 5);
}

TEST_F(ExchangeTest, AnswerOutOfContextThenAnswerWithoutContext) {
  rig.Line().SendRequest(Request(3, 0x90, 1));
  rig.Line().Silence(30);
  rig.Line().SendAnswer(TsAnswer(5, 1, 0x01));
  rig.Line().Silence(50);
  rig.Line().SendAnswer(TsAnswer(5, 1, 0x02));
  rig.Play();
  const std::string outOfContext =
      "lkExchangeProblem\tОтвет не в контексе запроса. Запрошен КП3. Ответ от КП5.";
  const auto x = Exchange();
  ASSERT_EQ(x.size(), 4u);
  EXPECT_EQ(x[1], outOfContext);
  EXPECT_EQ(x[2].rfind("lkAnswer\t", 0), 0u);
  EXPECT_EQ(x[3].rfind("lkAnswer\t", 0), 0u);  // no context: just the line
  EXPECT_EQ(Events(), std::vector<std::string>{outOfContext});
  EXPECT_EQ(rig.monitor.ContextKp(), 0);
}

TEST_F(ExchangeTest, InvalidAnswerKeepsTheContext) {
  rig.Line().SendRequest(Request(3, 0x90, 1));
  rig.Line().Silence(30);
  rig.Line().SendAnswer(TsAnswer(3, 1, 0x01), 30);  // a bit of the body flipped
  rig.Play();
  EXPECT_EQ(rig.monitor.ContextKp(), 3);
  const auto x = Exchange();
  ASSERT_EQ(x.size(), 2u);
  EXPECT_EQ(x[1].rfind("lkBadAnswer\tПо запросу на КП3: ", 0), 0u) << x[1];
  // The events journal holds the same line, with the telegram's signal.
  ASSERT_FALSE(rig.observer.entries.empty());
  bool found = false;
  for (const auto& e : rig.observer.entries) {
    if (e.logIndex == 0 && e.kind == lkBadAnswer) {
      found = true;
      EXPECT_GT(e.recordCount, 0);
      ASSERT_NE(e.records, nullptr);
      EXPECT_EQ(e.records->size(), static_cast<size_t>(e.recordCount));
    }
    if (e.logIndex == 1) {
      EXPECT_EQ(e.recordCount, 0);
    }
  }
  EXPECT_TRUE(found);
  // One copy per telegram: the answer's failure line and its statistics
  // events share it; the request's events have their own.
  const TLogEntry* bad = nullptr;
  std::vector<const TLogEntry*> withSignal;
  for (const auto& e : rig.observer.entries) {
    if (e.records) withSignal.push_back(&e);
    if (e.logIndex == 0 && e.kind == lkBadAnswer) bad = &e;
  }
  ASSERT_NE(bad, nullptr);
  int sharing = 0, other = 0;
  for (const auto* e : withSignal) (e->records == bad->records ? sharing : other)++;
  EXPECT_GE(sharing, 5);  // the failure line and at least four first-telegram events
  EXPECT_GE(other, 4);    // the request's first-telegram events
  EXPECT_NE(withSignal.front()->records, bad->records);
  // The next valid request finds the context still open.
  rig.Line().Silence(50);
  rig.Line().SendRequest(Request(3, 0x90, 1));
  rig.Play();
  EXPECT_EQ(Exchange()[2], "lkExchangeProblem\tПовторный запрос КП3. Ожидание приличного уровня.");
}

TEST_F(ExchangeTest, AnswersAreDroppedUntilTheFirstValidRequest) {
  rig.Line().SendAnswer(TsAnswer(3, 1, 0x01));
  rig.Line().Silence(50);
  rig.Line().SendRequest(Request(3, 0x90, 1), 12);  // invalid request: still waiting
  rig.Line().Silence(50);
  rig.Line().SendAnswer(TsAnswer(3, 1, 0x02));
  rig.Play();
  const auto x = Exchange();
  ASSERT_EQ(x.size(), 1u);
  EXPECT_EQ(x[0].rfind("lkBadRequest\t", 0), 0u);
  EXPECT_TRUE(rig.monitor.AwaitFirstRequest());
  EXPECT_EQ(rig.monitor.KpStats().FindRecord(3)->Accepted[1] +
                rig.monitor.KpStats().FindRecord(3)->Rejected[1],
            0u);
  // The answer receiver was re-armed all the same.
  EXPECT_NE(rig.monitor.Device()->ReceiverState(1), rsSleeping);
}

TEST_F(ExchangeTest, SignalCopiesGoExactlyWithFailuresAndStatisticsEvents) {
  rig.Line().SendRequest(Request(3, 0x90, 1));
  rig.Line().Silence(30);
  rig.Line().SendAnswer(TsAnswer(3, 1, 0x01));
  rig.Line().Silence(50);
  rig.Line().SendRequest(Request(4, 0x90, 1), 12);  // rejected request
  rig.Line().Silence(50);
  rig.Line().SendRequest(Request(5, 0x90, 1));
  rig.Line().Silence(30);
  rig.Line().SendAnswer(TsAnswer(5, 1, 0x01), 30);  // rejected answer
  rig.Line().Silence(50);
  rig.Line().SendRequest(Request(5, 0x90, 1));  // repeat
  rig.Play();
  rig.monitor.BtStartStopClick(false);
  int attached = 0;
  for (const auto& e : rig.observer.entries) {
    const bool failure = e.kind == lkBadRequest || e.kind == lkBadAnswer;
    const bool statistics = e.kind == lkInfo && e.text.rfind("В ", 0) == 0;
    const bool expected = e.logIndex == 0 && (failure || statistics);
    EXPECT_EQ(e.records != nullptr, expected) << e.logIndex << " " << e.text;
    EXPECT_EQ(e.recordCount > 0, expected) << e.text;
    attached += expected;
  }
  EXPECT_GT(attached, 10);
}

// Statistics events carry the signal of the telegram they are about: a
// copy of exactly the records the dispatch took with it. Before any telegram
// there is nothing to attach.
TEST_F(ExchangeTest, StatisticsEventsCarryTheirTelegramsSignal) {
  const double halfMeans[2] = {0.5, 0.5};
  const uint32_t bitIndex[2] = {0, 0};
  const double levels[3] = {0.5, 0.5, 0.5};
  TelegramInfo info;
  info.KpAddress = 9;
  rig.monitor.UpdateKpStatistics(1, true, 0.01, halfMeans, bitIndex, levels, info);
  ASSERT_FALSE(rig.observer.entries.empty());
  for (const auto& e : rig.observer.entries) {
    EXPECT_EQ(e.records, nullptr) << e.text;
    EXPECT_EQ(e.recordCount, 0) << e.text;
  }
  rig.observer.entries.clear();

  rig.Line().SendRequest(Request(3, 0x90, 1));
  rig.Play();
  const int32_t count = rig.monitor.SignalRecordCount();
  ASSERT_GT(count, 0);
  const TSignalRecord* taken = rig.monitor.SignalRecords();
  int events = 0, bitSamples = 0;
  for (int32_t i = 0; i < count; ++i) bitSamples += taken[i].Kind == skBitSample;
  // The request's four 9-bit characters, then more than four bit times of silence.
  EXPECT_GE(bitSamples, 36 + 4);
  for (const auto& e : rig.observer.entries) {
    if (e.kind != lkInfo || e.text.rfind("В запросе на КП3", 0) != 0) continue;
    ++events;
    ASSERT_NE(e.records, nullptr) << e.text;
    ASSERT_EQ(e.recordCount, count);
    ASSERT_EQ(e.records->size(), static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
      ASSERT_EQ((*e.records)[i].Value, taken[i].Value) << i;
      ASSERT_EQ((*e.records)[i].Kind, taken[i].Kind) << i;
    }
  }
  EXPECT_GE(events, 4);  // the first telegram of a channel beats every extreme
}

TEST_F(ExchangeTest, LiveGraphFollowsTheFilters) {
  rig.monitor.SetGraphOptions(false, false, true, 0);  // answers only
  rig.Line().SendRequest(Request(3, 0x90, 1));
  rig.Line().Silence(30);
  rig.Line().SendAnswer(TsAnswer(3, 1, 0x01));
  rig.Play();
  ASSERT_EQ(rig.observer.shown.size(), 1u);
  EXPECT_EQ(rig.observer.shown[0].colour, TraceColour::Red);
  rig.monitor.SetGraphOptions(false, true, true, 4);  // another KP only
  rig.Line().SendRequest(Request(3, 0x90, 1));
  rig.Play();
  EXPECT_EQ(rig.observer.shown.size(), 1u);
  rig.monitor.SetGraphOptions(true, true, true, 0);  // journal graph mode
  rig.Line().SendRequest(Request(3, 0x90, 1));
  rig.Play();
  EXPECT_EQ(rig.observer.shown.size(), 1u);
}

// A view that fails while drawing: the tick's catch-all reports the step.
struct ThrowingObserver : testing::JournalRecorder {
  void ShowTelegram(const TSignalRecord*, int, TraceColour, const std::string&) override {
    throw std::runtime_error("paint failed");
  }
};

// Tones measured on the thread are told as in the tick, each telegram's
// right after its journal lines; switched off they read NaN, and the
// journals stay as they are.
TEST(ToneMeasuring, OnTheThreadOrOffOnlyTheFiguresMayChange) {
  using TWhere = TMonitor::TToneMeasuring;
  std::vector<std::string> seen[3];
  const TWhere where[3] = {TWhere::InTick, TWhere::OnThread, TWhere::Off};
  for (int i = 0; i < 3; ++i) {
    LineRig rig(k1200, "tones" + std::to_string(i) + ".ini");
    rig.monitor.SetToneMeasuring(where[i]);
    rig.monitor.BtStartStopClick(true);
    for (const uint8_t kp : {3, 5}) {
      rig.Line().SendRequest(Request(kp, 0x90, 1));
      rig.Line().Silence(30);
      rig.Line().SendAnswer(TsAnswer(kp, 1, 0xA5));
      rig.Line().Silence(30);
    }
    rig.Line().SendRequest(Request(4, 0x90, 1));
    rig.Play(0);  // the last request's figures may still be being measured
    rig.monitor.BtStartStopClick(false);
    seen[i] = rig.observer.lines;
  }
  EXPECT_EQ(seen[1], seen[0]);
  std::vector<std::string> unmeasured = seen[0];
  int measured = 0;
  for (std::string& line : unmeasured) {
    if (line[0] != 'M') continue;
    ++measured;
    EXPECT_EQ(line.find("nan"), std::string::npos) << line;
    line = line.substr(0, 4) + "nan\tnan\tnan";
  }
  EXPECT_EQ(measured, 5);
  EXPECT_EQ(seen[2], unmeasured);
}

TEST(ExchangeFailure, CatchAllReportsTheStepAndLeavesTheChannelAsleep) {
  const std::string settings = testing::WriteSettings(k1200, "fail.ini");
  TManualClock clock;
  ThrowingObserver observer;
  TMonitor monitor(clock, observer);
  auto stream = std::make_unique<TLoopbackStream>();
  TLoopbackStream* loop = stream.get();
  monitor.StartDevice(std::make_unique<TModemDevice>(settings, std::move(stream)), 0.1, 0.1);
  TSignalTimeDriver driver(monitor, clock);
  monitor.BtStartStopClick(true);
  TLineSimulator line(settings);
  line.SendRequest(Request(3, 0x90, 1));
  line.Silence(200);
  loop->QueueInput(line.Frames().data(), line.FrameCount());
  for (int b = 0; b < 10; ++b) {
    loop->Pump(1);
    driver.BlockDone();
  }
  ASSERT_EQ(observer.errors.size(), 1u);
  EXPECT_EQ(observer.errors[0], "!! File=Main. Line=438.");
  EXPECT_EQ(monitor.Device()->ReceiverState(0), rsSleeping);
}

}  // namespace
}  // namespace sorvex
