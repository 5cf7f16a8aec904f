#pragma once

#include <cstdint>
#include <string>

#include "protocol/telegram_info.h"

namespace sorvex {

// Checks a request (channel 0) and writes its one line of text.
// `bits` holds (bitCount + 7) / 8 bytes, packed MSB first. Returns true for
// a valid request; the text is "???" when nothing was recognised.
bool DecodeRequestTelegram(const uint8_t* bits, uint16_t bitCount, std::string& text,
                           TelegramInfo& info);

}  // namespace sorvex
