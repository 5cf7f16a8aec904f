#pragma once

#include <cstdint>
#include <string>

#include "protocol/telegram_info.h"
#include "protocol/telemetry_block.h"
#include "util/clock.h"

namespace sorvex {

// Checks an answer (channel 1), writes its one line of text and,
// for a valid TS, TIT or БО answer, stores its data in the KP's block, got
// from `store` with create = true only after every check has passed. The
// date-time is read from `clock` once, at entry; it stamps all that is
// stored. Data of TS groups 9..63 and TIT groups 5..63 is shown in the text
// but not stored: the block holds TS groups 1..8 and TIT groups 1..4 only.
// `bits` holds (bitCount + 7) / 8 bytes, packed MSB first.
bool DecodeAnswerTelegram(const uint8_t* bits, uint16_t bitCount, std::string& text,
                          TelegramInfo& info, TTelemetryStore& store, const TClock& clock);

}  // namespace sorvex
