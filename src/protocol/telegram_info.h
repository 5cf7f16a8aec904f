#pragma once

#include <cstdint>

namespace sorvex {

// What a decoder reports besides its verdict and text.
struct TelegramInfo {
  uint8_t KpAddress = 0;     // 0 until the address passed step 4 of the header check
  uint8_t FunctionCode = 0;  // 0 until the function character passed its parity test
  int32_t LengthBits =
      0;  // 0 below 4 characters, else 36, raised to 9 × N for a valid longer frame
};

}  // namespace sorvex
