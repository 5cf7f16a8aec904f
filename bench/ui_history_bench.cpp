// The KP history's plots with 100 000 telegrams (both sides, one in ten
// invalid, tones and rate drifting, levels noisy) painted at 1200 × 700
// (goal: under 16 ms a repaint), whole and zoomed to a tenth.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <random>
#include <vector>

#include "monitor/telegram_measurement.h"
#include "ui/history/history_plot.h"
#include "ui_bench_main.h"
#include "util/date_time.h"

namespace {

using sorvex::TTelegramMeasurement;

constexpr int kPoints = 100000;

std::vector<TTelegramMeasurement> Telegrams() {
  std::vector<TTelegramMeasurement> points(kPoints);
  std::mt19937 rng(11);
  std::normal_distribution<double> noise(0, 1);
  const double start = sorvex::EncodeDateTime({2026, 12, 1, 0, 0, 0, 0});
  for (int n = 0; n < kPoints; ++n) {
    TTelegramMeasurement& m = points[static_cast<size_t>(n)];
    m.kp = 5;
    m.channel = static_cast<uint8_t>(n % 2);
    m.valid = n % 10 != 9;
    m.time = start + n * 6.0 / 86400;  // a week of telegrams every 6 s
    m.setF0Hz = 2540;
    m.setF1Hz = 2760;
    m.setBitRate = 200;
    m.f0Hz = 2540 + 20.0 * n / kPoints + noise(rng);
    m.f1Hz = 2760 + 20.0 * n / kPoints + noise(rng);
    m.bitRate = 200 * (1 + 0.01 * n / kPoints) + 0.05 * noise(rng);
    m.levelDb = -12 + noise(rng);
    m.snrDb = 28 + 2 * noise(rng);
  }
  return points;
}

void BM_PaintHistory(benchmark::State& state) {
  static const std::vector<TTelegramMeasurement> points = Telegrams();
  sorvex::THistoryPlot plot(
      [] { return std::span<const TTelegramMeasurement>(points.data(), points.size()); });
  plot.resize(1200, 700);
  if (state.range(0) != 0) {
    const sorvex::THistorySpan full = plot.Span();
    plot.ZoomTo({full.t0, full.t0 + (full.t1 - full.t0) / 10});
  }
  QImage image(1200, 700, QImage::Format_RGB32);
  for (auto _ : state) {
    QPainter painter(&image);
    plot.Paint(painter, image.size());
  }
  state.counters["points"] = kPoints;
}
BENCHMARK(BM_PaintHistory)->ArgName("zoomed")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return sorvex::bench::RunUiBenchmarks(argc, argv);
}
