// Decode throughput of the telegram protocol: telegrams per second
// (items_per_second) for the longest common answer, a 189-bit Gtit answer
// with its 8 TIT values stored in the KP's block, and for comparison a
// 54-bit Gts answer and a request.
#include <benchmark/benchmark.h>

#include <string>

#include "monitor/kp_record_list.h"
#include "protocol/answer_decoder.h"
#include "protocol/request_decoder.h"
#include "protocol/request_encoder.h"
#include "sim/answer_encoder.h"
#include "util/clock.h"

namespace sorvex {
namespace {

void DecodeAnswerLoop(benchmark::State& state, const AnswerDescriptor& a) {
  uint8_t bits[kAnswerBufferBytes] = {};
  const int16_t count = EncodeAnswerTelegram(bits, a);
  TKpRecordList list;
  TManualClock clock(46000.0);
  std::string text;
  text.reserve(256);
  TelegramInfo info;
  for (auto _ : state) {
    const bool ok =
        DecodeAnswerTelegram(bits, static_cast<uint16_t>(count), text, info, list, clock);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(text.data());
  }
  if (info.LengthBits != count) state.SkipWithError("the answer did not decode");
  state.SetItemsProcessed(state.iterations());
  state.counters["bits"] = count;
}

void BM_DecodeGtitAnswer189(benchmark::State& state) {
  AnswerDescriptor a;
  a.KpAddress = 3;
  a.FunctionCode = 0x10;
  a.Group = 2;
  for (int k = 0; k < 8; ++k) a.Words[k] = MakeTitWord(k % 2 ? -250 * k : 250 * k, k);
  DecodeAnswerLoop(state, a);
}
BENCHMARK(BM_DecodeGtitAnswer189);

void BM_DecodeGtsAnswer54(benchmark::State& state) {
  AnswerDescriptor a;
  a.KpAddress = 1;
  a.FunctionCode = 0x90;
  a.Group = 1;
  a.Bytes = {0x05};
  DecodeAnswerLoop(state, a);
}
BENCHMARK(BM_DecodeGtsAnswer54);

void BM_DecodeGtsRequest36(benchmark::State& state) {
  uint8_t buffer[kRequestBufferBytes] = {};
  const int16_t count = EncodeRequestTelegram(buffer, {1, 0x90, 1, 0});
  // The frame without the encoder's lead 00/0.
  uint8_t frame[kRequestBufferBytes] = {};
  for (int i = 9; i < count; ++i) {
    if ((buffer[i / 8] >> (7 - i % 8)) & 1)
      frame[(i - 9) / 8] |= static_cast<uint8_t>(0x80 >> ((i - 9) % 8));
  }
  std::string text;
  TelegramInfo info;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        DecodeRequestTelegram(frame, static_cast<uint16_t>(count - 9), text, info));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecodeGtsRequest36);

}  // namespace
}  // namespace sorvex
