#pragma once

// The wire format shared by requests and answers: the bit string,
// 9-bit characters, parity, the 9-bit check character, function codes, the
// error messages and the header check common to both decoders.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "protocol/telegram_info.h"
#include "util/bit_string.h"

namespace sorvex {

// Longest hand-over of the modem engine: 255 bytes, 2040 bits, 226 characters.
// The decoders keep up to 255 unpacked characters.
inline constexpr int kMaxUnpackedChars = 255;
inline constexpr int kCharBits = 9;

// One 9-bit character: data byte (first eight bits, MSB first) and ninth bit.
struct TelegramChar {
  uint8_t Data = 0;
  uint8_t Ninth = 0;  // 0 or 1
};

inline constexpr TelegramChar kShortEnd{0x00, 0};  // closes frames without a check character
inline constexpr TelegramChar kLongEnd{0x20, 1};   // followed by the check character

// The function byte, compared as a whole.
enum class TelegramFunction : uint8_t {
  GtiiReset = 0x00,
  Gtit = 0x10,
  Gkds = 0x20,
  GtiiNoReset = 0x30,
  Ot = 0x50,
  TuOn = 0x70,
  Gts = 0x90,
  Zutit = 0xA0,
  Nutit = 0xB0,
  Bo = 0xD0,
  TuOff = 0xE0,
  Tsm = 0xF0,
};

inline constexpr uint8_t FunctionByte(TelegramFunction f) {
  return static_cast<uint8_t>(f);
}

enum class TelegramError : int {
  BadLength = 1,
  ParityError = 2,
  BadAddress = 3,
  BadGroup = 4,
  BadEndMark = 5,
  ChecksumError = 6,
  NoSync = 7,
};

// 1 when `data` has an even number of 1 bits (odd parity over nine bits).
uint8_t ParityBit(uint8_t data);

// The ends are tested loosely, as the decoders do: long end = data 0x20 and
// a non-zero ninth bit; short end = both zero.
inline bool IsLongEnd(TelegramChar c) {
  return c.Data == 0x20 && c.Ninth != 0;
}
inline bool IsShortEnd(TelegramChar c) {
  return c.Data == 0 && c.Ninth == 0;
}

// Writes `code`'s message over `text` from byte `pos` on (the text is cut
// there first). A code outside 1..7 leaves the text unchanged.
void WriteTelegramError(int code, std::string& text, size_t pos);
inline void WriteTelegramError(TelegramError code, std::string& text, size_t pos) {
  WriteTelegramError(static_cast<int>(code), text, pos);
}

// The message of a code, or "" outside 1..7.
const char* TelegramErrorMessage(int code);

// True when `c.Ninth` is the parity bit of `c.Data`; otherwise writes
// ParityError at `pos` and returns false.
bool CheckCharParity(TelegramChar c, std::string& text, size_t pos);

// The 9-bit cyclic check (generator x^9 + x^5 + x^3 + 1) over the
// (charCount − 1) × 9 bits from bit 9 on; 0 = pass. `bits` must hold
// 9 × charCount bits. A charCount below 2 covers no bits and gives 0.
uint16_t TelegramCrc(const uint8_t* bits, int16_t charCount);

// The remainder a sender puts into the check character for the `bitCount`
// bits from bit 9 on (bit 8 of the result is sent first).
uint16_t TelegramCrcRemainder(const uint8_t* bits, uint16_t bitCount);

// Bit `index` of a packed MSB-first bit string.
inline uint8_t TelegramBit(const uint8_t* bits, unsigned index) {
  return static_cast<uint8_t>((bits[index >> 3] >> (7 - (index & 7))) & 1);
}

struct UnpackedTelegram {
  std::array<TelegramChar, kMaxUnpackedChars> Chars{};
  int Count = 0;  // complete characters, at most kMaxUnpackedChars
};

// Regroups the string into characters. `bits` must hold (bitCount + 7) / 8
// bytes; only bits below min(bitCount, 9 × 255) are read, leftover bits
// (fewer than nine) are ignored.
void UnpackTelegram(const uint8_t* bits, uint16_t bitCount, UnpackedTelegram& out);

// Steps 1..7 of the header check. On success the text is
// "КП=%u; ", info holds the address, the function code and LengthBits 36.
// On failure the text is the prefix reached followed by the message.
bool CheckTelegramHeader(const UnpackedTelegram& t, std::string& text, TelegramInfo& info);

}  // namespace sorvex
