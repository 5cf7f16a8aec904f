#pragma once

// Text pieces shared by the decoders: the function tags, TU object numbers, two-character words,
// the settings text and the character dump of an unrecognised function.

#include <cstdint>
#include <string>

#include "protocol/telegram.h"

namespace sorvex {

// The tag the decoders print for a function code, or nullptr when the code
// is not one of the protocol's. Several tags mix Latin and Cyrillic letters.
const char* FunctionTag(uint8_t functionCode);

// TU object: position of the lowest set bit of the mask plus 1; 9 when none.
unsigned TuObjectNumber(uint8_t mask);

// A TIT value word: low | ((high & 7) << 8), negated when high & 8 is set
// (−2047..2047). The status nibble is high >> 4.
int TitWordValue(uint8_t low, uint8_t high);
inline unsigned TitWordStatus(uint8_t high) {
  return high >> 4;
}

// Appends "Уст: Д=%d..%d, А=%d..%d, П=%d..%d, С1=%u, С2=%u, Г=%d, К=%u;" for
// the 8 words held by the 16 characters from `first` on. К is the high byte
// of w7 read unsigned, 0..255 (see the source for why).
void AppendSettingsText(std::string& text, const TelegramChar* first);

// Appends "%.2X(%u) " for each of the `count` characters.
void AppendCharacterDump(std::string& text, const TelegramChar* chars, int count);

// Group and channel (both 1..8 for 0..63) of a TIT channel address byte.
inline unsigned ChannelGroup(uint8_t address) {
  return address / 8 + 1;
}
inline unsigned ChannelNumber(uint8_t address) {
  return address % 8 + 1;
}

}  // namespace sorvex
