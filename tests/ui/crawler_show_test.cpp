// The start-level slider as a widget: values, change notices, range
// changes, the mouse, the hint and the painted groove, ticks and thumb.
#include "ui/controls/crawler_show.h"

#include <gtest/gtest.h>

#include <QTest>
#include <QToolTip>
#include <cstdio>
#include <limits>
#include <vector>

#include "ui_test_util.h"

namespace sorvex {
namespace {

using testing::At;
using testing::CountColour;
using testing::Render;

struct Change {
  int32_t tag;
  double value;
};

// A slider the way the main window sets one up, on a 113 × 21 host.
class Slider : public ::testing::Test {
 protected:
  void SetUp() override {
    host.resize(113, 21);
    slider = new CCrawlerShow(
        &host,
        [this](int32_t tag, double value) {
          changes.push_back({tag, value});
          // As the window does: the hint becomes the level in dB.
          char text[32];
          std::snprintf(text, sizeof text, "%.3f", value);
          slider->SetHint(text);
        },
        1);
  }

  QWidget host;
  CCrawlerShow* slider = nullptr;
  std::vector<Change> changes;
};

TEST_F(Slider, StartsWithTheGivenFieldsWithoutANotice) {
  EXPECT_EQ(slider->Min(), 0);
  EXPECT_EQ(slider->Max(), 1.0);
  EXPECT_EQ(slider->Step(), 0.1);
  EXPECT_EQ(slider->GetValue(), 0);
  EXPECT_EQ(slider->TickMode(), 0);
  EXPECT_EQ(slider->TickCount(), 5);
  EXPECT_EQ(slider->Tag(), 1);
  EXPECT_EQ(slider->Hint(), "hint");
  EXPECT_EQ(slider->ThumbSize(), QSize(13, 9));
  EXPECT_EQ(slider->geometry(), host.rect());
  EXPECT_TRUE(changes.empty());
  // A stored start level of 0 changes nothing: the hint stays "hint".
  slider->SetRange(0, 1.0, 0.01);
  slider->SetTicks(0, 5);
  slider->SetValue(0);
  EXPECT_TRUE(changes.empty());
  EXPECT_EQ(slider->Hint(), "hint");
}

TEST_F(Slider, ValuesAreClampedAndSnappedAndOnlyChangesAreReported) {
  slider->SetValue(1.7);
  EXPECT_EQ(slider->GetValue(), 1.0);
  slider->SetValue(-0.3);
  EXPECT_EQ(slider->GetValue(), 0.0);
  slider->SetRange(0, 1.0, 0.01);
  EXPECT_EQ(slider->TickCount(), 101);
  slider->SetValue(0.456);
  EXPECT_DOUBLE_EQ(slider->GetValue(), 0.46);
  slider->SetValue(0.46);
  slider->SetValue(0.4551);  // snaps to the same 0.46
  ASSERT_EQ(changes.size(), 3u);
  EXPECT_EQ(changes[0].tag, 1);
  EXPECT_EQ(changes[0].value, 1.0);
  EXPECT_EQ(changes[1].value, 0.0);
  EXPECT_DOUBLE_EQ(changes[2].value, 0.46);
  EXPECT_EQ(slider->Hint(), "0.460");
  slider->SetValue(std::numeric_limits<double>::quiet_NaN());
  EXPECT_DOUBLE_EQ(slider->GetValue(), 0.46);
  EXPECT_EQ(changes.size(), 3u);
}

TEST_F(Slider, ANewRangeReappliesTheValueAndABadOneIsRefused) {
  slider->SetRange(0, 1.0, 0.01);
  slider->SetTicks(2, 7);
  EXPECT_EQ(slider->TickCount(), 7);
  EXPECT_EQ(slider->TickMode(), 2);
  slider->SetValue(0.46);
  changes.clear();
  EXPECT_TRUE(slider->SetRange(0, 0.5, 0.1));
  EXPECT_DOUBLE_EQ(slider->GetValue(), 0.5);
  EXPECT_EQ(slider->TickCount(), 6);
  ASSERT_EQ(changes.size(), 1u);

  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (auto [lo, hi, step] : std::vector<std::tuple<double, double, double>>{{1, 0, 0.1},
                                                                             {0.5, 0.5, 0.1},
                                                                             {0, 1, 0},
                                                                             {0, 1, -0.1},
                                                                             {nan, 1, 0.1},
                                                                             {0, inf, 0.1},
                                                                             {0, 1, nan}}) {
    EXPECT_FALSE(slider->SetRange(lo, hi, step)) << lo << " " << hi << " " << step;
  }
  EXPECT_EQ(slider->Min(), 0);
  EXPECT_EQ(slider->Max(), 0.5);
  EXPECT_EQ(slider->Step(), 0.1);
  EXPECT_EQ(slider->TickCount(), 6);
  EXPECT_DOUBLE_EQ(slider->GetValue(), 0.5);
  EXPECT_EQ(changes.size(), 1u);
}

class SliderMouse : public Slider {
 protected:
  void SetUp() override {
    Slider::SetUp();
    slider->SetRange(0, 1.0, 0.01);
    slider->SetTicks(0, 5);
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
  }
};

TEST_F(SliderMouse, AClickMovesTheThumbAtOnce) {
  QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, QPoint(56, 10));  // (56 − 6) / 100
  EXPECT_DOUBLE_EQ(slider->GetValue(), 0.5);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_DOUBLE_EQ(changes[0].value, 0.5);
  // A right click does not.
  QTest::mouseClick(slider, Qt::RightButton, Qt::NoModifier, QPoint(90, 10));
  EXPECT_DOUBLE_EQ(slider->GetValue(), 0.5);
}

TEST_F(SliderMouse, DraggingFollowsThePointerAndPinsAtBothEnds) {
  QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, QPoint(30, 10));
  EXPECT_DOUBLE_EQ(slider->GetValue(), 0.24);
  QTest::mouseMove(slider, QPoint(81, 10));
  EXPECT_DOUBLE_EQ(slider->GetValue(), 0.75);
  QTest::mouseMove(slider, QPoint(400, 10));
  EXPECT_EQ(slider->GetValue(), 1.0);
  QTest::mouseMove(slider, QPoint(-60, 10));
  EXPECT_EQ(slider->GetValue(), 0.0);
  QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, QPoint(-60, 10));
  EXPECT_EQ(changes.size(), 4u);
  // Moving without a button changes nothing.
  QTest::mouseMove(slider, QPoint(56, 10));
  EXPECT_EQ(slider->GetValue(), 0.0);
  EXPECT_EQ(changes.size(), 4u);
}

TEST_F(SliderMouse, TheHintFollowsThePointerWithTheNewText) {
  QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, QPoint(56, 10));
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text(), "0.500");
  QTest::mouseMove(slider, QPoint(81, 10));
  EXPECT_EQ(QToolTip::text(), "0.750");
  QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, QPoint(81, 10));
  QToolTip::hideText();
}

TEST_F(Slider, PaintsGrooveTicksAndThumbWhereTheGeometrySays) {
  slider->SetRange(0, 1.0, 0.01);
  slider->SetTicks(0, 5);
  slider->SetValue(0.5);
  const QColor face = slider->palette().color(QPalette::Button);
  QImage image = Render(*slider, QSize(113, 21));
  const int mid = 10;
  // Groove: grey above, dark grey on the middle row, white two rows below.
  EXPECT_EQ(At(image, 20, mid - 1), QColor(0x80, 0x80, 0x80));
  EXPECT_EQ(At(image, 20, mid), QColor(0x40, 0x40, 0x40));
  EXPECT_EQ(At(image, 20, mid + 1), face);
  EXPECT_EQ(At(image, 20, mid + 2), QColor(Qt::white));
  EXPECT_EQ(At(image, 0, mid + 1), QColor(0x80, 0x80, 0x80));  // left end closes it
  EXPECT_EQ(At(image, 112, mid), face);                        // end pixel left out
  // Ticks at 6, 31, 81, 106 (56 is under the thumb): rows mid−3..mid−2 and
  // mid+2..mid+3.
  for (int x : {6, 31, 81, 106}) {
    for (int y : {mid - 3, mid - 2, mid + 2, mid + 3})
      EXPECT_EQ(At(image, x, y), QColor(Qt::black)) << x << "," << y;
    EXPECT_NE(At(image, x, mid - 4), QColor(Qt::black)) << x;
  }
  // The thumb at (50, 6): its light face, and its two black triangles.
  const QImage thumb = slider->Thumb().toImage();
  EXPECT_EQ(image.copy(50, 6, 13, 9).convertToFormat(QImage::Format_RGB32),
            thumb.convertToFormat(QImage::Format_RGB32));
  EXPECT_EQ(At(image, 50 + 2, 6 + 4), QColor(Qt::black));
  EXPECT_EQ(At(image, 50 + 10, 6 + 4), QColor(Qt::black));

  // Ticks above only; then a single tick and none at all.
  slider->SetTicks(1, 5);
  image = Render(*slider, QSize(113, 21));
  EXPECT_EQ(At(image, 31, mid - 3), QColor(Qt::black));
  EXPECT_NE(At(image, 31, mid + 3), QColor(Qt::black));
  slider->SetTicks(0, 1);
  image = Render(*slider, QSize(113, 21));
  EXPECT_EQ(At(image, 6, mid - 3), QColor(Qt::black));
  EXPECT_EQ(CountColour(image, QRect(0, 0, 46, mid - 1), Qt::black), 2);  // left of the thumb
  slider->SetTicks(0, 0);
  slider->SetValue(1.0);
  image = Render(*slider, QSize(113, 21));
  EXPECT_EQ(CountColour(image, QRect(0, 0, 100, 21), Qt::black), 0);
}

}  // namespace
}  // namespace sorvex
