#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "modem/modem.h"

namespace sorvex {

// The settings tab's test-signal preview without widgets: the test bytes
// sent with the edited settings, then either the demodulated signal as the
// receiver's discriminator sees it or its magnitude spectrum.

inline constexpr int kMaxTestBytes = 32;
inline constexpr int32_t kPreviewBlockLength = 512;  // the settings editor's block

// Test bytes from text such as "00; ff; 55; 55;": hexadecimal numbers, each
// with leading blanks allowed, separated by ";" (blanks before it allowed).
// Reading stops at the first place without a number, after a number not
// followed by ";", or after 32 bytes. A number may carry a sign and a "0x"
// prefix; its low 8 bits are kept (two's complement for a negative one).
std::vector<uint8_t> ParseTestBytes(std::string_view text);

// 8000-per-second samples that byteCount × 8 bits take at `baudrate`
// (byteCount × 64000 / baudrate, truncated); 0 for a baudrate ≤ 0.
int32_t TestSignalSamples(int32_t byteCount, int32_t baudrate);

// Length of the spectrum's transform: the smallest power of two that is at
// least 2 and at least `samples`.
int32_t SpectrumSize(int32_t samples);

// The first N/2 magnitudes of the N-point transform of `samples` values
// zero-padded to N = SpectrumSize(samples), each divided by samples / 2
// (integer division; 1 when that is 0), so a sine of amplitude A whose
// frequency falls on a bin shows as A. Bin k stands for k × 8000 / N Hz.
// `re` and `im` are scratch, resized as needed.
void SignalSpectrum(const double* signal, int32_t samples, std::vector<double>& out,
                    std::vector<double>& re, std::vector<double>& im);

enum class TPreviewMode { Signal, Spectrum };

// Computes one preview. It runs a chain of its own (the standard receive
// chain, whatever receiver the editor has chosen) set to the editor's tones
// and filters and to `baudrate`, so the editor's own receiver and
// transmitter are left as they are and every run starts from rest. Buffers
// are kept between runs.
class TTestSignalPreview {
 public:
  TTestSignalPreview();

  // The values to show: `SampleCount()` demodulated samples, or
  // SpectrumSize(SampleCount()) / 2 spectrum values; empty without bytes.
  const std::vector<double>& Run(const TModem& editor, std::string_view text, int32_t baudrate,
                                 TPreviewMode mode);

  int32_t ByteCount() const { return FByteCount; }
  int32_t SampleCount() const { return FSampleCount; }
  const std::vector<double>& Signal() const { return FSignal; }  // the modulated samples

 private:
  void Follow(const TModem& editor, int32_t baudrate);

  TModem FChain;
  TFilterSettings FDesigned[2];
  bool FDesignedOnce = false;
  int32_t FByteCount = 0;
  int32_t FSampleCount = 0;
  std::vector<double> FSignal, FWork, FOutput, FRe, FIm;
};

}  // namespace sorvex
