#include "ui/controls/panel_splitter.h"

#include <QMouseEvent>
#include <algorithm>

namespace sorvex {

TPanelSplitter::TPanelSplitter(QWidget* above, QWidget* rest, QWidget* parent)
    : QWidget(parent), FAbove(above), FRest(rest) {
  setFixedHeight(kThickness);
  setCursor(Qt::SplitVCursor);
  setAutoFillBackground(true);
  QPalette shadow = palette();
  shadow.setColor(QPalette::Window, shadow.color(QPalette::Dark));
  setPalette(shadow);
}

int TPanelSplitter::DraggedHeight(int start, int restHeight, int dy) {
  // A rest already below its minimum does not shrink further, nor does the
  // panel above grow into it.
  const int most = std::max(start, start + restHeight - kMinRest);
  return std::clamp(start + dy, 0, std::max(0, most));
}

void TPanelSplitter::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  FDragging = true;
  FStartY = event->globalPosition().toPoint().y();
  FStartHeight = FAbove->height();
  FStartRest = FRest->height();
}

void TPanelSplitter::mouseMoveEvent(QMouseEvent* event) {
  if (!FDragging) return;
  const int dy = event->globalPosition().toPoint().y() - FStartY;
  FAbove->setFixedHeight(DraggedHeight(FStartHeight, FStartRest, dy));
}

void TPanelSplitter::mouseReleaseEvent(QMouseEvent* event) {
  mouseMoveEvent(event);
  FDragging = false;
}

}  // namespace sorvex
