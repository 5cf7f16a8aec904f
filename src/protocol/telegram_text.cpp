#include "protocol/telegram_text.h"

#include "util/str_format.h"

namespace sorvex {

const char* FunctionTag(uint8_t functionCode) {
  // Byte for byte as the line's texts have them: "ГTИИ; " has a Latin T, "ГTC; " a
  // Latin T and C, "ЗУTИТ; " a Latin first T, "TCM; " is all Latin; the
  // rest is Cyrillic ("ОТ; " included).
  switch (static_cast<TelegramFunction>(functionCode)) {
    case TelegramFunction::GtiiReset:
    case TelegramFunction::GtiiNoReset:
      return "ГTИИ; ";  // Latin T
    case TelegramFunction::Gtit:
      return "ГТИТ; ";
    case TelegramFunction::Gkds:
      return "ГКДС; ";
    case TelegramFunction::Ot:
      return "ОТ; ";
    case TelegramFunction::TuOn:
    case TelegramFunction::TuOff:
      return "ТУ; ";
    case TelegramFunction::Gts:
      return "ГTC; ";  // Latin T and C
    case TelegramFunction::Zutit:
      return "ЗУTИТ; ";  // the first T Latin
    case TelegramFunction::Nutit:
      return "НУТИТ; ";
    case TelegramFunction::Bo:
      return "БО; ";
    case TelegramFunction::Tsm:
      return "TCM; ";  // all Latin
  }
  return nullptr;
}

unsigned TuObjectNumber(uint8_t mask) {
  for (unsigned bit = 0; bit < 8; ++bit) {
    if (mask & (1u << bit)) return bit + 1;
  }
  return 9;
}

int TitWordValue(uint8_t low, uint8_t high) {
  const int magnitude = low | ((high & 7) << 8);
  return (high & 8) ? -magnitude : magnitude;
}

void AppendSettingsText(std::string& text, const TelegramChar* first) {
  int bound[6];
  for (int w = 0; w < 6; ++w) {
    // (low | high << 8) & 0x7FF, negated by bit 11; bits 12..15 are dropped.
    bound[w] = TitWordValue(first[2 * w].Data, first[2 * w + 1].Data);
  }
  const unsigned c1 = first[12].Data;                 // w6 low byte
  const int g = static_cast<int8_t>(first[13].Data);  // w6 high byte, signed
  const unsigned c2 = first[14].Data;                 // w7 low byte
  // К, the w7 high byte, is printed 0..255: the format gives it as "%u" and
  // its neighbours С1 and С2 are unsigned bytes too; only Г is declared
  // signed. Printing a signed byte through "%u" would give 4294967168 for
  // 0x80, which means nothing, so the byte is read unsigned rather than as
  // −128..−1.
  const unsigned k = first[15].Data;
  text += StrFormat("Уст: Д=%d..%d, А=%d..%d, П=%d..%d, С1=%u, С2=%u, Г=%d, К=%u;", bound[0],
                    bound[1], bound[2], bound[3], bound[4], bound[5], c1, c2, g, k);
}

void AppendCharacterDump(std::string& text, const TelegramChar* chars, int count) {
  for (int i = 0; i < count; ++i) {
    text += StrFormat("%.2X(%u) ", chars[i].Data, static_cast<unsigned>(chars[i].Ninth));
  }
}

}  // namespace sorvex
