#include "monitor/test_signal_preview.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "dsp/fft.h"

namespace sorvex {

namespace {

bool Blank(char c) {
  return std::isspace(static_cast<unsigned char>(c)) != 0;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One hexadecimal number at `i` (blanks, sign and "0x" allowed before the
// digits); false, with `i` unchanged, when there is none.
bool ReadHex(std::string_view text, size_t& i, uint8_t& value) {
  size_t j = i;
  while (j < text.size() && Blank(text[j])) ++j;
  bool negative = false;
  if (j < text.size() && (text[j] == '+' || text[j] == '-')) negative = text[j++] == '-';
  // "0x" counts as a prefix only before a digit; "0xg" reads as 0.
  if (j + 2 < text.size() && text[j] == '0' && (text[j + 1] == 'x' || text[j + 1] == 'X') &&
      HexDigit(text[j + 2]) >= 0)
    j += 2;
  if (j >= text.size() || HexDigit(text[j]) < 0) return false;
  unsigned low = 0;  // only the last two digits matter
  for (; j < text.size() && HexDigit(text[j]) >= 0; ++j)
    low = ((low << 4) | static_cast<unsigned>(HexDigit(text[j]))) & 0xFFu;
  value = static_cast<uint8_t>(negative ? (0x100u - low) & 0xFFu : low);
  i = j;
  return true;
}

}  // namespace

std::vector<uint8_t> ParseTestBytes(std::string_view text) {
  std::vector<uint8_t> bytes;
  size_t i = 0;
  uint8_t value = 0;
  while (ReadHex(text, i, value)) {
    bytes.push_back(value);
    if (static_cast<int>(bytes.size()) >= kMaxTestBytes) break;
    while (i < text.size() && Blank(text[i])) ++i;
    if (i >= text.size() || text[i] != ';') break;
    ++i;
  }
  return bytes;
}

int32_t TestSignalSamples(int32_t byteCount, int32_t baudrate) {
  if (baudrate <= 0 || byteCount <= 0) return 0;
  return static_cast<int32_t>(static_cast<int64_t>(byteCount) * 64000 / baudrate);
}

int32_t SpectrumSize(int32_t samples) {
  int32_t n = 2;
  while (n < samples && n < (1 << 30)) n *= 2;
  return n;
}

void SignalSpectrum(const double* signal, int32_t samples, std::vector<double>& out,
                    std::vector<double>& re, std::vector<double>& im) {
  const int32_t n = SpectrumSize(samples);
  re.assign(static_cast<size_t>(n), 0.0);
  im.assign(static_cast<size_t>(n), 0.0);
  if (samples > 0) std::copy(signal, signal + samples, re.begin());
  Fft(re.data(), im.data(), n, 1);
  const double divisor = std::max(1, samples / 2);
  out.resize(static_cast<size_t>(n / 2));
  for (size_t k = 0; k < out.size(); ++k)
    out[k] = std::sqrt(re[k] * re[k] + im[k] * im[k]) / divisor;
}

TTestSignalPreview::TTestSignalPreview() : FChain("", kPreviewBlockLength) {}

void TTestSignalPreview::Follow(const TModem& editor, int32_t baudrate) {
  int32_t baud = 0, freq0 = 0, freq1 = 0;
  editor.GetGeneral(baud, freq0, freq1);
  FChain.SetGeneral(baudrate, freq0, freq1);
  // A redesign only when a filter changed: an order-12 design costs more
  // than the rest of a short preview.
  for (int slot = 0; slot < 2; ++slot) {
    TFilterSettings f;
    editor.GetFilter(slot, f);
    const TFilterSettings& d = FDesigned[slot];
    if (FDesignedOnce && f.Kind == d.Kind && f.Order == d.Order && f.Freq1 == d.Freq1 &&
        f.Freq2 == d.Freq2 && f.Ripp == d.Ripp)
      continue;
    FChain.SetFilter(slot, f.Kind, f.Order, f.Freq1, f.Freq2, f.Ripp);
    FDesigned[slot] = f;
  }
  FDesignedOnce = true;
}

const std::vector<double>& TTestSignalPreview::Run(const TModem& editor, std::string_view text,
                                                   int32_t baudrate, TPreviewMode mode) {
  Follow(editor, baudrate);
  const std::vector<uint8_t> bytes = ParseTestBytes(text);
  FByteCount = static_cast<int32_t>(bytes.size());
  FSampleCount = TestSignalSamples(FByteCount, baudrate);
  const size_t samples = static_cast<size_t>(FSampleCount);

  FChain.StartTransmit(bytes.data(), FByteCount * 8);
  FSignal.resize(samples);
  if (samples > 0) FChain.Modulate(FSignal.data(), FSampleCount);

  if (mode == TPreviewMode::Spectrum) {
    SignalSpectrum(FSignal.data(), FSampleCount, FOutput, FRe, FIm);
    if (samples == 0) FOutput.clear();
    return FOutput;
  }
  // Demodulate filters its input in place: it runs on a copy, so Signal()
  // keeps the modulated samples.
  FChain.ResetReceiver();
  FWork = FSignal;
  FOutput.resize(samples);
  for (size_t at = 0; at < samples; at += kPreviewBlockLength) {
    const int n = static_cast<int>(std::min<size_t>(kPreviewBlockLength, samples - at));
    FChain.Demodulate(FWork.data() + at, n, FOutput.data() + at);
  }
  return FOutput;
}

}  // namespace sorvex
