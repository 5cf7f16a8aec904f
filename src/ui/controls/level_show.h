#pragma once

#include <QColor>
#include <QSize>
#include <QWidget>

class QPainter;

namespace sorvex {

// Segmented bar of a channel's input level, 0..1 of full scale: green
// segments, the top fifth orange-red, the first one always lit.
class CLevelShow : public QWidget {
  Q_OBJECT

 public:
  static inline const QColor kGreen{0, 0xE0, 0};
  static inline const QColor kRed{0xFF, 0x40, 0};
  static inline const QColor kUnlit{0x40, 0x40, 0x40};

  // Fills `host` (inside its frame) and follows its size.
  explicit CLevelShow(QWidget* host);

  // Called every 10 ms; repaints only when the lit segments change.
  void SetLevel(double level);
  double Level() const { return level; }

  void Paint(QPainter& painter, QSize size) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  double level = 0;
  int FLitShown = -1;  // lit segments of the last requested repaint; −1 = unknown
};

}  // namespace sorvex
