#pragma once

// The request telegrams the program sends when it polls a KP.

#include <cstdint>
#include <string>

namespace sorvex {

struct RequestDescriptor {
  uint8_t KpAddress = 0;     // 1..31
  uint8_t FunctionCode = 0;  // a TelegramFunction code
  uint8_t Group = 0;         // group number; for Zutit/Nutit the 1-based TIT group (see below)
  uint8_t Object = 0;  // TU object 1..8 (TuOn/TuOff) or TIT channel 1..8 (Zutit/Nutit); else 0
};

// A buffer this size holds the longest request (Nutit, 198 bits).
inline constexpr int kRequestBufferBytes = 25;

// Writes data (MSB first) into bits bitPos..bitPos + 7 and `ninth` into bit
// bitPos + 8, each bit set or cleared on its own. A byte the writing moves
// into is cleared first; the byte holding bitPos is not.
void PutTelegramChar(uint8_t* buffer, uint16_t bitPos, uint8_t data, uint8_t ninth);

// 00/0, address, function, group, body, end; returns the length in bits:
// 45 without a body, 54 for TU (both short end, no check character), 198 for
// Nutit (its eight settings words, long end and check character).
int16_t EncodeRequestTelegram(uint8_t* buffer, const RequestDescriptor& request);

// "Запрос на КП%u; Функция " followed by the function's text. For Zutit and
// Nutit the descriptor carries the group and channel as 1-based numbers
// (`Group`, `Object`), the reading the encoder and the wire format share, so
// the text names the same group and channel that the telegram sends.
std::string DescribeRequest(const RequestDescriptor& request);

}  // namespace sorvex
