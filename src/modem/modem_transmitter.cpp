// The transmit chain of TModem: a continuous-phase FSK modulator,
// unit-amplitude sine at Freq1 for a 1 bit and Freq0 for a 0 bit, each bit
// lasting 1/Baudrate s with the fractional sample carried in TxBitTime.
#include <cmath>
#include <cstring>
#include <numbers>

#include "modem/modem.h"

namespace sorvex {

void TModem::StartTransmit(const uint8_t* bits, int32_t bitCount) {
  if (bitCount < 0 || bits == nullptr) bitCount = 0;
  int32_t byteCount = bitCount / 8 + (bitCount % 8 != 0 ? 1 : 0);  // rounded up, no overflow
  if (byteCount > kMaxTelegramBytes) {
    byteCount = kMaxTelegramBytes;
    bitCount = kMaxTelegramBits;
  }
  if (byteCount > 0) std::memcpy(TxBytes, bits, static_cast<size_t>(byteCount));
  TxBitCount = bitCount;
  TxBitIndex = 0;
  TxPhaseStep = ((TxBytes[0] & 0x80) ? Freq1 : Freq0) * 0.000125;  // cycles per sample
  TxPhase = 0;
  TxBitTime = 0;
}

void TModem::Modulate(double* out, int n) {
  if (out == nullptr) return;
  const double T = 1.0 / Baudrate;  // s, read once per call
  for (int k = 0; k < n; ++k) {
    if (TxBitCount == 0) {
      out[k] = 0.0;
      continue;
    }
    out[k] = std::sin(2.0 * std::numbers::pi * TxPhase);
    TxPhase += TxPhaseStep;
    if (TxPhase > 1) TxPhase -= std::floor(TxPhase);  // kept in 0..1 cycles
    TxBitTime += 0.000125;
    if (TxBitTime >= T) {
      TxBitIndex += 1;
      if (TxBitIndex >= TxBitCount) {
        TxBitCount = 0;  // over: later samples are silence
      } else {
        TxBitTime -= T;
        // Freq0/Freq1 are read at each boundary; the phase runs on (no jump).
        const uint8_t byte = TxBytes[TxBitIndex / 8];
        const uint8_t mask = static_cast<uint8_t>(0x80 >> (TxBitIndex % 8));
        TxPhaseStep = ((byte & mask) ? Freq1 : Freq0) * 0.000125;
      }
    }
  }
}

}  // namespace sorvex
