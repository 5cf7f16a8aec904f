// The KP history window in the main window: Ctrl+H opens it, measurements
// fed through the monitor's observer show as points, a drag zooms and a
// double-click restores, Ctrl+S writes the CSV whole or not at all, and its
// INI keys come back. Also the oscillograph's measurement caption.
#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QSpinBox>
#include <QTest>
#include <algorithm>
#include <filesystem>
#include <sstream>

#include "monitor/measurement_text.h"
#include "support/file_size_limit.h"
#include "support/russian_locale.h"
#include "ui/controls/graphic_panel.h"
#include "ui/history/history_form.h"
#include "ui/history/history_plot.h"
#include "window_fixture.h"

namespace sorvex::testing {
namespace {

namespace fs = std::filesystem;

// A KP whose modem drifts: tones and rate creep up telegram by telegram.
TTelegramMeasurement Drifting(uint8_t kp, int n, uint8_t channel, bool valid = true) {
  TTelegramMeasurement m;
  m.kp = kp;
  m.channel = channel;
  m.valid = valid;
  m.time = EncodeDateTime({2026, 12, 9, 10, 0, 0, 0}) + n * 10.0 / 86400;
  m.setF0Hz = 1300;
  m.setF1Hz = 2100;
  m.setBitRate = 1200;
  m.f0Hz = 1300 + 0.25 * n;
  m.f1Hz = 2100 + 0.25 * n + 0.05;
  m.bitRate = 1200 * (1 + 0.0001 * n);
  m.levelDb = -10 - 0.02 * n;
  m.snrDb = 30 - 0.05 * n;
  return m;
}

int CountColour(const QImage& image, QColor colour, int top = 0, int bottom = -1) {
  if (bottom < 0) bottom = image.height();
  int n = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = 0; x < image.width(); ++x) n += image.pixelColor(x, y) == colour;
  return n;
}

THistoryLayout LayoutOf(const QSize& size) {
  return HistoryLayout(size.width(), size.height(), THistoryPlot::kLeft,
                       THistoryPlot::kLegendHeight, THistoryPlot::kAxisHeight);
}

// Inside the plots only, not in the legends above them.
int CountPoints(const QImage& image, QColor colour) {
  int n = 0;
  for (const TPixelRect& pane : LayoutOf(image.size()).panes)
    n += CountColour(image, colour, pane.top, pane.Bottom());
  return n;
}

class KpHistory : public WindowTest {
 protected:
  THistoryForm& History() { return *form->HistoryForm(); }
  THistoryPlot& Plot() { return *History().PnPlot; }
  void Feed(int count, uint8_t kp = 5) {
    for (int n = 0; n < count; ++n)
      form->Observer().TelegramMeasured(Drifting(kp, n, n % 2, n % 10 != 9));
  }
  QImage Render() {
    QImage image(Plot().size(), QImage::Format_RGB32);
    QPainter painter(&image);
    Plot().Paint(painter, image.size());
    return image;
  }
  void Drag(int from, int to) {
    const int y = Plot().height() / 2;
    QTest::mousePress(&Plot(), Qt::LeftButton, {}, QPoint(from, y));
    QTest::mouseMove(&Plot(), QPoint(to, y));
    QTest::mouseRelease(&Plot(), Qt::LeftButton, {}, QPoint(to, y));
  }
};

TEST_F(KpHistory, CtrlHOpensItAndTheObserversPointsShowUp) {
  Open();
  EXPECT_FALSE(History().isVisible());
  EXPECT_FALSE(Work().SbShowHistory->icon().isNull());
  QTest::keyClick(form.get(), Qt::Key_H, Qt::ControlModifier);
  ASSERT_TRUE(History().isVisible());
  EXPECT_EQ(History().windowTitle(), "История КП");

  History().EdKp->setValue(5);
  Feed(100);
  Feed(3, 7);
  EXPECT_EQ(form->History().Points(5).size(), 100u);
  EXPECT_EQ(History().LbCount->text(), "Телеграмм: 100");

  // Every quantity's 45 valid answers (overlapping 2 × 2 dots), and a red cross per invalid
  // telegram in each of the three panes.
  const QImage image = Render();
  for (const THistoryQuantity q : {THistoryQuantity::Level, THistoryQuantity::Noise,
                                   THistoryQuantity::Snr, THistoryQuantity::F0Deviation,
                                   THistoryQuantity::F1Deviation, THistoryQuantity::RateDeviation})
    EXPECT_GE(CountPoints(image, THistoryPlot::PointColour(q, 1)), 2 * 45) << static_cast<int>(q);
  const THistoryLayout layout =
      HistoryLayout(image.width(), image.height(), THistoryPlot::kLeft, THistoryPlot::kLegendHeight,
                    THistoryPlot::kAxisHeight);
  for (const TPixelRect& pane : layout.panes)
    EXPECT_GE(CountColour(image, THistoryPlot::kInvalidColour, pane.top, pane.Bottom()), 10 * 5);

  History().EdKp->setValue(6);  // a KP without telegrams: an empty plot, no time labels
  const QImage empty = Render();
  EXPECT_EQ(CountPoints(empty, THistoryPlot::PointColour(THistoryQuantity::Level, 1)), 0);
  const int axisTop = LayoutOf(empty.size()).axisTop;  // right of the value labels
  EXPECT_EQ(CountColour(empty.copy(THistoryPlot::kLeft, axisTop,
                                   empty.width() - THistoryPlot::kLeft, empty.height() - axisTop),
                        Qt::black),
            0);
}

TEST_F(KpHistory, ADragZoomsToItsStretchAndADoubleClickShowsAll) {
  Open();
  History().EdKp->setValue(5);
  History().ShowRestored();
  Feed(200);
  const THistorySpan full = Plot().Span();
  const TPixelRect plot = LayoutOf(Plot().size()).panes[0];
  const QColor level = THistoryPlot::PointColour(THistoryQuantity::Level, 1);
  const int allPoints = CountPoints(Render(), level);

  const int a = plot.left + plot.width / 4, b = plot.left + plot.width / 2;
  Drag(b, a);  // either way
  ASSERT_TRUE(Plot().Zoomed());
  EXPECT_NEAR(Plot().Span().t0, XToTime(plot, full, a), 1e-9);
  EXPECT_NEAR(Plot().Span().t1, XToTime(plot, full, b), 1e-9);
  // A quarter of the telegrams, spread over the whole width: fewer points
  // overlap, but none of the others are drawn.
  const int zoomedPoints = CountPoints(Render(), level);
  EXPECT_GT(zoomedPoints, 0);
  EXPECT_LT(zoomedPoints, allPoints);

  Drag(a, a + 2);  // too short: a click
  EXPECT_TRUE(Plot().Zoomed());
  QTest::mouseDClick(&Plot(), Qt::LeftButton, {}, QPoint(a, Plot().height() / 2));
  EXPECT_FALSE(Plot().Zoomed());
  EXPECT_EQ(Plot().Span(), full);
  EXPECT_EQ(CountPoints(Render(), level), allPoints);
}

// Under a Russian locale too: the numbers keep their decimal point.
TEST_F(KpHistory, CtrlSWritesEveryKpsHistoryAsCsv) {
  TRussianLocale russian;
  if (!russian.Active()) GTEST_SKIP() << TRussianLocale::kMissing;
  Open();
  History().ShowRestored();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&History()));
  Feed(20, 5);
  Feed(10, 12);
  const std::string path = dir.File("history.csv");
  prompts->Files.push_back(QString::fromStdString(path));
  QTest::keyClick(&History(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(prompts->Notices.empty());

  std::vector<TTelegramMeasurement> all = form->History().Points(5);
  all.insert(all.end(), form->History().Points(12).begin(), form->History().Points(12).end());
  std::stable_sort(all.begin(), all.end(),
                   [](const auto& x, const auto& y) { return x.time < y.time; });
  std::istringstream csv(GetFile(path));
  std::string line;
  std::vector<std::vector<std::string>> rows;
  while (std::getline(csv, line)) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string cell; std::getline(cells, cell, ',');) fields.push_back(cell);
    rows.push_back(fields);
  }
  ASSERT_EQ(rows.size(), 31u);
  EXPECT_EQ(rows[0], std::vector<std::string>(kMeasurementColumnNames.begin(),
                                              kMeasurementColumnNames.end()));
  for (size_t i = 0; i < all.size(); ++i) {
    const auto fields = MeasurementFields(all[i]);
    EXPECT_EQ(rows[i + 1], std::vector<std::string>(fields.begin(), fields.end())) << i;
  }
  EXPECT_EQ(rows[3][3], "1300.2");  // KP 5's second telegram (after KP 12's first), F0 1300.25
  EXPECT_EQ(rows[3][5], "1200.12");
}

TEST_F(KpHistory, AFailedSaveSaysWhyAndLeavesTheTargetAsItWas) {
  Open();
  Feed(200);
  const std::string path = dir.File("history.csv");
  PutFile(path, "old\n");
  const auto files = [this] {
    return std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator());
  };
  const auto before = files();
  prompts->Files.push_back(QString::fromStdString(path));
  {
    const TFileSizeLimit limit(1024);  // the disk fills after 1 KiB
    EXPECT_FALSE(History().SaveCsv());
  }
  ASSERT_EQ(prompts->Notices.size(), 1u);
  EXPECT_TRUE(prompts->Notices[0].startsWith("История КП не сохранена в "));
  EXPECT_EQ(GetFile(path), "old\n");
  EXPECT_EQ(files(), before);

  prompts->Files.push_back(QString::fromStdString(dir.File("missing/history.csv")));
  EXPECT_FALSE(History().SaveCsv());
  EXPECT_EQ(prompts->Notices.size(), 2u);
  EXPECT_FALSE(fs::exists(dir.File("missing")));
  EXPECT_FALSE(History().SaveCsv());  // cancelled: no notice
  EXPECT_EQ(prompts->Notices.size(), 2u);
}

TEST_F(KpHistory, ItsGeometryAndKpComeBackFromTheIni) {
  Open();
  History().EdKp->setValue(17);
  History().resize(700, 420);
  History().move(30, 40);
  Reopen();
  EXPECT_EQ(IniReadInt(Ini(), "FormHistoryKp", 0), 17);
  EXPECT_EQ(IniReadInt(Ini(), "FormHistoryWidth", 0), 700);
  EXPECT_EQ(IniReadInt(Ini(), "FormHistoryHeight", 0), 420);
  EXPECT_EQ(History().Kp(), 17);
  EXPECT_EQ(History().size(), QSize(700, 420));
  EXPECT_EQ(History().pos(), QPoint(30, 40));
}

TEST_F(KpHistory, TheOscillographShowsTheTelegramsMeasurementBesideItsCaption) {
  Open();
  std::vector<TSignalRecord> records(400);
  for (size_t i = 0; i < records.size(); ++i) {
    records[i].Value = (i / 40) % 2 ? 0.5 : -0.5;
    records[i].Kind = i % 10 == 5 ? skBitSample : skSample;  // 40 bits
  }
  TTelegramMeasurement m = Drifting(5, 0, 1);
  m.setF0Hz = 2540;
  m.setF1Hz = 2760;
  m.setBitRate = 200;
  m.f0Hz = 2558.1;
  m.f1Hz = 2778.04;
  m.bitRate = 201.8;  // +0.9 %: past a quarter bit over 40 bits (0.625 %)
  form->Observer().ShowTelegram(records.data(), static_cast<int>(records.size()), TraceColour::Blue,
                                "КП=5; ОТ; ");
  form->Observer().ShowMeasurement(m);
  TGraphicPanel& osc = *Work().OscillographPanel;
  EXPECT_EQ(osc.title, "КП=5; ОТ; ");
  ASSERT_EQ(osc.captionParts.size(), 3u);
  EXPECT_EQ(osc.captionParts[0].text, "F0 2558.1 Гц (+18.1)");
  EXPECT_EQ(osc.captionParts[1].text, "F1 2778.0 Гц (+18.0)");
  EXPECT_EQ(osc.captionParts[2].text, "201.8 бит/с (+0.9 %)");
  EXPECT_EQ(osc.captionParts[0].colour, osc.textColor);
  EXPECT_EQ(osc.captionParts[2].colour, QColor(0xFF, 0, 0));
  QImage image(osc.size(), QImage::Format_RGB32);
  {
    QPainter painter(&image);
    osc.Paint(painter, image.size());
  }
  const int captionRows = QFontMetrics(TGraphicPanel::PanelFont()).height();
  EXPECT_GT(CountColour(image, QColor(0xFF, 0, 0), 0, captionRows), 20);

  // The next telegram comes unmeasured: its caption stands alone.
  form->Observer().ShowTelegram(records.data(), 100, TraceColour::Blue, "КП=6; ОТ; ");
  EXPECT_TRUE(osc.captionParts.empty());
}

}  // namespace
}  // namespace sorvex::testing
