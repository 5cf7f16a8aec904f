// The level bar as a widget: its size inside a bevelled host, the colours
// it paints, and repaints only when the lit segments change.
#include "ui/controls/level_show.h"

#include <gtest/gtest.h>

#include <QEvent>
#include <QFrame>
#include <QTest>

#include "ui/controls/level_geometry.h"
#include "ui_test_util.h"

namespace sorvex {
namespace {

using testing::At;
using testing::CountColour;
using testing::Render;

// A host like the window's level panels: 185 × 21 with a 1-pixel lowered bevel.
std::unique_ptr<QFrame> BevelledHost() {
  auto host = std::make_unique<QFrame>();
  host->setFrameStyle(QFrame::Panel | QFrame::Sunken);
  host->setLineWidth(1);
  host->resize(185, 21);
  return host;
}

class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

TEST(LevelShow, InsideA185By21BevelledHostIs183By19With25SegmentsOfPitch7) {
  auto host = BevelledHost();
  auto* bar = new CLevelShow(host.get());
  EXPECT_EQ(bar->geometry(), QRect(1, 1, 183, 19));
  EXPECT_EQ(LevelBarGeometry(bar->width()), (LevelBarLayout{7, 25, 20}));
  EXPECT_EQ(bar->Level(), 0.0);
}

TEST(LevelShow, PaintsLitSegmentsGreenThenRedAndTheRestDarkGrey) {
  CLevelShow bar(nullptr);
  bar.SetLevel(0.8);
  const QImage image = Render(bar, QSize(183, 19));
  const int mid = 9;
  auto centre = [](int i) { return i * 7 + 2 + 3; };
  for (int i = 0; i < 20; ++i) EXPECT_EQ(At(image, centre(i), mid), CLevelShow::kGreen) << i;
  EXPECT_EQ(At(image, centre(20), mid), CLevelShow::kRed);
  for (int i = 21; i < 25; ++i) EXPECT_EQ(At(image, centre(i), mid), CLevelShow::kUnlit) << i;
  // Segments are 6 px wide from row 3 to row 15, black around and between.
  EXPECT_EQ(CountColour(image, QRect(2, 3, 6, 13), CLevelShow::kGreen), 6 * 13);
  EXPECT_EQ(At(image, 8, mid), QColor(Qt::black));    // the 1-pixel gap
  EXPECT_EQ(At(image, 5, 2), QColor(Qt::black));      // above
  EXPECT_EQ(At(image, 5, 16), QColor(Qt::black));     // below
  EXPECT_EQ(At(image, 1, mid), QColor(Qt::black));    // left border
  EXPECT_EQ(At(image, 177, mid), QColor(Qt::black));  // right of the last one

  bar.SetLevel(0);
  QImage quiet = Render(bar, QSize(183, 19));
  EXPECT_EQ(At(quiet, centre(0), mid), CLevelShow::kGreen);  // the first is always lit
  EXPECT_EQ(CountColour(quiet, quiet.rect(), CLevelShow::kGreen), 6 * 13);
  bar.SetLevel(1.0);
  quiet = Render(bar, QSize(183, 19));
  EXPECT_EQ(CountColour(quiet, quiet.rect(), CLevelShow::kUnlit), 0);
  EXPECT_EQ(CountColour(quiet, quiet.rect(), CLevelShow::kRed), 5 * 6 * 13);
}

TEST(LevelShow, ABarTooNarrowForSegmentsIsBlack) {
  CLevelShow bar(nullptr);
  bar.SetLevel(1.0);
  const QImage image = Render(bar, QSize(20, 19));
  EXPECT_EQ(CountColour(image, image.rect(), Qt::black), 20 * 19);
}

TEST(LevelShow, RepaintsOnlyWhenTheLitSegmentsChange) {
  auto host = BevelledHost();
  auto* bar = new CLevelShow(host.get());
  host->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(host.get()));
  QCoreApplication::processEvents();
  PaintCounter counter;
  bar->installEventFilter(&counter);

  bar->SetLevel(0.5);  // 13 lit
  QCoreApplication::processEvents();
  EXPECT_EQ(counter.paints, 1);
  bar->SetLevel(0.51);  // still 13
  bar->SetLevel(0.5);
  QCoreApplication::processEvents();
  EXPECT_EQ(counter.paints, 1);
  EXPECT_EQ(bar->Level(), 0.5);
  bar->SetLevel(0.52);  // 14
  QCoreApplication::processEvents();
  EXPECT_EQ(counter.paints, 2);
}

}  // namespace
}  // namespace sorvex
