// The oscillograph at its largest: a full signal-record buffer (64 000
// records of a 200 bit/s telegram, one strobe and ~1 600 numbered bit
// markers) painted on a 1200 × 300 panel (goal: under 8 ms a repaint), and
// SetSeries + Rescale of the 64 000 values (goal: under 1 ms). Offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <vector>

#include "modem/modem.h"
#include "ui/controls/graphic_panel.h"
#include "ui/work/oscillograph.h"
#include "ui_bench_main.h"

namespace {

using sorvex::TGraphicPanel;
using sorvex::TModem;
using sorvex::TSignalRecord;

constexpr int32_t kRecords = 64000;

// 2040 random bits after a 9-bit lead-in of zeros, sent by the channel
// modem's transmitter and taken by its receiver until the record buffer
// is full.
std::vector<TSignalRecord> FullRecordBuffer() {
  const char* const kDefaults = "/nonexistent/sorvex-bench/modem.ini";
  std::vector<uint8_t> bits(sorvex::kMaxTelegramBytes, 0);
  std::mt19937 rng(7);
  for (size_t i = 2; i < bits.size(); ++i) bits[i] = static_cast<uint8_t>(rng());
  bits[1] = 0x40;  // lead-in: bits 0..8 are 0, bit 9 is the first 1
  TModem transmitter(kDefaults, 1024);
  TModem receiver(kDefaults, 1024);
  receiver.SetRecordCapacity(kRecords);
  receiver.ResetReceiver();
  transmitter.StartTransmit(bits.data(), sorvex::kMaxTelegramBits);
  std::vector<int16_t> frames(2 * 1024);
  std::vector<double> block(1024);
  for (int silent = 0; silent < 8; ++silent) receiver.ProcessBlock(0, frames.data(), 1024);
  while (transmitter.Transmitting()) {
    transmitter.Modulate(block.data(), 1024);
    for (int k = 0; k < 1024; ++k) frames[2 * k] = static_cast<int16_t>(block[k] * 16000.0);
    receiver.ProcessBlock(0, frames.data(), 1024);
  }
  std::vector<TSignalRecord> records(kRecords);
  records.resize(static_cast<size_t>(receiver.CopySignalRecords(records.data())));
  return records;
}

const std::vector<TSignalRecord>& Records() {
  static const std::vector<TSignalRecord> records = FullRecordBuffer();
  return records;
}

void BM_PaintFullOscillograph(benchmark::State& state) {
  const auto& records = Records();
  TGraphicPanel panel(nullptr);
  panel.resize(1200, 300);
  sorvex::ShowElementsOnGraph(panel, records.data(), static_cast<int32_t>(records.size()),
                              QColor(0, 0, 0xFF), state.range(0) != 0);
  panel.SetTitle(QStringLiteral("Запрос на КП5; Функция  ЗГТС, Группа=2."));
  QImage image(1200, 300, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&image);
    panel.Paint(painter, image.size());
  }
  state.counters["samples"] = static_cast<double>(panel.series[0].Count());
  state.counters["markers"] = static_cast<double>(panel.markers.size());
}
// markers:1 is the oscillograph as shown; markers:0 the curve alone.
BENCHMARK(BM_PaintFullOscillograph)
    ->ArgName("markers")
    ->Arg(1)
    ->Arg(0)
    ->Unit(benchmark::kMillisecond);

void BM_SetSeriesAndRescale(benchmark::State& state) {
  const auto& records = Records();
  std::vector<double> values(records.size());
  for (size_t i = 0; i < records.size(); ++i) values[i] = records[i].Value;
  TGraphicPanel panel(nullptr);
  panel.resize(1200, 300);
  for (auto _ : state) {
    panel.SetSeries(0, values.data(), Qt::black, static_cast<int32_t>(values.size()));
    benchmark::DoNotOptimize(panel.yScale[0]);
  }
  state.counters["samples"] = static_cast<double>(values.size());
}
BENCHMARK(BM_SetSeriesAndRescale)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return sorvex::bench::RunUiBenchmarks(argc, argv);
}
