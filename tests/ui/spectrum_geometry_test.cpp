#include "ui/controls/spectrum_geometry.h"

#include <gtest/gtest.h>

#include <vector>

namespace sorvex {
namespace {

constexpr double kBinHz = 8000.0 / 4096;

SpectrumArea Area(int width, int height = 120) {
  SpectrumArea area;
  area.width = width;
  area.height = height;
  return area;
}

// A single loud bin stays visible at its frequency whether several bins
// share a column or columns fall between bins.
TEST(SpectrumGeometry, ANarrowToneIsNeverLostBetweenColumns) {
  for (int width : {120, 300, 2500, 5000}) {
    for (int bin : {0, 1, 666, 1075, 2047, 2048}) {
      std::vector<double> db(2049, -100.0);
      db[bin] = -10;
      const SpectrumArea area = Area(width);
      const std::vector<TracePoint> trace = SpectrumTrace(area, db, kBinHz);
      ASSERT_EQ(trace.size(), static_cast<size_t>(area.PlotWidth() + 1));
      int loud = 0;
      for (const TracePoint& p : trace) {
        if (p.y != SpectrumRow(area, -10)) continue;
        ++loud;
        EXPECT_LE(std::abs(p.x - SpectrumColumn(area, bin * kBinHz)), 1)
            << "width " << width << ", bin " << bin;
      }
      EXPECT_GE(loud, 1) << "width " << width << ", bin " << bin;
      EXPECT_LE(loud, width > 2049 ? 3 : 1) << "width " << width << ", bin " << bin;
    }
  }
}

}  // namespace
}  // namespace sorvex
