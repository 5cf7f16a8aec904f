#pragma once

// The answer builder: the telegram a KP would
// send, with parity, end character and check character, for tests and the
// line simulator. Every answer it builds from a well-formed descriptor
// passes DecodeAnswerTelegram.

#include <array>
#include <cstdint>
#include <vector>

namespace sorvex {

struct AnswerDescriptor {
  uint8_t KpAddress = 0;     // 1..31
  uint8_t FunctionCode = 0;  // a TelegramFunction code; others give header, Bytes, short end
  // Gts, Gkds, Gtit, Gtii, TU: group number; Zutit, Nutit: channel address
  // byte 0..63; Ot: 0. Tsm and Bo take the group character from Bytes.
  uint8_t Group = 0;
  uint8_t Object = 0;      // TU: object 1..8 (mask 1 << (Object − 1)), anything else sends mask 0
  bool ShortForm = false;  // Gts, Gtit: group and short end only
  // Tsm: the n TS bytes of groups 1..n (n ≤ 63); Gts, Gkds: Bytes[0] is the
  // TS byte (0 when empty); Bo: the 2..8 data bytes.
  std::vector<uint8_t> Bytes;
  // Gtit, GtiiReset, GtiiNoReset, Zutit: the 8 words, sent low byte first.
  std::array<uint16_t, 8> Words{};
};

// The answer buffer never needs more than this (Tsm with 63 bytes: 612 bits).
inline constexpr int kAnswerBufferBytes = 80;

// Builds the answer into `buffer` (kAnswerBufferBytes) and returns its length
// in bits (9 × characters; no leading 00/0, the address comes first). Byte
// counts beyond the layouts (more than 63 Tsm bytes, more than 8 Bo bytes)
// are cut to them.
int16_t EncodeAnswerTelegram(uint8_t* buffer, const AnswerDescriptor& answer);

// A TIT value word: magnitude |value| & 0x7FF, bit 11 = sign, status 0..15 in bits 12..15.
uint16_t MakeTitWord(int value, unsigned status);

// The 8 TitChannelSettings words: bounds Д, А, П (lower, upper; −2047..2047),
// С1, Г (signed), С2, К.
std::array<uint16_t, 8> MakeTitChannelSettings(const std::array<int, 6>& bounds, uint8_t c1,
                                               int8_t g, uint8_t c2, uint8_t k);

}  // namespace sorvex
