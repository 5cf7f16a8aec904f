#include "protocol/telegram.h"

#include "protocol/telegram_text.h"
#include "util/str_format.h"

namespace sorvex {

namespace {

constexpr const char* kErrorMessages[7] = {
    "Некорректная длина телеграммы",        // 1 BadLength
    "Ошибка паритета",                      // 2 ParityError
    "В ответе некорректный адрес КП",       // 3 BadAddress
    "В ответе некорректный номер группы",   // 4 BadGroup
    "В ответе некорректный признак конца",  // 5 BadEndMark
    "Ошибка контрольной суммы",             // 6 ChecksumError
    "Не принята синхропоследовательность",  // 7 NoSync
};

// Generator x^9 + x^5 + x^3 + 1 = 0x229; the x^9 term is the carry out of bit 8.
constexpr uint16_t kCrcPoly = 0x29;

inline uint16_t CrcStep(uint16_t reg, uint8_t bit) {
  const uint16_t carry = (reg >> 8) & 1;
  reg = static_cast<uint16_t>(((reg << 1) | bit) & 0x1FF);
  return carry ? static_cast<uint16_t>(reg ^ kCrcPoly) : reg;
}

}  // namespace

uint8_t ParityBit(uint8_t data) {
  unsigned ones = 0;
  for (unsigned v = data; v != 0; v >>= 1) ones += v & 1;
  return (ones & 1) ? 0 : 1;
}

const char* TelegramErrorMessage(int code) {
  if (code < 1 || code > 7) return "";
  return kErrorMessages[code - 1];
}

void WriteTelegramError(int code, std::string& text, size_t pos) {
  if (code < 1 || code > 7) return;
  if (pos < text.size()) text.resize(pos);
  text += kErrorMessages[code - 1];
}

bool CheckCharParity(TelegramChar c, std::string& text, size_t pos) {
  if (c.Ninth == ParityBit(c.Data)) return true;
  WriteTelegramError(TelegramError::ParityError, text, pos);
  return false;
}

uint16_t TelegramCrc(const uint8_t* bits, int16_t charCount) {
  if (charCount < 2) return 0;
  // (charCount − 1) × 9 bits from bit 9 on, counted in 32 bits so that no
  // count wraps round (the decoders pass at most 68 characters).
  const uint32_t count = static_cast<uint32_t>(charCount - 1) * kCharBits;
  uint16_t reg = 0;
  for (uint32_t i = 0; i < count; ++i) reg = CrcStep(reg, TelegramBit(bits, kCharBits + i));
  return reg & 0x1FF;
}

uint16_t TelegramCrcRemainder(const uint8_t* bits, uint16_t bitCount) {
  uint16_t reg = 0;
  for (uint32_t i = 0; i < bitCount; ++i) reg = CrcStep(reg, TelegramBit(bits, kCharBits + i));
  // Multiplying by x^9: nine more zero bits leave the remainder in the register.
  for (int i = 0; i < kCharBits; ++i) reg = CrcStep(reg, 0);
  return reg & 0x1FF;
}

void UnpackTelegram(const uint8_t* bits, uint16_t bitCount, UnpackedTelegram& out) {
  int count = bitCount / kCharBits;
  if (count > kMaxUnpackedChars) count = kMaxUnpackedChars;
  unsigned index = 0;
  for (int k = 0; k < count; ++k) {
    uint8_t data = 0;
    for (int b = 0; b < 8; ++b)
      data = static_cast<uint8_t>((data << 1) | TelegramBit(bits, index++));
    out.Chars[k].Data = data;
    out.Chars[k].Ninth = TelegramBit(bits, index++);
  }
  out.Count = count;
}

bool CheckTelegramHeader(const UnpackedTelegram& t, std::string& text, TelegramInfo& info) {
  if (t.Count < 4) {
    WriteTelegramError(TelegramError::BadLength, text, 0);
    return false;
  }
  info.LengthBits = 4 * kCharBits;
  const TelegramChar address = t.Chars[0];
  if ((address.Data & 0xE0) != 0xC0) {
    WriteTelegramError(TelegramError::NoSync, text, 0);
    return false;
  }
  if (!CheckCharParity(address, text, 0)) return false;
  const uint8_t kp = address.Data & 0x1F;
  if (kp == 0) {
    WriteTelegramError(TelegramError::BadAddress, text, 0);
    return false;
  }
  text.clear();  // the initial "???" gives way to the prefix
  text += StrFormat("КП=%u; ", kp);
  info.KpAddress = kp;
  if (!CheckCharParity(t.Chars[1], text, text.size())) return false;
  info.FunctionCode = t.Chars[1].Data;
  return CheckCharParity(t.Chars[2], text, text.size());
}

}  // namespace sorvex
