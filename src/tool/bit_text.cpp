#include "tool/bit_text.h"

#include <cctype>

namespace sorvex::tool {
namespace {

bool Ignored(char ch) {
  return ch == ' ' || ch == '\t' || ch == '.' || ch == '_';
}

}  // namespace

bool ParseBitText(const std::string& text, const char* what, int maxBits,
                  std::vector<uint8_t>& bytes, int& bitCount, std::string& error) {
  bytes.clear();
  bitCount = 0;
  for (const char ch : text) {
    if (Ignored(ch)) continue;
    if (ch != '0' && ch != '1') {
      error = std::string(what) + ": '" + ch + "' is not 0 or 1";
      return false;
    }
    if (maxBits >= 0 && bitCount == maxBits) {
      error = std::string(what) + ": more than " + std::to_string(maxBits) + " bits";
      return false;
    }
    if (bitCount % 8 == 0) bytes.push_back(0);
    if (ch == '1') bytes.back() |= static_cast<uint8_t>(0x80 >> (bitCount % 8));
    ++bitCount;
  }
  return true;
}

bool ParseHexText(const std::string& text, int count, int maxBits, std::vector<uint8_t>& bytes,
                  int& bitCount, std::string& error) {
  bytes.clear();
  int nibbles = 0;
  for (const char ch : text) {
    if (Ignored(ch)) continue;
    if (!std::isxdigit(static_cast<unsigned char>(ch))) {
      error = std::string("--hex: '") + ch + "' is not a hex digit";
      return false;
    }
    const int v = std::isdigit(static_cast<unsigned char>(ch))
                      ? ch - '0'
                      : std::toupper(static_cast<unsigned char>(ch)) - 'A' + 10;
    if (nibbles % 2 == 0) bytes.push_back(0);
    bytes.back() |= static_cast<uint8_t>(nibbles % 2 == 0 ? v << 4 : v);
    ++nibbles;
  }
  const int available = nibbles * 4;
  bitCount = count < 0 ? available : count;
  if (bitCount > available) {
    error = "--count " + std::to_string(bitCount) + " exceeds the " + std::to_string(available) +
            " bits of --hex";
    return false;
  }
  if (maxBits >= 0 && bitCount > maxBits) {
    error = "more than " + std::to_string(maxBits) + " bits";
    return false;
  }
  return true;
}

}  // namespace sorvex::tool
