// End to end below the main window: a simulated line with Gts, Gtit and БО
// exchanges for KP 3 runs through the two-channel device and the monitor;
// the monitor's "KP window changed" goes to TFormKp::Update, and the KP
// state window shows the answers' data with no user action.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPainter>
#include <QScreen>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "modem/modem_device.h"
#include "monitor/monitor.h"
#include "sim/loopback_stream.h"
#include "sim/scenario.h"
#include "sim/signal_time_driver.h"
#include "support/temp_dir.h"
#include "ui/kp_draw_panel.h"
#include "ui/kp_form.h"
#include "ui/kp_pages.h"
#include "ui_test_util.h"
#include "util/date_time.h"

namespace sorvex {
namespace {

using testing::At;
using testing::PutFile;
using testing::TTempDir;

const char* const kModem1200 =
    "[GENERAL]\nBaudrate=1200\nFreq0=1300\nFreq1=2100\n[FILTERS]\nSmoothing_Freq1=1500\n";

// TS group 1 = 0x3A (bits 1, 3, 4, 5), group 4 = 0xC1 (bits 0, 6, 7); TIT
// group 2 = 100, −5, 2047, 0, 1, −2047, 300, 7; БО word 0x8106 (bits 1, 2,
// 8, 15). A Gts for KP 5 in between must not show on KP 3.
const char* const kScenario =
    "silence 200\n"
    "exchange 3 Gts 1 bytes=3A\n"
    "exchange 5 Gts 1 bytes=FF\n"
    "exchange 3 Gts 4 bytes=C1\n"
    "exchange 3 Gtit 2 words=100,0x0805,2047,0,1,0x0FFF,300,7\n"
    "exchange 3 Bo bytes=06,81\n";

struct KpWindowObserver : TMonitorObserver {
  void KpWindowChanged() override {
    ++changes;
    for (TFormKp* form : forms) form->Update();
  }
  std::vector<TFormKp*> forms;
  int changes = 0;
};

class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QObject* watched) { watched->installEventFilter(this); }
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

// What the window last painted of PnDraw (its backing store, not a fresh
// rendering).
QImage OnScreen(TFormKp& form) {
  const QImage window = form.screen()->grabWindow(form.winId()).toImage();
  const QRect panel(form.PnDraw->mapTo(&form, QPoint(0, 0)), form.PnDraw->size());
  return window.copy(panel).convertToFormat(QImage::Format_RGB32);
}

QColor LampFill(const QImage& image, const KpRect& square) {
  return At(image, (square.left + square.right) / 2, square.top + 2);
}

class KpWindowOnTheLine : public ::testing::Test {
 protected:
  void SetUp() override {
    PutFile(dir.File("modem.ini"), kModem1200);
    std::string error;
    ASSERT_TRUE(RunScenario(std::string("settings modem.ini\n") + kScenario, dir.Path().string(),
                            frames, error))
        << error;
  }

  // Plays the recording and then a second of silence, block by block, with
  // the dispatch ticking on signal time and Qt handling its events after
  // every block, as the window's event loop would.
  void Play() {
    auto stream = std::make_unique<TLoopbackStream>();
    TLoopbackStream* loop = stream.get();
    monitor.StartDevice(std::make_unique<TModemDevice>(dir.File("modem.ini"), std::move(stream)),
                        0.1, 0.1);
    monitor.BtStartStopClick(true);
    loop->QueueInput(frames.data(), static_cast<int64_t>(frames.size() / 2));
    TSignalTimeDriver driver(monitor, clock);
    const int64_t blocks = static_cast<int64_t>(frames.size() / 2) / 1024 + 8;
    for (int64_t b = 0; b < blocks; ++b) {
      loop->Pump(1);
      driver.BlockDone();
      QCoreApplication::processEvents();
    }
    monitor.StopDevice();
  }

  TTempDir dir{"sorvex_kp_line"};
  std::vector<int16_t> frames;
  TManualClock clock{EncodeDateTime({2026, 12, 8, 10, 0, 0, 0})};
  KpWindowObserver observer;
  TMonitor monitor{clock, observer};
};

TEST_F(KpWindowOnTheLine, TheKpStateWindowShowsKp3sLampsValuesAndFlagsWithoutAnyUserAction) {
  // One window per page, all on KP 3, shown before the line starts.
  std::vector<std::unique_ptr<TFormKp>> forms;
  for (int page = 0; page < 3; ++page) {
    forms.push_back(std::make_unique<TFormKp>(dir.File("Sorvex.ini"), monitor.KpStats()));
    TFormKp& form = *forms.back();
    form.EdKp->setValue(3);
    form.TbData->setCurrentIndex(page);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    observer.forms.push_back(&form);
  }
  QCoreApplication::processEvents();
  TFormKp& ts = *forms[0];
  TFormKp& tit = *forms[1];
  TFormKp& bo = *forms[2];
  const QColor silver = ColorRefToQColor(kClSilver);
  const QColor yellow = ColorRefToQColor(kClYellow);
  const QColor green = ColorRefToQColor(kClGreen);
  {
    const QImage before = OnScreen(ts);
    const TsLayout l = TsPageLayout(before.width(), before.height());
    for (int bit = 0; bit < 8; ++bit) EXPECT_EQ(LampFill(before, TsLampSquare(l, 0, bit)), silver);
  }
  PaintCounter paints(ts.PnDraw), panelPaints(ts.Panel1);

  Play();

  // Five valid answers, each followed by a repaint of PnDraw alone.
  EXPECT_EQ(observer.changes, 5);
  EXPECT_GE(paints.paints, 1);
  EXPECT_EQ(panelPaints.paints, 0);
  const KpTelemetryBlock* block = KpBlock(monitor.KpStats(), 3);
  ASSERT_NE(block, nullptr);

  // TS: rows 1 and 4 lit by their bytes, the others silver.
  const QImage tsImage = OnScreen(ts);
  const TsLayout l = TsPageLayout(tsImage.width(), tsImage.height());
  for (int bit = 0; bit < 8; ++bit) {
    const bool row1 = (0x3A >> bit) & 1;
    const bool row4 = (0xC1 >> bit) & 1;
    EXPECT_EQ(LampFill(tsImage, TsLampSquare(l, 0, bit)), row1 ? yellow : green) << "1:" << bit + 1;
    EXPECT_EQ(LampFill(tsImage, TsLampSquare(l, 3, bit)), row4 ? yellow : green) << "4:" << bit + 1;
    for (int row : {1, 2, 4, 5, 6, 7}) {
      EXPECT_EQ(LampFill(tsImage, TsLampSquare(l, row, bit)), silver) << row + 1 << ":" << bit + 1;
    }
  }

  // TIT: row 2's cells are exactly those of a page painted from the values
  // the answer carried (with the reception times the line gave them).
  KpTelemetryBlock expected{};
  expected.TitTimes[1] = block->TitTimes[1];
  const int16_t values[8] = {100, -5, 2047, 0, 1, -2047, 300, 7};
  for (int k = 0; k < 8; ++k) expected.TitValues[1][k] = values[k];
  const QImage titImage = OnScreen(tit);
  QImage reference(titImage.size(), QImage::Format_RGB32);
  {
    QPainter painter(&reference);
    PaintTitPage(painter, titImage.size(), &expected,
                 KpPageStyle{KpSystemColours::FromPalette(tit.palette()), tit.font()});
  }
  const TitLayout tl = TitPageLayout(titImage.width(), titImage.height());
  for (int g = 0; g < 4; ++g) {
    for (int k = 0; k < 8; ++k) {
      const KpRect r = TitValueRect(tl, g, k);
      const QRect cell(r.left, r.top, r.Width(), r.Height());
      EXPECT_EQ(titImage.copy(cell), reference.copy(cell)) << g + 1 << "/" << k + 1;
    }
  }
  EXPECT_EQ(TitValueText(block, 1, 1), QStringLiteral("-5"));

  // БО: flags 1, 2, 8 and 15 yellow, the other twelve green.
  const QImage boImage = OnScreen(bo);
  for (int bit = 0; bit < 16; ++bit) {
    const bool set = (0x8106 >> bit) & 1;
    EXPECT_EQ(At(boImage, 10, BoLampSquare(bit).top + 4), set ? yellow : green) << bit;
  }

  // KP 5's answer went to KP 5 only.
  EXPECT_EQ(KpBlock(monitor.KpStats(), 5)->TsBytes[0], 0xFF);
  EXPECT_EQ(block->TsBytes[0], 0x3A);
}

}  // namespace
}  // namespace sorvex
