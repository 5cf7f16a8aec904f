#include "ui/controls/graphic_panel.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QPolygon>
#include <QVector>
#include <algorithm>
#include <cmath>

#include "ui/controls/host_fill.h"
#include "ui/controls/pixel_math.h"

namespace sorvex {

namespace {

// Rows of the triangle on top of a measuring cursor.
constexpr int32_t kCursorHandle = 5;

// Pixels between the caption's parts.
constexpr int32_t kCaptionGap = 10;

// Horizontal grid lines keep this grey whatever gridColor says.
const QColor kHorizontalGridColour(0x80, 0x80, 0x80);

// A half-open line (end pixel excluded). Solid lines are filled rectangles
// and dotted lines single pixels, so the picture does not depend on how the
// paint engine caps or dashes a cosmetic pen.
void DrawLine(QPainter& p, int32_t x0, int32_t y0, int32_t x1, int32_t y1, const QColor& colour,
              Qt::PenStyle style) {
  if (style == Qt::NoPen) return;
  const PixelRect r = HalfOpenLine(x0, y0, x1, y1);
  if (r.Empty()) return;
  if (style == Qt::SolidLine) {
    p.fillRect(QRect(r.x, r.y, r.w, r.h), colour);
    return;
  }
  p.setPen(QPen(colour, 0, style));
  if (style == Qt::DotLine) {
    QPolygon dots;
    ForEachDot(x0, y0, x1, y1, [&dots](int32_t x, int32_t y) { dots << QPoint(x, y); });
    p.drawPoints(dots);
    return;
  }
  p.drawLine(QPoint(r.x, r.y), QPoint(r.x + r.w - 1, r.y + r.h - 1));
}

// Text with its top left corner at (x, y) on an opaque background box.
void DrawOpaqueText(QPainter& p, int32_t x, int32_t y, const QString& text, const QColor& fg,
                    const QColor& bg) {
  const QFontMetrics fm = p.fontMetrics();
  p.fillRect(QRect(x, y, fm.horizontalAdvance(text), fm.height()), bg);
  p.setPen(fg);
  p.drawText(QPoint(x, y + fm.ascent()), text);
}

}  // namespace

TGraphicPanel::TGraphicPanel(QWidget* host) : QWidget(host) {
  backgroundColor = QApplication::palette().color(QPalette::Button);
  // The whole picture is painted every time: no erase, no flicker.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  THostFill::Attach(this, host);
}

TGraphicPanel::~TGraphicPanel() = default;

QFont TGraphicPanel::PanelFont() {
  QFont font(QStringLiteral("Arial"));
  font.setStyleHint(QFont::SansSerif);
  font.setPointSize(7);
  // Crisp glyphs like the rest of the picture: the labels are small and
  // stand on a flat background.
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

void TGraphicPanel::SetSeries(int index, const double* samples, const QColor& colour,
                              int32_t count) {
  if (index < 0 || index >= kPlotSeriesCount) return;
  if (samples == nullptr || count < 0) count = 0;
  TPlotSeries& s = series[index];
  s.samples.assign(samples, samples + count);
  s.colour = colour;
  Rescale();
  update();
}

void TGraphicPanel::AddMarker(int32_t orientation, int32_t userData, TMarkerMoveHandler onMove,
                              const QString& text, const QColor& colour, double position) {
  auto marker = std::make_unique<TGraphMarker>();
  marker->orientation = orientation;
  marker->userData = userData;
  marker->position = position;
  marker->colour = colour;
  marker->text = text;
  marker->OnMove = std::move(onMove);
  markers.push_back(std::move(marker));
  dragMarker = nullptr;
}

void TGraphicPanel::ClearMarkers() {
  dragMarker = nullptr;
  markers.clear();
}

void TGraphicPanel::SetMarkersVisible(bool visible) {
  markersVisible = visible;
  update();
}

void TGraphicPanel::SetYRange(double top, double bottom) {
  fixedTop = top;
  fixedBottom = bottom;
  Rescale();
  update();
}

void TGraphicPanel::SetTitle(const QString& text) {
  title = text;
  update();
}

void TGraphicPanel::SetCaptionParts(std::vector<TCaptionText> parts) {
  captionParts = std::move(parts);
  update();
}

void TGraphicPanel::Rescale() {
  RescaleFor(size());
}

void TGraphicPanel::RescaleFor(QSize size) {
  PlotSeriesSpans spans;
  for (int s = 0; s < kPlotSeriesCount; ++s) spans[s] = series[s].samples;
  RescalePlot(Area(size), *this, spans, *this);
  FScaledSize = size;
}

std::vector<MarkerInput> TGraphicPanel::MarkerInputs() const {
  std::vector<MarkerInput> inputs;
  inputs.reserve(markers.size());
  for (const auto& m : markers) {
    MarkerInput in;
    in.orientation = m->orientation;
    in.position = m->position;
    in.draggable = static_cast<bool>(m->OnMove);
    in.hasLabel = !m->text.isEmpty();
    inputs.push_back(in);
  }
  return inputs;
}

void TGraphicPanel::Paint(QPainter& p, QSize size) {
  if (size != FScaledSize) RescaleFor(size);
  const PlotArea area = Area(size);
  p.save();
  p.setRenderHint(QPainter::Antialiasing, false);
  p.fillRect(QRect(QPoint(0, 0), size), backgroundColor);
  p.setFont(PanelFont());
  const QFontMetrics fm = p.fontMetrics();
  const TextWidthFn textWidth = [&fm](const std::string& text) {
    return static_cast<int32_t>(fm.horizontalAdvance(QString::fromStdString(text)));
  };

  const std::vector<MarkerInput> inputs = MarkerInputs();
  const LabelWidthFn labelWidth = [this, &fm](size_t i) {
    return static_cast<int32_t>(fm.horizontalAdvance(markers[i]->text));
  };
  bool anySamples = false;
  int64_t maxCount = 0;
  for (const TPlotSeries& s : series) {
    anySamples = anySamples || !s.samples.empty();
    maxCount = std::max<int64_t>(maxCount, s.Count());
  }
  const PlotPicture picture = ComputePlotPicture(area, *this, inputs, markersVisible, anySamples,
                                                 textWidth, fm.height(), labelWidth);

  if (picture.drawable) {
    const int32_t axis = area.AxisY();
    const int32_t right = area.RightEdge();
    for (int32_t x : picture.gridColumns) {
      DrawLine(p, x, axis + 2, x, marginTop, gridColor, gridPenStyle);
    }
    for (int32_t y : picture.gridRows) {
      DrawLine(p, marginLeft - 2, y, right, y, kHorizontalGridColour, gridPenStyle);
    }
    DrawLine(p, marginLeft, axis, right, axis, axisColor, Qt::SolidLine);
    DrawLine(p, marginLeft, axis, marginLeft, marginTop, axisColor, Qt::SolidLine);

    std::vector<ColumnRun> runs;
    QVector<QRect> rects;
    p.setPen(Qt::NoPen);
    for (int s = 0; s < kPlotSeriesCount; ++s) {
      if (series[s].samples.empty()) continue;
      CurveRuns(area, *this, s, series[s].samples, maxCount, runs);
      rects.resize(static_cast<qsizetype>(runs.size()));
      for (size_t i = 0; i < runs.size(); ++i) {
        const ColumnRun& r = runs[i];
        rects[static_cast<qsizetype>(i)] = QRect(r.x, r.top, 1, r.bottom - r.top + 1);
      }
      p.setBrush(series[s].colour);
      p.drawRects(rects);
    }
    p.setBrush(Qt::NoBrush);

    for (const TextPlacement& label : picture.yLabels) {
      DrawOpaqueText(p, label.x, label.y, QString::fromStdString(label.text), textColor,
                     backgroundColor);
    }

    // Marker lines and triangles, in list order, batched while the colour
    // stays the same. Labels lie below the axis where no line or triangle
    // reaches, so drawing them afterwards gives the same picture.
    QVector<QRect> batch;
    QColor batchColour;
    auto flush = [&] {
      if (batch.isEmpty()) return;
      p.setPen(Qt::NoPen);
      p.setBrush(batchColour);
      p.drawRects(batch);
      batch.clear();
    };
    for (size_t i = 0; i < picture.markers.size(); ++i) {
      const MarkerPlacement& m = picture.markers[i];
      if (!m.drawn) continue;
      if (markers[i]->colour != batchColour) {
        flush();
        batchColour = markers[i]->colour;
      }
      const PixelRect line = HalfOpenLine(m.x, axis, m.x, 2);
      if (!line.Empty()) batch.append(QRect(line.x, line.y, line.w, line.h));
      for (const PixelRect& row : TriangleRows(m.x, axis, m.triangle)) {
        batch.append(QRect(row.x, row.y, row.w, row.h));
      }
    }
    flush();
    p.setBrush(Qt::NoBrush);
    for (size_t i = 0; i < picture.markers.size(); ++i) {
      if (!picture.markers[i].labelDrawn) continue;
      DrawOpaqueText(p, picture.markers[i].x, axis + 2, markers[i]->text, markers[i]->colour,
                     backgroundColor);
    }

    for (const TextPlacement& label : picture.xLabels) {
      DrawOpaqueText(p, label.x, label.y, QString::fromStdString(label.text), textColor,
                     backgroundColor);
    }
    if (cursorsEnabled && !series[0].samples.empty()) PaintCursors(p, area);
  }

  if (!title.isEmpty()) DrawOpaqueText(p, 2, 0, title, textColor, backgroundColor);
  int32_t x = 2 + p.fontMetrics().horizontalAdvance(title);
  for (const TCaptionText& part : captionParts) {
    x += kCaptionGap;
    DrawOpaqueText(p, x, 0, part.text, part.colour, backgroundColor);
    x += p.fontMetrics().horizontalAdvance(part.text);
  }
  p.restore();
}

void TGraphicPanel::PaintCursors(QPainter& p, const PlotArea& area) {
  for (int i = 0; i < 2; ++i) {
    if (!cursors.placed[i]) continue;
    const int32_t x = MarkerColumn(area, xScale, cursors.position[i]);
    p.fillRect(QRect(x, area.marginTop, 1, area.AxisY() - area.marginTop), cursorColour);
    // A handle at the top: among the bit markers a thin line alone is lost.
    for (int32_t row = 0; row < kCursorHandle; ++row) {
      const int32_t half = kCursorHandle - 1 - row;
      p.fillRect(QRect(x - half, area.marginTop + row, 2 * half + 1, 1), cursorColour);
    }
  }
  if (!cursors.Both()) return;
  const CursorReadout readout =
      ReadCursors(cursors.position[0], cursors.position[1], cursorSampleRate, cursorBitPeriod);
  const QString text = QString::fromStdString(CursorText(readout));
  const int32_t width = p.fontMetrics().horizontalAdvance(text);
  DrawOpaqueText(p, std::max(area.marginLeft, area.RightEdge() - width), 0, text, cursorColour,
                 backgroundColor);
}

void TGraphicPanel::EnableCursors(bool enabled) {
  cursorsEnabled = enabled;
  // A click gives the panel the keyboard, so Escape reaches it.
  setFocusPolicy(enabled ? Qt::ClickFocus : Qt::NoFocus);
  if (!enabled) ClearCursors();
}

void TGraphicPanel::ClearCursors() {
  cursors.Clear();
  FDragCursor = -1;
  update();
}

bool TGraphicPanel::PressCursor(QPoint at) {
  if (series[0].samples.empty()) return false;
  if (size() != FScaledSize) RescaleFor(size());
  const PlotArea area = Area(size());
  if (!area.Drawable() || !(xScale > 0) || at.x() < area.marginLeft || at.x() > area.RightEdge() ||
      at.y() < area.marginTop || at.y() > area.AxisY())
    return false;
  FDragCursor = cursors.Hit(area, xScale, at.x());
  // Cursors stand on whole samples.
  if (FDragCursor < 0) FDragCursor = cursors.Place(std::round(DragPosition(area, xScale, at.x())));
  update();
  return true;
}

void TGraphicPanel::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && cursorsEnabled &&
      (cursors.placed[0] || cursors.placed[1])) {
    ClearCursors();
    return;
  }
  QWidget::keyPressEvent(event);
}

void TGraphicPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter, size());
}

void TGraphicPanel::resizeEvent(QResizeEvent*) {
  Rescale();
  update();
}

int TGraphicPanel::HitTest(int32_t x, int32_t y) {
  if (size() != FScaledSize) RescaleFor(size());
  const std::vector<MarkerInput> inputs = MarkerInputs();
  return HitMarker(Area(size()), xScale, inputs, x, y);
}

void TGraphicPanel::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  const int hit = HitTest(at.x(), at.y());
  dragMarker = hit >= 0 ? markers[static_cast<size_t>(hit)].get() : nullptr;
  FDragCursor = -1;
  if (dragMarker == nullptr && cursorsEnabled && event->button() == Qt::LeftButton) PressCursor(at);
}

void TGraphicPanel::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) {
    dragMarker = nullptr;
    FDragCursor = -1;
  }
  if (series[0].samples.empty()) return;
  const QPoint at = event->position().toPoint();
  if (FDragCursor >= 0) {
    if (size() != FScaledSize) RescaleFor(size());
    const PlotArea area = Area(size());
    if (!area.Drawable() || !(xScale > 0)) return;
    cursors.position[FDragCursor] = std::round(DragPosition(area, xScale, at.x()));
    update();
    return;
  }
  if (dragMarker == nullptr) {
    if (HitTest(at.x(), at.y()) >= 0) {
      setCursor(Qt::SizeHorCursor);
    } else {
      unsetCursor();
    }
    return;
  }
  if (size() != FScaledSize) RescaleFor(size());
  const PlotArea area = Area(size());
  if (!area.Drawable() || !(xScale > 0)) return;
  const double position = DragPosition(area, xScale, at.x());
  dragMarker->position = position;
  // A copy: the handler may clear the markers, and with them this one.
  const TMarkerMoveHandler onMove = dragMarker->OnMove;
  const int32_t userData = dragMarker->userData;
  if (onMove) onMove(userData, position);
  update();
}

void TGraphicPanel::mouseReleaseEvent(QMouseEvent*) {
  dragMarker = nullptr;
  FDragCursor = -1;
}

}  // namespace sorvex
