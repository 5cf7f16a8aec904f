#pragma once

#include <cstdint>
#include <vector>

namespace sorvex {

enum BandType : int32_t { btLowPass = 0, btHighPass = 1, btBandPass = 2, btBandStop = 3 };
enum FilterKind : int32_t { fkButterworth = 0, fkChebyshev = 1 };

// One second-order section, direct form I. a0 is always 1 and unused.
struct TIirSection {
  double b0, b1, b2;
  double a0, a1, a2;
  double x1, x2;  // previous two inputs
  double y1, y2;  // previous two outputs
};

// A recursive filter designed from a Butterworth or Chebyshev I prototype
// (bilinear transform with pre-warping) and run as a cascade of sections.
class TIirFilter {
 public:
  // The largest orders a design takes: 25 for low- and high-pass, 12 for
  // band-pass and band-stop (each pole maps to two). Larger orders are clamped.
  static constexpr int kMaxOrderLowHigh = 25;
  static constexpr int kMaxOrderBand = 12;

  explicit TIirFilter(int32_t sampleRate);

  // Discards the old sections and designs new ones; state is cleared.
  // Frequencies in Hz, ripple in dB. An unusable kind or order (see the .cpp)
  // still leaves at least one section, so Filter() is always defined.
  void Design(int32_t kind, int32_t band, int32_t order, int32_t freq1, int32_t freq2,
              double ripple);
  void Reset();
  // `in` and `out` may be the same array.
  void Filter(const double* in, double* out, int n);
  // Linear |H| at an integer frequency in Hz.
  double Magnitude(int32_t frequency) const;

  int32_t BandTypeValue() const { return BandType; }
  int32_t SampleRate() const { return SampleRateHz; }
  int32_t SectionCount() const { return static_cast<int32_t>(Sections.size()); }
  const std::vector<TIirSection>& SectionList() const { return Sections; }

 private:
  int32_t BandType = btLowPass;
  int32_t SampleRateHz;
  std::vector<TIirSection> Sections;
};

}  // namespace sorvex
