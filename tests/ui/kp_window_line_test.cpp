// End to end: a simulated line with Gts, Gtit and БО exchanges for KP 3
// plays through the main window (loopback device, reception switched on by
// its button, its own dispatch tick), with the KP windows built after it
// and hooked up as the program does it. The KP state window, brought up by
// its toolbar button, shows the answers' TS lamps, TIT values and БО flags
// with no further user action: nothing but the event loop runs between the
// answers and the pictures.
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

#include "sim/scenario.h"
#include "ui/kp/kp_draw_panel.h"
#include "ui/kp/kp_form.h"
#include "ui/kp/kp_pages.h"
#include "ui/kp/tit_form.h"
#include "ui_test_util.h"
#include "window_fixture.h"

namespace sorvex {
namespace {

using testing::At;

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

// What the window last painted of its PnDraw (its backing store, not a
// fresh rendering).
template <typename Form>
QImage OnScreen(Form& form) {
  const QImage window = form.screen()->grabWindow(form.winId()).toImage();
  const QRect panel(form.PnDraw->mapTo(&form, QPoint(0, 0)), form.PnDraw->size());
  return window.copy(panel).convertToFormat(QImage::Format_RGB32);
}

QColor LampFill(const QImage& image, const KpRect& square) {
  return At(image, (square.left + square.right) / 2, square.top + 2);
}

const QColor kSilver = ColorRefToQColor(kClSilver);
const QColor kYellow = ColorRefToQColor(kClYellow);
const QColor kGreen = ColorRefToQColor(kClGreen);

class KpWindowOnTheLine : public testing::WindowTest {
 protected:
  // The program's start-up: the main window, then the KP state window, then
  // the KP telemetering window, and the main window's KP-window hooks.
  void StartUp() {
    OpenOnLine();
    formKp = std::make_unique<TFormKp>(Ini(), Monitor().KpStats());
    formTit = std::make_unique<TFormTit>(Ini(), Monitor().KpStats());
    form->SetKpFormHooks([this] { formKp->ShowRestored(); }, [this] { formKp->Update(); });
  }
  void TearDown() override {
    form->SetKpFormHooks({}, {});
    formTit.reset();
    formKp.reset();
    WindowTest::TearDown();
  }

  // Plays the scenario (KP answers after their requests) and half a second
  // of silence, block by block: 13 window ticks per block, then the event
  // loop's turn.
  void PlayScenario(const std::string& scenario) {
    std::vector<int16_t> frames;
    std::string error;
    ASSERT_TRUE(RunScenario("settings modem.ini\nsilence 100\n" + scenario, dir.Path().string(),
                            frames, error))
        << error;
    const int64_t count = static_cast<int64_t>(frames.size() / 2);
    loop->QueueInput(frames.data(), count);
    for (int64_t b = 0; b < (count + 1023) / 1024 + 4; ++b) {
      loop->Pump(1);
      Tick(13);
      QCoreApplication::processEvents();
    }
  }

  std::unique_ptr<TFormKp> formKp;
  std::unique_ptr<TFormTit> formTit;
};

TEST_F(KpWindowOnTheLine, TheKpStateWindowShowsKp3sLampsValuesAndFlagsAsTheyArrive) {
  StartUp();
  EXPECT_FALSE(formKp->isVisible());
  Click(Work().SbShowKpForm);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(formKp.get()));
  EXPECT_TRUE(formKp->isVisible());
  formKp->EdKp->setValue(3);
  QCoreApplication::processEvents();
  Click(Work().SBtStartStop);
  PaintCounter paints(formKp->PnDraw), barPaints(formKp->Panel1);

  // TS: group 1 = 0x3A (bits 1, 3, 4, 5), group 4 = 0xC1 (bits 0, 6, 7); KP
  // 5's answer in between lands on KP 5.
  const QImage before = OnScreen(*formKp);
  const TsLayout l = TsPageLayout(before.width(), before.height());
  EXPECT_EQ(LampFill(before, TsLampSquare(l, 0, 1)), kSilver);
  PlayScenario(
      "exchange 3 Gts 1 bytes=3A\n"
      "exchange 5 Gts 1 bytes=FF\n"
      "exchange 3 Gts 4 bytes=C1\n");
  EXPECT_GE(paints.paints, 3);
  EXPECT_EQ(barPaints.paints, 0);
  const QImage ts = OnScreen(*formKp);
  for (int bit = 0; bit < 8; ++bit) {
    EXPECT_EQ(LampFill(ts, TsLampSquare(l, 0, bit)), (0x3A >> bit) & 1 ? kYellow : kGreen)
        << "1:" << bit + 1;
    EXPECT_EQ(LampFill(ts, TsLampSquare(l, 3, bit)), (0xC1 >> bit) & 1 ? kYellow : kGreen)
        << "4:" << bit + 1;
    for (int row : {1, 2, 4, 5, 6, 7}) {
      EXPECT_EQ(LampFill(ts, TsLampSquare(l, row, bit)), kSilver) << row + 1 << ":" << bit + 1;
    }
  }

  // TIT, with the page chosen before the answer comes: group 2's cells are
  // exactly those of a page painted from the values the answer carried.
  formKp->TbData->setCurrentIndex(1);
  PlayScenario("exchange 3 Gtit 2 words=100,0x0805,2047,0,1,0x0FFF,300,7\n");
  const QImage tit = OnScreen(*formKp);
  const KpTelemetryBlock* block = KpBlock(Monitor().KpStats(), 3);
  ASSERT_NE(block, nullptr);
  KpTelemetryBlock expected{};
  expected.TitTimes[1] = block->TitTimes[1];  // the time the line gave it
  const int16_t values[8] = {100, -5, 2047, 0, 1, -2047, 300, 7};
  for (int k = 0; k < 8; ++k) expected.TitValues[1][k] = values[k];
  QImage reference(tit.size(), QImage::Format_RGB32);
  {
    QPainter painter(&reference);
    PaintTitPage(painter, tit.size(), &expected,
                 KpPageStyle{KpSystemColours::FromPalette(formKp->palette()), formKp->font()});
  }
  EXPECT_EQ(tit, reference);  // times of groups 1, 3, 4 unknown, their values grey zeros

  // БО: bytes 06, 81 make the word 0x8106: flags 1, 2, 8 and 15 yellow.
  formKp->TbData->setCurrentIndex(2);
  PlayScenario("exchange 3 Bo bytes=06,81\n");
  const QImage bo = OnScreen(*formKp);
  for (int bit = 0; bit < 16; ++bit) {
    EXPECT_EQ(At(bo, 10, BoLampSquare(bit).top + 4), (0x8106 >> bit) & 1 ? kYellow : kGreen) << bit;
  }

  // The telemetering window was built but nothing showed it; shown now, it
  // has KP 3's group 2 in window colour.
  EXPECT_FALSE(formTit->isVisible());
  formTit->EdKp->setValue(3);
  formTit->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(formTit.get()));
  QCoreApplication::processEvents();
  const QImage window = OnScreen(*formTit);
  const TitLayout tl = TitWindowLayout(window.width(), window.height());
  const QColor base = KpSystemColours::FromPalette(formTit->palette()).window;
  for (int g = 0; g < 4; ++g) {
    const KpRect r = TitValueRect(tl, g, 0);
    EXPECT_EQ(At(window, r.left + 2, r.top + 2) == base, g == 1) << g;
  }

  // "Сбросить статистику": the records are gone, and the state window's
  // lamps with them, at once.
  prompts->Answers.push_back(true);
  Click(Work().BtReset);
  QCoreApplication::processEvents();
  const QImage reset = OnScreen(*formKp);
  for (int bit = 0; bit < 16; ++bit)
    EXPECT_EQ(At(reset, 10, BoLampSquare(bit).top + 4), kSilver) << bit;
}

TEST_F(KpWindowOnTheLine, TheToolbarButtonRestoresAMinimisedKpWindow) {
  StartUp();
  formKp->showMinimized();
  QCoreApplication::processEvents();
  ASSERT_TRUE(formKp->isMinimized());
  Click(Work().SbShowKpForm);
  QCoreApplication::processEvents();
  EXPECT_TRUE(formKp->isVisible());
  EXPECT_FALSE(formKp->isMinimized());
}

}  // namespace
}  // namespace sorvex
