// The KP pages: exact geometry, what the data says, and the pictures the
// paint routines make of it.
#include "ui/kp/kp_pages.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <functional>
#include <set>
#include <vector>

#include "kp_test_util.h"
#include "monitor/kp_record_list.h"
#include "ui_test_util.h"

namespace sorvex {
namespace {

using testing::At;
using testing::CountColour;
using testing::CountNear;
using testing::CountOther;
using testing::KpTestTime;
using testing::TKpAnswers;

const QString kNoTime = QStringLiteral("??/??/?? ??:??:??:???");
// How far an antialiased glyph pixel may lie from its text colour.
constexpr int kInk = 0x30;

QRect ToQRect(const KpRect& r) {
  return QRect(r.left, r.top, r.Width(), r.Height());
}

// ---- Geometry

TEST(KpPagesGeometry, TsCellAndRadiusAtTheDesignSizeAndOthers) {
  EXPECT_EQ(TsPageLayout(470, 210), (TsLayout{26, 9}));   // min(42, 26)
  EXPECT_EQ(TsPageLayout(600, 480), (TsLayout{58, 25}));  // width limits: min(58, 60)
  EXPECT_EQ(TsPageLayout(134 + 8 * 10, 1000), (TsLayout{10, 1}));
  EXPECT_EQ(TsPageLayout(134 + 8 * 9, 1000), (TsLayout{9, 0}));  // no room for a lamp
  // Narrower than the time column: nothing negative.
  EXPECT_EQ(TsPageLayout(100, 50), (TsLayout{0, 0}));
  EXPECT_EQ(TsPageLayout(470, 0), (TsLayout{0, 0}));
}

TEST(KpPagesGeometry, TsRowsAndLampsAtTheDesignSize) {
  const TsLayout l = TsPageLayout(470, 210);
  EXPECT_EQ(TsTimeRect(l, 2), (KpRect{0, 52, 130, 78}));
  EXPECT_EQ(TsLampRowRect(l, 2, 470), (KpRect{130, 52, 470, 78}));
  EXPECT_EQ(TsLampCentre(l, 2, 0), (KpPoint{143, 65}));
  EXPECT_EQ(TsLampCentre(l, 2, 7), (KpPoint{325, 65}));
  EXPECT_EQ(TsLampSquare(l, 2, 0), (KpRect{134, 56, 152, 74}));
  EXPECT_EQ(TsLampSquare(l, 7, 7), (KpRect{316, 186, 334, 204}));
  EXPECT_EQ(TsLampLabel(2, 0), QStringLiteral("3:1"));
  EXPECT_EQ(TsLampLabel(2, 7), QStringLiteral("3:8"));
  EXPECT_EQ(TsLampLabel(7, 3), QStringLiteral("8:4"));
}

TEST(KpPagesGeometry, TsLampsStayInsideTheirRowsAndTheirCellsForAnySize) {
  for (int32_t w = 134; w <= 1400; w += 37) {
    for (int32_t h = 0; h <= 900; h += 29) {
      const TsLayout l = TsPageLayout(w, h);
      ASSERT_GE(l.cell, 0);
      ASSERT_LE(8 * l.cell, h) << w << "x" << h;
      ASSERT_LE(130 + 8 * l.cell, w - 4) << w << "x" << h;
      if (l.radius == 0) continue;
      for (int row = 0; row < 8; ++row) {
        const KpRect rowRect = TsLampRowRect(l, row, w);
        for (int bit = 0; bit < 8; ++bit) {
          const KpRect s = TsLampSquare(l, row, bit);
          // Inside the frame of the row, and inside the lamp's own cell.
          ASSERT_GT(s.top, rowRect.top);
          ASSERT_LT(s.bottom, rowRect.bottom);
          ASSERT_GE(s.left, 130 + bit * l.cell);
          ASSERT_LE(s.right, 130 + (bit + 1) * l.cell);
          ASSERT_EQ(s.Width(), 2 * l.radius);
        }
      }
    }
  }
}

TEST(KpPagesGeometry, TitWindowColumnsAtTheReferenceSize) {
  const TitLayout l = TitWindowLayout(478, 238);
  EXPECT_EQ(l.columnWidth, 43);
  EXPECT_EQ(l.rowHeight, 59);
  EXPECT_EQ(TitTimeRect(l, 0), (KpRect{2, 0, 130, 59}));
  EXPECT_EQ(TitTimeRect(l, 3), (KpRect{2, 177, 130, 236}));
  EXPECT_EQ(TitValueRect(l, 0, 0), (KpRect{134, 0, 177, 59}));
  EXPECT_EQ(TitValueRect(l, 3, 7), (KpRect{435, 177, 478, 236}));  // ends at 134 + 8 × 43
}

TEST(KpPagesGeometry, TitPageOfTheKpWindowStartsAt0And130) {
  const TitLayout l = TitPageLayout(470, 210);
  EXPECT_EQ(l, (TitLayout{0, 130, 42, 52}));
  EXPECT_EQ(TitTimeRect(l, 1), (KpRect{0, 52, 130, 104}));
  EXPECT_EQ(TitValueRect(l, 1, 7), (KpRect{424, 52, 466, 104}));
  EXPECT_EQ(TitPageLayout(478, 238).columnWidth, 43);  // (478 − 130) / 8 = 43.5
  EXPECT_EQ(TitPageLayout(100, 3), (TitLayout{0, 130, 0, 0}));
  // The last column never passes the right edge, the last row the bottom.
  for (int32_t w = 130; w <= 1300; w += 7) {
    for (int32_t h = 0; h <= 400; h += 13) {
      ASSERT_LE(TitValueRect(TitPageLayout(w, h), 3, 7).right, w);
      ASSERT_LE(TitValueRect(TitWindowLayout(w + 4, h), 3, 7).right, w + 4);
      ASSERT_LE(TitValueRect(TitPageLayout(w, h), 3, 7).bottom, h);
    }
  }
}

TEST(KpPagesGeometry, BoRowsLampsAndTexts) {
  EXPECT_EQ(BoTimeRect(470), (KpRect{0, 0, 470, 16}));
  EXPECT_EQ(BoRowRect(0, 470), (KpRect{0, 16, 470, 32}));
  EXPECT_EQ(BoRowRect(15, 470), (KpRect{0, 256, 470, 272}));
  EXPECT_EQ(BoLampSquare(0), (KpRect{6, 20, 14, 28}));
  EXPECT_EQ(BoLampSquare(15), (KpRect{6, 260, 14, 268}));
  EXPECT_EQ(BoTextRect(3, 470), (KpRect{32, 64, 470, 80}));
  const QStringList& texts = BoDiagnosticTexts();
  ASSERT_EQ(texts.size(), 16);
  EXPECT_EQ(texts[0], QStringLiteral("Нет предварительного сброса при выдаче команды ТУ"));
  EXPECT_EQ(texts[7], QStringLiteral("При контроле установленного ТУ - несравнение."));
  EXPECT_EQ(texts[13], QStringLiteral("При работе с ЛУМА3 нет установки номера группы"));
  EXPECT_EQ(texts[14], QStringLiteral("Ошибка ГРАТ-N"));  // Latin N
  EXPECT_EQ(texts[15], QStringLiteral("Неисправность таймера ТОРИ-2"));
  EXPECT_EQ(std::set<QString>(texts.begin(), texts.end()).size(), 16u);
}

TEST(KpPagesGeometry, SunkenFrameEdges) {
  const SunkenFrame f = FrameEdges({0, 52, 130, 78});
  EXPECT_EQ(f.shadowTop, (KpRect{0, 52, 129, 53}));
  EXPECT_EQ(f.shadowLeft, (KpRect{0, 52, 1, 77}));
  EXPECT_EQ(f.lightBottom, (KpRect{0, 77, 130, 78}));
  EXPECT_EQ(f.lightRight, (KpRect{129, 52, 130, 78}));
  EXPECT_EQ(f.inside, (KpRect{1, 53, 129, 77}));
  // Too small for an inside; empty for an empty rectangle.
  EXPECT_EQ(FrameEdges({5, 5, 7, 30}).inside, KpRect{});
  const SunkenFrame none = FrameEdges({5, 5, 5, 30});
  EXPECT_EQ(none.shadowTop, KpRect{});
  EXPECT_EQ(none.lightRight, KpRect{});
}

// ---- What the data says

TEST(KpPagesData, AKpWithoutARecordReadsAsZeroEverywhere) {
  TKpRecordList list;
  EXPECT_EQ(KpBlock(list, 5), nullptr);
  EXPECT_TRUE(list.Empty());  // looking creates nothing
  for (int row = 0; row < 8; ++row) {
    EXPECT_EQ(TsTimeText(nullptr, row), kNoTime);
    for (int bit = 0; bit < 8; ++bit) EXPECT_EQ(TsLampState(nullptr, row, bit), LampState::NoData);
  }
  for (int g = 0; g < 4; ++g) {
    EXPECT_FALSE(TitGroupLive(nullptr, g));
    EXPECT_EQ(TitTimeText(nullptr, g), kNoTime);
    for (int k = 0; k < 8; ++k) EXPECT_EQ(TitValueText(nullptr, g, k), QStringLiteral("0"));
  }
  EXPECT_EQ(BoDiagnosticWord(nullptr), 0);
  EXPECT_EQ(BoTimeText(nullptr), kNoTime);
  for (int bit = 0; bit < 16; ++bit) EXPECT_EQ(BoLampState(nullptr, bit), LampState::NoData);
}

TEST(KpPagesData, TsGroup3With0x81LightsBits1And8AndLeavesOtherGroupsSilver) {
  TKpRecordList list;
  TKpAnswers(list).Gts(4, 3, 0x81);
  const KpTelemetryBlock* block = KpBlock(list, 4);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(KpBlock(list, 3), nullptr);
  EXPECT_EQ(TsTimeText(block, 2), QStringLiteral("7/12/26 14:05:09:045"));
  EXPECT_EQ(TsTimeText(block, 1), kNoTime);
  for (int bit = 0; bit < 8; ++bit) {
    EXPECT_EQ(TsLampState(block, 2, bit), bit == 0 || bit == 7 ? LampState::Set : LampState::Clear)
        << bit;
    for (int row : {0, 1, 3, 4, 5, 6, 7}) {
      EXPECT_EQ(TsLampState(block, row, bit), LampState::NoData) << row << ":" << bit;
    }
  }
  // A byte without its time stamp is not data.
  TKpRecordList stale;
  KpTelemetryBlock* raw = stale.FindKpRecord(1, true);
  raw->TsBytes[0] = 0xFF;
  EXPECT_EQ(TsLampState(KpBlock(stale, 1), 0, 0), LampState::NoData);
}

TEST(KpPagesData, BoBytes01And80LightFlags0And15AndATwoByteAnswerUpdatesBoth) {
  TKpRecordList list;
  TKpAnswers answers(list);
  answers.Bo(2, {0xFE, 0x7F, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66});
  EXPECT_EQ(BoDiagnosticWord(KpBlock(list, 2)), 0x7FFE);
  answers.Bo(2, {0x01, 0x80});
  const KpTelemetryBlock* block = KpBlock(list, 2);
  EXPECT_EQ(BoDiagnosticWord(block), 0x8001);
  EXPECT_EQ(block->BoBytes[2], 0x11);  // the rest of the earlier answer stays
  int set = 0, clear = 0;
  for (int bit = 0; bit < 16; ++bit) {
    const LampState s = BoLampState(block, bit);
    EXPECT_EQ(s, bit == 0 || bit == 15 ? LampState::Set : LampState::Clear) << bit;
    set += s == LampState::Set;
    clear += s == LampState::Clear;
  }
  EXPECT_EQ(set, 2);
  EXPECT_EQ(clear, 14);
  EXPECT_EQ(BoTimeText(block), QStringLiteral("7/12/26 14:05:09:045"));
}

TEST(KpPagesData, TitValuesWithSignsAndOnlyTheGroupsReceived) {
  TKpRecordList list;
  TKpAnswers(list).Gtit(7, 2, {1, -1, 2047, -2047, 0, 291, -564, 7});
  const KpTelemetryBlock* block = KpBlock(list, 7);
  EXPECT_TRUE(TitGroupLive(block, 1));
  EXPECT_FALSE(TitGroupLive(block, 0));
  EXPECT_FALSE(TitGroupLive(block, 2));
  const char* expected[8] = {"1", "-1", "2047", "-2047", "0", "291", "-564", "7"};
  for (int k = 0; k < 8; ++k) EXPECT_EQ(TitValueText(block, 1, k), expected[k]) << k;
  EXPECT_EQ(TitValueText(block, 0, 2), QStringLiteral("0"));
  EXPECT_EQ(TitTimeText(block, 1), QStringLiteral("7/12/26 14:05:09:045"));
  EXPECT_EQ(TitTimeText(block, 3), kNoTime);
}

TEST(KpPagesData, ColoursOfTheStates) {
  EXPECT_EQ(ColorRefToQColor(kClYellow), QColor(0xFF, 0xFF, 0));
  EXPECT_EQ(ColorRefToQColor(kClGreen), QColor(0, 0x80, 0));
  EXPECT_EQ(ColorRefToQColor(0x00123456), QColor(0x56, 0x34, 0x12));  // blue in the high byte
  EXPECT_EQ(LampColoursOf(LampState::NoData), (LampColours{kClSilver, kClBlack}));
  EXPECT_EQ(LampColoursOf(LampState::Set), (LampColours{kClYellow, kClBlack}));
  EXPECT_EQ(LampColoursOf(LampState::Clear), (LampColours{kClGreen, kClWhite}));

  QPalette palette;
  palette.setColor(QPalette::Button, QColor(1, 1, 1));
  palette.setColor(QPalette::Base, QColor(2, 2, 2));
  palette.setColor(QPalette::Text, QColor(3, 3, 3));
  palette.setColor(QPalette::Dark, QColor(4, 4, 4));
  palette.setColor(QPalette::Light, QColor(5, 5, 5));
  const KpSystemColours c = KpSystemColours::FromPalette(palette);
  EXPECT_EQ(c.buttonFace, QColor(1, 1, 1));
  EXPECT_EQ(c.window, QColor(2, 2, 2));
  EXPECT_EQ(c.windowText, QColor(3, 3, 3));
  EXPECT_EQ(c.buttonShadow, QColor(4, 4, 4));
  EXPECT_EQ(c.buttonHighlight, QColor(5, 5, 5));
  EXPECT_EQ(TitCellColoursOf(true, c).fill, c.window);
  EXPECT_EQ(TitCellColoursOf(true, c).text, c.windowText);
  EXPECT_EQ(TitCellColoursOf(false, c).fill, c.buttonFace);
  EXPECT_EQ(TitCellColoursOf(false, c).text, QColor(0x80, 0x80, 0x80));
}

// ---- Pictures

using PagePainter =
    std::function<void(QPainter&, QSize, const KpTelemetryBlock*, const KpPageStyle&)>;

class KpPagesPaint : public ::testing::Test {
 protected:
  QImage Render(const PagePainter& paint, QSize size, const KpTelemetryBlock* block) const {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::magenta);  // anything left unpainted shows up
    QPainter painter(&image);
    paint(painter, size, block, style);
    return image;
  }
  // The lamp's fill: the pixel straight above the centre, two pixels inside
  // the outline, where the label never reaches.
  static QColor LampFill(const QImage& image, const KpRect& square) {
    return At(image, (square.left + square.right) / 2, square.top + 2);
  }
  static QImage Cut(const QImage& image, const KpRect& r) { return image.copy(ToQRect(r)); }
  // Pixels near `colour` strictly inside the lamp's outline: its label.
  static int LabelPixels(const QImage& image, const TsLayout& l, int row, int bit,
                         const QColor& colour) {
    const KpPoint c = TsLampCentre(l, row, bit);
    const int r = l.radius - 2;
    int n = 0;
    for (int y = c.y - r; y <= c.y + r; ++y) {
      for (int x = c.x - r; x <= c.x + r; ++x) {
        if ((x - c.x) * (x - c.x) + (y - c.y) * (y - c.y) > r * r) continue;
        n += CountNear(image, QRect(x, y, 1, 1), colour, kInk);
      }
    }
    return n;
  }

  const KpPageStyle style = KpPageStyle::FromPalette(QApplication::palette());
  const QColor face = style.colours.buttonFace;
  const QColor silver = ColorRefToQColor(kClSilver);
  const QColor yellow = ColorRefToQColor(kClYellow);
  const QColor green = ColorRefToQColor(kClGreen);
  const QColor white = ColorRefToQColor(kClWhite);
  const QColor black = ColorRefToQColor(kClBlack);
  const QColor grey = ColorRefToQColor(kClGrey);
};

TEST_F(KpPagesPaint, TheFusionPaletteKeepsTheColoursApart) {
  // The pixel checks below tell colours apart; they must differ.
  const std::set<QRgb> colours = {
      face.rgb(), style.colours.window.rgb(), silver.rgb(), yellow.rgb(), green.rgb(), grey.rgb(),
      black.rgb()};
  EXPECT_EQ(colours.size(), 7u);
  EXPECT_EQ(style.colours.windowText, black);
}

TEST_F(KpPagesPaint, TsPageWithoutARecordIsSilverLampsAndUnknownTimes) {
  const QSize size(470, 210);
  const QImage image = Render(PaintTsPage, size, nullptr);
  EXPECT_EQ(CountColour(image, image.rect(), Qt::magenta), 0);
  const TsLayout l = TsPageLayout(470, 210);
  for (int row = 0; row < 8; ++row) {
    for (int bit = 0; bit < 8; ++bit) {
      const KpRect s = TsLampSquare(l, row, bit);
      EXPECT_EQ(LampFill(image, s), silver) << row << ":" << bit;
      EXPECT_EQ(LabelPixels(image, l, row, bit, white), 0);  // black labels
      EXPECT_GT(LabelPixels(image, l, row, bit, black), 5);
      EXPECT_GT(CountColour(image, ToQRect(s), black), 2 * 18);  // outline and label
    }
  }
  // Every time cell shows the same unknown time, in window text.
  const QImage first = Cut(image, TsTimeRect(l, 0));
  EXPECT_GT(CountNear(first, first.rect().adjusted(1, 1, -1, -1), black, kInk), 20);
  for (int row = 1; row < 8; ++row) EXPECT_EQ(Cut(image, TsTimeRect(l, row)), first) << row;
  // Sunken frames: shadow top-left, highlight bottom-right, face inside;
  // nothing below the last row.
  EXPECT_EQ(At(image, 0, 0), style.colours.buttonShadow);
  EXPECT_EQ(At(image, 0, 24), style.colours.buttonShadow);
  EXPECT_EQ(At(image, 0, 25), style.colours.buttonHighlight);
  EXPECT_EQ(At(image, 129, 0), style.colours.buttonHighlight);
  EXPECT_EQ(At(image, 130, 26), style.colours.buttonShadow);  // the lamp row of group 2
  EXPECT_EQ(At(image, 469, 26), style.colours.buttonHighlight);
  EXPECT_EQ(At(image, 2, 2), face);
  EXPECT_EQ(CountOther(image, QRect(0, 208, 470, 2), face), 0);
}

TEST_F(KpPagesPaint, TsGroup3With0x81ShowsTwoYellowAndSixGreenLampsInRow3Only) {
  TKpRecordList list;
  TKpAnswers(list).Gts(4, 3, 0x81);
  for (const QSize size : {QSize(470, 210), QSize(600, 480)}) {
    const QImage image = Render(PaintTsPage, size, KpBlock(list, 4));
    const TsLayout l = TsPageLayout(size.width(), size.height());
    for (int bit = 0; bit < 8; ++bit) {
      const KpRect s = TsLampSquare(l, 2, bit);
      const bool set = bit == 0 || bit == 7;
      EXPECT_EQ(LampFill(image, s), set ? yellow : green) << bit;
      // Black labels on yellow, white labels on green.
      EXPECT_EQ(LabelPixels(image, l, 2, bit, white) > 5, !set) << bit;
      EXPECT_EQ(LabelPixels(image, l, 2, bit, black) > 5, set) << bit;
      for (int row : {0, 1, 3, 7}) EXPECT_EQ(LampFill(image, TsLampSquare(l, row, bit)), silver);
    }
    // Yellow and green only inside the lamps of row 3; outside every lamp
    // square the row is frame and face.
    const KpRect rowRect = TsLampRowRect(l, 2, size.width());
    QImage row = Cut(image, rowRect);
    EXPECT_EQ(CountColour(image, QRect(0, 0, size.width(), rowRect.top), green), 0);
    EXPECT_EQ(CountColour(image, QRect(0, rowRect.bottom, size.width(), size.height()), yellow), 0);
    QPainter blank(&row);
    for (int bit = 0; bit < 8; ++bit) {
      KpRect s = TsLampSquare(l, 2, bit);
      s = {s.left - rowRect.left, s.top - rowRect.top, s.right - rowRect.left,
           s.bottom - rowRect.top};
      blank.fillRect(ToQRect(s), face);
    }
    blank.end();
    const SunkenFrame frame = FrameEdges({0, 0, rowRect.Width(), rowRect.Height()});
    EXPECT_EQ(CountOther(row, ToQRect(frame.inside), face), 0) << size.width();
    // The time cell of group 3 differs from the unknown ones.
    EXPECT_NE(Cut(image, TsTimeRect(l, 2)), Cut(image, TsTimeRect(l, 1)));
    EXPECT_EQ(Cut(image, TsTimeRect(l, 0)), Cut(image, TsTimeRect(l, 1)));
  }
}

TEST_F(KpPagesPaint, TitPageGreyZerosWithoutARecordAndWindowColourForAGroupReceived) {
  const QSize size(470, 210);
  const TitLayout l = TitPageLayout(470, 210);
  const QImage empty = Render(PaintTitPage, size, nullptr);
  EXPECT_EQ(CountColour(empty, empty.rect(), Qt::magenta), 0);
  const QImage zero = Cut(empty, TitValueRect(l, 0, 0));
  for (int g = 0; g < 4; ++g) {
    for (int k = 0; k < 8; ++k) {
      const KpRect r = TitValueRect(l, g, k);
      const QRect inside = ToQRect(FrameEdges(r).inside);
      EXPECT_EQ(At(empty, r.left + 2, r.top + 2), face);
      EXPECT_GT(CountNear(empty, inside, grey, kInk), 4);
      EXPECT_EQ(CountNear(empty, inside, black, kInk), 0);
      EXPECT_EQ(Cut(empty, r), zero);
    }
  }

  TKpRecordList list;
  TKpAnswers(list).Gtit(7, 2, {1, -1, 2047, -2047, 0, 291, -564, 1});
  const QImage image = Render(PaintTitPage, size, KpBlock(list, 7));
  for (int k = 0; k < 8; ++k) {
    const KpRect r = TitValueRect(l, 1, k);
    const QRect inside = ToQRect(FrameEdges(r).inside);
    EXPECT_EQ(At(image, r.left + 2, r.top + 2), style.colours.window) << k;
    EXPECT_GT(CountNear(image, inside, black, kInk), 4) << k;
    // Other groups stay grey zeros on face.
    EXPECT_EQ(Cut(image, TitValueRect(l, 0, k)), zero);
    EXPECT_EQ(Cut(image, TitValueRect(l, 3, k)), zero);
  }
  // Equal values draw equal cells, different values different ones; a sign
  // shows.
  const auto cell = [&](int k) { return Cut(image, TitValueRect(l, 1, k)); };
  EXPECT_EQ(cell(0), cell(7));
  EXPECT_NE(cell(0), cell(1));
  EXPECT_NE(cell(2), cell(3));
  EXPECT_NE(cell(4), zero);  // the same 0, but live
  EXPECT_NE(Cut(image, TitTimeRect(l, 1)), Cut(image, TitTimeRect(l, 0)));
}

TEST_F(KpPagesPaint, TitWindowDiffersFromThePageInItsColumns) {
  const QSize size(478, 238);
  TKpRecordList list;
  TKpAnswers(list).Gtit(1, 2, {5, 5, 5, 5, 5, 5, 5, 5});
  const QImage image = Render(PaintTitWindow, size, KpBlock(list, 1));
  EXPECT_EQ(CountColour(image, image.rect(), Qt::magenta), 0);
  // The time column starts at 2; 0 and 1 are face.
  EXPECT_EQ(At(image, 0, 10), face);
  EXPECT_EQ(At(image, 1, 10), face);
  EXPECT_EQ(At(image, 2, 10), style.colours.buttonShadow);
  // Group 2's values run from 134 to 478 in window colour.
  EXPECT_EQ(At(image, 135, 59 + 5), style.colours.window);
  EXPECT_EQ(At(image, 476, 59 + 5), style.colours.window);
  EXPECT_EQ(At(image, 477, 59 + 5), style.colours.buttonHighlight);
  EXPECT_EQ(At(image, 131, 59 + 5), face);  // between time and values
  const TitLayout l = TitWindowLayout(478, 238);
  for (int g : {0, 2, 3}) {
    const KpRect r = TitValueRect(l, g, 4);
    EXPECT_EQ(At(image, r.left + 2, r.top + 2), face) << g;
    EXPECT_GT(CountNear(image, ToQRect(FrameEdges(r).inside), grey, kInk), 4) << g;
    EXPECT_EQ(CountNear(image, ToQRect(FrameEdges(r).inside), black, kInk), 0) << g;
  }
  // Nothing below the fourth row (4 × 59 = 236).
  EXPECT_EQ(CountOther(image, QRect(0, 236, 478, 2), face), 0);
}

TEST_F(KpPagesPaint, BoPageLampsFollowTheWordAndTextsAreDrawn) {
  const QSize size(470, 290);
  const QImage empty = Render(PaintBoPage, size, nullptr);
  EXPECT_EQ(CountColour(empty, empty.rect(), Qt::magenta), 0);
  for (int bit = 0; bit < 16; ++bit) {
    EXPECT_EQ(At(empty, 10, BoLampSquare(bit).top + 4), silver) << bit;
  }
  TKpRecordList list;
  TKpAnswers(list).Bo(3, {0x01, 0x80});
  const QImage image = Render(PaintBoPage, size, KpBlock(list, 3));
  std::vector<QImage> texts;
  for (int bit = 0; bit < 16; ++bit) {
    const KpRect s = BoLampSquare(bit);
    EXPECT_EQ(At(image, 10, s.top + 4), bit == 0 || bit == 15 ? yellow : green) << bit;
    // The lamp stays in its 8 × 8 square.
    const QRect lampArea = ToQRect(BoRowRect(bit, 32)).adjusted(1, 1, -1, -1);
    EXPECT_EQ(CountOther(image, lampArea, face) - CountOther(image, ToQRect(s), face), 0) << bit;
    // Each flag's text is there and differs from every other.
    const QImage text = Cut(image, BoTextRect(bit, 470));
    EXPECT_GT(CountNear(text, text.rect(), black, kInk), 30) << bit;
    for (const QImage& other : texts) EXPECT_NE(text, other) << bit;
    texts.push_back(text);
  }
  // The time row: known time differs from the unknown one; below the last
  // row (16 + 16 × 16 = 272) only face.
  EXPECT_NE(Cut(image, BoTimeRect(470)), Cut(empty, BoTimeRect(470)));
  EXPECT_EQ(CountOther(image, QRect(0, 272, 470, 18), face), 0);
}

TEST_F(KpPagesPaint, PaintKpPageDrawsTheChosenPage) {
  TKpRecordList list;
  TKpAnswers answers(list);
  answers.Gts(1, 1, 0x0F);
  answers.Gtit(1, 1, {1, 2, 3, 4, 5, 6, 7, 8});
  answers.Bo(1, {0x55, 0xAA});
  const KpTelemetryBlock* block = KpBlock(list, 1);
  const QSize size(500, 300);
  const PagePainter ts = [](QPainter& p, QSize s, const KpTelemetryBlock* b,
                            const KpPageStyle& st) { PaintKpPage(p, s, KpPage::Ts, b, st); };
  const PagePainter tit = [](QPainter& p, QSize s, const KpTelemetryBlock* b,
                             const KpPageStyle& st) { PaintKpPage(p, s, KpPage::Tit, b, st); };
  const PagePainter bo = [](QPainter& p, QSize s, const KpTelemetryBlock* b,
                            const KpPageStyle& st) { PaintKpPage(p, s, KpPage::Bo, b, st); };
  EXPECT_EQ(Render(ts, size, block), Render(PaintTsPage, size, block));
  EXPECT_EQ(Render(tit, size, block), Render(PaintTitPage, size, block));
  EXPECT_EQ(Render(bo, size, block), Render(PaintBoPage, size, block));
  EXPECT_NE(Render(ts, size, block), Render(tit, size, block));
  EXPECT_NE(Render(tit, size, block), Render(bo, size, block));
}

TEST_F(KpPagesPaint, TinySizesPaintFaceAndNeverCrash) {
  for (const QSize size : {QSize(1, 1), QSize(40, 10), QSize(133, 300), QSize(200, 7)}) {
    for (const PagePainter& paint : {PagePainter(PaintTsPage), PagePainter(PaintTitPage),
                                     PagePainter(PaintBoPage), PagePainter(PaintTitWindow)}) {
      const QImage image = Render(paint, size, nullptr);
      EXPECT_EQ(CountColour(image, image.rect(), Qt::magenta), 0);
    }
  }
}

}  // namespace
}  // namespace sorvex
