#pragma once

namespace sorvex {

// A telegram travels as packed bits, most significant bit of byte 0 first,
// at most 255 bytes = 2040 bits, with its length in bits beside it.
inline constexpr int kMaxTelegramBytes = 255;
inline constexpr int kMaxTelegramBits = kMaxTelegramBytes * 8;

}  // namespace sorvex
