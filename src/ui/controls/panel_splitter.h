#pragma once

#include <QWidget>

namespace sorvex {

// A 3-pixel bar in the button-shadow colour under a panel of fixed height:
// dragging it makes that panel taller or shorter, taking the space from
// (or giving it to) the panel that fills the rest, which keeps at least
// kMinRest pixels.
class TPanelSplitter : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kThickness = 3;
  static constexpr int kMinRest = 30;

  TPanelSplitter(QWidget* above, QWidget* rest, QWidget* parent = nullptr);

  // The height the panel above gets for a drag of `dy` pixels that started
  // at height `start` with `restHeight` pixels below: 0 .. start + restHeight − kMinRest
  // (never less than `start`).
  static int DraggedHeight(int start, int restHeight, int dy);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  QWidget* FAbove;
  QWidget* FRest;
  bool FDragging = false;
  int FStartY = 0;
  int FStartHeight = 0;
  int FStartRest = 0;
};

}  // namespace sorvex
