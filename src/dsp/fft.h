#pragma once

namespace sorvex {

// In-place radix-2 DFT of re[k] + j·im[k], n a power of two. direction 1 is
// the forward transform X[m] = Σ x[k]·e^(−j2πkm/n), −1 the inverse without
// the 1/n factor. Returns n − 1.
int Fft(double* re, double* im, int n, int direction);

}  // namespace sorvex
