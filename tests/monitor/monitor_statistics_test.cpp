#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/bit_levels.h"
#include "monitor/monitor.h"
#include "util/date_time.h"

namespace sorvex {
namespace {

struct Recorder : TMonitorObserver {
  void EntryAdded(const TLogEntry& entry) override { entries.push_back(entry); }
  void StatisticsChanged() override { ++statisticsChanges; }
  std::vector<TLogEntry> entries;
  int statisticsChanges = 0;
};

class StatisticsTest : public ::testing::Test {
 protected:
  // One telegram's worth of statistics for KP `kp` on `channel`.
  void Update(int channel, bool ok, double noise, double n, double p, double minimum,
              double maximum, double mean, uint8_t kp = 3, uint8_t function = 0x90) {
    const double halfMeans[2] = {n, p};
    const uint32_t bitIndex[2] = {4, 7};
    const double levels[3] = {minimum, maximum, mean};
    TelegramInfo info;
    info.KpAddress = kp;
    info.FunctionCode = function;
    info.LengthBits = 54;
    monitor.UpdateKpStatistics(channel, ok, noise, halfMeans, bitIndex, levels, info);
  }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const auto& e : observer.entries) texts.push_back(e.text);
    return texts;
  }

  TManualClock clock{EncodeDateTime({2026, 12, 8, 10, 0, 0, 0})};
  Recorder observer;
  TMonitor monitor{clock, observer};
};

TEST_F(StatisticsTest, FirstTelegramWritesEveryExtremeOnce) {
  Update(1, true, 0.07, 0.25, 0.75, 0.35, 0.7, 0.5);
  const std::vector<std::string> expected = {
      "В ответе от КП3 зарегистрирован мин. уровень -6.02db в бите 4.",
      "В ответе от КП3 зарегистрирован макс. уровень 0.00db в бите 7.",
      "В ответе от КП3 зарегистрирована наибольшая ассиметрия сигнала: 50. Уровень сигнала "
      "-2.92db.",
      "В ответе от КП3 зарегистрировано максимальной значение шума: -20.00db. Уровень сигнала "
      "-2.92db.",
      "В ответе от КП3 зарегистрировано худшее отношение сигнал/шум: 20.18db. Уровень сигнала "
      "-2.92db.",
  };
  EXPECT_EQ(Texts(), expected);
  for (const auto& e : observer.entries) {
    EXPECT_EQ(e.logIndex, 0);
    EXPECT_EQ(e.kind, lkInfo);
  }
  EXPECT_EQ(monitor.LastStatKp(), 3 | 0x80);
  const TKpRecord* r = monitor.KpStats().FindRecord(3);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Accepted[1], 1u);
  EXPECT_EQ(r->FunctionCounts[1][0x90], 1u);
  EXPECT_EQ(r->Asym[1].Asymmetry, 50);
  EXPECT_DOUBLE_EQ(r->LastUpdate[1], clock.Now());
  EXPECT_EQ(r->Accepted[0] + r->Rejected[0], 0u);  // the other channel is untouched
}

TEST_F(StatisticsTest, AsymmetryOnlyWhenAboveZeroAndComparisonsStrict) {
  Update(0, true, 0.01, 0, 0, 0.4, 0.6, 0.5);  // one polarity only: half means 0
  EXPECT_EQ(observer.entries.size(), 4u);
  EXPECT_EQ(Texts()[0].rfind("В запросе на КП3", 0), 0u);
  observer.entries.clear();
  Update(0, true, 0.01, 0, 0, 0.4, 0.6, 0.5);  // identical: nothing beaten
  EXPECT_TRUE(observer.entries.empty());
  Update(0, true, 0.01, 0.25, 0.5, 0.4, 0.6, 0.5);  // 33.3 truncates to 33
  ASSERT_EQ(observer.entries.size(), 1u);
  EXPECT_NE(Texts()[0].find("ассиметрия сигнала: 33."), std::string::npos);
  EXPECT_EQ(monitor.KpStats().FindRecord(3)->Asym[0].MaxAsymmetry, 33);
}

TEST_F(StatisticsTest, ZeroNoiseGivesWorstSnrFloor) {
  Update(1, true, 0.0, 0.5, 0.5, 0.5, 0.5, 0.5);
  const auto texts = Texts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[3],
            "В ответе от КП3 зарегистрировано худшее отношение сигнал/шум: -100.00db. Уровень "
            "сигнала -2.92db.");
  EXPECT_NE(texts[2].find("шума: -100.00db"), std::string::npos);
  EXPECT_EQ(monitor.KpStats().FindRecord(3)->Snr[1].SnrDb, -100.0);
}

TEST_F(StatisticsTest, RejectedTelegramsCountLevelsButNoFunction) {
  Update(1, false, 0.01, 0.5, 0.5, 0.5, 0.5, 0.5, 4, 0x10);
  const TKpRecord* r = monitor.KpStats().FindRecord(4);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Rejected[1], 1u);
  EXPECT_EQ(r->Accepted[1], 0u);
  EXPECT_EQ(r->FunctionCounts[1][0x10], 0u);
  EXPECT_NEAR(r->Levels[1].LevelDb, -2.92, 0.01);
  EXPECT_EQ(observer.entries.size(), 4u);  // still the first telegram of the channel
}

TEST_F(StatisticsTest, FunctionCode255IsNeverCounted) {
  Update(1, true, 0.01, 0.5, 0.5, 0.5, 0.5, 0.5, 6, 0xFF);
  const TKpRecord* r = monitor.KpStats().FindRecord(6);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Accepted[1], 1u);
  uint32_t counted = 0;
  for (int ch = 0; ch < 2; ++ch)
    for (uint32_t c : r->FunctionCounts[ch]) counted += c;
  EXPECT_EQ(counted, 0u);
}

TEST_F(StatisticsTest, AddressZeroIsIgnoredAndListSortsOnFirstTelegrams) {
  Update(1, true, 0.01, 0.5, 0.5, 0.5, 0.5, 0.5, 0);
  EXPECT_TRUE(monitor.KpStats().Empty());
  EXPECT_TRUE(observer.entries.empty());
  for (uint8_t kp : {9, 2, 5}) Update(1, true, 0.01, 0.5, 0.5, 0.5, 0.5, 0.5, kp);
  ASSERT_EQ(monitor.KpStats().Size(), 3u);
  EXPECT_EQ(monitor.KpStats()[0].Kp, 2);
  EXPECT_EQ(monitor.KpStats()[1].Kp, 5);
  EXPECT_EQ(monitor.KpStats()[2].Kp, 9);
}

TEST_F(StatisticsTest, ResetMakesTheNextTelegramFirstAgain) {
  Update(0, true, 0.01, 0.5, 0.5, 0.5, 0.5, 0.5);
  Update(1, true, 0.01, 0.5, 0.5, 0.5, 0.5, 0.5);
  monitor.ResetStatistics();
  EXPECT_TRUE(monitor.KpStats().Empty());
  EXPECT_EQ(monitor.KpStats().FindKpRecord(3, false), nullptr);
  observer.entries.clear();
  Update(0, true, 0.01, 0.5, 0.5, 0.5, 0.5, 0.5);
  EXPECT_EQ(observer.entries.size(), 4u);
}

TEST(BitLevels, ScanCountsOnlyBitSamplesUpToTheTelegramLength) {
  std::vector<TSignalRecord> records = {
      {0.9, skSample},      {-0.2, skStrobe},    {0.5, skBitSample},  {0.1, skSample},
      {-0.25, skBitSample}, {0.75, skBitSample}, {-0.9, skBitSample},  // beyond LengthBits 3
  };
  const TBitLevels l = ComputeBitLevels(records.data(), static_cast<int32_t>(records.size()), 3);
  EXPECT_EQ(l.BitCount, 3u);
  EXPECT_DOUBLE_EQ(l.Levels[0], 0.25);
  EXPECT_DOUBLE_EQ(l.Levels[1], 0.75);
  EXPECT_DOUBLE_EQ(l.Levels[2], 0.5);
  EXPECT_EQ(l.BitIndexes[0], 1u);
  EXPECT_EQ(l.BitIndexes[1], 2u);
  EXPECT_DOUBLE_EQ(l.HalfMeans[0], 0.25);
  EXPECT_DOUBLE_EQ(l.HalfMeans[1], 0.625);
}

TEST(BitLevels, OnePolarityGivesNoHalfMeansAndTiesKeepTheFirstBit) {
  std::vector<TSignalRecord> records = {{0.5, skBitSample}, {0.5, skBitSample}};
  const TBitLevels l = ComputeBitLevels(records.data(), 2, 10);
  EXPECT_EQ(l.HalfMeans[0], 0.0);
  EXPECT_EQ(l.HalfMeans[1], 0.0);
  EXPECT_EQ(l.BitIndexes[0], 0u);
  EXPECT_EQ(l.BitIndexes[1], 0u);
  const TBitLevels none = ComputeBitLevels(records.data(), 0, 10);
  EXPECT_EQ(none.Levels[2], 0.0);
}

TEST(Journal, TrimsFrom552To501AndKeepsTheNewest) {
  TManualClock clock;
  TNullObserver observer;
  TMonitor monitor(clock, observer);
  for (int i = 0; i < 551; ++i) monitor.AddLogEntry(1, lkRequest, false, std::to_string(i));
  EXPECT_EQ(monitor.ExchangeLog().Size(), 551u);
  monitor.AddLogEntry(1, lkRequest, false, "551");
  EXPECT_EQ(monitor.ExchangeLog().Size(), 501u);
  EXPECT_EQ(monitor.ExchangeLog()[0].text, "51");
  EXPECT_EQ(monitor.ExchangeLog()[500].text, "551");
  EXPECT_EQ(monitor.EventLog().Size(), 0u);
  monitor.AddLogEntry(7, lkInfo, false, "any non-zero index is the exchange journal");
  EXPECT_EQ(monitor.ExchangeLog()[501].logIndex, 1);
  monitor.ClearLog(1);
  EXPECT_EQ(monitor.ExchangeLog().Size(), 0u);
}

// What a view that numbers the rows hears: the dropped rows of the journal
// concerned, then the new entry, with the journal already trimmed each time.
struct TrimRecorder : TMonitorObserver {
  explicit TrimRecorder(const TMonitor*& monitor) : FMonitor(monitor) {}
  void EntriesTrimmed(int logIndex, size_t count) override {
    calls.push_back("trim " + std::to_string(logIndex) + " " + std::to_string(count) + " size " +
                    std::to_string(FMonitor->Log(logIndex).Size()));
  }
  void EntryAdded(const TLogEntry& entry) override {
    if (entry.logIndex == 0 && std::stoi(entry.text) >= 549)
      calls.push_back("add " + entry.text + " size " +
                      std::to_string(FMonitor->Log(entry.logIndex).Size()));
  }
  const TMonitor*& FMonitor;
  std::vector<std::string> calls;
};

TEST(Journal, ReportsTheTrimmedRowsBeforeTheNewEntry) {
  TManualClock clock;
  const TMonitor* watched = nullptr;
  TrimRecorder observer(watched);
  TMonitor monitor(clock, observer);
  watched = &monitor;
  for (int i = 0; i < 552; ++i) monitor.AddLogEntry(0, lkInfo, false, std::to_string(i));
  monitor.AddLogEntry(1, lkInfo, false, "other journal");
  const std::vector<std::string> expected = {"add 549 size 550", "add 550 size 551",
                                             "trim 0 51 size 500", "add 551 size 501"};
  EXPECT_EQ(observer.calls, expected);
}

TEST(Journal, KindNamesAndErrorText) {
  EXPECT_STREQ(LogKindName(lkExchangeProblem), "lkExchangeProblem");
  EXPECT_STREQ(LogKindName(lkAnswer), "lkAnswer");
  EXPECT_STREQ(LogKindName(0), "lk?");
  EXPECT_EQ(TMonitor::ErrorLocationText("Main", 423), "File=Main. Line=423.");
  EXPECT_STREQ(TMonitor::ReceiverStateText(2), "Ожидание приличного уровня");
  EXPECT_STREQ(TMonitor::ReceiverStateText(9), "??");
  EXPECT_STREQ(TMonitor::ReceiverStateText(-1), "??");
}

}  // namespace
}  // namespace sorvex
