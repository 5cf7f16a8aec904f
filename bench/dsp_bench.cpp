// The receiver's innermost loops: TIirFilter::Filter with the channel modem's
// default designs and THilbert::Process, on the device's 1024-sample blocks.
// "per_sample" is the CPU time per input sample (items = samples), e.g. 3.7ns.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "dsp/hilbert.h"
#include "dsp/iir_filter.h"

namespace {

constexpr int kBlock = 1024;

// A 2540 Hz tone with a little noise, at the level of a 16-bit line signal.
std::vector<double> LineSignal() {
  std::mt19937 rng(1);
  std::normal_distribution<double> noise(0.0, 300.0);
  std::vector<double> x(kBlock);
  for (int k = 0; k < kBlock; ++k) {
    x[static_cast<size_t>(k)] =
        12000.0 * std::sin(2.0 * 3.14159265358979323846 * 2540 * k / 8000) + noise(rng);
  }
  return x;
}

void Report(benchmark::State& state) {
  const double samples = static_cast<double>(state.iterations()) * kBlock;
  state.SetItemsProcessed(static_cast<int64_t>(samples));
  state.counters["per_sample"] =
      benchmark::Counter(samples, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void RunFilter(benchmark::State& state, int kind, int band, int order, int f1, int f2) {
  sorvex::TIirFilter filter(8000);
  filter.Design(kind, band, order, f1, f2, 1.0);
  const std::vector<double> in = LineSignal();
  std::vector<double> out(kBlock);
  for (auto _ : state) {
    filter.Filter(in.data(), out.data(), kBlock);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.counters["sections"] = filter.SectionCount();
  Report(state);
}

// The modem's default band-pass: Butterworth order 2, 500..3000 Hz (2 sections).
void BM_IirFilterDefaultBandPass(benchmark::State& state) {
  RunFilter(state, sorvex::fkButterworth, sorvex::btBandPass, 2, 500, 3000);
}
BENCHMARK(BM_IirFilterDefaultBandPass);

// The modem's default smoothing filter: Butterworth order 2 low-pass at 500 Hz (1 section).
void BM_IirFilterDefaultSmoothing(benchmark::State& state) {
  RunFilter(state, sorvex::fkButterworth, sorvex::btLowPass, 2, 500, 0);
}
BENCHMARK(BM_IirFilterDefaultSmoothing);

// The largest band-pass the settings allow: order 12, 12 sections.
void BM_IirFilterBandPassOrder12(benchmark::State& state) {
  RunFilter(state, sorvex::fkChebyshev, sorvex::btBandPass, 12, 2400, 2900);
}
BENCHMARK(BM_IirFilterBandPassOrder12);

// The modem's Hilbert transformer: 31 taps (16 non-zero), maximum block 1024.
void BM_HilbertProcess(benchmark::State& state) {
  sorvex::THilbert hilbert(31, kBlock);
  const std::vector<double> in = LineSignal();
  std::vector<double> i(kBlock), q(kBlock);
  for (auto _ : state) {
    hilbert.Process(in.data(), kBlock, i.data(), q.data());
    benchmark::DoNotOptimize(q.data());
    benchmark::ClobberMemory();
  }
  Report(state);
}
BENCHMARK(BM_HilbertProcess);

}  // namespace
