#include "protocol/answer_decoder.h"

#include "protocol/decoder_steps.h"
#include "protocol/telegram.h"
#include "protocol/telegram_text.h"
#include "util/str_format.h"

namespace sorvex {

namespace {

struct TAnswerContext {
  TDecodeSteps& Steps;
  TTelemetryStore& Store;
  double Now;

  KpTelemetryBlock* Block() { return Store.FindKpRecord(Steps.Info().KpAddress, true); }
};

// n TS bytes for groups 1..n (n = group byte, 0..63); groups 1..8 are stored.
bool DecodeTsm(TAnswerContext& a) {
  TDecodeSteps& s = a.Steps;
  const int n = s.Group();
  if (!s.GroupInRange(0, 64)) return false;
  if (!s.AtLeast(n + 5)) return false;
  if (!s.Parity(3, n)) return false;
  if (!s.LongEndAt(3 + n)) return false;
  if (!s.CrcOver(n + 5)) return false;
  s.Text() += "Данные: ";
  for (int i = 0; i < n; ++i) s.Text() += StrFormat("%.2X ", s.Char(3 + i).Data);
  const int stored = n < KpTelemetryBlock::kTsGroups ? n : KpTelemetryBlock::kTsGroups;
  if (stored > 0) {
    if (KpTelemetryBlock* block = a.Block()) {
      for (int i = 0; i < stored; ++i) {
        block->TsBytes[i] = s.Char(3 + i).Data;
        block->TsTimes[i] = a.Now;
      }
    }
  }
  s.Succeed(n + 5);
  return true;
}

// Short form: group and short end only. Long form: one TS byte, long end, check.
bool DecodeGts(TAnswerContext& a) {
  TDecodeSteps& s = a.Steps;
  const unsigned g = s.Group();
  if (!s.GroupInRange(1, 64)) return false;
  if (IsShortEnd(s.Char(3)) && s.Count() < 6) {
    s.Text() += StrFormat("Группа=%u", g);
    s.Succeed(4);
    return true;
  }
  if (!s.AtLeast(6)) return false;
  if (!s.Parity(3, 1)) return false;
  if (!s.LongEndAt(4)) return false;
  if (!s.CrcOver(6)) return false;
  const uint8_t ts = s.Char(3).Data;
  s.Text() += StrFormat("Группа=%u, Значение %.2XH", g, ts);
  if (g <= KpTelemetryBlock::kTsGroups) {
    if (KpTelemetryBlock* block = a.Block()) {
      block->TsBytes[g - 1] = ts;
      block->TsTimes[g - 1] = a.Now;
    }
  }
  s.Succeed(6);
  return true;
}

bool DecodeGtit(TAnswerContext& a) {
  TDecodeSteps& s = a.Steps;
  const unsigned g = s.Group();
  if (!s.GroupInRange(1, 64)) return false;
  if (IsShortEnd(s.Char(3)) && s.Count() < 21) {
    s.Text() += StrFormat("Группа=%u", g);
    s.Succeed(4);
    return true;
  }
  if (!s.WordFrame()) return false;
  s.Text() += StrFormat("Группа=%u, Данные: ", g);
  int values[KpTelemetryBlock::kTitValues];
  for (int k = 0; k < KpTelemetryBlock::kTitValues; ++k) {
    const uint8_t low = s.Char(3 + 2 * k).Data;
    const uint8_t high = s.Char(4 + 2 * k).Data;
    values[k] = TitWordValue(low, high);
    s.Text() += StrFormat("%d(%X) ", values[k], TitWordStatus(high));
  }
  if (g <= KpTelemetryBlock::kTitGroups) {
    if (KpTelemetryBlock* block = a.Block()) {
      block->TitTimes[g - 1] = a.Now;
      for (int k = 0; k < KpTelemetryBlock::kTitValues; ++k) {
        block->TitValues[g - 1][k] = static_cast<int16_t>(values[k]);
      }
    }
  }
  s.Succeed(21);
  return true;
}

bool DecodeGtii(TDecodeSteps& s) {
  if (!s.GroupInRange(1, 32)) return false;
  if (!s.WordFrame()) return false;
  const bool reset = s.Info().FunctionCode == FunctionByte(TelegramFunction::GtiiReset);
  s.Text() +=
      StrFormat("%s, Группа=%u, Данные: ", reset ? "со сбросом" : "без сброса", s.Group() & 0x0Fu);
  for (int k = 0; k < 8; ++k) {
    const unsigned counter = s.Char(3 + 2 * k).Data | (s.Char(4 + 2 * k).Data << 8);
    s.Text() += StrFormat("%u ", counter);
  }
  s.Succeed(21);
  return true;
}

bool DecodeNutit(TDecodeSteps& s) {
  if (!s.ShortEndAt(3)) return false;
  s.Text() += StrFormat("Группа=%u, Канал=%u", ChannelGroup(s.Group()), ChannelNumber(s.Group()));
  s.Succeed(4);
  return true;
}

// 2..8 data bytes from the group position on, then long end and check. A
// character needed behind the last one received is a BadLength: the checks
// never look behind the frame.
bool DecodeBo(TAnswerContext& a) {
  TDecodeSteps& s = a.Steps;
  if (!s.AtLeast(6)) return false;
  uint8_t bytes[KpTelemetryBlock::kBoBytes];
  int count = 0;  // data bytes collected so far
  while (count < KpTelemetryBlock::kBoBytes) {
    if (!s.AtLeast(2 + count + 1)) return false;
    const TelegramChar& c = s.Char(2 + count);
    if (count >= 2 && IsLongEnd(c)) break;
    if (!s.Parity(2 + count, 1)) return false;
    bytes[count++] = c.Data;
  }
  if (!s.AtLeast(2 + count + 1)) return false;
  if (!s.LongEndAt(2 + count)) return false;
  if (!s.AtLeast(count + 4)) return false;
  if (!s.CrcOver(count + 4)) return false;
  s.Text() += "Значение=";
  for (int i = 0; i < count; ++i) s.Text() += StrFormat("%.2X ", bytes[i]);
  if (KpTelemetryBlock* block = a.Block()) {
    block->BoTime = a.Now;
    for (int i = 0; i < count; ++i)
      block->BoBytes[i] = bytes[i];  // older bytes from `count` on stay
  }
  s.Succeed(count + 4);
  return true;
}

}  // namespace

bool DecodeAnswerTelegram(const uint8_t* bits, uint16_t bitCount, std::string& text,
                          TelegramInfo& info, TTelemetryStore& store, const TClock& clock) {
  const double now = clock.Now();
  text = "???";
  info = TelegramInfo{};
  UnpackedTelegram t;
  UnpackTelegram(bits, bitCount, t);
  if (!CheckTelegramHeader(t, text, info)) return false;

  TDecodeSteps s(bits, t, text, info);
  TAnswerContext a{s, store, now};
  const char* tag = FunctionTag(info.FunctionCode);
  if (tag == nullptr) return s.DecodeUnknown();
  s.BeginCase(tag);
  switch (static_cast<TelegramFunction>(info.FunctionCode)) {
    case TelegramFunction::Ot:
      return s.DecodeNoGroup();
    case TelegramFunction::Tsm:
      return DecodeTsm(a);
    case TelegramFunction::Gts:
      return DecodeGts(a);
    case TelegramFunction::Gkds:
      s.Succeed(6);  // nothing more is examined
      return true;
    case TelegramFunction::Gtit:
      return DecodeGtit(a);
    case TelegramFunction::GtiiReset:
    case TelegramFunction::GtiiNoReset:
      return DecodeGtii(s);
    case TelegramFunction::Zutit:
      return s.DecodeChannelSettings();
    case TelegramFunction::Nutit:
      return DecodeNutit(s);
    case TelegramFunction::Bo:
      return DecodeBo(a);
    case TelegramFunction::TuOn:
    case TelegramFunction::TuOff:
      return s.DecodeTu();
  }
  return false;
}

}  // namespace sorvex
