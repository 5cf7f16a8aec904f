// Our glyphs: each renders, none is a copy of another, the slider thumb is
// the 13 × 9 raised button with two black triangles, and the journal's icon
// list maps entry kinds as the journal draws them.
#include "ui/controls/icons.h"

#include <gtest/gtest.h>

#include <QImage>
#include <map>

#include "monitor/journal.h"

namespace sorvex {
namespace {

int OpaquePixels(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) n += qAlpha(image.pixel(x, y)) > 128;
  }
  return n;
}

// Yellow as in a lit bulb or a warning sign.
int YellowPixels(const QImage& image) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      n += c.alpha() > 200 && c.red() > 220 && c.green() > 180 && c.blue() < 100;
    }
  }
  return n;
}

TEST(Icons, EveryGlyphRendersAtOneAndFourTimesAndNoTwoAreAlike) {
  const QStringList names = UiGlyphNames();
  EXPECT_EQ(names.size(), 25);
  std::map<QString, QImage> images;
  for (const QString& name : names) {
    const QImage one = UiPixmap(name).toImage();
    ASSERT_EQ(one.size(), QSize(16, 16)) << name.toStdString();
    EXPECT_GT(OpaquePixels(one), 20) << name.toStdString();
    const QPixmap four = UiPixmap(name, QSize(16, 16), 4.0);
    EXPECT_EQ(four.size(), QSize(64, 64)) << name.toStdString();
    EXPECT_EQ(four.deviceIndependentSize(), QSizeF(16, 16)) << name.toStdString();
    EXPECT_GT(OpaquePixels(four.toImage()), 16 * 20) << name.toStdString();
    for (const auto& [other, image] : images) {
      EXPECT_NE(image, one) << name.toStdString() << " looks like " << other.toStdString();
    }
    images[name] = one;
  }
  EXPECT_TRUE(UiPixmap("no_such_glyph").isNull());
  EXPECT_TRUE(UiIcon("no_such_glyph").pixmap(16).isNull());
  EXPECT_FALSE(UiIcon("eraser").pixmap(16).isNull());
}

TEST(Icons, TheStartButtonsBulbLightsUpWhenDown) {
  const QIcon icon = UiToggleIcon("bulb_off", "bulb_on");
  const QImage off = icon.pixmap(QSize(16, 16), QIcon::Normal, QIcon::Off).toImage();
  const QImage on = icon.pixmap(QSize(16, 16), QIcon::Normal, QIcon::On).toImage();
  EXPECT_EQ(YellowPixels(off), 0);
  EXPECT_GT(YellowPixels(on), 20);
}

TEST(Icons, TheSliderThumbIsARaisedButtonWithTwoBlackTriangles) {
  const QImage thumb = CrawlerSliderBitmap().toImage();
  ASSERT_EQ(thumb.size(), QSize(13, 9));
  const QColor black(Qt::black);
  EXPECT_EQ(thumb.pixelColor(0, 0), QColor(Qt::white));          // lit edge
  EXPECT_EQ(thumb.pixelColor(12, 8), QColor(0x40, 0x40, 0x40));  // shadow
  EXPECT_EQ(thumb.pixelColor(11, 7), QColor(0x80, 0x80, 0x80));
  EXPECT_EQ(thumb.pixelColor(6, 4), QColor(0xD4, 0xD4, 0xD4));  // face between the triangles
  // Left-pointing: tip at column 2, base at column 4; right-pointing mirrored.
  for (int y = 2; y <= 6; ++y) {
    EXPECT_EQ(thumb.pixelColor(4, y), black) << y;
    EXPECT_EQ(thumb.pixelColor(8, y), black) << y;
  }
  EXPECT_EQ(thumb.pixelColor(2, 4), black);
  EXPECT_EQ(thumb.pixelColor(10, 4), black);
  EXPECT_NE(thumb.pixelColor(2, 3), black);
  EXPECT_NE(thumb.pixelColor(10, 5), black);
  for (int x = 1; x <= 5; ++x) {
    for (int y = 0; y < 9; ++y) {
      EXPECT_EQ(thumb.pixelColor(x, y) == black, thumb.pixelColor(12 - x, y) == black)
          << x << "," << y;
    }
  }
}

TEST(Icons, JournalKindsMapToTheirImages) {
  const std::map<int, int> expected = {{lkExchangeProblem, 1},
                                       {lkBadRequest, 5},
                                       {lkBadAnswer, 6},
                                       {lkInfo, 2},
                                       {lkRequest, 3},
                                       {lkAnswer, 4},
                                       {0, 0},
                                       {7, 0},
                                       {255, 0}};
  for (const auto& [kind, image] : expected) EXPECT_EQ(LogKindImage(kind), image) << kind;
  for (int i = 0; i < kMonitorImageCount; ++i) {
    EXPECT_EQ(MonitorImage(i).size(), QSize(16, 16)) << i;
  }
  EXPECT_EQ(MonitorImage(-1).toImage(), MonitorImage(0).toImage());
  EXPECT_EQ(MonitorImage(7).toImage(), MonitorImage(0).toImage());
  // The exchange problem and the two bad-telegram icons are warning signs.
  for (int i : {1, 5, 6}) EXPECT_GT(YellowPixels(MonitorImage(i).toImage()), 20) << i;
  for (int i : {0, 2, 3, 4}) EXPECT_EQ(YellowPixels(MonitorImage(i).toImage()), 0) << i;
}

}  // namespace
}  // namespace sorvex
