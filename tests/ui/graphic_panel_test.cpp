// The oscillograph panel as a widget: what it paints, how markers are
// dragged, and the records-to-graph rule over a telegram from the modem.
#include "ui/controls/graphic_panel.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <QTest>
#include <cmath>
#include <random>
#include <vector>

#include "telegram_records.h"
#include "ui/work/oscillograph.h"
#include "ui_test_util.h"

namespace sorvex {
namespace {

using testing::At;
using testing::CountColour;
using testing::CountOther;
using testing::Render;

const QColor kBlue(0, 0, 0xFF);
const QColor kGreen(0, 0x80, 0);
const QColor kRed(0xFF, 0, 0);

std::vector<double> Ramp(int n) {
  std::vector<double> v(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = -1.0 + 2.0 * i / (n - 1);
  return v;
}

TEST(GraphicPanel, StartsWithTheGivenFieldsAndIgnoresBadSeriesArguments) {
  TGraphicPanel panel(nullptr);
  EXPECT_EQ(panel.marginLeft, 48);
  EXPECT_EQ(panel.marginRight, 8);
  EXPECT_EQ(panel.marginTop, 8);
  EXPECT_EQ(panel.marginBottom, 32);
  EXPECT_EQ(panel.minGridSpacingX, 16);
  EXPECT_EQ(panel.minGridSpacingY, 16);
  EXPECT_EQ(panel.gridColor, QColor(0x80, 0x80, 0x80));
  EXPECT_EQ(panel.gridPenStyle, Qt::DotLine);
  EXPECT_EQ(panel.axisColor, QColor(Qt::black));
  EXPECT_EQ(panel.textColor, QColor(Qt::black));
  EXPECT_EQ(panel.backgroundColor, panel.palette().color(QPalette::Button));
  EXPECT_TRUE(panel.markersVisible);
  EXPECT_EQ(panel.fixedTop, 0);
  EXPECT_EQ(panel.fixedBottom, 0);
  EXPECT_EQ(panel.gridStepX, 0);

  const std::vector<double> v = Ramp(10);
  panel.resize(400, 200);
  panel.SetSeries(4, v.data(), kRed, 10);
  panel.SetSeries(-1, v.data(), kRed, 10);
  for (const TPlotSeries& s : panel.series) EXPECT_EQ(s.Count(), 0);
  panel.SetSeries(1, nullptr, kRed, 10);
  panel.SetSeries(2, v.data(), kRed, -3);
  EXPECT_EQ(panel.series[1].Count(), 0);
  EXPECT_EQ(panel.series[2].Count(), 0);
  panel.SetSeries(3, v.data(), kRed, 10);
  EXPECT_EQ(panel.series[3].samples, v);
  EXPECT_EQ(panel.series[3].colour, kRed);
  EXPECT_GT(panel.gridStepX, 0);  // rescaled
}

TEST(GraphicPanel, PaintsTheCurveExactlyAsItsColumnRuns) {
  std::mt19937 rng(3);
  std::normal_distribution<double> noise(0.0, 0.3);
  for (int n : {50, 5000, 64000}) {
    std::vector<double> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[static_cast<size_t>(i)] = std::sin(i * 0.01) + noise(rng);
    TGraphicPanel panel(nullptr);
    panel.resize(1200, 300);
    panel.SetSeries(0, v.data(), kRed, n);
    const QImage image = Render(panel, QSize(1200, 300));
    std::vector<ColumnRun> runs;
    CurveRuns(PlotArea::Of(panel, 1200, 300), panel, 0, panel.series[0].samples, n, runs);
    int lit = 0;
    for (const ColumnRun& r : runs) {
      EXPECT_EQ(CountColour(image, QRect(r.x, r.top, 1, r.bottom - r.top + 1), kRed),
                r.bottom - r.top + 1)
          << n << " x " << r.x;
      lit += r.bottom - r.top + 1;
    }
    EXPECT_EQ(CountColour(image, image.rect(), kRed), lit) << n;
  }
}

TEST(GraphicPanel, EmptySeriesPaintAxesMarkersAndCaptionButNoGridOrNumbers) {
  TGraphicPanel panel(nullptr);
  const QColor bg = panel.backgroundColor;
  const int axis = 200 - 32;
  QImage image = Render(panel, QSize(400, 200));
  EXPECT_EQ(CountColour(image, image.rect(), QColor(Qt::magenta)), 0);  // all painted
  // Axes: the x axis from 48 to 391, the y axis from 168 up to 9; nothing else.
  EXPECT_EQ(CountColour(image, QRect(48, axis, 344, 1), Qt::black), 344);
  EXPECT_EQ(CountColour(image, QRect(48, 9, 1, axis - 8), Qt::black), axis - 8);
  EXPECT_EQ(CountOther(image, image.rect(), bg), 344 + axis - 8 - 1);

  // Markers and the caption still appear; still no grid (grey) and no
  // numbers left of the axis or below it (the marker's label is blue).
  panel.AddMarker(0, 0, nullptr, "7", kBlue, 0);
  panel.SetTitle("Caption");
  image = Render(panel, QSize(400, 200));
  EXPECT_EQ(CountColour(image, image.rect(), QColor(0x80, 0x80, 0x80)), 0);
  EXPECT_EQ(CountOther(image, QRect(0, 16, 47, axis - 16), bg), 0);
  EXPECT_EQ(CountColour(image, QRect(0, axis + 1, 400, 31), Qt::black), 0);
  EXPECT_EQ(At(image, 48, 5), kBlue);  // no scale yet: the left edge
  EXPECT_GT(CountColour(image, QRect(48, axis + 2, 10, 12), kBlue), 0);
  EXPECT_GT(CountOther(image, QRect(2, 0, 40, 10), bg), 0);
}

TEST(GraphicPanel, MarkersAreDrawnInTheirColoursAtTheirColumnsAndPinnedAtTheEdges) {
  TGraphicPanel panel(nullptr);
  panel.resize(400, 200);  // plot 344 px for 100 samples: 3.44 px each
  const std::vector<double> v = Ramp(100);
  panel.SetSeries(0, v.data(), kRed, 100);
  panel.AddMarker(0, 0, nullptr, QString(), kBlue, 10);  // x 82
  panel.AddMarker(
      0, 0, [](int32_t, double) {}, QString(), kGreen, 50);  // x 220, draggable
  panel.AddMarker(0, 0, nullptr, QString(), kBlue, -20);     // x 48
  panel.AddMarker(0, 0, nullptr, QString(), kGreen, 500);    // x 392
  panel.AddMarker(3, 0, nullptr, QString(), kRed, 70);       // not vertical
  const QImage image = Render(panel, QSize(400, 200));
  const int axis = 168;
  for (int x : {82, 48}) EXPECT_EQ(At(image, x, 4), kBlue) << x;
  for (int x : {220, 392}) EXPECT_EQ(At(image, x, 4), kGreen) << x;
  EXPECT_NE(At(image, 48 + 240, 4), kRed);  // trunc(48 + 70 · 3.44)
  // Triangles standing on the axis: 2 px for a fixed marker, 8 for a draggable one.
  EXPECT_EQ(At(image, 83, axis - 2), kBlue);
  EXPECT_NE(At(image, 83, axis - 4), kBlue);
  EXPECT_EQ(At(image, 224, axis - 8), kGreen);
  EXPECT_EQ(At(image, 216, axis - 8), kGreen);
  // The curve runs from the bottom left to the top right of the plot.
  EXPECT_GT(CountColour(image, QRect(48, 160, 10, 8), kRed), 0);
  EXPECT_GT(CountColour(image, QRect(380, 8, 12, 10), kRed), 0);
}

TEST(GraphicPanel, CaptionsInCyrillicRenderWithRealGlyphs) {
  const QFont font = TGraphicPanel::PanelFont();
  EXPECT_EQ(font.pointSize(), 7);
  const QFontMetrics metrics(font);
  EXPECT_TRUE(metrics.inFont(QChar(0x0416)));  // Ж
  EXPECT_TRUE(metrics.inFont(QChar(0x0449)));  // щ

  auto caption = [](const QString& text) {
    TGraphicPanel panel(nullptr);
    panel.SetTitle(text);
    const QImage image = Render(panel, QSize(300, 100));
    return image.copy(0, 0, 150, 12);
  };
  const QColor bg = TGraphicPanel(nullptr).backgroundColor;
  const QImage cyrillic = caption(QStringLiteral("Запрос на КП1"));
  EXPECT_GT(CountOther(cyrillic, cyrillic.rect(), bg), 20);
  EXPECT_NE(cyrillic, caption(QStringLiteral("Zapros na KP1")));
  // Two different Cyrillic letters give two different pictures: no
  // placeholder boxes.
  const QImage zhe = caption(QStringLiteral("ЖЖЖЖ"));
  const QImage sha = caption(QStringLiteral("ШШШШ"));
  EXPECT_GT(CountOther(zhe, zhe.rect(), bg), 10);
  EXPECT_GT(CountOther(sha, sha.rect(), bg), 10);
  EXPECT_NE(zhe, sha);
}

TEST(GraphicPanel, HidingMarkersBringsBackTheSampleNumbers) {
  TGraphicPanel panel(nullptr);
  const std::vector<double> v = Ramp(400);
  panel.SetSeries(0, v.data(), kRed, 400);
  for (int i = 0; i < 400; i += 40) panel.AddMarker(0, 0, nullptr, QString::number(i), kGreen, i);
  const QRect belowAxis(0, 168 + 2, 400, 30);
  QImage image = Render(panel, QSize(400, 200));
  EXPECT_EQ(CountColour(image, belowAxis, Qt::black), 0);
  EXPECT_GT(CountColour(image, belowAxis, kGreen), 0);
  panel.SetMarkersVisible(false);
  image = Render(panel, QSize(400, 200));
  EXPECT_GT(CountColour(image, belowAxis, Qt::black), 0);
  EXPECT_EQ(CountColour(image, image.rect(), kGreen), 0);
}

TEST(GraphicPanel, FixedRangeAndBackToAutomatic) {
  TGraphicPanel panel(nullptr);
  panel.resize(400, 200);
  const std::vector<double> v = {-0.1, 0.3, 0.2};
  panel.SetSeries(0, v.data(), kRed, 3);
  panel.SetSeries(1, v.data(), kBlue, 3);
  panel.SetYRange(1, -1);
  EXPECT_DOUBLE_EQ(panel.yMin[1], -1);
  EXPECT_DOUBLE_EQ(panel.yMax[1], 1);
  EXPECT_DOUBLE_EQ(panel.yMin[0], -1);
  panel.SetYRange(0, 0);
  EXPECT_EQ(panel.yMin[1], -0.1);
  EXPECT_EQ(panel.yMax[1], 0.3);
}

TEST(GraphicPanel, APanelNarrowerThanItsMarginsPaintsOnlyBackgroundAndCaption) {
  TGraphicPanel panel(nullptr);
  const std::vector<double> v = Ramp(50);
  panel.SetSeries(0, v.data(), kRed, 50);
  panel.AddMarker(
      0, 0, [](int32_t, double) { FAIL() << "dragged"; }, "1", kBlue, 5);
  panel.SetTitle("T");
  panel.resize(40, 120);
  panel.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
  const QImage image = Render(panel, QSize(40, 120));
  const QColor bg = panel.backgroundColor;
  EXPECT_EQ(CountOther(image, QRect(0, 14, 40, 106), bg), 0);
  EXPECT_GT(CountOther(image, QRect(0, 0, 40, 12), bg), 0);
  QTest::mousePress(&panel, Qt::LeftButton, Qt::NoModifier, QPoint(35, 85));
  QTest::mouseMove(&panel, QPoint(20, 85));
  QTest::mouseRelease(&panel, Qt::LeftButton, Qt::NoModifier, QPoint(20, 85));
}

class MarkerDrag : public ::testing::Test {
 protected:
  void SetUp() override {
    host.resize(400, 200);
    panel = new TGraphicPanel(&host);
    samples = Ramp(100);
    panel->SetSeries(0, samples.data(), kRed, 100);         // 3.44 px per sample
    panel->AddMarker(0, 0, nullptr, QString(), kBlue, 50);  // same column, not draggable
    panel->AddMarker(
        0, 7,
        [this](int32_t userData, double position) {
          moves.push_back({userData, position});
        },
        "f", kGreen, 50);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
  }

  QWidget host;
  TGraphicPanel* panel = nullptr;
  std::vector<double> samples;
  std::vector<std::pair<int32_t, double>> moves;
};

TEST_F(MarkerDrag, FillsItsHostAndTracksTheCursorOverTheTriangle) {
  EXPECT_EQ(panel->geometry(), host.rect());
  host.resize(500, 240);
  EXPECT_EQ(panel->size(), QSize(500, 240));
  host.resize(400, 200);
  QTest::mouseMove(panel, QPoint(221, 165));  // x 220, on the triangle
  EXPECT_EQ(panel->cursor().shape(), Qt::SizeHorCursor);
  QTest::mouseMove(panel, QPoint(221, 150));  // above it
  EXPECT_NE(panel->cursor().shape(), Qt::SizeHorCursor);
  EXPECT_TRUE(moves.empty());
}

TEST_F(MarkerDrag, DraggingMovesTheMarkerAndPinsItToThePlotEdges) {
  QTest::mousePress(panel, Qt::LeftButton, Qt::NoModifier, QPoint(222, 166));
  ASSERT_EQ(panel->dragMarker, panel->markers[1].get());
  QTest::mouseMove(panel, QPoint(300, 90));
  QTest::mouseMove(panel, QPoint(-30, 90));
  QTest::mouseMove(panel, QPoint(900, 90));
  QTest::mouseRelease(panel, Qt::LeftButton, Qt::NoModifier, QPoint(900, 90));
  EXPECT_EQ(panel->dragMarker, nullptr);
  ASSERT_EQ(moves.size(), 3u);
  EXPECT_EQ(moves[0].first, 7);
  EXPECT_DOUBLE_EQ(moves[0].second, 252 / 3.44);
  EXPECT_EQ(moves[1].second, 0.0);
  EXPECT_DOUBLE_EQ(moves[2].second, 100.0);  // the right edge: 344 px / 3.44
  EXPECT_DOUBLE_EQ(panel->markers[1]->position, 100.0);
  EXPECT_EQ(panel->markers[0]->position, 50.0);  // not draggable: untouched

  // After the release a move drags nothing.
  QTest::mouseMove(panel, QPoint(200, 90));
  EXPECT_EQ(moves.size(), 3u);
}

TEST_F(MarkerDrag, APressBesideTheTriangleGrabsNothing) {
  QTest::mousePress(panel, Qt::LeftButton, Qt::NoModifier, QPoint(226, 166));
  EXPECT_EQ(panel->dragMarker, nullptr);
  QTest::mouseMove(panel, QPoint(300, 90));
  QTest::mouseRelease(panel, Qt::LeftButton, Qt::NoModifier, QPoint(300, 90));
  EXPECT_TRUE(moves.empty());
}

TEST_F(MarkerDrag, AMoveHandlerMayClearTheMarkers) {
  panel->ClearMarkers();
  panel->AddMarker(
      0, 1, [this](int32_t, double) { panel->ClearMarkers(); }, "", kGreen, 50);
  QTest::mousePress(panel, Qt::LeftButton, Qt::NoModifier, QPoint(220, 166));
  QTest::mouseMove(panel, QPoint(300, 90));
  EXPECT_TRUE(panel->markers.empty());
  EXPECT_EQ(panel->dragMarker, nullptr);
  QTest::mouseMove(panel, QPoint(310, 90));
  QTest::mouseRelease(panel, Qt::LeftButton, Qt::NoModifier, QPoint(310, 90));
}

TEST(ShowElementsOnGraph, ATelegramFromTheModemBecomesCurveStrobesAndNumberedBits) {
  RequestDescriptor request;
  request.KpAddress = 5;
  request.FunctionCode = 0x90;
  request.Group = 2;
  const testing::ReceivedTelegram telegram = testing::ReceiveRequest(request);
  ASSERT_GT(telegram.bitCount, 40);
  const auto& records = telegram.records;

  TGraphicPanel panel(nullptr);
  panel.resize(1200, 300);
  ShowElementsOnGraph(panel, records.data(), static_cast<int32_t>(records.size()), kBlue, true);

  ASSERT_EQ(panel.series[0].Count(), static_cast<int32_t>(records.size()));
  for (size_t i = 0; i < records.size(); ++i) {
    ASSERT_EQ(panel.series[0].samples[i], records[i].Value) << i;
  }
  EXPECT_EQ(panel.series[0].colour, kBlue);
  int strobes = 0, bits = 0;
  size_t m = 0;
  for (size_t i = 0; i < records.size(); ++i) {
    if (records[i].Kind == skSample) continue;
    ASSERT_LT(m, panel.markers.size());
    const TGraphMarker& marker = *panel.markers[m++];
    EXPECT_EQ(marker.position, static_cast<double>(i));
    EXPECT_EQ(marker.orientation, 0);
    EXPECT_FALSE(marker.OnMove);
    if (records[i].Kind == skStrobe) {
      ++strobes;
      EXPECT_EQ(marker.colour, QColor(0, 0, 0xFF));
      EXPECT_TRUE(marker.text.isEmpty());
    } else {
      EXPECT_EQ(marker.colour, QColor(0, 0x80, 0));
      EXPECT_EQ(marker.text, QString::number(bits));
      ++bits;
    }
  }
  EXPECT_EQ(m, panel.markers.size());
  // One strobe where reception starts, then one bit sample per bit taken:
  // the 36 bits after the request's lead-in and the closing ones; the
  // telegram's length rounds them up to whole bytes.
  EXPECT_EQ(strobes, 1);
  EXPECT_GE(bits, 36 + 4);
  EXPECT_EQ(telegram.bitCount, (bits + 7) / 8 * 8);
  EXPECT_TRUE(panel.markersVisible);

  // Painted: green bit numbers below the axis instead of sample numbers.
  const QImage image = Render(panel, QSize(1200, 300));
  const QRect belowAxis(0, 270, 1200, 30);
  EXPECT_GT(CountColour(image, belowAxis, kGreen), 0);
  EXPECT_EQ(CountColour(image, belowAxis, Qt::black), 0);

  // Shown again with markers off, then with no records at all.
  ShowElementsOnGraph(panel, records.data(), static_cast<int32_t>(records.size()), Qt::black,
                      false);
  EXPECT_FALSE(panel.markersVisible);
  EXPECT_EQ(panel.markers.size(), static_cast<size_t>(1 + bits));
  ShowElementsOnGraph(panel, nullptr, 100, Qt::black, true);
  EXPECT_EQ(panel.series[0].Count(), 0);
  EXPECT_TRUE(panel.markers.empty());
  EXPECT_EQ(panel.gridStepX, 0);
}

}  // namespace
}  // namespace sorvex
