#include "util/date_time.h"

#include <gtest/gtest.h>

#include "util/clock.h"

namespace sorvex {
namespace {

TEST(DateTime, EpochAndKnownDates) {
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30, 0, 0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1900, 1, 1, 0, 0, 0, 0}), 2.0);
  // 2000-01-01 is serial day 36526 in every spreadsheet that counts from 1899-12-30.
  EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 1, 1, 12, 0, 0, 0}), 36526.5);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 29, 0, 0, 0, 0}), -1.0);
}

TEST(DateTime, RoundTripsEveryMillisecondField) {
  const DateTimeParts in{2026, 12, 7, 14, 5, 9, 45};
  const DateTimeParts out = DecodeDateTime(EncodeDateTime(in));
  EXPECT_EQ(out.year, 2026);
  EXPECT_EQ(out.month, 12);
  EXPECT_EQ(out.day, 7);
  EXPECT_EQ(out.hour, 14);
  EXPECT_EQ(out.minute, 5);
  EXPECT_EQ(out.second, 9);
  EXPECT_EQ(out.millisecond, 45);
  // Leap day and the last millisecond of a day.
  const DateTimeParts leap = DecodeDateTime(EncodeDateTime({2024, 2, 29, 23, 59, 59, 999}));
  EXPECT_EQ(leap.month, 2);
  EXPECT_EQ(leap.day, 29);
  EXPECT_EQ(leap.millisecond, 999);
}

TEST(DateTime, RoundingCarriesIntoTheNextDay) {
  const double almostMidnight = EncodeDateTime({2026, 3, 31, 0, 0, 0, 0}) - 0.1 / 86400000.0;
  const DateTimeParts p = DecodeDateTime(almostMidnight);
  EXPECT_EQ(p.month, 3);
  EXPECT_EQ(p.day, 31);
  EXPECT_EQ(p.hour, 0);
  EXPECT_EQ(p.millisecond, 0);
}

TEST(FormatTimeStamp, KnownFormats) {
  EXPECT_EQ(FormatTimeStamp(0), "??/??/?? ??:??:??:???");
  EXPECT_EQ(FormatTimeStamp(EncodeDateTime({2026, 12, 7, 14, 5, 9, 45})), "7/12/26 14:05:09:045");
  EXPECT_EQ(FormatTimeStamp(EncodeDateTime({2001, 1, 1, 0, 0, 0, 0})), "1/01/01 00:00:00:000");
}

TEST(FormatTimeStamp, NonsenseValuesStayFormatted) {
  EXPECT_FALSE(FormatTimeStamp(1e300).empty());
  EXPECT_FALSE(FormatTimeStamp(-1e300).empty());
  EXPECT_FALSE(FormatTimeStamp(std::numeric_limits<double>::quiet_NaN()).empty());
}

TEST(AmplitudeToDb, ReferenceValuesAndFloor) {
  EXPECT_NEAR(AmplitudeToDb(0.7), 0.0, 1e-12);
  EXPECT_NEAR(AmplitudeToDb(0.000007), -100.0, 1e-9);
  EXPECT_EQ(AmplitudeToDb(0.0000069), -100.0);
  EXPECT_EQ(AmplitudeToDb(-0.5), -100.0);
  EXPECT_EQ(AmplitudeToDb(std::numeric_limits<double>::quiet_NaN()), -100.0);
  EXPECT_NEAR(AmplitudeToDb(1.0), 3.098, 1e-3);
  EXPECT_NEAR(AmplitudeToDb(0.1), -16.90, 1e-2);
}

TEST(ElapsedMs, TruncatesAndScalesWithFrequency) {
  TManualClock clock(45000.0);
  const int64_t stamp = clock.Counter();
  EXPECT_EQ(ElapsedMs(clock, stamp), 0);
  clock.AdvanceMicros(1999);
  EXPECT_EQ(ElapsedMs(clock, stamp), 1);
  clock.AdvanceMicros(1000000);
  EXPECT_EQ(ElapsedMs(clock, stamp), 1001);
  // The date-time follows the counter.
  EXPECT_NEAR((clock.Now() - 45000.0) * 86400000.0, 1001.999, 1e-3);
}

TEST(ElapsedMs, LargeCountersDoNotOverflow) {
  struct BigClock : TClock {
    double Now() const override { return 0; }
    int64_t Counter() const override { return INT64_MAX / 2; }
    int64_t CounterFrequency() const override { return 1000000000; }
  } clock;
  // (now - 0) × 1000 overflows 64 bits; the result must still be the exact quotient.
  EXPECT_EQ(ElapsedMs(clock, 0), (INT64_MAX / 2) / 1000000);
  EXPECT_EQ(ElapsedMs(clock, INT64_MAX / 2 + 5000000), -5);
}

TEST(ElapsedMs, SystemClockMoves) {
  TSystemClock clock;
  const int64_t stamp = clock.Counter();
  const int64_t ms = ElapsedMs(clock, stamp);
  EXPECT_GE(ms, 0);
  EXPECT_LT(ms, 1000);
  EXPECT_GT(clock.Now(), EncodeDateTime({2020, 1, 1, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace sorvex
