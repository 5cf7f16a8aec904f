#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>
#include <functional>
#include <span>

#include "monitor/telegram_measurement.h"
#include "ui/history/history_geometry.h"

class QPainter;

namespace sorvex {

// The KP history's plots, one point per telegram over wall-clock time:
// level, noise and SNR (dB), the tone deviations (Hz) and the bit-rate
// deviation (%), requests in a light shade and answers in a full one, an
// invalid telegram as a red cross at each of its values. A drag across the
// plots zooms to that stretch of time; a double-click shows all again.
class THistoryPlot : public QWidget {
  Q_OBJECT

 public:
  using PointsFn = std::function<std::span<const TTelegramMeasurement>()>;

  static constexpr int32_t kLeft = 52;
  static constexpr int32_t kLegendHeight = 14;
  static constexpr int32_t kAxisHeight = 16;
  static constexpr int32_t kMinZoomPixels = 3;  // a shorter drag is a click
  static inline const QColor kInvalidColour{0xFF, 0, 0};

  // `points`: the shown KP's measurements, oldest first.
  THistoryPlot(PointsFn points, QWidget* parent = nullptr);

  // Paints the plots as they look at `size`.
  void Paint(QPainter& painter, QSize size);
  // The time shown: the whole history unless zoomed.
  THistorySpan Span() const;
  bool Zoomed() const { return FZoomed; }
  void ZoomTo(const THistorySpan& span);
  void ZoomOut();
  // Colour of a quantity's points of a side (0 request, 1 answer).
  static QColor PointColour(THistoryQuantity q, int side);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  THistoryLayout Layout(QSize size) const;

  PointsFn FPoints;
  bool FZoomed = false;
  THistorySpan FZoom;
  bool FDragging = false;
  int32_t FDragFrom = 0, FDragTo = 0;
  QImage FLayer;  // the picture before it is copied out, kept between paints
};

}  // namespace sorvex
