#include "dsp/iir_filter.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <complex>
#include <vector>

namespace sorvex {
namespace {

using Complex = std::complex<double>;

constexpr double kPi = 3.14159265358979323846;

// A quotient with a zero denominator, or one that would overflow.
const Complex kHuge(DBL_MAX, DBL_MAX);

// a / b (Smith's method, no intermediate overflow for ordinary operands).
Complex Divide(Complex a, Complex b) {
  const double br = b.real(), bi = b.imag();
  if (br == 0.0 && bi == 0.0) return kHuge;
  double re, im;
  if (std::fabs(br) >= std::fabs(bi)) {
    const double r = bi / br;
    const double d = br + bi * r;
    re = (a.real() + a.imag() * r) / d;
    im = (a.imag() - a.real() * r) / d;
  } else {
    const double r = br / bi;
    const double d = br * r + bi;
    re = (a.real() * r + a.imag()) / d;
    im = (a.imag() * r - a.real()) / d;
  }
  if (!std::isfinite(re) || !std::isfinite(im)) return kHuge;
  return {re, im};
}

// The square root with non-negative imaginary part, as the design uses it:
// exact cases for real and imaginary arguments, otherwise a first guess from
// the imaginary part followed by one Newton step.
Complex Sqrt(Complex d) {
  const double a = d.real(), b = d.imag();
  if (b == 0.0) return a >= 0.0 ? Complex(std::sqrt(a), 0.0) : Complex(0.0, std::sqrt(-a));
  if (a == 0.0) {
    const double r = std::sqrt(std::fabs(b) / 2.0);
    return {b > 0.0 ? r : -r, r};
  }
  // (|D| − a)/2 cancels when D is nearly real and positive; use b²/(4a) there.
  const double t = (a > 0.0 && std::fabs(b) < 0.0002 * std::fabs(a)) ? b * b / (4.0 * a)
                                                                     : (std::hypot(a, b) - a) / 2.0;
  const double st = std::sqrt(t);
  // t underflows only for a > 0 and a vanishing b: the root is then real.
  const Complex r =
      st > 0.0 ? Complex(b / (2.0 * st), st) : Complex(std::sqrt(a), b / (2.0 * std::sqrt(a)));
  return (r + Divide(d, r)) / 2.0;
}

}  // namespace

TIirFilter::TIirFilter(int32_t sampleRate) : SampleRateHz(sampleRate < 2 ? 2 : sampleRate) {}

// Design, steps 1-7 and A-D, with these decisions:
// - band outside 0..3 and kind outside 0..1 are clamped to the nearest value;
//   the order is clamped to 1..kMaxOrderLowHigh (low/high-pass) or
//   1..kMaxOrderBand (band-pass/stop), so the z-plane list holds at most 50
//   roots; the lists are vectors sized to the design, since a high-pass of
//   order 25 needs 26 prototype entries (13 poles, 13 zeros), one more than
//   the 25 a fixed list would reserve;
// - step C uses the factored form: N = Π (zref − zero), D = Π (zref − pole)
//   at the reference point zref, which is exact at every order (expanding the
//   polynomials first cancels catastrophically beyond order ~13);
// - step D gives real poles their own first-order zeros also in band-pass
//   designs (one at −1, one at +1) instead of the fixed 1 − z⁻², and in
//   band-stop designs puts the zero pair e^{±jω0} of two real poles into the
//   first of their two first-order sections, so the response equals the
//   classical design in both cases;
// - the gain is spread as |g|^(1/S) with the sign on the first section, and a
//   gain that cannot be formed (N = 0 or not finite) is 1, so no coefficient
//   is ever NaN.
void TIirFilter::Design(int32_t kind, int32_t band, int32_t order, int32_t freq1, int32_t freq2,
                        double ripple) {
  Sections.clear();
  band = std::clamp<int32_t>(band, btLowPass, btBandStop);
  kind = std::clamp<int32_t>(kind, fkButterworth, fkChebyshev);
  BandType = band;
  const bool lowHigh = band == btLowPass || band == btHighPass;
  const int n = std::clamp<int32_t>(order, 1, lowHigh ? kMaxOrderLowHigh : kMaxOrderBand);

  // Steps 1-3: frequencies.
  const int32_t fs = SampleRateHz;
  const int32_t nyquist = fs / 2;
  int32_t f1 = std::clamp<int32_t>(freq1, 0, nyquist - 1);
  int32_t f2 = lowHigh ? 0 : std::clamp<int32_t>(freq2, 0, nyquist - 1);
  if (f2 < f1) std::swap(f1, f2);
  const int32_t bw = band == btHighPass ? f2 : f2 - f1;
  const int32_t upper = band == btHighPass ? nyquist : f2;

  // Step 4: ripple (NaN counts as too small).
  ripple = std::isnan(ripple) ? 0.01 : std::clamp(ripple, 0.01, 30.0);
  const double a = std::exp(ripple * 0.5 / (10.0 / std::log(10.0)));  // 10^(ripple/20)

  // Step 5: warped constants.
  const double wb = bw * kPi / fs;
  const double k = std::sin(wb) / std::cos(wb);
  const double alpha = std::cos((f1 + upper) * kPi / fs) / std::cos(wb);

  // Step 6: gain target.
  const double target = (kind == fkChebyshev && n % 2 == 0) ? a : 1.0;

  // Step A: prototype poles (non-negative imaginary parts), then zero entries.
  const int p0 = (n + 1) / 2;
  std::vector<Complex> proto;
  proto.reserve(static_cast<size_t>(p0 + p0 + n / 2));
  const double theta0 = n % 2 == 1 ? 0.0 : kPi / (2.0 * n);
  double sh = 1.0, ch = 1.0;
  if (kind == fkChebyshev) {
    const double m = std::pow((a + 1.0) / std::sqrt((a + 1.0) * (a - 1.0)), 1.0 / n);
    sh = (m - 1.0 / m) / 2.0;
    ch = (m + 1.0 / m) / 2.0;
  }
  for (int i = 0; i < p0; ++i) {
    const double theta = theta0 + i * kPi / n;
    Complex p = kind == fkChebyshev ? Complex(-sh * std::cos(theta), ch * std::sin(theta))
                                    : Complex(-std::cos(theta), std::sin(theta));
    if (band == btHighPass || band == btBandStop) {  // invert: p / |p|²
      const double r2 = p.real() * p.real() + p.imag() * p.imag();
      p = Complex(p.real() / r2, p.imag() / r2);
    }
    proto.push_back(p);
  }
  const int zeroEntries = band == btHighPass ? p0 : (band == btBandStop ? p0 + n / 2 : 0);
  for (int i = 0; i < zeroEntries; ++i) proto.emplace_back(0.0, 0.0);

  // Step B: z-plane roots.
  std::vector<Complex> poles, zeros;
  poles.reserve(static_cast<size_t>(2 * n));
  zeros.reserve(static_cast<size_t>(2 * n));
  auto map = [&](Complex p, std::vector<Complex>& out) {
    if (lowHigh) {
      const Complex kp = k * p;
      const Complex z = Divide(1.0 + kp, 1.0 - kp);
      out.push_back(z);
      if (p.imag() != 0.0) out.push_back(std::conj(z));
      return;
    }
    // Roots of (1 − q)z² − 2αz + (1 + q) = 0.
    const Complex q = k * p;
    const Complex disc = 4.0 * alpha * alpha - 4.0 * (1.0 - q * q);
    const Complex s = Sqrt(disc);
    const Complex den = 2.0 * (1.0 - q);
    const Complex z1 = Divide(2.0 * alpha + s, den);
    out.push_back(z1);
    if (z1.imag() != 0.0) out.push_back(std::conj(z1));
    if (p.imag() != 0.0 || z1.imag() == 0.0) {
      const Complex z2 = Divide(2.0 * alpha - s, den);
      out.push_back(z2);
      if (z2.imag() != 0.0) out.push_back(std::conj(z2));
    }
  };
  for (int i = 0; i < p0; ++i) map(proto[static_cast<size_t>(i)], poles);
  for (int i = p0; i < p0 + zeroEntries; ++i) map(proto[static_cast<size_t>(i)], zeros);
  const size_t np = poles.size();
  while (zeros.size() < np) {
    if (band != btHighPass) zeros.emplace_back(-1.0, 0.0);
    if ((band == btHighPass || band == btBandPass) && zeros.size() < np) {
      zeros.emplace_back(1.0, 0.0);
    }
  }
  zeros.resize(np);  // never more zeros than poles (cannot happen, kept as a guard)

  // Step C: gain at the reference point, from the factored form.
  Complex zref(1.0, 0.0);  // low-pass and band-stop: z = 1 (0 Hz)
  if (band == btHighPass) {
    zref = Complex(-1.0, 0.0);  // Nyquist
  } else if (band == btBandPass) {
    const double w0 = kPi / 2.0 - std::asin(std::clamp(alpha, -1.0, 1.0));  // centre, acos α
    zref = Complex(std::cos(w0), std::sin(w0));
  }
  Complex num(1.0, 0.0), den(1.0, 0.0);
  for (const Complex& z : zeros) num *= zref - z;
  for (const Complex& p : poles) den *= zref - p;
  double g = 1.0;
  if (num != Complex(0.0, 0.0)) {
    // D/N is real for a conjugate-closed root set (also at the band-pass
    // centre, where both carry the same factor (2j·sin ω0)^n).
    g = Divide(den, num).real() / target;
    if (!std::isfinite(g)) g = 1.0;
  }

  // Step D: one section per pole with Im ≥ 0, paired with the zero of the same index.
  int realBandPoles = 0;
  for (size_t j = 0; j < np; ++j) {
    const Complex p = poles[j];
    if (p.imag() < 0.0) continue;
    const Complex z = zeros[j];
    const bool poleComplex = p.imag() != 0.0;
    const bool zeroComplex = z.imag() != 0.0;
    TIirSection s{};
    s.a0 = 1.0;
    s.b0 = 1.0;
    if (band == btBandPass) {
      if (poleComplex) {
        s.a1 = -2.0 * p.real();
        s.a2 = std::norm(p);
        s.b1 = 0.0;
        s.b2 = -1.0;
      } else {
        // Two real poles from the real prototype pole (wide bands): first-order
        // sections with one zero at −1 and one at +1.
        s.a1 = -p.real();
        s.b1 = realBandPoles++ % 2 == 0 ? 1.0 : -1.0;
      }
    } else if (band == btBandStop && !poleComplex && zeroComplex) {
      // Two real poles with the zero pair e^{±jω0}: the pair in the first
      // section, numerator 1 in the second.
      s.a1 = -p.real();
      if (realBandPoles++ % 2 == 0) {
        s.b1 = -2.0 * z.real();
        s.b2 = std::norm(z);
      }
    } else if (poleComplex || zeroComplex) {
      s.a1 = -2.0 * p.real();
      s.a2 = std::norm(p);
      s.b1 = -2.0 * z.real();
      s.b2 = std::norm(z);
    } else {
      s.a1 = -p.real();
      s.b1 = -z.real();
    }
    Sections.push_back(s);
  }
  const double e = std::pow(std::fabs(g), 1.0 / static_cast<double>(Sections.size()));
  for (TIirSection& s : Sections) {
    s.b0 *= e;
    s.b1 *= e;
    s.b2 *= e;
  }
  if (g < 0.0) {
    Sections.front().b0 = -Sections.front().b0;
    Sections.front().b1 = -Sections.front().b1;
    Sections.front().b2 = -Sections.front().b2;
  }
  Reset();
}

void TIirFilter::Reset() {
  for (TIirSection& s : Sections) s.x1 = s.x2 = s.y1 = s.y2 = 0.0;
}

// Direct form I, section by section over the whole block: each section sees
// exactly the samples it would see sample by sample, so the result is the
// same, and its coefficients and state stay in registers for the block.
// Without a design (no sections) the input is passed through unchanged.
void TIirFilter::Filter(const double* in, double* out, int n) {
  if (n <= 0) return;
  if (Sections.empty()) {
    if (in != out) std::copy(in, in + n, out);
    return;
  }
  const double* src = in;
  for (TIirSection& s : Sections) {
    const double b0 = s.b0, b1 = s.b1, b2 = s.b2, a1 = s.a1, a2 = s.a2;
    double x1 = s.x1, x2 = s.x2, y1 = s.y1, y2 = s.y2;
    for (int k = 0; k < n; ++k) {
      const double x = src[k];
      const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
      x2 = x1;
      x1 = x;
      y2 = y1;
      y1 = y;
      out[k] = y;
    }
    s.x1 = x1;
    s.x2 = x2;
    s.y1 = y1;
    s.y2 = y2;
    src = out;
  }
}

double TIirFilter::Magnitude(int32_t frequency) const {
  const double w = 2.0 * kPi * frequency / SampleRateHz;
  const double c1 = std::cos(w), s1 = std::sin(w);
  const double c2 = std::cos(2.0 * w), s2 = std::sin(2.0 * w);
  double product = 1.0;
  for (const TIirSection& s : Sections) {
    const double dr = 1.0 + s.a1 * c1 + s.a2 * c2;
    const double di = s.a1 * s1 + s.a2 * s2;
    if (dr == 0.0 && di == 0.0) {
      product = DBL_MAX;
      continue;
    }
    const double nr = s.b0 + s.b1 * c1 + s.b2 * c2;
    const double ni = s.b1 * s1 + s.b2 * s2;
    product *= std::sqrt((nr * nr + ni * ni) / (dr * dr + di * di));
    if (!(product <= DBL_MAX)) product = DBL_MAX;  // never inf, never inf·0 = NaN
  }
  return product;
}

}  // namespace sorvex
