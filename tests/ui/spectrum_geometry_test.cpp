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

TEST(SpectrumGeometry, GridLabelsStayApartAndInsideThePanel) {
  const auto width = [](const std::string& text) { return static_cast<int32_t>(6 * text.size()); };
  for (int w : {100, 180, 320, 640, 1200}) {
    const SpectrumArea area = Area(w);
    const SpectrumGrid grid = ComputeSpectrumGrid(area, width, 10);
    ASSERT_FALSE(grid.frequencies.empty()) << w;
    EXPECT_EQ(grid.frequencies.front().at, area.marginLeft);
    EXPECT_EQ(grid.frequencies.back().at, area.Right());
    for (size_t i = 0; i < grid.frequencies.size(); ++i) {
      const SpectrumLabel& label = grid.frequencies[i];
      EXPECT_GE(label.textX, 0) << w;
      EXPECT_LE(label.textX + width(label.text), w) << w;
      if (i > 0) {
        const SpectrumLabel& before = grid.frequencies[i - 1];
        EXPECT_GT(label.textX, before.textX + width(before.text)) << w << " " << label.text;
      }
    }
    // Level lines from -100 dB up to 0 dB, at least a text height apart.
    ASSERT_FALSE(grid.levels.empty());
    EXPECT_EQ(grid.levels.front().text, "-100");
    for (size_t i = 1; i < grid.levels.size(); ++i)
      EXPECT_GE(grid.levels[i - 1].at - grid.levels[i].at, 10);
  }
}

}  // namespace
}  // namespace sorvex
