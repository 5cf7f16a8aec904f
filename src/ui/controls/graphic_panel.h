#pragma once

#include <QColor>
#include <QFont>
#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "ui/controls/plot_cursors.h"
#include "ui/controls/plot_geometry.h"

class QPainter;

namespace sorvex {

// Called while a draggable marker is dragged: (userData, new position).
using TMarkerMoveHandler = std::function<void(int32_t userData, double position)>;

struct TGraphMarker {
  int32_t orientation = 0;    // 0 vertical; other values are kept but not drawn or hit
  int32_t userData = 0;       // passed back to OnMove
  double position = 0;        // x in data units
  QColor colour;              // line, triangle and label
  QString text;               // label; empty = none
  TMarkerMoveHandler OnMove;  // set: the marker can be dragged
};

// A piece of text drawn after the caption, in its own colour.
struct TCaptionText {
  QString text;
  QColor colour;
};

struct TPlotSeries {
  std::vector<double> samples;  // empty: not drawn
  QColor colour;
  int32_t Count() const { return static_cast<int32_t>(samples.size()); }
};

// The program's plotting control: up to four curves of equally spaced
// samples over a dotted grid with axis labels, vertical markers with short
// labels, and a caption. Markers with a move handler can be dragged.
// Margins, grid spacing and the fixed range are the PlotSettings fields,
// the computed scales the PlotScales fields.
class TGraphicPanel : public QWidget, public PlotSettings, public PlotScales {
  Q_OBJECT

 public:
  // Fills `host` (if any) and follows its size.
  explicit TGraphicPanel(QWidget* host);
  ~TGraphicPanel() override;

  std::vector<std::unique_ptr<TGraphMarker>> markers;
  TGraphMarker* dragMarker = nullptr;
  QString title;
  std::vector<TCaptionText> captionParts;  // after the title, a gap before each
  QColor backgroundColor;                  // the button face of the palette
  QColor gridColor{0x80, 0x80, 0x80};
  Qt::PenStyle gridPenStyle = Qt::DotLine;
  QColor axisColor{Qt::black};
  QColor textColor{Qt::black};
  TPlotSeries series[kPlotSeriesCount];
  bool markersVisible = true;
  // Measuring cursors (off unless enabled): a click in the plot places one,
  // a drag moves it, Escape clears them; with both placed the time between
  // them (and the bit rate, when they span whole bits) is shown at the top
  // right.
  bool cursorsEnabled = false;
  PlotCursors cursors;
  double cursorSampleRate = 8000;  // data units per second along x
  double cursorBitPeriod = 0;      // data units; 0: unknown
  QColor cursorColour{0xC0, 0, 0xC0};

  // Replaces series `index` (0..3; others are ignored) by a copy of `count`
  // samples; a null `samples` or a negative count empties it.
  void SetSeries(int index, const double* samples, const QColor& colour, int32_t count);
  void AddMarker(int32_t orientation, int32_t userData, TMarkerMoveHandler onMove,
                 const QString& text, const QColor& colour, double position);
  void ClearMarkers();
  void SetMarkersVisible(bool visible);
  // Both 0: automatic range.
  void SetYRange(double top, double bottom);
  void SetTitle(const QString& text);
  void SetCaptionParts(std::vector<TCaptionText> parts);
  void Rescale();
  void EnableCursors(bool enabled);
  void ClearCursors();

  // Draws the whole panel as it looks at `size` (rescaling first if the
  // scales were computed for another size).
  void Paint(QPainter& painter, QSize size);
  // "Arial", 7 points: every text of the panel.
  static QFont PanelFont();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  PlotArea Area(QSize size) const { return PlotArea::Of(*this, size.width(), size.height()); }
  void RescaleFor(QSize size);
  std::vector<MarkerInput> MarkerInputs() const;
  int HitTest(int32_t x, int32_t y);
  // A press at `at` places or grabs a cursor; false outside the plot.
  bool PressCursor(QPoint at);
  void PaintCursors(QPainter& p, const PlotArea& area);

  QSize FScaledSize;  // size the scales were computed for
  int FDragCursor = -1;
};

}  // namespace sorvex
