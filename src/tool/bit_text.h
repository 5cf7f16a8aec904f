#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sorvex::tool {

// A bit string typed on the command line, packed most significant bit first.
// Blanks, '.' and '_' are ignored so that long strings can be grouped.
// `maxBits` < 0 sets no limit. `what` names the argument in messages.
bool ParseBitText(const std::string& text, const char* what, int maxBits,
                  std::vector<uint8_t>& bytes, int& bitCount, std::string& error);
// Hex digits; `count` < 0 takes every bit of them, else the leading `count`.
bool ParseHexText(const std::string& text, int count, int maxBits, std::vector<uint8_t>& bytes,
                  int& bitCount, std::string& error);

}  // namespace sorvex::tool
