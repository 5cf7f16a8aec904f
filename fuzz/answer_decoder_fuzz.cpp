// libFuzzer target: DecodeAnswerTelegram over arbitrary bit strings, and the
// answer encoder's round trip over descriptors made from the same bytes.
//
// Input: byte 0, low 3 bits = bits dropped from the end (0..7); the rest is
// the packed bit string, cut to 255 bytes, so every count 0..2040 occurs.
// The string is copied into a heap buffer of exactly (count + 7) / 8 bytes
// and the telemetry block lives alone on the heap, so the sanitizers see a
// read behind the characters or a write behind the block. Inside the block,
// every field the answer may not touch is compared before and after.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "protocol/answer_decoder.h"
#include "protocol/telegram.h"
#include "sim/answer_encoder.h"
#include "telegram_input.h"
#include "util/clock.h"

namespace {

using namespace sorvex;

constexpr double kNow = 46000.125;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

class TGuardedStore : public TTelemetryStore {
 public:
  TGuardedStore() : Block(new KpTelemetryBlock) {
    // A pattern, so that a write of any value shows.
    std::memset(static_cast<void*>(Block.get()), 0xA5, sizeof(KpTelemetryBlock));
    Before = *Block;
  }
  KpTelemetryBlock* FindKpRecord(uint8_t kp, bool create) override {
    ++Calls;
    Kp = kp;
    Create = create;
    return Block.get();
  }
  std::unique_ptr<KpTelemetryBlock> Block;
  KpTelemetryBlock Before;
  int Calls = 0;
  uint8_t Kp = 0;
  bool Create = false;
};

bool Same(const void* a, const void* b, size_t n) {
  return std::memcmp(a, b, n) == 0;
}

// Which fields a valid answer may have written, from what it reported.
void CheckOnlyAllowedFieldsChanged(const TGuardedStore& s, const TelegramInfo& info,
                                   const uint8_t* bits, int count) {
  const KpTelemetryBlock& a = *s.Block;
  const KpTelemetryBlock& b = s.Before;
  UnpackedTelegram t;
  UnpackTelegram(bits, static_cast<uint16_t>(count), t);
  const unsigned group = t.Chars[2].Data;
  bool ts[8] = {}, tit[4] = {}, bo[8] = {}, boTime = false;
  switch (static_cast<TelegramFunction>(info.FunctionCode)) {
    case TelegramFunction::Gts:
      if (info.LengthBits == 54 && group >= 1 && group <= 8) ts[group - 1] = true;
      break;
    case TelegramFunction::Tsm:
      for (unsigned i = 0; i < group && i < 8; ++i) ts[i] = true;
      break;
    case TelegramFunction::Gtit:
      if (info.LengthBits == 189 && group >= 1 && group <= 4) tit[group - 1] = true;
      break;
    case TelegramFunction::Bo:
      for (int i = 0; i < info.LengthBits / 9 - 4 && i < 8; ++i) bo[i] = true;
      boTime = true;
      break;
    default:
      break;
  }
  for (int i = 0; i < 8; ++i) {
    if (ts[i]) {
      Check(a.TsBytes[i] == t.Chars[(info.FunctionCode == 0x90) ? 3 : 3 + i].Data);
      Check(a.TsTimes[i] == kNow);
    } else {
      Check(a.TsBytes[i] == b.TsBytes[i] && Same(&a.TsTimes[i], &b.TsTimes[i], sizeof(double)));
    }
    if (bo[i]) {
      Check(a.BoBytes[i] == t.Chars[2 + i].Data);
    } else {
      Check(a.BoBytes[i] == b.BoBytes[i]);
    }
  }
  for (int g = 0; g < 4; ++g) {
    if (tit[g]) {
      Check(a.TitTimes[g] == kNow);
      for (int k = 0; k < 8; ++k) {
        const int v = a.TitValues[g][k];
        Check(v >= -2047 && v <= 2047);
      }
    } else {
      Check(Same(&a.TitTimes[g], &b.TitTimes[g], sizeof(double)));
      Check(Same(a.TitValues[g], b.TitValues[g], sizeof a.TitValues[g]));
    }
  }
  if (boTime) {
    Check(a.BoTime == kNow);
  } else {
    Check(Same(&a.BoTime, &b.BoTime, sizeof(double)));
  }
}

void DecodeRaw(const uint8_t* data, size_t size, const TClock& clock) {
  const fuzz::TTelegramInput input = fuzz::MakeTelegramInput(data, size);
  const uint8_t* const bits = input.bits.get();
  const int count = input.count;

  TGuardedStore store;
  std::string text;
  TelegramInfo info;
  const bool ok =
      DecodeAnswerTelegram(bits, static_cast<uint16_t>(count), text, info, store, clock);
  Check(!text.empty());
  if (!ok) {
    Check(store.Calls == 0);
    Check(Same(store.Block.get(), &store.Before, sizeof(KpTelemetryBlock)));
    Check(info.LengthBits == (count < 36 ? 0 : 36));
    return;
  }
  Check(info.KpAddress >= 1 && info.KpAddress <= 31);
  Check(store.Calls <= 1);
  if (store.Calls == 1) Check(store.Create && store.Kp == info.KpAddress);
  Check(info.LengthBits % 9 == 0 && info.LengthBits >= 36);
  if (info.FunctionCode != FunctionByte(TelegramFunction::Gkds)) Check(info.LengthBits <= count);
  CheckOnlyAllowedFieldsChanged(store, info, bits, count);
}

// A well-formed descriptor for every function from the input bytes: the
// encoder's answer must pass the decoder and store what was sent.
void EncodeRoundTrip(const uint8_t* data, size_t size, const TClock& clock) {
  if (size < 4) return;
  static const uint8_t kFunctions[] = {0x00, 0x10, 0x20, 0x30, 0x50, 0x70,
                                       0x90, 0xA0, 0xB0, 0xD0, 0xE0, 0xF0};
  AnswerDescriptor a;
  a.KpAddress = static_cast<uint8_t>(1 + data[1] % 31);
  a.FunctionCode = kFunctions[data[2] % sizeof kFunctions];
  a.ShortForm = (data[2] & 0x80) != 0;
  const uint8_t g = data[3];
  const uint8_t* rest = data + 4;
  const size_t restSize = size - 4;
  switch (static_cast<TelegramFunction>(a.FunctionCode)) {
    case TelegramFunction::GtiiReset:
    case TelegramFunction::GtiiNoReset:
    case TelegramFunction::TuOn:
    case TelegramFunction::TuOff:
      a.Group = static_cast<uint8_t>(1 + g % 31);
      break;
    case TelegramFunction::Ot:
      a.Group = 0;
      break;
    case TelegramFunction::Zutit:
      a.Group = g % 64;
      break;
    case TelegramFunction::Bo:
      break;
    default:
      a.Group = static_cast<uint8_t>(1 + g % 63);
  }
  a.Object = g;
  const size_t n = a.FunctionCode == 0xD0   ? 2 + restSize % 7
                   : a.FunctionCode == 0xF0 ? restSize % 64
                                            : 1;
  for (size_t i = 0; i < n; ++i) a.Bytes.push_back(i < restSize ? rest[i] : 0);
  for (size_t k = 0; k < 8; ++k) {
    const uint8_t lo = 2 * k < restSize ? rest[2 * k] : 0;
    const uint8_t hi = 2 * k + 1 < restSize ? rest[2 * k + 1] : 0;
    a.Words[k] = static_cast<uint16_t>(lo | hi << 8);
  }
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kAnswerBufferBytes]);
  const int16_t bits = EncodeAnswerTelegram(buffer.get(), a);
  Check(bits > 0 && bits % 9 == 0 && bits <= kAnswerBufferBytes * 8);
  TGuardedStore store;
  std::string text;
  TelegramInfo info;
  Check(DecodeAnswerTelegram(buffer.get(), static_cast<uint16_t>(bits), text, info, store, clock));
  Check(info.KpAddress == a.KpAddress && info.FunctionCode == a.FunctionCode);
  if (a.FunctionCode != 0x20) Check(info.LengthBits == bits);
  CheckOnlyAllowedFieldsChanged(store, info, buffer.get(), bits);
  const KpTelemetryBlock& b = *store.Block;
  if (a.FunctionCode == 0x10 && !a.ShortForm && a.Group <= 4) {
    for (int k = 0; k < 8; ++k) {
      const int magnitude = a.Words[k] & 0x7FF;
      Check(b.TitValues[a.Group - 1][k] == ((a.Words[k] & 0x800) ? -magnitude : magnitude));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const TManualClock clock(kNow);
  DecodeRaw(data, size, clock);
  EncodeRoundTrip(data, size, clock);
  return 0;
}
