#include "protocol/request_encoder.h"

#include "protocol/telegram.h"
#include "protocol/telegram_text.h"
#include "util/str_format.h"

namespace sorvex {

void PutTelegramChar(uint8_t* buffer, uint16_t bitPos, uint8_t data, uint8_t ninth) {
  const uint16_t word = static_cast<uint16_t>((data << 1) | (ninth ? 1 : 0));  // 9 bits, MSB first
  for (unsigned i = 0; i < 9; ++i) {
    const unsigned pos = bitPos + i;
    if (i != 0 && (pos & 7) == 0) buffer[pos >> 3] = 0;
    const uint8_t mask = static_cast<uint8_t>(0x80u >> (pos & 7));
    if ((word >> (8 - i)) & 1) {
      buffer[pos >> 3] |= mask;
    } else {
      buffer[pos >> 3] &= static_cast<uint8_t>(~mask);
    }
  }
}

int16_t EncodeRequestTelegram(uint8_t* buffer, const RequestDescriptor& request) {
  uint16_t pos = 0;
  // The frame alone (no lead character), for the check character: the check
  // counts from the frame's bit 9, which the lead would shift.
  uint8_t frame[kRequestBufferBytes] = {};
  auto put = [&](uint8_t data, uint8_t ninth) {
    PutTelegramChar(buffer, pos, data, ninth);
    if (pos >= kCharBits)
      PutTelegramChar(frame, static_cast<uint16_t>(pos - kCharBits), data, ninth);
    pos = static_cast<uint16_t>(pos + kCharBits);
  };
  auto putWithParity = [&](uint8_t data) { put(data, ParityBit(data)); };

  put(0x00, 0);  // nine 0 bits on the line before the address, whose first bit is 1
  putWithParity(static_cast<uint8_t>(request.KpAddress | 0xC0));
  putWithParity(request.FunctionCode);
  const auto function = static_cast<TelegramFunction>(request.FunctionCode);
  if (function == TelegramFunction::Zutit || function == TelegramFunction::Nutit) {
    putWithParity(static_cast<uint8_t>((request.Group - 1) * 8 + (request.Object - 1)));
  } else {
    putWithParity(request.Group);
  }
  if (function == TelegramFunction::Nutit) {
    // Eight settings words, then the long end and the check character the
    // receiving side demands of a frame this long.
    for (int i = 0; i < 16; ++i) put(0x00, 1);
    put(kLongEnd.Data, kLongEnd.Ninth);
    const uint16_t remainder =
        TelegramCrcRemainder(frame, static_cast<uint16_t>(pos - 2 * kCharBits));
    put(static_cast<uint8_t>(remainder >> 1), static_cast<uint8_t>(remainder & 1));
    return static_cast<int16_t>(pos);
  }
  if (function == TelegramFunction::TuOn || function == TelegramFunction::TuOff) {
    const uint8_t mask = (request.Object >= 1 && request.Object <= 8)
                             ? static_cast<uint8_t>(1u << (request.Object - 1))
                             : 0;
    putWithParity(mask);
  }
  put(kShortEnd.Data, kShortEnd.Ninth);
  return static_cast<int16_t>(pos);
}

std::string DescribeRequest(const RequestDescriptor& r) {
  std::string prefix;
  prefix += StrFormat("Запрос на КП%u; Функция ", r.KpAddress);
  const char* p = prefix.c_str();
  std::string text;
  switch (static_cast<TelegramFunction>(r.FunctionCode)) {
    case TelegramFunction::Ot:
      text += StrFormat("%s ОТ.", p);
      break;
    case TelegramFunction::Gts:
      text += StrFormat("%s ЗГТС, Группа=%u.", p, r.Group);
      break;
    case TelegramFunction::Gkds:
      text += StrFormat("%s ЗГКДС, Группа=%u.", p, r.Group);
      break;
    case TelegramFunction::Gtit:
      text += StrFormat("%s ЗГТИТ, Группа=%u.", p, r.Group);
      break;
    case TelegramFunction::GtiiNoReset:
      text += StrFormat("%s ЗГТИИ1, Группа=%u.", p, r.Group);
      break;
    case TelegramFunction::GtiiReset:
      text += StrFormat("%s ЗГТИИ2, Группа=%u.", p, r.Group);
      break;
    case TelegramFunction::Tsm:
      text += StrFormat("%s ЗТСМ.", p);
      break;
    case TelegramFunction::Bo:
      text += StrFormat("%s ЗБО.", p);
      break;
    case TelegramFunction::Zutit:
      text += StrFormat("%s ЗУТИТ, Группа %u, Канал %u. ", p, r.Group, r.Object);
      break;
    case TelegramFunction::Nutit:
      text += StrFormat("%s НУТИТ, Группа %u, Канал %u. ", p, r.Group, r.Object);
      break;
    case TelegramFunction::TuOn:
      text += StrFormat("%s ТУВ, Группа=%u, Объект=%u.", p, r.Group, r.Object);
      break;
    case TelegramFunction::TuOff:
      text += StrFormat("%s ТУО, Группа=%u, Объект=%u.", p, r.Group, r.Object);
      break;
    default:
      text += StrFormat("%s ???.", p);
      break;
  }
  return text;
}

}  // namespace sorvex
