#include "ui/controls/level_show.h"

#include <QPainter>

#include "ui/controls/host_fill.h"
#include "ui/controls/level_geometry.h"

namespace sorvex {

CLevelShow::CLevelShow(QWidget* host) : QWidget(host) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  THostFill::Attach(this, host);
}

void CLevelShow::SetLevel(double value) {
  level = value;
  const int lit = LitSegmentCount(LevelBarGeometry(width()), level);
  if (lit == FLitShown) return;
  FLitShown = lit;
  update();
}

void CLevelShow::Paint(QPainter& p, QSize size) const {
  p.fillRect(QRect(QPoint(0, 0), size), Qt::black);
  const LevelBarLayout layout = LevelBarGeometry(size.width());
  for (int32_t i = 0; i < layout.count; ++i) {
    const PixelRect r = SegmentRect(layout, i, size.height());
    if (r.Empty()) continue;
    QColor colour = kUnlit;
    switch (SegmentColourOf(layout, i, level)) {
      case SegmentColour::Green:
        colour = kGreen;
        break;
      case SegmentColour::Red:
        colour = kRed;
        break;
      case SegmentColour::Unlit:
        break;
    }
    p.fillRect(QRect(r.x, r.y, r.w, r.h), colour);
  }
}

void CLevelShow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter, size());
}

void CLevelShow::resizeEvent(QResizeEvent*) {
  FLitShown = -1;
}

}  // namespace sorvex
