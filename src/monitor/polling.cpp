// The poll scheduler: one request at a time, the next one after a valid
// answer or after the answer time-out.
#include "modem/modem_device.h"
#include "monitor/monitor.h"
#include "protocol/request_encoder.h"
#include "util/str_format.h"

namespace sorvex {

void TMonitor::ServicePolling() {
  if (!FPolling || !FDevice) return;
  if (FRequestStamp != 0) {
    if (static_cast<int32_t>(ElapsedMs(FClock, FRequestStamp)) < FAnswerTimeoutMs) return;
    if (FReceiving) {
      const std::string message = StrFormat("Тайм-аут ожидания ответа от КП%u.", FContextKp);
      AddLogEntry(0, lkExchangeProblem, false, message);
      AddLogEntry(1, lkExchangeProblem, false, message);
      FLineCounters.Problem(FContextKp, TExchangeProblem::NoAnswer);
      FRequestStamp = 0;
    }
  }
  FContextKp = FSendKp;
  RequestDescriptor request{};
  request.KpAddress = FSendKp;
  request.FunctionCode = FSendFunction;
  request.Group = FunctionTakesGroup(FSendFunction) ? FSendGroup : 0;
  uint8_t buffer[256] = {};
  const int16_t bitCount = EncodeRequestTelegram(buffer, request);
  FDevice->Transmit(0, buffer, bitCount);
  // 0 means "none outstanding", so a counter that happens to read 0 is
  // taken as 1 (one tick later, a difference no time-out can see).
  const int64_t now = FClock.Counter();
  FRequestStamp = now != 0 ? now : 1;
  AddLogEntry(1, lkRequest, false, DescribeRequest(request));
  const int32_t baud = FDevice->BaudRate(0);
  // The sound path's own latency (both ways) is added: with a card's
  // buffers a prompt answer at 1200 or 2400 bit/s would otherwise arrive
  // after its time-out.
  FAnswerTimeoutMs = baud > 0 ? bitCount * 1000 / baud + 320000 / baud : 0;
  if (baud > 0) FAnswerTimeoutMs += FDevice->StreamLatencyMs();
}

}  // namespace sorvex
