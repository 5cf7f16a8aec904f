#include "monitor/measurement_history.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "monitor/measurement_text.h"

namespace sorvex {
namespace {

TTelegramMeasurement Point(uint8_t kp, double time, bool valid = true) {
  TTelegramMeasurement m;
  m.kp = kp;
  m.time = time;
  m.valid = valid;
  m.f0Hz = 2540 + time;
  return m;
}

// Weeks of one KP's telegrams through a small cap: the count never passes
// it, the newest cap / 2 stay exactly, the order stays, and a lone invalid
// telegram outlives every thinning.
TEST(MeasurementHistoryTest, ABoundedListThinsItsOlderHalf) {
  constexpr size_t kCap = 100;
  TMeasurementHistory history(kCap);
  const int kInvalidAt = 7;
  for (int n = 1; n <= 10000; ++n) {
    history.Add(Point(5, n, n != kInvalidAt));
    const auto& points = history.Points(5);
    ASSERT_LE(points.size(), kCap);
    const size_t exact = std::min<size_t>(static_cast<size_t>(n), kCap / 2);
    for (size_t k = 0; k < exact; ++k) {
      ASSERT_EQ(points[points.size() - 1 - k].time, n - static_cast<double>(k)) << n;
    }
    if (n == static_cast<int>(kCap) + 1) {
      EXPECT_EQ(points.size(), kCap - kCap / 4 + 1);
    }
  }
  const auto& points = history.Points(5);
  EXPECT_TRUE(std::is_sorted(points.begin(), points.end(),
                             [](const auto& a, const auto& b) { return a.time < b.time; }));
  EXPECT_EQ(std::count_if(points.begin(), points.end(), [](const auto& m) { return !m.valid; }), 1);
  EXPECT_EQ(history.Count(), points.size());
}

TEST(MeasurementHistoryTest, KpsAreKeptApartAndTheCsvMergesThemInTime) {
  TMeasurementHistory history;
  const uint64_t before = history.Revision();
  history.Add(Point(3, 2.5));
  history.Add(Point(0, 1.5));
  history.Add(Point(32, 1.0));  // no such KP
  TTelegramMeasurement answer = Point(3, 2.0, false);
  answer.channel = 1;
  history.Add(answer);
  EXPECT_EQ(history.Points(3).size(), 2u);
  EXPECT_EQ(history.Points(0).size(), 1u);
  EXPECT_TRUE(history.Points(32).empty());
  EXPECT_EQ(history.Revision(), before + 3);

  const auto row = [](const TTelegramMeasurement& m) {
    std::string text;
    for (const std::string& field : MeasurementFields(m)) text += (text.empty() ? "" : ",") + field;
    return text + "\n";
  };
  EXPECT_EQ(history.Csv(), "side,kp,time,f0,f1,rate,level,snr\n" + row(Point(0, 1.5)) +
                               row(answer) + row(Point(3, 2.5)));
  history.Clear();
  EXPECT_EQ(history.Count(), 0u);
  EXPECT_EQ(history.Csv(), "side,kp,time,f0,f1,rate,level,snr\n");
}

}  // namespace
}  // namespace sorvex
