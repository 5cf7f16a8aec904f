// Per-KP statistics: levels, asymmetry, noise and SNR per channel, with an
// event line whenever an extreme is beaten.
#include <cmath>
#include <cstdlib>

#include "monitor/monitor.h"
#include "util/date_time.h"
#include "util/str_format.h"

namespace sorvex {
namespace {

const char* ChannelText(int channel) {
  return channel ? "ответе от" : "запросе на";
}

}  // namespace

double TMonitor::SnrDb(double level, double noise) {
  return noise >= 1e-16 ? AmplitudeToDb(level / noise) : -100.0;
}

void TMonitor::UpdateKpStatistics(int channel, bool decodedOk, double noise,
                                  const double halfMeans[2], const uint32_t bitIndex[2],
                                  const double levels[3], const TelegramInfo& info) {
  const uint8_t kp = info.KpAddress;
  if (kp == 0) return;
  const int ch = channel ? 1 : 0;
  TKpRecord* found = FKpStats.FindRecord(kp);
  TKpRecord& record = found ? *found : FKpStats.AddRecord(kp);

  const double snr = SnrDb(levels[2], noise);
  const double noiseDb = AmplitudeToDb(noise);
  const double minDb = AmplitudeToDb(levels[0]);
  const double maxDb = AmplitudeToDb(levels[1]);
  const double levelDb = AmplitudeToDb(levels[2]);
  const bool first = record.Accepted[ch] == 0 && record.Rejected[ch] == 0;
  FLineCounters.Figures(ch, kp, levelDb, noiseDb, snr);

  if (decodedOk) {
    ++record.Accepted[ch];
    // No counter exists for code 255; the decoders never accept it anyway.
    if (info.FunctionCode < kFunctionCountEntries) ++record.FunctionCounts[ch][info.FunctionCode];
  } else {
    ++record.Rejected[ch];
  }
  TLevels& level = record.Levels[ch];
  level.LevelDb = levelDb;
  if (first || minDb < level.MinLevelDb) {
    level.MinLevelDb = minDb;
    AddLogEntry(0, lkInfo, true,
                StrFormat("В %s КП%u зарегистрирован мин. уровень %.2fdb в бите %u.",
                          ChannelText(ch), kp, minDb, bitIndex[0]));
  }
  if (first || maxDb > level.MaxLevelDb) {
    level.MaxLevelDb = maxDb;
    AddLogEntry(0, lkInfo, true,
                StrFormat("В %s КП%u зарегистрирован макс. уровень %.2fdb в бите %u.",
                          ChannelText(ch), kp, maxDb, bitIndex[1]));
  }
  TAsym& asym = record.Asym[ch];
  const double n = halfMeans[0], p = halfMeans[1];
  asym.Asymmetry = n + p != 0 ? static_cast<int32_t>(std::fabs(n - p) / (n + p) * 100) : 0;
  if (asym.Asymmetry > asym.MaxAsymmetry) {
    asym.MaxAsymmetry = asym.Asymmetry;
    AddLogEntry(0, lkInfo, true,
                StrFormat("В %s КП%u зарегистрирована наибольшая ассиметрия сигнала: %u. "
                          "Уровень сигнала %.2fdb.",
                          ChannelText(ch), kp, static_cast<unsigned>(asym.Asymmetry), levelDb));
  }
  TNoise& noiseStats = record.Noise[ch];
  noiseStats.NoiseDb = noiseDb;
  if (first || noiseDb > noiseStats.MaxNoiseDb) {
    noiseStats.MaxNoiseDb = noiseDb;
    AddLogEntry(0, lkInfo, true,
                StrFormat("В %s КП%u зарегистрировано максимальной значение шума: %.2fdb. "
                          "Уровень сигнала %.2fdb.",
                          ChannelText(ch), kp, noiseDb, levelDb));
  }
  TSnr& snrStats = record.Snr[ch];
  snrStats.SnrDb = snr;
  if (first || snr < snrStats.WorstSnrDb) {
    snrStats.WorstSnrDb = snr;
    AddLogEntry(0, lkInfo, true,
                StrFormat("В %s КП%u зарегистрировано худшее отношение сигнал/шум: %.2fdb. "
                          "Уровень сигнала %.2fdb.",
                          ChannelText(ch), kp, snr, levelDb));
  }
  record.LastUpdate[ch] = FClock.Now();
  FLastStatKp = static_cast<uint8_t>(kp | (ch ? 0x80 : 0));
  if (first) FKpStats.SortByKp();
  FObserver.StatisticsChanged();
}

void TMonitor::ResetStatistics() {
  FKpStats.Clear();
  FObserver.StatisticsChanged();
  // The KP state window shows records that are gone now.
  FObserver.KpWindowChanged();
}

}  // namespace sorvex
