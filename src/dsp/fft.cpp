#include "dsp/fft.h"

#include <cmath>
#include <utility>

namespace sorvex {

// Radix-2 decimation in frequency, then the bit-reversal permutation, so the
// result is in natural order. The twiddle factor of each span advances by the
// recurrence w ← w·(c + js) instead of calling cos/sin for every i.
// n not a power of two (or below 1) leaves the arrays untouched.
int Fft(double* re, double* im, int n, int direction) {
  constexpr double kPi = 3.14159265358979323846;
  if (n < 1 || (n & (n - 1)) != 0) return n - 1;
  for (int b = n; b > 1; b /= 2) {
    const int half = b / 2;
    const double theta = kPi / half;
    const double c = std::cos(theta);
    const double s = -direction * std::sin(theta);
    double wr = 1.0, wi = 0.0;
    for (int i = 0; i < half; ++i) {
      for (int k = i; k < n; k += b) {
        const int m = k + half;
        const double ar = re[k], ai = im[k];
        const double dr = re[m], di = im[m];
        re[k] = ar + dr;
        im[k] = ai + di;
        const double tr = ar - dr, ti = ai - di;
        re[m] = tr * wr - ti * wi;
        im[m] = ti * wr + tr * wi;
      }
      const double nr = c * wr - s * wi;
      wi = c * wi + s * wr;
      wr = nr;
    }
  }
  int j = 0;
  for (int i = 0; i < n - 1; ++i) {
    if (j < i) {
      std::swap(re[i], re[j]);
      std::swap(im[i], im[j]);
    }
    int m = n / 2;
    while (m <= j) {
      j -= m;
      m /= 2;
    }
    j += m;
  }
  return n - 1;
}

}  // namespace sorvex
