#include "protocol/decoder_steps.h"

#include "protocol/telegram_text.h"
#include "util/str_format.h"

namespace sorvex {

void TDecodeSteps::BeginCase(const char* tag) {
  FText += tag;
  FPos = FText.size();
}

bool TDecodeSteps::Fail(TelegramError code) {
  WriteTelegramError(code, FText, FPos);
  return false;
}

bool TDecodeSteps::GroupInRange(unsigned lowest, unsigned limit) {
  const unsigned group = Group();
  if (group < lowest || group >= limit) return Fail(TelegramError::BadGroup);
  return true;
}

bool TDecodeSteps::AtLeast(int chars) {
  if (FTelegram.Count < chars) return Fail(TelegramError::BadLength);
  return true;
}

bool TDecodeSteps::Parity(int first, int count) {
  for (int i = first; i < first + count; ++i) {
    if (!CheckCharParity(FTelegram.Chars[i], FText, FPos)) return false;
  }
  return true;
}

bool TDecodeSteps::ShortEndAt(int index) {
  if (!IsShortEnd(FTelegram.Chars[index])) return Fail(TelegramError::BadEndMark);
  return true;
}

bool TDecodeSteps::LongEndAt(int index) {
  if (!IsLongEnd(FTelegram.Chars[index])) return Fail(TelegramError::BadEndMark);
  return true;
}

bool TDecodeSteps::CrcOver(int chars) {
  if (TelegramCrc(FBits, static_cast<int16_t>(chars)) != 0)
    return Fail(TelegramError::ChecksumError);
  return true;
}

bool TDecodeSteps::WordFrame() {
  if (!AtLeast(21)) return false;
  if (!Parity(3, 16)) return false;
  if (!LongEndAt(19)) return false;
  return CrcOver(21);
}

bool TDecodeSteps::DecodeTu() {
  if (!GroupInRange(1, 32)) return false;
  if (!AtLeast(5)) return false;
  if (!Parity(3, 1)) return false;
  if (!ShortEndAt(4)) return false;
  const bool on = FInfo.FunctionCode == FunctionByte(TelegramFunction::TuOn);
  FText += StrFormat("%s, Группа=%u, Объект=%u;", on ? "Вкл" : "Откл", Group(),
                     TuObjectNumber(Char(3).Data));
  Succeed(5);
  return true;
}

bool TDecodeSteps::DecodeNoGroup() {
  if (!GroupInRange(0, 1)) return false;
  if (!ShortEndAt(3)) return false;
  Succeed(4);
  return true;
}

bool TDecodeSteps::DecodeChannelSettings() {
  if (!GroupInRange(0, 64)) return false;
  if (!WordFrame()) return false;
  FText +=
      StrFormat("Группа=%u, Канал=%u, Данные: ", ChannelGroup(Group()), ChannelNumber(Group()));
  AppendSettingsText(FText, &Char(3));
  Succeed(21);
  return true;
}

bool TDecodeSteps::DecodeUnknown() {
  FText += StrFormat("%.XH??; ", FInfo.FunctionCode);
  AppendCharacterDump(FText, FTelegram.Chars.data(), FTelegram.Count);
  return false;
}

}  // namespace sorvex
