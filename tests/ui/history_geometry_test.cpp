// The history plots' geometry and the oscillograph's measurement caption:
// worked values for the time axis, value ranges and tolerances.
#include "ui/history/history_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "ui/work/measurement_caption.h"
#include "util/date_time.h"

namespace sorvex {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

double At(int hour, int minute, int second) {
  return EncodeDateTime({2026, 12, 9, hour, minute, second, 0});
}

TEST(HistoryGeometry, TheTimeAxisTicksOnWholeWallClockSteps) {
  const TPixelRect plot{50, 10, 600, 100};
  // 600 s over 600 pixels: 70 pixels at least is 70 s, so 2 min steps.
  const THistorySpan span{At(14, 0, 0), At(14, 10, 0)};
  const std::vector<TTimeTick> ticks = TimeTicks(plot, span, 70);
  ASSERT_EQ(ticks.size(), 6u);
  for (size_t i = 0; i < ticks.size(); ++i) {
    EXPECT_NEAR(ticks[i].x, 50 + 120 * static_cast<int>(i), 1);
    EXPECT_EQ(ticks[i].label, ClockLabel(At(14, 2 * static_cast<int>(i), 0)));
  }
  EXPECT_EQ(ticks[1].label, "14:02:00");
  // Ticks fall on multiples of the step, not on the span's start.
  const std::vector<TTimeTick> shifted = TimeTicks(plot, {At(14, 0, 7), At(14, 10, 7)}, 70);
  EXPECT_EQ(shifted.front().label, "14:02:00");

  const struct {
    double secondsPerPixel;
    double step;
  } steps[] = {{0.01, 1},  {0.1, 10},     {1, 120},         {10, 900},
               {60, 7200}, {1000, 86400}, {5000, 5 * 86400}};
  for (const auto& c : steps) EXPECT_EQ(TimeStepSeconds(c.secondsPerPixel, 70), c.step);

  for (const int32_t x : {50, 123, 650}) EXPECT_EQ(TimeToX(plot, span, XToTime(plot, span, x)), x);
}

TEST(HistoryGeometry, ValueRangesSnapToTheGridAndRowsStayInside) {
  // 21.1 dB over 100 rows: a 5 dB step is the first at least 18 rows apart.
  EXPECT_EQ(ValueRange(-3.2, 17.9, 2, 100, 18), (TValueRange{-5, 20, 5}));
  // One value: widened to the least span around it.
  EXPECT_EQ(ValueRange(1, 1, 2, 100, 18), (TValueRange{0, 2, 0.5}));
  // Nothing to show.
  EXPECT_EQ(ValueRange(INFINITY, -INFINITY, 2, 100, 18), (TValueRange{-1, 1, 0.5}));

  const TPixelRect plot{0, 20, 10, 101};
  const TValueRange range{-5, 20, 5};
  EXPECT_EQ(ValueToY(plot, range, 20), 20);
  EXPECT_EQ(ValueToY(plot, range, -5), 120);
  EXPECT_EQ(ValueToY(plot, range, 7.5), 70);
  EXPECT_EQ(ValueToY(plot, range, 1e9), 20);
  EXPECT_EQ(ValueToY(plot, range, -1e9), 120);
}

TEST(HistoryGeometry, QuantitiesAndTheFullSpan) {
  TTelegramMeasurement m;
  m.levelDb = -12;
  m.snrDb = 30;
  m.f0Hz = 2558.1;
  m.f1Hz = kNan;
  m.bitRate = 201.8;
  m.setF0Hz = 2540;
  m.setF1Hz = 2760;
  m.setBitRate = 200;
  EXPECT_EQ(QuantityValue(m, THistoryQuantity::Noise), -42);
  EXPECT_NEAR(QuantityValue(m, THistoryQuantity::F0Deviation), 18.1, 1e-9);
  EXPECT_TRUE(std::isnan(QuantityValue(m, THistoryQuantity::F1Deviation)));
  EXPECT_NEAR(QuantityValue(m, THistoryQuantity::RateDeviation), 0.9, 1e-9);
  m.setBitRate = 0;
  EXPECT_TRUE(std::isnan(QuantityValue(m, THistoryQuantity::RateDeviation)));

  std::vector<TTelegramMeasurement> points(2);
  points[0].time = At(10, 0, 0);
  points[1].time = At(10, 50, 0);
  const THistorySpan full = FullSpan(points);
  EXPECT_NEAR((full.t1 - full.t0) * 86400, 3000 * 1.04, 1e-3);
  points.resize(1);
  EXPECT_NEAR((FullSpan(points).t1 - points[0].time) * 86400, 30, 1e-3);
}

TEST(MeasurementCaptionTest, DeviationsAndTheirTolerances) {
  EXPECT_EQ(ToneTolerance(2540, 2760), 55);
  EXPECT_EQ(ToneTolerance(2100, 1300), 200);
  EXPECT_DOUBLE_EQ(RateTolerancePercent(36), 25.0 / 36);
  EXPECT_DOUBLE_EQ(RateTolerancePercent(0), 25.0 / 36);
  EXPECT_DOUBLE_EQ(RateTolerancePercent(100), 0.25);

  TTelegramMeasurement m;
  m.f0Hz = 2558.1;
  m.f1Hz = 2700;
  m.setF0Hz = 2540;
  m.setF1Hz = 2760;
  m.setBitRate = 200;
  // +0.5 % is inside a 36-bit telegram's 0.69 %, outside a 100-bit one's 0.25 %.
  m.bitRate = 201;
  EXPECT_EQ(MeasurementCaption(m, 36),
            (std::vector<TCaptionPart>{{"F0 2558.1 Гц (+18.1)", false},
                                       {"F1 2700.0 Гц (-60.0)", true},
                                       {"201.0 бит/с (+0.5 %)", false}}));
  EXPECT_TRUE(MeasurementCaption(m, 100)[2].beyond);
  m.f1Hz = kNan;
  m.setBitRate = 0;
  EXPECT_EQ(MeasurementCaption(m, 36),
            (std::vector<TCaptionPart>{{"F0 2558.1 Гц (+18.1)", false}, {"201.0 бит/с", false}}));
}

}  // namespace
}  // namespace sorvex
