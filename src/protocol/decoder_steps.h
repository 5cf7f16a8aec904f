#pragma once

// The steps both decoders build their function cases from. Each
// step either passes or writes its error behind the prefix and fails.

#include <cstdint>
#include <string>

#include "protocol/telegram.h"
#include "protocol/telegram_info.h"

namespace sorvex {

class TDecodeSteps {
 public:
  TDecodeSteps(const uint8_t* bits, const UnpackedTelegram& t, std::string& text,
               TelegramInfo& info)
      : FBits(bits), FTelegram(t), FText(text), FInfo(info) {}

  const TelegramChar& Char(int index) const { return FTelegram.Chars[index]; }
  int Count() const { return FTelegram.Count; }
  uint8_t Group() const { return FTelegram.Chars[2].Data; }
  std::string& Text() { return FText; }
  TelegramInfo& Info() { return FInfo; }

  // Appends the function's tag; errors are written from behind it.
  void BeginCase(const char* tag);

  bool Fail(TelegramError code);
  bool GroupInRange(unsigned lowest, unsigned limit);  // lowest <= group < limit, else BadGroup
  bool AtLeast(int chars);                             // else BadLength
  bool Parity(int first, int count);                   // chars first..first+count-1, in order
  bool ShortEndAt(int index);                          // else BadEndMark
  bool LongEndAt(int index);                           // else BadEndMark
  bool CrcOver(int chars);  // TelegramCrc over `chars` == 0, else ChecksumError
  // A 21-character frame of 8 words in chars 3..18: parity, long end at 19,
  // check character at 20.
  bool WordFrame();
  void Succeed(int chars) { FInfo.LengthBits = chars * kCharBits; }

  // Shared cases, run behind the tag. Each returns the decoder's verdict.
  bool DecodeTu();       // TuOn/TuOff, both directions
  bool DecodeNoGroup();  // group 0 and a short end at char 3, nothing behind the tag
  // Group and channel of a TIT channel, then its settings in a word frame.
  bool DecodeChannelSettings();
  bool DecodeUnknown();  // "%.XH??; " and the character dump; always false

 private:
  const uint8_t* FBits;
  const UnpackedTelegram& FTelegram;
  std::string& FText;
  TelegramInfo& FInfo;
  size_t FPos = 0;  // where an error message goes: just behind the tag
};

}  // namespace sorvex
