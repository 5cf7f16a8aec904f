#pragma once

#include <cstdint>
#include <vector>

namespace sorvex {

// Analytic pair of a real signal, block by block: the input delayed by
// TapCount/2 + 1 samples (16 for 31 taps) and its Hilbert transform from an
// unwindowed linear-phase FIR, aligned with it.
class THilbert {
 public:
  // A tap count below 3 becomes 3; an even one is raised by one.
  THilbert(int32_t tapCount, int32_t maxBlock);

  void Reset();
  // n samples in, n out on each output; nothing happens when n > MaxBlock.
  void Process(const double* in, int n, double* inPhase, double* quadrature);

  int32_t TapCount() const { return Taps; }
  int32_t MaxBlock() const { return MaxBlockLength; }
  const std::vector<double>& Coefficients() const { return Coeffs; }

 private:
  int32_t Taps;
  int32_t MaxBlockLength;
  std::vector<double> Coeffs;
  std::vector<double> History;  // MaxBlock + TapCount samples
};

}  // namespace sorvex
