#include "dsp/hilbert.h"

#include <algorithm>

namespace sorvex {

THilbert::THilbert(int32_t tapCount, int32_t maxBlock) {
  Taps = tapCount < 3 ? 3 : tapCount;
  if (Taps % 2 == 0) ++Taps;
  MaxBlockLength = maxBlock < 0 ? 0 : maxBlock;
  constexpr double kPi = 3.14159265358979323846;
  const int32_t centre = (Taps - 1) / 2;
  Coeffs.assign(static_cast<size_t>(Taps), 0.0);
  for (int32_t i = 0; i < Taps; ++i) {
    const int32_t b = i - centre;
    // Ideal (unwindowed) Hilbert taps; the minus sign because the window is
    // read forward in time: quadrature[k] = Σ c[i]·x(t + i − C).
    if (b % 2 != 0) Coeffs[static_cast<size_t>(i)] = -2.0 / (b * kPi);
  }
  History.assign(static_cast<size_t>(MaxBlockLength) + static_cast<size_t>(Taps), 0.0);
  Reset();
}

void THilbert::Reset() {
  std::fill(History.begin(), History.begin() + Taps, 0.0);
}

// History holds the last TapCount samples of the signal so far, followed by
// the current block, so the whole window of every output sample is in one
// array. A block shorter than TapCount keeps the last TapCount samples of
// history+block, as if the blocks had been one signal.
void THilbert::Process(const double* in, int n, double* inPhase, double* quadrature) {
  if (n <= 0 || n > MaxBlockLength) return;
  const int taps = Taps;
  const int delay = taps / 2 + 1;  // 16 for 31 taps
  double* history = History.data();
  std::copy(in, in + n, history + taps);  // `in` is not read again: outputs may alias it

  // In-phase: the input delayed by `delay` samples, which is the centre tap
  // of the quadrature window, so both outputs are aligned.
  const double* delayed = history + (taps - delay);
  std::copy(delayed, delayed + n, inPhase);

  // Quadrature: only every second tap is non-zero (b odd); the first non-zero
  // tap is tap 0 when the centre C is odd, tap 1 when it is even.
  const int first = ((taps - 1) / 2) % 2 == 1 ? 0 : 1;
  const double* c = Coeffs.data();
  for (int k = 0; k < n; ++k) {
    const double* window = history + k;
    double sum = 0.0;
    for (int i = first; i < taps; i += 2) sum += c[i] * window[i];
    quadrature[k] = sum;
  }

  // Keep the last TapCount samples of history+block for the next call.
  std::copy(history + n, history + n + taps, history);
}

}  // namespace sorvex
