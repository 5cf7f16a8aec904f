#include "protocol/request_decoder.h"

#include "protocol/decoder_steps.h"
#include "protocol/telegram.h"
#include "protocol/telegram_text.h"
#include "util/str_format.h"

namespace sorvex {

namespace {

// Gts, Gkds, Gtit: group 1..63, short end at char 3.
bool DecodeGroupRequest(TDecodeSteps& s) {
  if (!s.GroupInRange(1, 64)) return false;
  s.Text() += StrFormat("Группа=%u", s.Group());  // replaced by a later error
  if (!s.ShortEndAt(3)) return false;
  s.Succeed(4);
  return true;
}

// GtiiReset, GtiiNoReset: group 1..31; the end character is not examined.
bool DecodeGtii(TDecodeSteps& s) {
  if (!s.GroupInRange(1, 32)) return false;
  const bool reset = s.Info().FunctionCode == FunctionByte(TelegramFunction::GtiiReset);
  s.Text() += StrFormat("%s, Группа=%u", reset ? "со сбросом" : "без сброса", s.Group() & 0x0Fu);
  s.Succeed(4);
  return true;
}

bool DecodeZutit(TDecodeSteps& s) {
  if (!s.GroupInRange(0, 64)) return false;
  s.Text() += StrFormat("Группа=%u, Канал=%u", ChannelGroup(s.Group()), ChannelNumber(s.Group()));
  if (!s.ShortEndAt(3)) return false;
  s.Succeed(4);
  return true;
}

}  // namespace

bool DecodeRequestTelegram(const uint8_t* bits, uint16_t bitCount, std::string& text,
                           TelegramInfo& info) {
  text = "???";
  info = TelegramInfo{};
  UnpackedTelegram t;
  UnpackTelegram(bits, bitCount, t);
  if (!CheckTelegramHeader(t, text, info)) return false;

  TDecodeSteps s(bits, t, text, info);
  const char* tag = FunctionTag(info.FunctionCode);
  if (tag == nullptr) return s.DecodeUnknown();
  s.BeginCase(tag);
  switch (static_cast<TelegramFunction>(info.FunctionCode)) {
    case TelegramFunction::Ot:
    case TelegramFunction::Tsm:
    case TelegramFunction::Bo:
      return s.DecodeNoGroup();
    case TelegramFunction::Gts:
    case TelegramFunction::Gkds:
    case TelegramFunction::Gtit:
      return DecodeGroupRequest(s);
    case TelegramFunction::GtiiReset:
    case TelegramFunction::GtiiNoReset:
      return DecodeGtii(s);
    case TelegramFunction::Zutit:
      return DecodeZutit(s);
    case TelegramFunction::Nutit:
      return s.DecodeChannelSettings();  // a request that sets a channel carries its settings
    case TelegramFunction::TuOn:
    case TelegramFunction::TuOff:
      return s.DecodeTu();
  }
  return false;
}

}  // namespace sorvex
