#include "sim/answer_encoder.h"

#include <cstdlib>

#include "protocol/request_encoder.h"
#include "protocol/telegram.h"

namespace sorvex {

namespace {

class TAnswerWriter {
 public:
  explicit TAnswerWriter(uint8_t* buffer) : FBuffer(buffer) {}

  void Put(uint8_t data, uint8_t ninth) {
    PutTelegramChar(FBuffer, FPos, data, ninth);
    FPos = static_cast<uint16_t>(FPos + kCharBits);
  }
  void PutWithParity(uint8_t data) { Put(data, ParityBit(data)); }
  void PutWord(uint16_t word) {
    PutWithParity(static_cast<uint8_t>(word & 0xFF));
    PutWithParity(static_cast<uint8_t>(word >> 8));
  }
  void PutShortEnd() { Put(kShortEnd.Data, kShortEnd.Ninth); }
  // Long end, then the check character over everything from the function on.
  void PutLongEndAndCheck() {
    Put(kLongEnd.Data, kLongEnd.Ninth);
    const uint16_t remainder =
        TelegramCrcRemainder(FBuffer, static_cast<uint16_t>(FPos - kCharBits));
    Put(static_cast<uint8_t>(remainder >> 1), static_cast<uint8_t>(remainder & 1));
  }
  int16_t Bits() const { return static_cast<int16_t>(FPos); }

 private:
  uint8_t* FBuffer;
  uint16_t FPos = 0;
};

}  // namespace

int16_t EncodeAnswerTelegram(uint8_t* buffer, const AnswerDescriptor& a) {
  TAnswerWriter w(buffer);
  w.PutWithParity(static_cast<uint8_t>(0xC0 | (a.KpAddress & 0x1F)));
  w.PutWithParity(a.FunctionCode);
  const uint8_t firstByte = a.Bytes.empty() ? 0 : a.Bytes[0];
  switch (static_cast<TelegramFunction>(a.FunctionCode)) {
    case TelegramFunction::Ot:
    case TelegramFunction::Nutit:
      w.PutWithParity(a.Group);
      w.PutShortEnd();
      break;
    case TelegramFunction::Tsm: {
      const size_t n = a.Bytes.size() < 63 ? a.Bytes.size() : 63;
      w.PutWithParity(static_cast<uint8_t>(n));
      for (size_t i = 0; i < n; ++i) w.PutWithParity(a.Bytes[i]);
      w.PutLongEndAndCheck();
      break;
    }
    case TelegramFunction::Gts:
    case TelegramFunction::Gkds:
      w.PutWithParity(a.Group);
      if (a.ShortForm) {
        w.PutShortEnd();
      } else {
        w.PutWithParity(firstByte);
        w.PutLongEndAndCheck();
      }
      break;
    case TelegramFunction::Gtit:
      w.PutWithParity(a.Group);
      if (a.ShortForm) {
        w.PutShortEnd();
        break;
      }
      for (uint16_t word : a.Words) w.PutWord(word);
      w.PutLongEndAndCheck();
      break;
    case TelegramFunction::GtiiReset:
    case TelegramFunction::GtiiNoReset:
    case TelegramFunction::Zutit:
      w.PutWithParity(a.Group);
      for (uint16_t word : a.Words) w.PutWord(word);
      w.PutLongEndAndCheck();
      break;
    case TelegramFunction::Bo: {
      // The first data byte stands in the group position.
      const size_t n = a.Bytes.size() < 8 ? a.Bytes.size() : 8;
      for (size_t i = 0; i < n; ++i) w.PutWithParity(a.Bytes[i]);
      w.PutLongEndAndCheck();
      break;
    }
    case TelegramFunction::TuOn:
    case TelegramFunction::TuOff:
      w.PutWithParity(a.Group);
      w.PutWithParity(a.Object >= 1 && a.Object <= 8 ? static_cast<uint8_t>(1u << (a.Object - 1))
                                                     : 0);
      w.PutShortEnd();
      break;
    default: {
      w.PutWithParity(a.Group);
      const size_t n = a.Bytes.size() < 64 ? a.Bytes.size() : 64;
      for (size_t i = 0; i < n; ++i) w.PutWithParity(a.Bytes[i]);
      w.PutShortEnd();
      break;
    }
  }
  return w.Bits();
}

uint16_t MakeTitWord(int value, unsigned status) {
  const unsigned magnitude = static_cast<unsigned>(std::abs(value)) & 0x7FF;
  const unsigned sign = value < 0 ? 0x800 : 0;
  return static_cast<uint16_t>(magnitude | sign | ((status & 0xF) << 12));
}

std::array<uint16_t, 8> MakeTitChannelSettings(const std::array<int, 6>& bounds, uint8_t c1,
                                               int8_t g, uint8_t c2, uint8_t k) {
  std::array<uint16_t, 8> words{};
  for (int i = 0; i < 6; ++i) words[i] = MakeTitWord(bounds[i], 0);
  words[6] = static_cast<uint16_t>(c1 | (static_cast<uint8_t>(g) << 8));
  words[7] = static_cast<uint16_t>(c2 | (k << 8));
  return words;
}

}  // namespace sorvex
