#include "dsp/amplitude_spectrum.h"

#include <algorithm>
#include <cmath>

#include "dsp/fft.h"

namespace sorvex {

TAmplitudeSpectrum::TAmplitudeSpectrum(int windowLength)
    : FWindow(static_cast<size_t>(std::clamp(windowLength, 2, kFftSize))),
      FRe(kFftSize),
      FIm(kFftSize) {
  constexpr double kPi = 3.14159265358979323846;
  const size_t n = FWindow.size();
  double sum = 0;
  for (size_t k = 0; k < n; ++k) {
    FWindow[k] = 0.5 - 0.5 * std::cos(2 * kPi * (static_cast<double>(k) + 0.5) / n);
    sum += FWindow[k];
  }
  // A cosine of amplitude A gives A/2 · Σw in its bin; samples are also
  // brought from ±32768 to ±1.0 here, once.
  for (double& w : FWindow) w *= 2.0 / (sum * 32768.0);
  for (auto& a : FAmplitude) a.assign(kBins, 0.0);
}

void TAmplitudeSpectrum::Compute(const int16_t* frames, int count) {
  const int n = WindowLength();
  count = frames == nullptr ? 0 : std::clamp(count, 0, n);
  // The last `count` of the given frames fill the end of the window.
  std::fill(FRe.begin(), FRe.end(), 0.0);
  std::fill(FIm.begin(), FIm.end(), 0.0);
  for (int k = 0, w = n - count; k < count; ++k, ++w) {
    FRe[w] = frames[2 * k] * FWindow[w];
    FIm[w] = frames[2 * k + 1] * FWindow[w];
  }
  Fft(FRe.data(), FIm.data(), kFftSize, 1);
  // Z = L + jR, both real: L[m] = (Z[m] + conj Z[N−m]) / 2,
  // R[m] = (Z[m] − conj Z[N−m]) / 2j. The scaling put the factor 2 of a
  // one-sided spectrum in already; bins 0 and N/2 have no mirror image.
  for (int m = 0; m < kBins; ++m) {
    const int mirror = (kFftSize - m) % kFftSize;
    const double zr = FRe[m], zi = FIm[m];
    const double cr = FRe[mirror], ci = -FIm[mirror];
    const double side = (m == 0 || m == kFftSize / 2) ? 0.5 : 1.0;
    const double lr = zr + cr, li = zi + ci, rr = zr - cr, ri = zi - ci;
    FAmplitude[0][m] = side * 0.5 * std::sqrt(lr * lr + li * li);
    FAmplitude[1][m] = side * 0.5 * std::sqrt(rr * rr + ri * ri);
  }
}

}  // namespace sorvex
