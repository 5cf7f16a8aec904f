// libFuzzer target: DecodeRequestTelegram over arbitrary bit strings, and
// EncodeRequestTelegram over arbitrary descriptors.
//
// Input: byte 0, low 3 bits = bits dropped from the end (0..7); the rest is
// the packed bit string, cut to 255 bytes, so every count 0..2040 occurs.
// The string is copied into a heap buffer of exactly (count + 7) / 8 bytes,
// so the sanitizers see any read behind it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "protocol/request_decoder.h"
#include "protocol/request_encoder.h"
#include "protocol/telegram.h"
#include "telegram_input.h"

namespace {

using namespace sorvex;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

void DecodeRaw(const uint8_t* data, size_t size) {
  const fuzz::TTelegramInput input = fuzz::MakeTelegramInput(data, size);
  const uint8_t* const bits = input.bits.get();
  const int count = input.count;

  std::string text;
  TelegramInfo info;
  const bool ok = DecodeRequestTelegram(bits, static_cast<uint16_t>(count), text, info);
  Check(!text.empty());
  if (count < 36) {
    Check(!ok && info.LengthBits == 0 && info.KpAddress == 0);
    return;
  }
  if (ok) {
    Check(info.KpAddress >= 1 && info.KpAddress <= 31);
    Check(info.LengthBits == 36 || info.LengthBits == 45 || info.LengthBits == 189);
    Check(info.LengthBits <= count);
  } else {
    Check(info.LengthBits == 36);
  }
  std::string again;
  TelegramInfo info2;
  Check(DecodeRequestTelegram(bits, static_cast<uint16_t>(count), again, info2) == ok);
  Check(again == text && info2.KpAddress == info.KpAddress &&
        info2.FunctionCode == info.FunctionCode && info2.LengthBits == info.LengthBits);
}

// The length each function's request has, lead character included: a
// Nutit request carries eight settings words, a long end and a check
// character; TU one mask character more than the rest.
int RequestBits(uint8_t function) {
  switch (static_cast<TelegramFunction>(function)) {
    case TelegramFunction::Nutit:
      return 198;
    case TelegramFunction::TuOn:
    case TelegramFunction::TuOff:
      return 54;
    default:
      return 45;
  }
}

// The encoder writes exactly that many bits into its buffer, and its frame
// (without the lead 00/0) decodes to the same KP, function and length
// whenever the decoder accepts it; a Nutit request for a valid KP, group
// and channel is always accepted, its check character included.
void EncodeRoundTrip(const uint8_t* data, size_t size) {
  if (size < 5) return;
  const RequestDescriptor r{data[1], data[2], data[3], data[4]};
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kRequestBufferBytes]);
  const int16_t bits = EncodeRequestTelegram(buffer.get(), r);
  Check(bits == RequestBits(r.FunctionCode));
  Check((buffer[(bits - 1) / 8] & (0xFF >> (((bits - 1) % 8) + 1))) == 0);  // tail bits 0
  uint8_t frame[kRequestBufferBytes] = {};
  for (int i = 9; i < bits; ++i) {
    if (TelegramBit(buffer.get(), static_cast<unsigned>(i))) {
      frame[(i - 9) / 8] |= static_cast<uint8_t>(0x80 >> ((i - 9) % 8));
    }
  }
  std::string text;
  TelegramInfo info;
  const bool ok = DecodeRequestTelegram(frame, static_cast<uint16_t>(bits - 9), text, info);
  if (ok) {
    Check(info.KpAddress == (r.KpAddress & 0x1F));
    Check(info.FunctionCode == r.FunctionCode);
    Check(info.LengthBits == bits - 9);
  }
  const auto in = [](uint8_t v, int lo, int hi) { return v >= lo && v <= hi; };
  if (r.FunctionCode == FunctionByte(TelegramFunction::Nutit) && in(r.KpAddress, 1, 31) &&
      in(r.Group, 1, 8) && in(r.Object, 1, 8)) {
    Check(ok);
  }
  Check(!DescribeRequest(r).empty());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  DecodeRaw(data, size);
  EncodeRoundTrip(data, size);
  return 0;
}
