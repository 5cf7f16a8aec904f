// The KP state window and the KP telemetering window as windows: their INI
// keys, minimum sizes, what repaints, and that PnDraw shows the page.
#include "ui/kp/kp_form.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QPainter>
#include <QSpinBox>
#include <QTabBar>
#include <QTest>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "kp_test_util.h"
#include "monitor/kp_record_list.h"
#include "support/temp_dir.h"
#include "ui/kp/kp_draw_panel.h"
#include "ui/kp/kp_pages.h"
#include "ui/kp/tit_form.h"
#include "ui_test_util.h"
#include "util/config.h"

namespace sorvex {
namespace {

using testing::At;
using testing::CountNear;
using testing::GetFile;
using testing::PutFile;
using testing::TKpAnswers;
using testing::TTempDir;

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

// The keys of section "System" in the order they stand in the file.
std::vector<std::string> KeyLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(GetFile(path));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find('=') != std::string::npos) lines.push_back(line);
  }
  return lines;
}

template <typename Form>
void ShowExposed(Form& form) {
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  QCoreApplication::processEvents();
}

// What PnDraw puts on the screen, and what the page routine draws at its size.
template <typename Form>
QImage Shown(Form& form) {
  return form.PnDraw->grab().toImage().convertToFormat(QImage::Format_RGB32);
}
template <typename Form>
QImage Painted(Form& form) {
  QImage image(form.PnDraw->size(), QImage::Format_RGB32);
  QPainter painter(&image);
  form.Paint(painter, form.PnDraw->size());
  return image;
}

class KpWindows : public ::testing::Test {
 protected:
  TTempDir dir{"sorvex_kp_windows"};
  std::string ini = dir.File("Sorvex.ini");
  TKpRecordList list;
};

TEST_F(KpWindows, KpFormFirstStartOpensAt640By480AtTheOriginAndWritesEveryKeyInOrder) {
  {
    TFormKp form(ini, list);
    EXPECT_EQ(form.size(), QSize(640, 480));
    EXPECT_EQ(form.pos(), QPoint(0, 0));
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Состояние КП"));
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_FALSE(form.testAttribute(Qt::WA_QuitOnClose));
    EXPECT_EQ(form.EdKp->value(), 1);
    EXPECT_EQ(form.EdKp->minimum(), 1);
    EXPECT_EQ(form.EdKp->maximum(), 31);  // every KP a line carries
    EXPECT_EQ(form.Panel1->height(), 30);
    ASSERT_EQ(form.TbData->count(), 3);
    EXPECT_EQ(form.TbData->tabText(0), QStringLiteral("ТС"));
    EXPECT_EQ(form.TbData->tabText(1), QStringLiteral("ТИТ"));
    EXPECT_EQ(form.TbData->tabText(2), QStringLiteral("БО"));
    EXPECT_EQ(form.TbData->currentIndex(), 0);
    EXPECT_EQ(form.findChild<QSpinBox*>("EdKp"), form.EdKp);
    EXPECT_EQ(form.findChild<QTabBar*>("TbData"), form.TbData);
    EXPECT_EQ(form.findChild<QWidget*>("PnDraw"), form.PnDraw);
    EXPECT_EQ(form.findChild<QWidget*>("Panel1"), form.Panel1);
    // Read in this order; every absent key was written with its default.
    EXPECT_EQ(KeyLines(ini),
              (std::vector<std::string>{"FormKpTop=0", "FormKpLeft=0", "FormKpHeight=480",
                                        "FormKpWidth=640", "FormKpAddr=1"}));
  }
  EXPECT_EQ(KeyLines(ini).size(), 5u);  // destruction rewrites the same keys
}

TEST_F(KpWindows, TitFormFirstStartOpensAt640By480AtTheOriginAndWritesEveryKeyInOrder) {
  TFormTit form(ini, list);
  EXPECT_EQ(form.size(), QSize(640, 480));
  EXPECT_EQ(form.pos(), QPoint(0, 0));
  EXPECT_EQ(form.windowTitle(), QStringLiteral("Состояние датчиков ТИТ"));
  EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_FALSE(form.testAttribute(Qt::WA_QuitOnClose));
  EXPECT_FALSE(form.isVisible());  // no command shows it
  EXPECT_EQ(form.EdKp->value(), 1);
  EXPECT_EQ(form.EdKp->maximum(), 9);
  EXPECT_EQ(form.Panel1->height(), 30);
  EXPECT_EQ(KeyLines(ini),
            (std::vector<std::string>{"FormTitTop=0", "FormTitLeft=0", "FormTitWidth=640",
                                      "FormTitHeight=480", "FormTitKp=1"}));
}

TEST_F(KpWindows, GeometryAndKpSurviveARestart) {
  {
    TFormKp kp(ini, list);
    TFormTit tit(ini, list);
    kp.move(35, 17);
    kp.resize(700, 500);
    kp.EdKp->setValue(7);
    tit.move(300, 200);
    tit.resize(560, 190);
    tit.EdKp->setValue(4);
  }
  EXPECT_EQ(IniReadInt(ini, "FormKpTop", -1), 17);
  EXPECT_EQ(IniReadInt(ini, "FormKpLeft", -1), 35);
  EXPECT_EQ(IniReadInt(ini, "FormKpWidth", -1), 700);
  EXPECT_EQ(IniReadInt(ini, "FormKpHeight", -1), 500);
  EXPECT_EQ(IniReadInt(ini, "FormKpAddr", -1), 7);
  EXPECT_EQ(IniReadInt(ini, "FormTitTop", -1), 200);
  EXPECT_EQ(IniReadInt(ini, "FormTitLeft", -1), 300);
  EXPECT_EQ(IniReadInt(ini, "FormTitWidth", -1), 560);
  EXPECT_EQ(IniReadInt(ini, "FormTitHeight", -1), 190);
  EXPECT_EQ(IniReadInt(ini, "FormTitKp", -1), 4);
  TFormKp kp(ini, list);
  TFormTit tit(ini, list);
  EXPECT_EQ(kp.geometry().topLeft(), QPoint(35, 17));
  EXPECT_EQ(kp.size(), QSize(700, 500));
  EXPECT_EQ(kp.Kp(), 7);
  EXPECT_EQ(tit.geometry().topLeft(), QPoint(300, 200));
  EXPECT_EQ(tit.size(), QSize(560, 190));
  EXPECT_EQ(tit.Kp(), 4);
}

TEST_F(KpWindows, HandEditedValuesOutsideTheRangesAreKeptInside) {
  PutFile(ini,
          "[System]\nFormKpWidth=100\nFormKpHeight=-20\nFormKpAddr=42\n"
          "FormTitWidth=300\nFormTitHeight=50\nFormTitKp=0\n");
  {
    TFormKp kp(ini, list);
    TFormTit tit(ini, list);
    EXPECT_EQ(kp.size(), QSize(422, 357));
    EXPECT_EQ(kp.Kp(), 31);
    EXPECT_EQ(tit.size(), QSize(535, 180));
    EXPECT_EQ(tit.Kp(), 1);
  }
  EXPECT_EQ(IniReadInt(ini, "FormKpWidth", 0), 422);
  EXPECT_EQ(IniReadInt(ini, "FormKpAddr", 0), 31);
  EXPECT_EQ(IniReadInt(ini, "FormTitKp", 0), 1);
}

TEST_F(KpWindows, SizesBelowTheMinimumsAreRefused) {
  TFormKp kp(ini, list);
  TFormTit tit(ini, list);
  ShowExposed(kp);
  ShowExposed(tit);
  EXPECT_EQ(kp.minimumSize(), QSize(422, 357));
  EXPECT_EQ(tit.minimumSize(), QSize(535, 180));
  kp.resize(421, 600);
  EXPECT_EQ(kp.size(), QSize(422, 600));
  kp.resize(600, 356);
  EXPECT_EQ(kp.size(), QSize(600, 357));
  kp.resize(422, 357);
  EXPECT_EQ(kp.size(), QSize(422, 357));
  tit.resize(534, 179);
  EXPECT_EQ(tit.size(), QSize(535, 180));
  tit.resize(535, 180);
  EXPECT_EQ(tit.size(), QSize(535, 180));
  QCoreApplication::processEvents();
  // The smallest window still shows every lamp of the TS page.
  const TsLayout l = TsPageLayout(kp.PnDraw->width(), kp.PnDraw->height());
  EXPECT_GE(l.radius, 4) << kp.PnDraw->width() << "x" << kp.PnDraw->height();
}

TEST_F(KpWindows, UpdateRepaintsOnlyTheDrawingPanel) {
  TFormKp form(ini, list);
  ShowExposed(form);
  PaintCounter draw(form.PnDraw), panel(form.Panel1), edit(form.EdKp), tabs(form.TbData),
      window(&form);
  form.Update();
  QCoreApplication::processEvents();
  EXPECT_EQ(draw.paints, 1);
  EXPECT_EQ(panel.paints, 0);
  EXPECT_EQ(edit.paints, 0);
  EXPECT_EQ(tabs.paints, 0);
  EXPECT_EQ(window.paints, 0);
}

TEST_F(KpWindows, PnDrawShowsTheSelectedPageOfTheSelectedKpAndFollowsNewData) {
  TFormKp form(ini, list);
  ShowExposed(form);
  const QImage nothing = Shown(form);
  EXPECT_EQ(nothing, Painted(form));
  const KpPageStyle style{KpSystemColours::FromPalette(form.palette()), form.font()};
  const QColor silver = ColorRefToQColor(kClSilver);
  const QColor yellow = ColorRefToQColor(kClYellow);
  const QColor green = ColorRefToQColor(kClGreen);

  TKpAnswers answers(list);
  answers.Gts(2, 3, 0x81);
  form.Update();
  QCoreApplication::processEvents();
  EXPECT_EQ(Shown(form), nothing);  // KP 1 still has no record

  form.EdKp->setValue(2);  // EdKpChange repaints
  QCoreApplication::processEvents();
  QImage shown = Shown(form);
  EXPECT_EQ(shown, Painted(form));
  const TsLayout l = TsPageLayout(shown.width(), shown.height());
  for (int bit = 0; bit < 8; ++bit) {
    const KpRect s = TsLampSquare(l, 2, bit);
    EXPECT_EQ(At(shown, (s.left + s.right) / 2, s.top + 2), bit == 0 || bit == 7 ? yellow : green);
    const KpRect above = TsLampSquare(l, 1, bit);
    EXPECT_EQ(At(shown, (above.left + above.right) / 2, above.top + 2), silver);
  }

  // A new answer shows after Update alone.
  answers.Gts(2, 1, 0x02);
  form.Update();
  QCoreApplication::processEvents();
  shown = Shown(form);
  const KpRect s = TsLampSquare(l, 0, 1);
  EXPECT_EQ(At(shown, (s.left + s.right) / 2, s.top + 2), yellow);

  // TbDataChange repaints with the page chosen.
  answers.Bo(2, {0x00, 0x80});
  form.TbData->setCurrentIndex(2);
  QCoreApplication::processEvents();
  EXPECT_EQ(form.Page(), KpPage::Bo);
  shown = Shown(form);
  EXPECT_EQ(shown, Painted(form));
  EXPECT_EQ(At(shown, 10, BoLampSquare(15).top + 4), yellow);
  EXPECT_EQ(At(shown, 10, BoLampSquare(0).top + 4), green);
  form.TbData->setCurrentIndex(1);
  QCoreApplication::processEvents();
  EXPECT_EQ(form.Page(), KpPage::Tit);
  shown = Shown(form);
  const KpRect cell = TitValueRect(TitPageLayout(shown.width(), shown.height()), 0, 0);
  EXPECT_EQ(At(shown, cell.left + 2, cell.top + 2), style.colours.buttonFace);  // no TIT yet
  EXPECT_TRUE(list.Size() == 1);  // the window created no record for KP 1
}

TEST_F(KpWindows, ShowRestoredBringsBackAMinimisedWindow) {
  TFormKp form(ini, list);
  EXPECT_FALSE(form.isVisible());
  form.ShowRestored();
  EXPECT_TRUE(form.isVisible());
  form.showMinimized();
  QCoreApplication::processEvents();
  EXPECT_TRUE(form.isMinimized());
  form.ShowRestored();
  QCoreApplication::processEvents();
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(form.isMinimized());
}

TEST_F(KpWindows, TitWindowShowsTheGroupReceivedInWindowColourAndTheOthersGrey) {
  TKpAnswers(list).Gtit(5, 2, {10, -20, 30, -40, 50, -60, 70, -80});
  TFormTit form(ini, list);
  form.resize(640, 480);
  ShowExposed(form);
  PaintCounter draw(form.PnDraw);
  form.EdKp->setValue(5);
  QCoreApplication::processEvents();
  EXPECT_EQ(draw.paints, 1);
  const QImage shown = Shown(form);
  EXPECT_EQ(shown, Painted(form));
  const KpPageStyle style{KpSystemColours::FromPalette(form.palette()), form.font()};
  const TitLayout l = TitWindowLayout(shown.width(), shown.height());
  const QColor grey = ColorRefToQColor(kClGrey);
  for (int g = 0; g < 4; ++g) {
    for (int k = 0; k < 8; ++k) {
      const KpRect r = TitValueRect(l, g, k);
      const QRect inside(r.left + 1, r.top + 1, r.Width() - 2, r.Height() - 2);
      EXPECT_EQ(At(shown, r.left + 2, r.top + 2),
                g == 1 ? style.colours.window : style.colours.buttonFace)
          << g << "," << k;
      if (g != 1) {
        EXPECT_GT(CountNear(shown, inside, grey, 0x30), 0) << g << "," << k;
      }
      EXPECT_EQ(CountNear(shown, inside, Qt::black, 0x30) > 0, g == 1) << g << "," << k;
    }
  }
  // Time texts: group 2's differs from the three unknown ones, which agree.
  const auto time = [&](int g) {
    const KpRect r = TitTimeRect(l, g);
    return shown.copy(r.left, r.top, r.Width(), r.Height());
  };
  EXPECT_NE(time(1), time(0));
  EXPECT_EQ(time(0), time(2));
  EXPECT_EQ(time(0), time(3));
}

}  // namespace
}  // namespace sorvex
