#include "ui/controls/plot_cursors.h"

#include <gtest/gtest.h>

#include <clocale>

namespace sorvex {
namespace {

TEST(PlotCursors, TimeBetweenThemAndTheBitRateOfWholeBits) {
  struct Case {
    double a, b, bitPeriod;
    double ms;
    int bits;
    double rate;
  };
  const Case cases[] = {
      {40, 140, 8000.0 / 1200, 12.5, 15, 1200},     // 15 bits at 1200 bit/s
      {140, 40, 8000.0 / 1200, 12.5, 15, 1200},     // either order
      {40, 142, 6.8, 12.75, 15, 1176.470588},       // a KP 2 % slow, its own period
      {0, 103, 8000.0 / 1200, 12.875, 0, 0},        // 15.45 bits: not whole
      {0, 8.3, 8000.0 / 1200, 1.0375, 1, 963.855},  // 1.245 bits: still one
      {10, 10, 40, 0, 0, 0},                        // no span, no bits
      {0, 400, 0, 50, 0, 0},                        // no bit period known
  };
  for (const Case& c : cases) {
    const CursorReadout r = ReadCursors(c.a, c.b, 8000, c.bitPeriod);
    EXPECT_NEAR(r.Ms, c.ms, 1e-9) << c.a << ".." << c.b;
    EXPECT_EQ(r.Bits, c.bits) << c.a << ".." << c.b;
    EXPECT_NEAR(r.BitRate, c.rate, 1e-3) << c.a << ".." << c.b;
  }
}

TEST(PlotCursors, TheTextWritesNumbersAsCDoesInAnyLocale) {
  const CursorReadout whole{12.5, 15, 1200};
  const CursorReadout part{12.875, 0, 0};
  const std::string before = std::setlocale(LC_NUMERIC, nullptr);
  for (const char* locale : {"C", "ru_RU.UTF-8", "de_DE.UTF-8"}) {
    if (std::setlocale(LC_NUMERIC, locale) == nullptr) continue;
    EXPECT_EQ(CursorText(whole), "Δt 12.500 мс = 15 бит, 1200.0 бит/с") << locale;
    EXPECT_EQ(CursorText(part), "Δt 12.875 мс") << locale;
  }
  std::setlocale(LC_NUMERIC, before.c_str());
}

}  // namespace
}  // namespace sorvex
