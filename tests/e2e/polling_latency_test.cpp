// Polling through a sound path with latency: a loopback stream that lags as
// a sound card with two 1024-frame buffers each way does (512 ms in all),
// and a KP that answers at once. At 2400 bit/s the answer time-out of the
// bare formula (151 ms for a 45-bit request) expires long before the answer
// can arrive; with the stream's latency added every answer is accepted.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "modem/modem_device.h"
#include "monitor/line_rig.h"
#include "monitor/monitor.h"
#include "protocol/request_decoder.h"
#include "sim/answer_encoder.h"
#include "sim/loopback_stream.h"
#include "sim/signal_time_driver.h"

namespace sorvex {
namespace {

using testing::JournalRecorder;
using testing::RateSetup;
using testing::WriteSettings;

constexpr RateSetup k2400{2400, 1200, 2400, 2400};
constexpr int kLatencyBlocks = 4;
// Where the answer starts in its input block: after the request's echo,
// on a cross-talk chunk boundary.
constexpr int kAnswerOffset = 384;

// Hears the device's left output as the line delivers it and answers Gts
// requests for KP 3 in the very next input block; that block also carries
// the request's echo on the left, as a real line does.
class PromptKp {
 public:
  explicit PromptKp(const std::string& settings) : FRx(settings, 1024), FTx(settings, 1024) {
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
    AnswerDescriptor answer;
    answer.KpAddress = 3;
    answer.FunctionCode = info.FunctionCode;
    answer.Group = 1;
    // The TS byte numbers the request answered (1 for the first heard).
    answer.Bytes = {static_cast<uint8_t>(requestsHeard)};
    uint8_t body[kAnswerBufferBytes] = {};
    const int n = EncodeAnswerTelegram(body, answer);
    // Nine 0 bits of lead before the address.
    std::vector<uint8_t> line(static_cast<size_t>((n + 9 + 7) / 8), 0);
    for (int i = 0; i < n; ++i)
      if (body[i / 8] & (0x80 >> (i % 8))) line[(i + 9) / 8] |= 0x80 >> ((i + 9) % 8);
    FTx.StartTransmit(line.data(), n + 9);
    FAnswering = true;
  }

  void Speak(int16_t* input) {
    double samples[1024] = {};
    if (FAnswering) FTx.Modulate(samples + kAnswerOffset, 1024 - kAnswerOffset);
    FAnswering = false;
    for (int k = 0; k < 1024; ++k) {
      input[2 * k] = FEcho[static_cast<size_t>(k)];
      input[2 * k + 1] = TModemDevice::OutputSample(samples[k]);
    }
    std::fill(FEcho.begin(), FEcho.end(), 0);
  }

  int requestsHeard = 0;

 private:
  TModem FRx, FTx;
  std::vector<int16_t> FEcho = std::vector<int16_t>(1024, 0);
  bool FAnswering = false;
};

struct LatencyLoop {
  LatencyLoop(bool reportLatency, const std::string& name)
      : settings(WriteSettings(k2400, name)), kp(settings) {
    TLoopbackStream::Options options;
    options.LatencyBlocks = kLatencyBlocks;
    options.ReportLatency = reportLatency;
    auto stream = std::make_unique<TLoopbackStream>(options);
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
  // For each answer accepted: how many requests had been sent by then, and
  // which request it answers (its TS byte).
  std::vector<std::pair<int, int>> Pairs() const {
    std::vector<std::pair<int, int>> pairs;
    int sent = 0;
    for (const auto& e : observer.entries) {
      if (e.logIndex != 1) continue;
      if (e.kind == lkRequest && e.text.rfind("Запрос на КП3", 0) == 0) ++sent;
      const std::string value = ", Значение ";
      const size_t at = e.text.find(value);
      if (e.kind == lkAnswer && at != std::string::npos)
        pairs.emplace_back(sent, std::stoi(e.text.substr(at + value.size()), nullptr, 16));
    }
    return pairs;
  }
  int Count(uint8_t kind, const std::string& prefix) const {
    int n = 0;
    for (const auto& e : observer.entries)
      if (e.logIndex == 1 && e.kind == kind && e.text.rfind(prefix, 0) == 0) ++n;
    return n;
  }

  std::string settings;
  PromptKp kp;
  TManualClock clock{45000.0};
  JournalRecorder observer;
  TMonitor monitor{clock, observer};
  TSignalTimeDriver driver{monitor, clock};
  TLoopbackStream* loop = nullptr;
};

TEST(PollingLatency, AnswersThroughALaggingSoundPathAreAcceptedAt2400Baud) {
  LatencyLoop rig(true, "latency2400.ini");
  rig.Run(6);
  // 45 bits: 18 + 133 ms by the formula, plus the stream's 512 ms.
  EXPECT_EQ(rig.monitor.AnswerTimeoutMs(), 151 + 512);
  // Every answer is taken for the request it answers: the one sent last.
  const auto pairs = rig.Pairs();
  EXPECT_GE(pairs.size(), 8u);
  for (const auto& [sent, answered] : pairs) EXPECT_EQ(answered, sent);
  EXPECT_EQ(rig.Count(lkExchangeProblem, ""), 0);
}

TEST(PollingLatency, WithoutTheLatencyEveryPollTimesOutFirst) {
  LatencyLoop rig(false, "hidden2400.ini");
  rig.Run(6);
  EXPECT_EQ(rig.monitor.AnswerTimeoutMs(), 151);
  // The first polls time out before their answers arrive; from then on
  // several requests are under way at once, and each answer is taken for
  // the request sent last, which is not the one it answers.
  EXPECT_GE(rig.Count(lkExchangeProblem, "Тайм-аут ожидания ответа от КП3."), 3);
  const auto pairs = rig.Pairs();
  ASSERT_GE(pairs.size(), 5u);
  for (const auto& [sent, answered] : pairs) EXPECT_LE(answered, sent - 2);
}

}  // namespace
}  // namespace sorvex
