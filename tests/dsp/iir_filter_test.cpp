#include "dsp/iir_filter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace sorvex {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int kFs = 8000;

// H(e^{jw}) straight from the sections, at any w (Magnitude takes whole Hz).
std::complex<double> ResponseAt(const TIirFilter& filter, double w) {
  const std::complex<double> z1 = std::polar(1.0, -w), z2 = std::polar(1.0, -2.0 * w);
  std::complex<double> h = 1.0;
  for (const TIirSection& s : filter.SectionList()) {
    h *= (s.b0 + s.b1 * z1 + s.b2 * z2) / (1.0 + s.a1 * z1 + s.a2 * z2);
  }
  return h;
}

// The band-pass centre: cos ω0 = α.
double CentreOmega(int f1, int f2) {
  const double w1 = 2.0 * kPi * f1 / kFs, w2 = 2.0 * kPi * f2 / kFs;
  return std::acos(std::cos((w1 + w2) / 2.0) / std::cos((w2 - w1) / 2.0));
}

double RippleGain(double ripple) {
  return std::pow(10.0, -ripple / 20.0);
}

bool SameSections(const TIirFilter& a, const TIirFilter& b) {
  if (a.SectionCount() != b.SectionCount()) return false;
  for (int i = 0; i < a.SectionCount(); ++i) {
    const TIirSection& x = a.SectionList()[static_cast<size_t>(i)];
    const TIirSection& y = b.SectionList()[static_cast<size_t>(i)];
    if (x.b0 != y.b0 || x.b1 != y.b1 || x.b2 != y.b2 || x.a1 != y.a1 || x.a2 != y.a2) return false;
  }
  return true;
}

// All poles strictly inside the unit circle, every coefficient finite.
void ExpectStable(const TIirFilter& f, const std::string& what) {
  ASSERT_GE(f.SectionCount(), 1) << what;
  for (const TIirSection& s : f.SectionList()) {
    for (double c : {s.b0, s.b1, s.b2, s.a0, s.a1, s.a2}) ASSERT_TRUE(std::isfinite(c)) << what;
    EXPECT_EQ(s.a0, 1.0) << what;
    if (s.a2 != 0.0) {
      EXPECT_LT(s.a2, 1.0) << what;                    // |p|² of the complex pair
      EXPECT_LT(std::fabs(s.a1), 1.0 + s.a2) << what;  // stability triangle
    } else {
      EXPECT_LT(std::fabs(s.a1), 1.0) << what;  // first order: |p| < 1
    }
  }
}

// Steady-state gain of the running filter at an integer frequency: filter a
// unit sine for `settle` samples, then fit sine and cosine over one second
// (a whole number of periods, so the fit is exact for a pure tone).
double MeasuredGain(TIirFilter& f, int frequency, int settle) {
  f.Reset();
  const int total = settle + kFs;
  std::vector<double> x(static_cast<size_t>(total));
  for (int k = 0; k < total; ++k)
    x[static_cast<size_t>(k)] = std::sin(2.0 * kPi * frequency * k / kFs);
  for (int start = 0; start < total; start += 1024) {  // in place, block by block
    f.Filter(x.data() + start, x.data() + start, std::min(1024, total - start));
  }
  double s = 0, c = 0;
  for (int k = settle; k < total; ++k) {
    s += x[static_cast<size_t>(k)] * std::sin(2.0 * kPi * frequency * k / kFs);
    c += x[static_cast<size_t>(k)] * std::cos(2.0 * kPi * frequency * k / kFs);
  }
  return 2.0 * std::hypot(s, c) / kFs;
}

TEST(IirFilterTest, NoSectionsBeforeTheFirstDesignAndInputPassesThrough) {
  TIirFilter f(kFs);
  EXPECT_EQ(f.SectionCount(), 0);
  EXPECT_EQ(f.SampleRate(), kFs);
  double x[3] = {1, -2, 3}, y[3] = {};
  f.Filter(x, y, 3);
  EXPECT_EQ(y[0], 1);
  EXPECT_EQ(y[2], 3);
}

TEST(IirFilterTest, DefaultBandPassHasTwoSectionsUnitCentreGainAndZeroAtDc) {
  TIirFilter f(kFs);
  f.Design(fkButterworth, btBandPass, 2, 500, 3000, 1);
  EXPECT_EQ(f.BandTypeValue(), btBandPass);
  ASSERT_EQ(f.SectionCount(), 2);
  for (const TIirSection& s : f.SectionList()) {
    EXPECT_EQ(s.b1, 0.0);
    EXPECT_EQ(s.b2, -s.b0);  // (1 − z⁻²) scaled
    EXPECT_NE(s.a2, 0.0);
  }
  EXPECT_NEAR(std::abs(ResponseAt(f, CentreOmega(500, 3000))), 1.0, 1e-13);
  EXPECT_EQ(f.Magnitude(0), 0.0);
  EXPECT_NEAR(f.Magnitude(500), std::sqrt(0.5), 1e-12);  // edges at −3 dB
  EXPECT_NEAR(f.Magnitude(3000), std::sqrt(0.5), 1e-12);
}

TEST(IirFilterTest, BandPassEveryOrderAndKindHasTheTargetCentreGain) {
  const int bands[][2] = {{500, 3000}, {300, 3400}, {2400, 2900}, {100, 3900}, {1000, 1010}};
  for (int kind : {0, 1}) {
    for (int order = 1; order <= 12; ++order) {
      for (const auto& b : bands) {
        for (int ripple = 1; ripple <= (kind == 1 ? 3 : 1); ++ripple) {
          TIirFilter f(kFs);
          f.Design(kind, btBandPass, order, b[0], b[1], ripple);
          const std::string what = "kind " + std::to_string(kind) + " order " +
                                   std::to_string(order) + " " + std::to_string(b[0]) + ".." +
                                   std::to_string(b[1]) + " ripple " + std::to_string(ripple);
          ExpectStable(f, what);
          const double target = (kind == 1 && order % 2 == 0) ? RippleGain(ripple) : 1.0;
          EXPECT_NEAR(std::abs(ResponseAt(f, CentreOmega(b[0], b[1]))), target, 1e-11) << what;
          EXPECT_EQ(f.Magnitude(0), 0.0) << what;
          // Chebyshev band edges lie at the bottom of the ripple band.
          if (kind == 1) {
            EXPECT_NEAR(f.Magnitude(b[1]), RippleGain(ripple), 1e-9) << what;
          }
        }
      }
    }
  }
}

// The real prototype pole of an odd order maps to two real z-plane poles on
// wide bands. Each gets a first-order section with one zero (−1 and +1); the
// fixed 1 − z⁻² numerator would give a centre gain of 1.88 at order 3.
TEST(IirFilterTest, WideOddBandPassGivesItsRealPolesFirstOrderZeros) {
  for (int order : {1, 3, 5, 11}) {
    TIirFilter f(kFs);
    f.Design(fkButterworth, btBandPass, order, 300, 3400, 1);
    ASSERT_EQ(f.SectionCount(), order + 1) << order;
    int atMinusOne = 0, atPlusOne = 0;
    for (const TIirSection& s : f.SectionList()) {
      if (s.a2 != 0.0) continue;  // a complex pair
      EXPECT_EQ(s.b2, 0.0);
      if (s.b1 == s.b0) ++atMinusOne;
      if (s.b1 == -s.b0) ++atPlusOne;
    }
    EXPECT_EQ(atMinusOne, 1) << order;
    EXPECT_EQ(atPlusOne, 1) << order;
    EXPECT_NEAR(std::abs(ResponseAt(f, CentreOmega(300, 3400))), 1.0, 1e-12) << order;
    double peak = 0;
    for (int hz = 0; hz < 4000; ++hz) peak = std::max(peak, f.Magnitude(hz));
    EXPECT_LE(peak, 1.0 + 1e-12) << order;  // a Butterworth band-pass never exceeds 1
  }
}

TEST(IirFilterTest, SecondOrderLowPassAt500Hz) {
  TIirFilter f(kFs);
  f.Design(fkButterworth, btLowPass, 2, 500, 3000, 1);
  ASSERT_EQ(f.SectionCount(), 1);
  const TIirSection& s = f.SectionList()[0];
  EXPECT_DOUBLE_EQ(s.b1, 2.0 * s.b0);  // zeros (1 + z⁻¹)²
  EXPECT_DOUBLE_EQ(s.b2, s.b0);
  EXPECT_NEAR(f.Magnitude(0), 1.0, 1e-15);
  EXPECT_NEAR(f.Magnitude(500), 0.70710678118654752, 1e-14);
}

TEST(IirFilterTest, FirstOrderLowPassIsOneFirstOrderSection) {
  TIirFilter f(kFs);
  f.Design(fkButterworth, btLowPass, 1, 500, 0, 1);
  ASSERT_EQ(f.SectionCount(), 1);
  const TIirSection& s = f.SectionList()[0];
  EXPECT_EQ(s.a2, 0.0);
  EXPECT_EQ(s.b2, 0.0);
  EXPECT_EQ(s.b1, s.b0);  // zero at −1
  EXPECT_NEAR(f.Magnitude(0), 1.0, 1e-15);
  EXPECT_NEAR(f.Magnitude(500), std::sqrt(0.5), 1e-14);
}

TEST(IirFilterTest, ChebyshevLowPassDcGainIsRippleBottomForEvenOrdersAndOneForOdd) {
  for (int order = 1; order <= 25; ++order) {
    for (int ripple = 1; ripple <= 3; ++ripple) {
      TIirFilter f(kFs);
      f.Design(fkChebyshev, btLowPass, order, 500, 3000, ripple);
      const double expected = order % 2 == 0 ? RippleGain(ripple) : 1.0;
      EXPECT_NEAR(f.Magnitude(0), expected, 1e-12) << order << " " << ripple;
      EXPECT_NEAR(f.Magnitude(500), RippleGain(ripple), 1e-11) << order << " " << ripple;
    }
  }
  TIirFilter one(kFs);
  one.Design(fkChebyshev, btLowPass, 2, 500, 0, 1);
  EXPECT_NEAR(one.Magnitude(0), 0.891250938, 1e-9);
}

TEST(IirFilterTest, RippleIsClampedTo0p01Through30) {
  auto design = [](double ripple) {
    TIirFilter f(kFs);
    f.Design(fkChebyshev, btLowPass, 4, 700, 0, ripple);
    return f;
  };
  EXPECT_TRUE(SameSections(design(0), design(0.01)));
  EXPECT_TRUE(SameSections(design(-5), design(0.01)));
  EXPECT_TRUE(SameSections(design(std::nan("")), design(0.01)));
  EXPECT_TRUE(SameSections(design(70), design(30)));
  EXPECT_FALSE(SameSections(design(29), design(30)));
  EXPECT_NEAR(design(70).Magnitude(0), RippleGain(30), 1e-12);
}

TEST(IirFilterTest, FrequenciesAreClampedBelowNyquistAndBandEdgesSorted) {
  TIirFilter a(kFs), b(kFs);
  a.Design(fkButterworth, btLowPass, 3, 5000, 0, 1);
  b.Design(fkButterworth, btLowPass, 3, 3999, 0, 1);
  EXPECT_TRUE(SameSections(a, b));
  a.Design(fkButterworth, btBandPass, 4, 3000, 500, 1);
  b.Design(fkButterworth, btBandPass, 4, 500, 3000, 1);
  EXPECT_TRUE(SameSections(a, b));
  a.Design(fkButterworth, btBandPass, 2, -100, 6000, 1);
  b.Design(fkButterworth, btBandPass, 2, 0, 3999, 1);
  EXPECT_TRUE(SameSections(a, b));
  // Low- and high-pass ignore freq2.
  a.Design(fkButterworth, btHighPass, 2, 800, 100, 1);
  b.Design(fkButterworth, btHighPass, 2, 800, 3000, 1);
  EXPECT_TRUE(SameSections(a, b));
  EXPECT_NEAR(a.Magnitude(800), std::sqrt(0.5), 1e-13);
  EXPECT_NEAR(a.Magnitude(3999), 1.0, 1e-6);
}

// Gain normalisation from the factored form is exact at every order: the
// expanded polynomials were off by 30 % near order 20 and NaN beyond.
TEST(IirFilterTest, HighOrderLowPassesAreStableAndExactlyNormalised) {
  for (int kind : {0, 1}) {
    for (int order = 1; order <= 25; ++order) {
      for (int cutoff : {50, 300, 500, 2000, 3990}) {
        TIirFilter f(kFs);
        f.Design(kind, btLowPass, order, cutoff, 0, 1);
        const std::string what =
            std::to_string(kind) + "/" + std::to_string(order) + "/" + std::to_string(cutoff);
        ASSERT_EQ(f.SectionCount(), (order + 1) / 2) << what;
        ExpectStable(f, what);
        const double dc = (kind == 1 && order % 2 == 0) ? RippleGain(1) : 1.0;
        // The design is exact; what remains is the rounding of the section
        // coefficients, which matters most for poles crowding z = 1 (50 Hz).
        EXPECT_NEAR(f.Magnitude(0), dc, 1e-10) << what;
        EXPECT_NEAR(f.Magnitude(cutoff), kind == 0 ? std::sqrt(0.5) : RippleGain(1), 1e-9) << what;
        for (int hz = 0; hz < 4000; hz += 7) ASSERT_TRUE(std::isfinite(f.Magnitude(hz))) << what;
      }
    }
  }
}

// Orders beyond the root lists are clamped (25 for low/high-pass, 12 for the
// band types). ASan in the test build would report any write past the lists.
TEST(IirFilterTest, OrdersBeyondTheWorkingStorageAreClamped) {
  for (int band : {btLowPass, btHighPass, btBandPass, btBandStop}) {
    const int limit = band <= btHighPass ? TIirFilter::kMaxOrderLowHigh : TIirFilter::kMaxOrderBand;
    for (int kind : {0, 1}) {
      TIirFilter at(kFs);
      at.Design(kind, band, limit, 900, 2100, 2);
      for (int order : {limit + 1, 26, 32, 51, 1000, 2147483647}) {
        TIirFilter f(kFs);
        f.Design(kind, band, order, 900, 2100, 2);
        EXPECT_TRUE(SameSections(f, at)) << band << " " << order;
      }
      ExpectStable(at, "band " + std::to_string(band));
    }
  }
  TIirFilter hp(kFs);  // 13 poles + 13 zero entries: one more than 25 prototype entries
  hp.Design(fkButterworth, btHighPass, 25, 1000, 0, 1);
  EXPECT_EQ(hp.SectionCount(), 13);
  EXPECT_NEAR(hp.Magnitude(1000), std::sqrt(0.5), 1e-9);
  EXPECT_NEAR(hp.Magnitude(3999), 1.0, 1e-9);
}

TEST(IirFilterTest, BadKindBandAndOrderStillGiveAUsableFilter) {
  TIirFilter ref(kFs), f(kFs);
  ref.Design(fkButterworth, btLowPass, 1, 500, 0, 1);
  for (int order : {0, -1, -2147483647 - 1}) {
    f.Design(fkButterworth, btLowPass, order, 500, 0, 1);
    EXPECT_TRUE(SameSections(f, ref)) << order;
  }
  ref.Design(fkButterworth, btBandPass, 3, 500, 3000, 1);
  f.Design(-7, btBandPass, 3, 500, 3000, 1);
  EXPECT_TRUE(SameSections(f, ref));
  ref.Design(fkChebyshev, btBandPass, 3, 500, 3000, 1);
  f.Design(9, btBandPass, 3, 500, 3000, 1);
  EXPECT_TRUE(SameSections(f, ref));
  f.Design(fkButterworth, -3, 2, 500, 0, 1);
  EXPECT_EQ(f.BandTypeValue(), btLowPass);
  f.Design(fkButterworth, 17, 2, 500, 3000, 1);
  EXPECT_EQ(f.BandTypeValue(), btBandStop);
  EXPECT_GE(f.SectionCount(), 1);
}

// Degenerate but possible inputs: a cut-off of 0 Hz, a band of zero width,
// a band starting at 0 Hz. Nothing may be NaN; there is always a section.
TEST(IirFilterTest, DegenerateFrequenciesGiveNoNaN) {
  struct Case {
    int band, f1, f2;
  } cases[] = {{btLowPass, 0, 0},     {btHighPass, 0, 0},      {btBandPass, 1000, 1000},
               {btBandPass, 0, 3000}, {btBandStop, 0, 3000},   {btBandStop, 2000, 2000},
               {btBandPass, 0, 0},    {btBandPass, 3999, 3999}};
  for (const Case& c : cases) {
    for (int kind : {0, 1}) {
      for (int order : {1, 2, 3, 12}) {
        TIirFilter f(kFs);
        f.Design(kind, c.band, order, c.f1, c.f2, 1);
        ASSERT_GE(f.SectionCount(), 1);
        for (const TIirSection& s : f.SectionList()) {
          for (double v : {s.b0, s.b1, s.b2, s.a1, s.a2}) ASSERT_FALSE(std::isnan(v));
        }
        for (int hz = 0; hz < 4000; ++hz) {
          const double m = f.Magnitude(hz);
          ASSERT_FALSE(std::isnan(m)) << c.band << " " << c.f1 << " " << hz;
          ASSERT_FALSE(std::isinf(m));
        }
        std::vector<double> x(256, 1.0);
        f.Filter(x.data(), x.data(), 256);
        for (double v : x) ASSERT_FALSE(std::isnan(v));
      }
    }
  }
}

TEST(IirFilterTest, SteadySineGainOfTheRunningFilterEqualsMagnitude) {
  struct Case {
    int kind, band, order, f1, f2, ripple;
  } cases[] = {{0, btBandPass, 2, 500, 3000, 1}, {1, btBandPass, 3, 2400, 2900, 2},
               {0, btBandPass, 5, 300, 3400, 1}, {0, btLowPass, 2, 500, 0, 1},
               {1, btLowPass, 7, 300, 0, 3},     {0, btHighPass, 4, 1200, 0, 1},
               {1, btBandStop, 3, 300, 3400, 1}};
  for (const Case& c : cases) {
    TIirFilter f(kFs);
    f.Design(c.kind, c.band, c.order, c.f1, c.f2, c.ripple);
    for (int hz : {40, 250, 500, 1111, 2540, 2760, 3333, 3900}) {
      EXPECT_NEAR(MeasuredGain(f, hz, 8000), f.Magnitude(hz), 1e-6 + 1e-6 * f.Magnitude(hz))
          << c.band << " " << c.order << " at " << hz;
    }
  }
}

TEST(IirFilterTest, BlocksFormOneSignalAndResetClearsTheState) {
  TIirFilter f(kFs);
  f.Design(fkChebyshev, btBandPass, 4, 2000, 3000, 1);
  std::vector<double> x(3000);
  for (size_t k = 0; k < x.size(); ++k) x[k] = std::sin(0.3 * k) + 0.5 * std::cos(0.031 * k * k);
  std::vector<double> whole(x.size());
  f.Filter(x.data(), whole.data(), static_cast<int>(x.size()));

  f.Reset();
  std::vector<double> pieces = x;  // in place, uneven blocks
  for (size_t start = 0, len = 1; start < pieces.size(); start += len, len = len * 3 % 1000 + 1) {
    const size_t n = std::min(len, pieces.size() - start);
    f.Filter(pieces.data() + start, pieces.data() + start, static_cast<int>(n));
  }
  EXPECT_EQ(pieces, whole);

  f.Reset();
  for (const TIirSection& s : f.SectionList()) {
    EXPECT_EQ(s.x1, 0.0);
    EXPECT_EQ(s.x2, 0.0);
    EXPECT_EQ(s.y1, 0.0);
    EXPECT_EQ(s.y2, 0.0);
  }
  std::vector<double> again(x.size());
  f.Filter(x.data(), again.data(), static_cast<int>(x.size()));
  EXPECT_EQ(again, whole);
  f.Filter(x.data(), again.data(), 0);  // n = 0 does nothing
  EXPECT_EQ(again, whole);
}

// High-pass and band-stop against scipy.signal (tests/data/filters/iir_reference.tsv,
// made by make_reference.py beside it): |ours − ref| ≤ 1e-9 · max(|ref|, 1e-3).
TEST(IirFilterTest, HighPassAndBandStopEqualTheScipyReference) {
  std::ifstream in(std::string(SORVEX_TEST_DATA_DIR) + "/filters/iir_reference.tsv");
  ASSERT_TRUE(in) << "missing reference table";
  TIirFilter f(kFs);
  int designs = 0, points = 0;
  std::string line, what;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    if (line[0] == 'D') {
      char tag;
      int kind, band, order, f1, f2, ripple;
      fields >> tag >> kind >> band >> order >> f1 >> f2 >> ripple;
      f.Design(kind, band, order, f1, f2, ripple);
      what = line;
      ++designs;
      continue;
    }
    int hz;
    double ref;
    fields >> hz >> ref;
    ASSERT_TRUE(fields) << line;
    EXPECT_NEAR(f.Magnitude(hz), ref, 1e-9 * std::max(ref, 1e-3)) << what << " at " << hz;
    ++points;
  }
  EXPECT_EQ(designs, 73);
  EXPECT_GT(points, 5000);
}

}  // namespace
}  // namespace sorvex
