#include "ui/history/history_plot.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

#include "ui/controls/graphic_panel.h"
#include "ui/controls/plot_geometry.h"

namespace sorvex {

namespace {

constexpr int32_t kMinTickSpacing = 70;
constexpr int32_t kMinValueSpacing = 18;
const QColor kBackground(0xFF, 0xFF, 0xFF);
const QColor kFrame(0x80, 0x80, 0x80);
const QColor kGrid(0xD8, 0xD8, 0xD8);
const QColor kSelection(0xC0, 0xD8, 0xFF);

struct TQuantityStyle {
  THistoryQuantity quantity;
  const char* name;
  QColor colour;
};
constexpr int kQuantities = kHistoryQuantities;
const std::array<TQuantityStyle, kQuantities> kStyles = {{
    {THistoryQuantity::Level, "уровень", QColor(0, 0, 0xD0)},
    {THistoryQuantity::Noise, "шум", QColor(0x70, 0x70, 0x70)},
    {THistoryQuantity::Snr, "С/Ш", QColor(0, 0x90, 0)},
    {THistoryQuantity::F0Deviation, "F0", QColor(0, 0, 0xD0)},
    {THistoryQuantity::F1Deviation, "F1", QColor(0, 0x90, 0)},
    {THistoryQuantity::RateDeviation, "скорость", QColor(0x90, 0, 0x90)},
}};
const char* const kPaneTitles[kHistoryPanes] = {
    "дБ:", "Отклонение тонов, Гц:", "Отклонение скорости, %:"};
// Least value span of a pane: the grid never splits hairs.
constexpr double kMinSpans[kHistoryPanes] = {2, 2, 0.2};

// The picture's pixels, taken once: QImage::scanLine detaches on every call.
struct TPixels {
  QRgb* bits;
  qsizetype stride;  // pixels a row
  QRgb& At(int32_t x, int32_t y) const { return bits[y * stride + x]; }
};

// A 2 × 2 point, or a 5 × 5 cross, straight into the picture's pixels: a
// hundred thousand telegrams paint in a few milliseconds.
void Dot(const TPixels& image, const TPixelRect& plot, int32_t x, int32_t y, QRgb colour) {
  const bool right = x + 1 < plot.Right();
  for (int32_t row = y; row < std::min(y + 2, plot.Bottom()); ++row) {
    image.At(x, row) = colour;
    if (right) image.At(x + 1, row) = colour;
  }
}

void Cross(const TPixels& image, const TPixelRect& plot, int32_t x, int32_t y, QRgb colour) {
  for (int32_t d = -2; d <= 2; ++d) {
    for (const int32_t px : {x + d, x - d}) {
      const int32_t py = y + d;
      if (px < plot.left || px >= plot.Right() || py < plot.top || py >= plot.Bottom()) continue;
      image.At(px, py) = colour;
    }
  }
}

}  // namespace

THistoryPlot::THistoryPlot(PointsFn points, QWidget* parent)
    : QWidget(parent), FPoints(std::move(points)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(200, 150);
}

QColor THistoryPlot::PointColour(THistoryQuantity q, int side) {
  const QColor full = kStyles[static_cast<size_t>(q)].colour;
  if (side != 0) return full;
  // Requests: halfway to white.
  return QColor((full.red() + 0xFF) / 2, (full.green() + 0xFF) / 2, (full.blue() + 0xFF) / 2);
}

THistorySpan THistoryPlot::Span() const {
  return FZoomed ? FZoom : FullSpan(FPoints());
}

void THistoryPlot::ZoomTo(const THistorySpan& span) {
  if (!(span.t1 > span.t0)) return;
  FZoom = span;
  FZoomed = true;
  update();
}

void THistoryPlot::ZoomOut() {
  FZoomed = false;
  update();
}

THistoryLayout THistoryPlot::Layout(QSize size) const {
  return HistoryLayout(size.width(), size.height(), kLeft, kLegendHeight, kAxisHeight);
}

void THistoryPlot::Paint(QPainter& out, QSize size) {
  if (FLayer.size() != size) FLayer = QImage(size, QImage::Format_RGB32);
  FLayer.fill(kBackground);
  const std::span<const TTelegramMeasurement> points = FPoints();
  const THistorySpan span = Span();
  const THistoryLayout layout = Layout(size);
  const TPixelRect& first = layout.panes[0];

  // Value ranges over the points in view.
  double lo[kHistoryPanes], hi[kHistoryPanes];
  std::fill(std::begin(lo), std::end(lo), INFINITY);
  std::fill(std::begin(hi), std::end(hi), -INFINITY);
  int paneOf[kQuantities];
  for (int q = 0; q < kQuantities; ++q) paneOf[q] = PaneOf(static_cast<THistoryQuantity>(q));
  double values[kQuantities];
  for (const TTelegramMeasurement& m : points) {
    if (m.time < span.t0 || m.time > span.t1) continue;
    QuantityValues(m, values);
    for (int q = 0; q < kQuantities; ++q) {
      if (!std::isfinite(values[q])) continue;
      const int pane = paneOf[q];
      lo[pane] = std::min(lo[pane], values[q]);
      hi[pane] = std::max(hi[pane], values[q]);
    }
  }
  TValueRange ranges[kHistoryPanes];
  for (int pane = 0; pane < kHistoryPanes; ++pane)
    ranges[pane] = ValueRange(lo[pane], hi[pane], kMinSpans[pane], layout.panes[pane].height,
                              kMinValueSpacing);
  // No telegrams yet: no time to label (the span would stand at date-time 0).
  const std::vector<TTimeTick> ticks =
      points.empty() ? std::vector<TTimeTick>{} : TimeTicks(first, span, kMinTickSpacing);

  QPainter p(&FLayer);
  p.setRenderHint(QPainter::Antialiasing, false);
  p.setFont(TGraphicPanel::PanelFont());
  const QFontMetrics fm = p.fontMetrics();
  for (int pane = 0; pane < kHistoryPanes; ++pane) {
    const TPixelRect& plot = layout.panes[pane];
    if (plot.width <= 0 || plot.height <= 0) continue;
    if (FDragging) {
      const int32_t a = std::clamp(std::min(FDragFrom, FDragTo), plot.left, plot.Right());
      const int32_t b = std::clamp(std::max(FDragFrom, FDragTo), plot.left, plot.Right());
      p.fillRect(QRect(a, plot.top, b - a, plot.height), kSelection);
    }
    for (const TTimeTick& tick : ticks) p.fillRect(QRect(tick.x, plot.top, 1, plot.height), kGrid);
    const TValueRange& range = ranges[pane];
    p.setPen(Qt::black);
    for (double v = range.lo; v <= range.hi + range.step / 2; v += range.step) {
      const int32_t y = ValueToY(plot, range, v);
      p.fillRect(QRect(plot.left, y, plot.width, 1), kGrid);
      const QString label = QString::fromStdString(FormatAxisValue(std::fabs(v) < 1e-9 ? 0 : v));
      p.drawText(QPoint(plot.left - 4 - fm.horizontalAdvance(label), y + fm.ascent() / 2), label);
    }
    p.setPen(kFrame);
    p.drawRect(QRect(plot.left - 1, plot.top - 1, plot.width + 1, plot.height + 1));
    // The legend: the pane's title, then each quantity as request / answer.
    int32_t x = plot.left;
    const int32_t baseline = plot.top - 3;
    p.setPen(Qt::black);
    const QString title = QString::fromUtf8(kPaneTitles[pane]);
    p.drawText(QPoint(x, baseline), title);
    x += fm.horizontalAdvance(title) + 8;
    for (const TQuantityStyle& style : kStyles) {
      if (PaneOf(style.quantity) != pane) continue;
      for (int side = 0; side < 2; ++side) {
        const QString text = QString::fromUtf8(style.name) +
                             (side == 0 ? QStringLiteral(" запр.") : QStringLiteral(" отв."));
        p.fillRect(QRect(x, baseline - 6, 6, 6), PointColour(style.quantity, side));
        x += 9;
        p.drawText(QPoint(x, baseline), text);
        x += fm.horizontalAdvance(text) + 10;
      }
    }
  }
  if (layout.panes[kHistoryPanes - 1].height > 0) {
    p.setPen(Qt::black);
    for (const TTimeTick& tick : ticks) {
      const QString label = QString::fromStdString(tick.label);
      const int32_t w = fm.horizontalAdvance(label);
      const int32_t left = std::clamp(tick.x - w / 2, 0, std::max(0, size.width() - w));
      p.drawText(QPoint(left, layout.axisTop + fm.ascent() + 2), label);
    }
    const QString crossNote = QStringLiteral("× — телеграмма с ошибкой");
    p.setPen(kInvalidColour);
    p.drawText(QPoint(size.width() - 8 - fm.horizontalAdvance(crossNote), fm.ascent()), crossNote);
  }
  p.end();

  // The points, each quantity into its pane; invalid telegrams last, on top.
  QRgb colours[kQuantities][2];
  for (const TQuantityStyle& style : kStyles)
    for (int side = 0; side < 2; ++side)
      colours[static_cast<size_t>(style.quantity)][side] = PointColour(style.quantity, side).rgb();
  const QRgb invalid = kInvalidColour.rgb();
  const TPixels pixels{reinterpret_cast<QRgb*>(FLayer.bits()), FLayer.bytesPerLine() / 4};
  // Row of a value: top + (hi − v) · rows / (hi − lo), rounded, as ValueToY.
  double rowScale[kHistoryPanes];
  for (int pane = 0; pane < kHistoryPanes; ++pane)
    rowScale[pane] = (layout.panes[pane].height - 1) / (ranges[pane].hi - ranges[pane].lo);
  for (const bool crosses : {false, true}) {
    for (const TTelegramMeasurement& m : points) {
      if (m.valid == crosses || m.time < span.t0 || m.time > span.t1) continue;
      const int32_t x = TimeToX(first, span, m.time);
      if (x < first.left || x >= first.Right()) continue;
      QuantityValues(m, values);
      for (int q = 0; q < kQuantities; ++q) {
        if (!std::isfinite(values[q])) continue;
        const int pane = paneOf[q];
        const TPixelRect& plot = layout.panes[pane];
        if (plot.height <= 0) continue;
        const double row = (ranges[pane].hi - values[q]) * rowScale[pane] + 0.5;
        const int32_t y = plot.top + static_cast<int32_t>(std::clamp(row, 0.0, plot.height - 1.0));
        if (crosses) {
          Cross(pixels, plot, x, y, invalid);
        } else {
          Dot(pixels, plot, x, y, colours[q][m.channel ? 1 : 0]);
        }
      }
    }
  }
  out.drawImage(0, 0, FLayer);
}

void THistoryPlot::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter, size());
}

void THistoryPlot::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  FDragging = true;
  FDragFrom = FDragTo = event->position().toPoint().x();
}

void THistoryPlot::mouseMoveEvent(QMouseEvent* event) {
  if (!FDragging) return;
  FDragTo = event->position().toPoint().x();
  update();
}

void THistoryPlot::mouseReleaseEvent(QMouseEvent* event) {
  if (!FDragging || event->button() != Qt::LeftButton) return;
  FDragging = false;
  FDragTo = event->position().toPoint().x();
  const TPixelRect plot = Layout(size()).panes[0];
  const int32_t a = std::clamp(std::min(FDragFrom, FDragTo), plot.left, plot.Right());
  const int32_t b = std::clamp(std::max(FDragFrom, FDragTo), plot.left, plot.Right());
  if (b - a >= kMinZoomPixels) {
    const THistorySpan span = Span();
    ZoomTo({XToTime(plot, span, a), XToTime(plot, span, b)});
  }
  update();
}

void THistoryPlot::mouseDoubleClickEvent(QMouseEvent*) {
  FDragging = false;
  ZoomOut();
}

}  // namespace sorvex
