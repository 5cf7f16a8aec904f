// The statistics grid's cell texts for records built by the statistics
// update itself, column by column, for both displayed channels.
#include "monitor/statistics_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "monitor/monitor.h"
#include "util/date_time.h"

namespace sorvex {
namespace {

class StatisticsGridTest : public ::testing::Test {
 protected:
  // One telegram of `function` for `kp` on `channel`, all bit levels 0.35.
  void Telegram(uint8_t kp, int channel, uint8_t function, bool ok = true) {
    const double halfMeans[2] = {0.35, 0.35};
    const uint32_t bitIndex[2] = {0, 0};
    const double levels[3] = {0.35, 0.35, 0.35};
    TelegramInfo info;
    info.KpAddress = kp;
    info.FunctionCode = function;
    monitor.UpdateKpStatistics(channel, ok, 0.0035, halfMeans, bitIndex, levels, info);
  }
  // Columns 0..9 of KP `kp`'s row as the grid shows it for `channel`.
  std::vector<std::string> Row(uint8_t kp, int channel) const {
    std::vector<std::string> row;
    const TKpRecord* r = monitor.KpStats().FindRecord(kp);
    if (r == nullptr) return row;
    for (int c = 0; c < kStatisticsColumns; ++c) row.push_back(StatisticsCellText(*r, c, channel));
    return row;
  }

  TManualClock clock{EncodeDateTime({2026, 12, 8, 10, 30, 5, 250})};
  TNullObserver observer;
  TMonitor monitor{clock, observer};
};

TEST_F(StatisticsGridTest, FunctionsAcceptedAndAChannelNeverUpdated) {
  for (int i = 0; i < 5; ++i) Telegram(3, 0, 0x10);
  for (int i = 0; i < 2; ++i) Telegram(3, 0, 0x90);
  Telegram(3, 0, 0x90, false);  // rejected: counted in column 2 only
  // KP 4 was only ever asked: its answer channel has never been updated.
  Telegram(4, 0, 0x10);

  // 0.35 is −6.02 dB; noise 0.0035 is −46.02 dB; SNR 20·log10(100 / 0.7) dB.
  const std::vector<std::string> requests3 = {"3",
                                              "10:5/0; 90:2/0; ",
                                              "7 (1) / 0 (0)",
                                              "-6.02",
                                              "-6.02",
                                              "-6.02",
                                              "0 (0)",
                                              "-46.02 (-46.02)",
                                              "43.10 (43.10)",
                                              "8/12/26 10:30:05:250"};
  EXPECT_EQ(Row(3, 0), requests3);
  const std::vector<std::string> answers4 = {
      "4",    "10:1/0; ", "1 (0) / 0 (0)", "0.00",        "0.00",
      "0.00", "0 (0)",    "0.00 (0.00)",   "0.00 (0.00)", "??/??/?? ??:??:??:???"};
  EXPECT_EQ(Row(4, 1), answers4);

  for (int i = 0; i < 5; ++i) Telegram(3, 1, 0x10);
  Telegram(3, 1, 0x90);
  EXPECT_EQ(Row(3, 0)[1], "10:5/5; 90:2/1; ");
  EXPECT_EQ(Row(3, 0)[2], "7 (1) / 6 (0)");
}

TEST_F(StatisticsGridTest, ChannelButtonsChangeOnlyColumnsThreeToNine) {
  Telegram(3, 0, 0x10);
  clock.AdvanceMs(54750);
  Telegram(3, 1, 0x10, false);
  const auto requests = Row(3, 0);
  const auto answers = Row(3, 1);
  ASSERT_EQ(requests.size(), 10u);
  for (int c = 0; c < 3; ++c) EXPECT_EQ(requests[c], answers[c]) << c;
  EXPECT_EQ(requests[2], "1 (0) / 0 (1)");
  EXPECT_EQ(requests[9], "8/12/26 10:30:05:250");
  EXPECT_EQ(answers[9], "8/12/26 10:31:00:000");
  // Only a rejected telegram on the answer side, yet its figures are shown.
  EXPECT_EQ(answers[3], "-6.02");
}

TEST(StatisticsGrid, EdgeCodesAddressZeroAndOnlyRejectedTelegrams) {
  TKpRecord r;
  EXPECT_EQ(StatisticsCellText(r, 0, 0), "??");
  EXPECT_EQ(StatisticsCellText(r, 1, 0), "");  // nothing counted, nothing listed
  r.Kp = 31;
  r.FunctionCounts[0][0x00] = 1;
  r.FunctionCounts[1][0xFE] = 12;  // the last code that has a counter
  r.Rejected[1] = 4;
  EXPECT_EQ(StatisticsCellText(r, 0, 1), "31");
  EXPECT_EQ(StatisticsCellText(r, 1, 1), "00:1/0; FE:0/12; ");
  EXPECT_EQ(StatisticsCellText(r, 2, 1), "0 (0) / 0 (4)");
  EXPECT_EQ(StatisticsCellText(r, 10, 1), "");
}

}  // namespace
}  // namespace sorvex
