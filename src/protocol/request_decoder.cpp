#include "protocol/request_decoder.h"

#include "protocol/decoder_steps.h"
#include "protocol/telegram.h"
#include "protocol/telegram_text.h"

namespace sorvex {

namespace {

// Ot, Tsm, Bo: group 0, short end at char 3, nothing behind the tag.
bool DecodeNoGroup(TDecodeSteps& s) {
  if (!s.GroupInRange(0, 1)) return false;
  if (!s.ShortEndAt(3)) return false;
  s.Succeed(4);
  return true;
}

// Gts, Gkds, Gtit: group 1..63, short end at char 3.
bool DecodeGroupRequest(TDecodeSteps& s) {
  if (!s.GroupInRange(1, 64)) return false;
  AppendFormat(s.Text(), "Группа=%u", s.Group());  // replaced by a later error
  if (!s.ShortEndAt(3)) return false;
  s.Succeed(4);
  return true;
}

// GtiiReset, GtiiNoReset: group 1..31; the end character is not examined.
bool DecodeGtii(TDecodeSteps& s) {
  if (!s.GroupInRange(1, 32)) return false;
  const bool reset = s.Info().FunctionCode == FunctionByte(TelegramFunction::GtiiReset);
  AppendFormat(s.Text(), "%s, Группа=%u", reset ? "со сбросом" : "без сброса", s.Group() & 0x0Fu);
  s.Succeed(4);
  return true;
}

bool DecodeZutit(TDecodeSteps& s) {
  if (!s.GroupInRange(0, 64)) return false;
  AppendFormat(s.Text(), "Группа=%u, Канал=%u", ChannelGroup(s.Group()), ChannelNumber(s.Group()));
  if (!s.ShortEndAt(3)) return false;
  s.Succeed(4);
  return true;
}

// Nutit carries the channel settings: 16 characters, long end at 19, check at 20.
bool DecodeNutit(TDecodeSteps& s) {
  if (!s.GroupInRange(0, 64)) return false;
  if (!s.AtLeast(21)) return false;
  if (!s.Parity(3, 16)) return false;
  if (!s.LongEndAt(19)) return false;
  if (!s.CrcOver(21)) return false;
  AppendFormat(s.Text(), "Группа=%u, Канал=%u, Данные: ", ChannelGroup(s.Group()),
               ChannelNumber(s.Group()));
  AppendSettingsText(s.Text(), &s.Char(3));
  s.Succeed(21);
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
      return DecodeNoGroup(s);
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
      return DecodeNutit(s);
    case TelegramFunction::TuOn:
    case TelegramFunction::TuOff:
      return s.DecodeTu();
  }
  return false;
}

}  // namespace sorvex
