#include "monitor/statistics_text.h"

#include "util/date_time.h"
#include "util/str_format.h"

namespace sorvex {

const char* StatisticsColumnTitle(int column) {
  static const char* const kTitles[kStatisticsColumns] = {
      "КП№",   "Функции", "Принято", "Уровень",   "Мин.",
      "Макс.", "Ассим",   "Шум",     "Сигн./Шум", "Обновление"};
  return column >= 0 && column < kStatisticsColumns ? kTitles[column] : "";
}

std::string StatisticsCellText(const TKpRecord& r, int column, int channel) {
  const int ch = channel ? 1 : 0;
  switch (column) {
    case 0:
      return r.Kp == 0 ? "??" : std::to_string(r.Kp);
    case 1: {
      std::string text;
      for (int f = 0; f < kFunctionCountEntries; ++f) {
        if (r.FunctionCounts[0][f] == 0 && r.FunctionCounts[1][f] == 0) continue;
        text += StrFormat("%02X:%u/%u; ", f, r.FunctionCounts[0][f], r.FunctionCounts[1][f]);
      }
      return text;
    }
    case 2:
      return StrFormat("%u (%u) / %u (%u)", r.Accepted[0], r.Rejected[0], r.Accepted[1],
                       r.Rejected[1]);
    case 3:
      return StrFormat("%.2f", r.Levels[ch].LevelDb);
    case 4:
      return StrFormat("%.2f", r.Levels[ch].MinLevelDb);
    case 5:
      return StrFormat("%.2f", r.Levels[ch].MaxLevelDb);
    case 6:
      return StrFormat("%u (%u)", static_cast<unsigned>(r.Asym[ch].Asymmetry),
                       static_cast<unsigned>(r.Asym[ch].MaxAsymmetry));
    case 7:
      return StrFormat("%.2f (%.2f)", r.Noise[ch].NoiseDb, r.Noise[ch].MaxNoiseDb);
    case 8:
      return StrFormat("%.2f (%.2f)", r.Snr[ch].SnrDb, r.Snr[ch].WorstSnrDb);
    case 9:
      return FormatTimeStamp(r.LastUpdate[ch]);
    default:
      return "";
  }
}

}  // namespace sorvex
