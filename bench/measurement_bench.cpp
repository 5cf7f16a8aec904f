// What measuring every telegram costs the receive path: one channel's
// ProcessBlock over a simulated answer side (KPs at 20 dB Eb/N0, one of them
// 18 Hz high and 0.9 % fast), each completed telegram taken and the receiver
// re-armed as the monitor does: without measuring, measuring in the
// receiving thread (as the window's tick does), and on the measuring thread
// (as replay does, each telegram's figures waited for before the next
// telegram is handed over). Items are samples of the channel; the goal is
// at most 10 % fewer with measurement.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "modem/measuring_thread.h"
#include "modem/modem.h"
#include "modem/telegram_measurer.h"
#include "sim/scenario.h"

namespace {

using sorvex::TModem;

// The preset for `rate` with the chosen receiver.
std::string Settings(int rate, int receiver) {
  std::ifstream preset(std::string(SORVEX_PRESETS_DIR) + "/modem-" + std::to_string(rate) + ".ini");
  std::stringstream text;
  text << preset.rdbuf();
  std::string settings = text.str();
  const size_t at = settings.find("Receiver=0");
  if (at != std::string::npos && receiver) settings[at + 9] = '1';
  const std::string path = "/tmp/sorvex_measurement_bench_" + std::to_string(rate) + "_" +
                           std::to_string(receiver) + ".ini";
  std::ofstream(path) << settings;
  return path;
}

const std::vector<int16_t>& Line(int rate) {
  static std::vector<int16_t> lines[2];
  std::vector<int16_t>& frames = lines[rate == 200 ? 0 : 1];
  if (frames.empty()) {
    std::string scenario = "settings " + Settings(rate, 0) +
                           "\nnoise 20 right\nmodem 5 tones=+18 rate=1.009\nsilence 200\n";
    for (int i = 0; i < 20; ++i) {
      scenario += "exchange " + std::to_string(i % 2 ? 5 : 3) + " Gtit 1 words=1,2,3,4\n";
    }
    std::string error;
    if (!sorvex::RunScenario(scenario, "", frames, error)) frames.assign(2048, 0);
  }
  return frames;
}

// Args: bit rate, receiver (0 standard, 1 sensitive), measure (0 no, 1 in
// the receiving thread, 2 on the measuring thread).
void BM_Receive(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  const int64_t measure = state.range(2);
  std::unique_ptr<sorvex::TMeasuringThread> thread;
  if (measure == 2) thread = std::make_unique<sorvex::TMeasuringThread>();
  const std::vector<int16_t>& frames = Line(rate);
  TModem modem(Settings(rate, static_cast<int>(state.range(1))), 1024);
  modem.SetRecordCapacity(16000);
  modem.SetStartLevel(0.1);  // replay's default
  const int blocks = static_cast<int>(frames.size() / 2 / 1024);
  uint8_t bytes[256];
  int64_t telegrams = 0;
  double sink = 0;
  for (auto _ : state) {
    modem.ResetReceiver();
    for (int b = 0; b < blocks; ++b) {
      modem.ProcessBlock(1, frames.data() + 2 * 1024 * b, 1024);
      const int32_t bits = modem.TakeTelegram(bytes, 0);
      if (bits == 0) continue;
      ++telegrams;
      if (measure == 1) sink += modem.MeasureTelegram(bits).bitRate;
      if (thread) {
        sink += thread->Wait().bitRate;
        thread->Start(modem.TelegramSignal(bits));
      }
      modem.ResetReceiver();
    }
    if (thread) sink += thread->Wait().bitRate;
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(state.iterations() * blocks * 1024);
  state.counters["telegrams"] =
      benchmark::Counter(static_cast<double>(telegrams) / static_cast<double>(state.iterations()));
}
BENCHMARK(BM_Receive)
    ->ArgNames({"rate", "sensitive", "measure"})
    ->ArgsProduct({{200, 1200}, {0, 1}, {0, 1, 2}})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The measurer alone on the copies the modem hands it for the same line's
// telegrams: its cost per telegram, free of the receiver's.
void BM_Measure(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  const std::vector<int16_t>& frames = Line(rate);
  TModem modem(Settings(rate, 0), 1024);
  modem.SetRecordCapacity(16000);
  modem.SetStartLevel(0.1);
  modem.ResetReceiver();
  std::vector<sorvex::TTelegramSignal> copies;
  uint8_t bytes[256];
  for (size_t b = 0; b + 1 < frames.size() / 2 / 1024; ++b) {
    modem.ProcessBlock(1, frames.data() + 2 * 1024 * b, 1024);
    const int32_t bits = modem.TakeTelegram(bytes, 0);
    if (bits == 0) continue;
    copies.push_back(modem.TelegramSignal(bits));
    modem.ResetReceiver();
  }
  double sink = 0;
  for (auto _ : state) {
    for (const sorvex::TTelegramSignal& copy : copies) {
      sink += sorvex::MeasureTelegramSignal(copy).bitRate;
    }
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(copies.size()));
  state.counters["us_per_telegram"] = benchmark::Counter(
      static_cast<double>(copies.size()) * static_cast<double>(state.iterations()),
      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Measure)->ArgName("rate")->Arg(200)->Arg(1200)->Unit(benchmark::kMicrosecond);

}  // namespace
