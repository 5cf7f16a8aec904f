// What looking at the line costs the two threads that must never wait.
//   BM_SpectrumTick       the 10 ms tick's share of the live spectrum, on the
//                         tick that renews it: the last 0.5 s copied out of
//                         the device under its lock, transformed (both
//                         channels, 4096 points) and turned into dB. Goal:
//                         under 1 ms.
//   BM_DeviceBlock/rec:0  the audio callback's block (receivers asleep, the
//                         cheapest block, so that what recording adds shows)
//   BM_DeviceBlock/rec:1  the same while a recorder takes every block: its
//                         writer thread writes the file on the other core
//   BM_RecorderTap        the recorder's part of the callback alone
// Times per iteration in microseconds.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "audio/line_recorder.h"
#include "modem/modem_device.h"
#include "monitor/line_spectrum.h"
#include "util/clock.h"

namespace {

using namespace sorvex;

// 4 s of both channels: two tones and white noise.
std::vector<int16_t> Line() {
  constexpr int kFrames = 32 * 1024;
  std::mt19937 random(1);
  std::normal_distribution<double> noise(0, 1500);
  std::vector<int16_t> frames(2 * kFrames);
  for (int k = 0; k < kFrames; ++k) {
    frames[2 * k] = static_cast<int16_t>(
        std::lround(8000 * std::sin(k * 2 * M_PI * 1300 / 8000) + noise(random)));
    frames[2 * k + 1] = static_cast<int16_t>(
        std::lround(8000 * std::sin(k * 2 * M_PI * 2100 / 8000) + noise(random)));
  }
  return frames;
}

std::string ScratchFile() {
  return (std::filesystem::temp_directory_path() /
          ("sorvex_line_bench_" + std::to_string(getpid()) + ".wav"))
      .string();
}

void BM_SpectrumTick(benchmark::State& state) {
  const std::vector<int16_t> line = Line();
  TModemDevice device("", nullptr);
  std::vector<int16_t> out(2048);
  for (int b = 0; b < 8; ++b) device.ProcessBlock(line.data() + b * 2048, out.data(), 1024);
  TLineSpectrum spectrum;
  for (auto _ : state) {
    spectrum.Update(device);
    benchmark::DoNotOptimize(spectrum.Db(1).data());
  }
}
BENCHMARK(BM_SpectrumTick)->Unit(benchmark::kMicrosecond);

// A fixed number of blocks: the recorder's queue (sized for it) never fills,
// so every block really goes to the file, as at the line's own pace.
constexpr int kRecordedBlocks = 4000;

void BM_DeviceBlock(benchmark::State& state) {
  const std::vector<int16_t> line = Line();
  const int blocks = static_cast<int>(line.size() / 2048);
  TModemDevice device("", nullptr);
  std::unique_ptr<TLineRecorder> recorder;
  const std::string file = ScratchFile();
  if (state.range(0) != 0) {
    TLineRecorder::Options options;
    options.QueueBlocks = kRecordedBlocks + 1;
    std::string error;
    recorder = TLineRecorder::Create(file, options, error);
    if (!recorder) {
      state.SkipWithError(error.c_str());
      return;
    }
    device.SetInputTap(recorder.get());
  }
  std::vector<int16_t> out(2048);
  int b = 0;
  for (auto _ : state) {
    device.ProcessBlock(line.data() + static_cast<size_t>(b++ % blocks) * 2048, out.data(), 1024);
    benchmark::DoNotOptimize(out.data());
  }
  if (recorder) {
    device.SetInputTap(nullptr);
    if (!recorder->Finish()) state.SkipWithError(recorder->Error().c_str());
    state.counters["recorded_s"] = static_cast<double>(recorder->FramesWritten()) / 8000;
    std::filesystem::remove(file);
  }
}
BENCHMARK(BM_DeviceBlock)
    ->ArgName("rec")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(kRecordedBlocks)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

void BM_RecorderTap(benchmark::State& state) {
  const std::vector<int16_t> line = Line();
  const int blocks = static_cast<int>(line.size() / 2048);
  TLineRecorder::Options options;
  options.QueueBlocks = kRecordedBlocks + 1;
  std::string error;
  const std::string file = ScratchFile();
  auto recorder = TLineRecorder::Create(file, options, error);
  if (!recorder) {
    state.SkipWithError(error.c_str());
    return;
  }
  int b = 0;
  for (auto _ : state)
    recorder->InputBlock(line.data() + static_cast<size_t>(b++ % blocks) * 2048, 1024);
  if (!recorder->Finish()) state.SkipWithError(recorder->Error().c_str());
  std::filesystem::remove(file);
}
BENCHMARK(BM_RecorderTap)
    ->Iterations(kRecordedBlocks)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
