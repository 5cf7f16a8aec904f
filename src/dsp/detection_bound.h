#pragma once

namespace sorvex {

// The bit error rate of the ideal non-coherent detector of binary FSK: two
// equal-energy tones of unknown phase in white Gaussian noise, each bit
// decided on which tone's envelope correlation over the bit is larger, with
// perfect bit timing. The yardstick for a practical receiver.

// Marcum Q function Q1(a, b) = ∫_b^∞ x·exp(−(x² + a²)/2)·I0(a·x) dx, a, b ≥ 0.
double MarcumQ1(double a, double b);

// |ρ|, the magnitude of the complex correlation coefficient of two tones
// over one bit of T = 1/baud s: |sin(π·Δf·T) / (π·Δf·T)|. 0 for orthogonal
// tones (Δf·T a whole number), 1 for equal tones.
double ToneCorrelation(double freq0, double freq1, double baud);

// Bit error rate at Eb/N0 `ebN0` (linear) for tones of correlation |ρ|:
//   Pb = Q1(a, b) − ½·exp(−(a² + b²)/2)·I0(a·b),
//   a, b = sqrt(Eb/N0 / 2 · (1 ∓ sqrt(1 − |ρ|²))),
// which is ½·exp(−Eb/2N0) for orthogonal tones.
double NoncoherentFskBitErrorRate(double ebN0, double rho);

// The Eb/N0 in dB at which `bits` independent decisions are all right with
// probability `success` (e.g. 0.99 for a 189-bit telegram).
double NoncoherentFskEbN0ForTelegram(double rho, int bits, double success);

}  // namespace sorvex
