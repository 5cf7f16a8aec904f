#include "ui/kp/kp_pages.h"

#include <QPainter>
#include <QPalette>
#include <QSize>
#include <algorithm>

#include "monitor/kp_record_list.h"
#include "ui/controls/form_font.h"
#include "util/date_time.h"

namespace sorvex {

// ---- Geometry

SunkenFrame FrameEdges(const KpRect& r) {
  SunkenFrame f;
  if (r.Width() <= 0 || r.Height() <= 0) return f;
  f.shadowTop = {r.left, r.top, std::max(r.left, r.right - 1), r.top + 1};
  f.shadowLeft = {r.left, r.top, r.left + 1, std::max(r.top, r.bottom - 1)};
  f.lightBottom = {r.left, r.bottom - 1, r.right, r.bottom};
  f.lightRight = {r.right - 1, r.top, r.right, r.bottom};
  if (r.Width() > 2 && r.Height() > 2) {
    f.inside = {r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  }
  return f;
}

TsLayout TsPageLayout(int32_t width, int32_t height) {
  int32_t cell = (width - 134) / 8;
  if (height / 8 < cell) cell = height / 8;
  cell = std::max(cell, 0);
  return {cell, std::max(cell / 2 - 4, 0)};
}

KpRect TsTimeRect(const TsLayout& layout, int row) {
  const int32_t y = row * layout.cell;
  return {0, y, kTimeColumnRight, y + layout.cell};
}

KpRect TsLampRowRect(const TsLayout& layout, int row, int32_t width) {
  const int32_t y = row * layout.cell;
  return {kTimeColumnRight, y, width, y + layout.cell};
}

KpPoint TsLampCentre(const TsLayout& layout, int row, int bit) {
  return {kTimeColumnRight + bit * layout.cell + layout.cell / 2,
          row * layout.cell + layout.cell / 2};
}

KpRect TsLampSquare(const TsLayout& layout, int row, int bit) {
  const KpPoint c = TsLampCentre(layout, row, bit);
  return {c.x - layout.radius, c.y - layout.radius, c.x + layout.radius, c.y + layout.radius};
}

QString TsLampLabel(int row, int bit) {
  return QStringLiteral("%1:%2").arg(row + 1).arg(bit + 1);
}

TitLayout TitPageLayout(int32_t width, int32_t height) {
  return {0, kTimeColumnRight, std::max((width - 130) / 8, 0), std::max(height / 4, 0)};
}

TitLayout TitWindowLayout(int32_t width, int32_t height) {
  return {2, 134, std::max((width - 134) / 8, 0), std::max(height / 4, 0)};
}

KpRect TitTimeRect(const TitLayout& layout, int group) {
  const int32_t y = group * layout.rowHeight;
  return {layout.timeLeft, y, kTimeColumnRight, y + layout.rowHeight};
}

KpRect TitValueRect(const TitLayout& layout, int group, int k) {
  const int32_t x = layout.valuesLeft + k * layout.columnWidth;
  const int32_t y = group * layout.rowHeight;
  return {x, y, x + layout.columnWidth, y + layout.rowHeight};
}

KpRect BoTimeRect(int32_t width) {
  return {0, 0, width, kBoRowHeight};
}

KpRect BoRowRect(int bit, int32_t width) {
  const int32_t y = kBoRowHeight + kBoRowHeight * bit;
  return {0, y, width, y + kBoRowHeight};
}

KpRect BoLampSquare(int bit) {
  const int32_t y = kBoRowHeight + kBoRowHeight * bit;
  return {6, y + 4, 14, y + 12};
}

KpRect BoTextRect(int bit, int32_t width) {
  const int32_t y = kBoRowHeight + kBoRowHeight * bit;
  return {32, y, width, y + kBoRowHeight};
}

const QStringList& BoDiagnosticTexts() {
  static const QStringList texts = {
      QStringLiteral("Нет предварительного сброса при выдаче команды ТУ"),
      QStringLiteral("При контр. установе группы считали ноль."),
      QStringLiteral("При контр. установе группы считали не то."),
      QStringLiteral("При контр. установе группы считали объект."),
      QStringLiteral("При контр. установе объекта считали ноль."),
      QStringLiteral("При контр. установе объекта считали не то."),
      QStringLiteral("При контр. установе объекта считали группу."),
      QStringLiteral("При контроле установленного ТУ - несравнение."),
      QStringLiteral("Смещение нуля не в допуске"),
      QStringLiteral("Смещение эталона не в допуске"),
      QStringLiteral("При работе с ЛУМА1 нет сброса"),
      QStringLiteral("При работе с ЛУМА1 нет установки номера группы"),
      QStringLiteral("При работе с ЛУМА2 нет сброса"),
      QStringLiteral("При работе с ЛУМА3 нет установки номера группы"),
      QStringLiteral("Ошибка ГРАТ-N"),
      QStringLiteral("Неисправность таймера ТОРИ-2"),
  };
  return texts;
}

// ---- Data

const KpTelemetryBlock* KpBlock(const TKpRecordList& list, int kp) {
  if (kp < 0 || kp > 255) return nullptr;
  const TKpRecord* record = list.FindRecord(static_cast<uint8_t>(kp));
  return record ? &record->Telemetry : nullptr;
}

LampState TsLampState(const KpTelemetryBlock* block, int row, int bit) {
  if (!block || block->TsTimes[row] == 0) return LampState::NoData;
  return (block->TsBytes[row] >> bit) & 1u ? LampState::Set : LampState::Clear;
}

uint16_t BoDiagnosticWord(const KpTelemetryBlock* block) {
  if (!block) return 0;
  return static_cast<uint16_t>(block->BoBytes[0] | block->BoBytes[1] << 8);
}

LampState BoLampState(const KpTelemetryBlock* block, int bit) {
  if (!block || block->BoTime == 0) return LampState::NoData;
  return (BoDiagnosticWord(block) >> bit) & 1u ? LampState::Set : LampState::Clear;
}

bool TitGroupLive(const KpTelemetryBlock* block, int group) {
  return block && block->TitTimes[group] != 0;
}

QString TitValueText(const KpTelemetryBlock* block, int group, int k) {
  return QString::number(block ? block->TitValues[group][k] : 0);
}

namespace {

QString TimeText(double dateTime) {
  return QString::fromStdString(FormatTimeStamp(dateTime));
}

}  // namespace

QString TsTimeText(const KpTelemetryBlock* block, int row) {
  return TimeText(block ? block->TsTimes[row] : 0);
}

QString TitTimeText(const KpTelemetryBlock* block, int group) {
  return TimeText(block ? block->TitTimes[group] : 0);
}

QString BoTimeText(const KpTelemetryBlock* block) {
  return TimeText(block ? block->BoTime : 0);
}

// ---- Colours

QColor ColorRefToQColor(uint32_t bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>(bgr >> 8 & 0xFF),
                static_cast<int>(bgr >> 16 & 0xFF));
}

LampColours LampColoursOf(LampState state) {
  switch (state) {
    case LampState::Set:
      return {kClYellow, kClBlack};
    case LampState::Clear:
      return {kClGreen, kClWhite};
    case LampState::NoData:
      break;
  }
  return {kClSilver, kClBlack};
}

KpSystemColours KpSystemColours::FromPalette(const QPalette& palette) {
  // 8 bits per channel, as the page is drawn: a palette may carry finer ones.
  const auto colour = [&](QPalette::ColorRole role) {
    return QColor::fromRgb(palette.color(QPalette::Active, role).rgb());
  };
  return {colour(QPalette::Button), colour(QPalette::Base), colour(QPalette::Text),
          colour(QPalette::Dark), colour(QPalette::Light)};
}

TitCellColours TitCellColoursOf(bool live, const KpSystemColours& colours) {
  if (live) return {colours.window, colours.windowText};
  return {colours.buttonFace, ColorRefToQColor(kClGrey)};
}

KpPageStyle KpPageStyle::FromPalette(const QPalette& palette) {
  return {KpSystemColours::FromPalette(palette), KpFormFont()};
}

QFont KpFormFont() {
  return FormFont();
}

// ---- Painting

namespace {

QRect ToQRect(const KpRect& r) {
  return QRect(r.left, r.top, r.Width(), r.Height());
}

void Fill(QPainter& p, const KpRect& r, const QColor& colour) {
  if (r.Width() > 0 && r.Height() > 0) p.fillRect(ToQRect(r), colour);
}

// Draws the frame and returns what lies inside it.
KpRect Frame(QPainter& p, const KpRect& rect, const KpSystemColours& colours) {
  const SunkenFrame f = FrameEdges(rect);
  Fill(p, f.shadowTop, colours.buttonShadow);
  Fill(p, f.shadowLeft, colours.buttonShadow);
  Fill(p, f.lightBottom, colours.buttonHighlight);
  Fill(p, f.lightRight, colours.buttonHighlight);
  return f.inside;
}

// Single line, clipped to `r`; `&` is printed as it is.
void Text(QPainter& p, const KpRect& r, int alignment, const QColor& colour, const QString& text) {
  if (r.Width() <= 0 || r.Height() <= 0) return;
  p.setPen(colour);
  p.drawText(ToQRect(r), alignment | Qt::TextSingleLine, text);
}

// A circle inside `square` (right and bottom excluded) with a black outline.
void Lamp(QPainter& p, const KpRect& square, uint32_t fill) {
  p.setPen(ColorRefToQColor(kClBlack));
  p.setBrush(ColorRefToQColor(fill));
  p.drawEllipse(QRect(square.left, square.top, square.Width() - 1, square.Height() - 1));
  p.setBrush(Qt::NoBrush);
}

QFont PageFont(const KpPageStyle& style, bool bold) {
  QFont font = style.font;
  font.setBold(bold);
  return font;
}

void Begin(QPainter& p, QSize size, const KpPageStyle& style) {
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(QRect(QPoint(0, 0), size), style.colours.buttonFace);
  p.setPen(ColorRefToQColor(kClBlack));
  p.setBrush(Qt::NoBrush);
  p.setFont(PageFont(style, false));
}

void TimeCell(QPainter& p, const KpRect& rect, const QString& text, const KpPageStyle& style) {
  const KpRect inside = Frame(p, rect, style.colours);
  Text(p, inside, Qt::AlignCenter, style.colours.windowText, text);
}

void TitGrid(QPainter& p, const TitLayout& layout, const KpTelemetryBlock* block,
             const KpPageStyle& style) {
  const QFont regular = PageFont(style, false);
  const QFont bold = PageFont(style, true);
  for (int g = 0; g < KpTelemetryBlock::kTitGroups; ++g) {
    p.setFont(regular);
    TimeCell(p, TitTimeRect(layout, g), TitTimeText(block, g), style);
    const TitCellColours colours = TitCellColoursOf(TitGroupLive(block, g), style.colours);
    p.setFont(bold);
    for (int k = 0; k < KpTelemetryBlock::kTitValues; ++k) {
      const KpRect inside = Frame(p, TitValueRect(layout, g, k), style.colours);
      Fill(p, inside, colours.fill);
      Text(p, inside, Qt::AlignCenter, colours.text, TitValueText(block, g, k));
    }
  }
  p.setFont(regular);
}

}  // namespace

void PaintTsPage(QPainter& p, QSize size, const KpTelemetryBlock* block, const KpPageStyle& style) {
  Begin(p, size, style);
  const TsLayout layout = TsPageLayout(size.width(), size.height());
  if (layout.cell <= 0) return;
  for (int row = 0; row < KpTelemetryBlock::kTsGroups; ++row) {
    TimeCell(p, TsTimeRect(layout, row), TsTimeText(block, row), style);
    Frame(p, TsLampRowRect(layout, row, size.width()), style.colours);
    if (layout.radius <= 0) continue;
    for (int bit = 0; bit < 8; ++bit) {
      const LampColours colours = LampColoursOf(TsLampState(block, row, bit));
      const KpRect square = TsLampSquare(layout, row, bit);
      Lamp(p, square, colours.fill);
      Text(p, square, Qt::AlignCenter, ColorRefToQColor(colours.text), TsLampLabel(row, bit));
    }
  }
}

void PaintTitPage(QPainter& p, QSize size, const KpTelemetryBlock* block,
                  const KpPageStyle& style) {
  Begin(p, size, style);
  TitGrid(p, TitPageLayout(size.width(), size.height()), block, style);
}

void PaintTitWindow(QPainter& p, QSize size, const KpTelemetryBlock* block,
                    const KpPageStyle& style) {
  Begin(p, size, style);
  TitGrid(p, TitWindowLayout(size.width(), size.height()), block, style);
}

void PaintBoPage(QPainter& p, QSize size, const KpTelemetryBlock* block, const KpPageStyle& style) {
  Begin(p, size, style);
  const int32_t width = size.width();
  TimeCell(p, BoTimeRect(width), BoTimeText(block), style);
  const QStringList& texts = BoDiagnosticTexts();
  for (int bit = 0; bit < kBoFlagCount; ++bit) {
    Frame(p, BoRowRect(bit, width), style.colours);
    Lamp(p, BoLampSquare(bit), LampColoursOf(BoLampState(block, bit)).fill);
    Text(p, BoTextRect(bit, width), Qt::AlignLeft | Qt::AlignVCenter, style.colours.windowText,
         texts[bit]);
  }
}

void PaintKpPage(QPainter& p, QSize size, KpPage page, const KpTelemetryBlock* block,
                 const KpPageStyle& style) {
  switch (page) {
    case KpPage::Ts:
      PaintTsPage(p, size, block, style);
      return;
    case KpPage::Tit:
      PaintTitPage(p, size, block, style);
      return;
    case KpPage::Bo:
      PaintBoPage(p, size, block, style);
      return;
  }
}

}  // namespace sorvex
