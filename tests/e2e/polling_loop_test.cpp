// The monitor polls a simulated KP over the loopback backend: the KP decodes
// each request from the device's left output and answers on the right input.
// As on a real line, the request the device sends is also heard on the left
// input (one block later); that is what lets answers through after
// reception is switched on.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "modem/modem_device.h"
#include "monitor/line_rig.h"
#include "monitor/monitor.h"
#include "protocol/request_decoder.h"
#include "sim/answer_encoder.h"
#include "sim/line_simulator.h"
#include "sim/loopback_stream.h"
#include "sim/signal_time_driver.h"

namespace sorvex {
namespace {

using testing::JournalRecorder;
using testing::RateSetup;
using testing::WriteSettings;

constexpr RateSetup k200{200, 2540, 2760, 500};
constexpr RateSetup k1200{1200, 1300, 2100, 1500};

// A KP on the line: listens to the left output, answers Gts requests for its
// own address with its TS byte, on the right input.
class SimulatedKp {
 public:
  SimulatedKp(const std::string& settings, uint8_t address, bool silent)
      : FRx(settings, 1024), FTx(settings, 1024), FAddress(address), FSilent(silent) {
    FRx.ResetReceiver();
  }

  void Hear(const int16_t* output) {
    for (int k = 0; k < 1024; ++k) FEcho[static_cast<size_t>(k)] = output[2 * k];
    FRx.ProcessBlock(0, output, 1024);
    uint8_t telegram[256] = {};
    const int32_t bits = FRx.TakeTelegram(telegram, 0);
    if (bits == 0) return;
    FRx.ResetReceiver();
    std::string text;
    TelegramInfo info;
    if (!DecodeRequestTelegram(telegram, static_cast<uint16_t>(bits), text, info)) return;
    ++requestsHeard;
    if (FSilent || info.KpAddress != FAddress) return;
    AnswerDescriptor answer;
    answer.KpAddress = FAddress;
    answer.FunctionCode = info.FunctionCode;
    answer.Group = 1;
    answer.Bytes = {static_cast<uint8_t>(0x40 + requestsHeard)};
    uint8_t body[kAnswerBufferBytes] = {};
    const int n = EncodeAnswerTelegram(body, answer);
    // A lead of nine 0 bits before the address, as the line simulator sends.
    std::vector<uint8_t> line(static_cast<size_t>((n + 9 + 7) / 8), 0);
    for (int i = 0; i < n; ++i)
      if (body[i / 8] & (0x80 >> (i % 8))) line[(i + 9) / 8] |= 0x80 >> ((i + 9) % 8);
    // Answer a block later: the request's echo fills the next input block,
    // and the cross-talk gate would silence an answer laid over it.
    FPending = std::move(line);
    FPendingBits = n + 9;
    FDelay = 2;
  }

  // The next input block: the line's left side as the device last sent it,
  // the KP's answer on the right.
  void Speak(int16_t* input) {
    if (FDelay > 0 && --FDelay == 0) FTx.StartTransmit(FPending.data(), FPendingBits);
    double samples[1024];
    FTx.Modulate(samples, 1024);
    for (int k = 0; k < 1024; ++k) {
      input[2 * k] = FEcho[static_cast<size_t>(k)];
      input[2 * k + 1] = TModemDevice::OutputSample(samples[k]);
    }
  }

  int requestsHeard = 0;

 private:
  TModem FRx, FTx;
  uint8_t FAddress;
  bool FSilent;
  std::vector<int16_t> FEcho = std::vector<int16_t>(1024, 0);
  std::vector<uint8_t> FPending;
  int FPendingBits = 0;
  int FDelay = 0;  // input blocks until the pending answer starts
};

struct PollingLoop {
  PollingLoop(const RateSetup& rate, bool silent, const std::string& name)
      : settings(WriteSettings(rate, name)), kp(settings, 3, silent) {
    auto stream = std::make_unique<TLoopbackStream>();
    loop = stream.get();
    loop->SetInputSource([this](int64_t, int16_t* input, int) {
      kp.Speak(input);
      return true;
    });
    loop->SetOutputSink([this](int64_t, const int16_t* output, int) { kp.Hear(output); });
    monitor.StartDevice(std::make_unique<TModemDevice>(settings, std::move(stream)), 0.1, 0.1);
    monitor.BtStartStopClick(true);
    monitor.SetSendRequest(3, 0x90, 1);
    monitor.SbStartSendClick(true);
  }
  void Run(double seconds) {
    for (int b = 0; b < static_cast<int>(seconds * 8000 / 1024); ++b) {
      loop->Pump(1);
      driver.BlockDone();
    }
  }
  std::vector<const TLogEntry*> Exchange() const {
    std::vector<const TLogEntry*> out;
    for (const auto& e : observer.entries)
      if (e.logIndex == 1 && e.kind != lkInfo) out.push_back(&e);
    return out;
  }

  std::string settings;
  SimulatedKp kp;
  TManualClock clock{45000.0};
  JournalRecorder observer;
  TMonitor monitor{clock, observer};
  TSignalTimeDriver driver{monitor, clock};
  TLoopbackStream* loop = nullptr;
};

TEST(PollingLoop, RequestsAndAnswersAlternate) {
  // At 200 baud the 1825 ms time-out covers the loop's round trip: two
  // 128 ms blocks of latency each way plus both telegrams.
  PollingLoop rig(k200, false, "answering.ini");
  rig.Run(8);
  const auto x = rig.Exchange();
  ASSERT_GE(x.size(), 12u);
  // Each cycle: the request sent, the same request heard on the line, the answer.
  for (size_t i = 0; i + 2 < x.size(); i += 3) {
    EXPECT_EQ(x[i]->kind, lkRequest) << i;
    EXPECT_EQ(x[i]->text, "Запрос на КП3; Функция  ЗГТС, Группа=1.");
    EXPECT_EQ(x[i + 1]->kind, lkRequest) << i;
    EXPECT_EQ(x[i + 1]->text, "КП=3; ГTC; Группа=1");
    EXPECT_EQ(x[i + 2]->kind, lkAnswer) << i << " " << x[i + 2]->text;
    EXPECT_EQ(x[i + 2]->text.rfind("КП=3; ГTC; Группа=1, Значение ", 0), 0u) << x[i + 2]->text;
  }
  // No time-outs while the KP answers, and the last answer is in its block.
  for (const auto& e : rig.observer.entries) EXPECT_NE(e.kind, lkExchangeProblem) << e.text;
  const KpTelemetryBlock* block = rig.monitor.KpStats().FindKpRecord(3, false);
  ASSERT_NE(block, nullptr);
  EXPECT_GE(block->TsBytes[0], 0x41);
  EXPECT_LE(block->TsBytes[0], 0x40 + rig.kp.requestsHeard);
}

TEST(PollingLoop, SilentKpTimesOutEveryInterval) {
  PollingLoop rig(k1200, true, "silentkp.ini");
  rig.Run(3);
  const auto x = rig.Exchange();
  ASSERT_GE(x.size(), 10u);
  // 45 bits at 1200 baud: 37 + 266 = 303 ms, seen on the next 10 ms tick.
  EXPECT_EQ(rig.monitor.AnswerTimeoutMs(), 303);
  // The sent request, its echo from the line, then the time-out.
  double last = -1;
  for (size_t i = 0; i < x.size(); ++i) {
    if (i % 3 == 1) {
      EXPECT_EQ(x[i]->text, "КП=3; ГTC; Группа=1") << i;
    } else if (i % 3 == 0) {
      ASSERT_EQ(x[i]->kind, lkRequest) << i;
      const double ms = x[i]->time * 86400000.0;
      if (last >= 0) {
        EXPECT_GE(ms - last, 302.5) << i;
        EXPECT_LE(ms - last, 313.5) << i;
      }
      last = ms;
    } else {
      ASSERT_EQ(x[i]->kind, lkExchangeProblem) << i;
      EXPECT_EQ(x[i]->text, "Тайм-аут ожидания ответа от КП3.");
    }
  }
  EXPECT_EQ(rig.kp.requestsHeard, static_cast<int>((x.size() + 2) / 3));
}

}  // namespace
}  // namespace sorvex
