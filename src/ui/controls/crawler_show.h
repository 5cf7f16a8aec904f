#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>

class QPainter;

namespace sorvex {

// The start-level slider: a groove with ticks and a thumb, values on a grid
// of `step` between min and max. A click moves the thumb at once, a drag
// follows the pointer, and the hint follows the pointer while it moves.
class CCrawlerShow : public QWidget {
  Q_OBJECT

 public:
  // Called when the value changes: (tag, new value).
  using ChangeHandler = std::function<void(int32_t tag, double value)>;

  CCrawlerShow(QWidget* host, ChangeHandler onChange, int32_t tag);

  // A range needs max > min and step > 0, all finite; any other call is
  // refused (false) and changes nothing.
  bool SetRange(double min, double max, double step);
  // mode 0 ticks above and below the groove, 1 above only, 2 below only;
  // a count below 1 draws none, 1 one tick at the min position.
  void SetTicks(int32_t mode, int32_t count);
  // Kept inside min..max and rounded half away from zero to a multiple of
  // step; OnChange only when the value changed. NaN is ignored.
  void SetValue(double v);
  double GetValue() const { return value; }

  void SetHint(const QString& text) { setToolTip(text); }
  QString Hint() const { return toolTip(); }

  double Min() const { return min; }
  double Max() const { return max; }
  double Step() const { return step; }
  int32_t TickMode() const { return tickMode; }
  int32_t TickCount() const { return tickCount; }
  int32_t Tag() const { return tag; }
  const QPixmap& Thumb() const { return thumb; }
  QSize ThumbSize() const;  // logical pixels

  void Paint(QPainter& painter, QSize size) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;

 private:
  void Pointer(QMouseEvent* event);

  double min = 0;
  double max = 1.0;
  double step = 0.1;
  double value = 0;
  QPixmap thumb;
  int32_t tag;
  ChangeHandler OnChange;
  int32_t tickMode = 0;
  int32_t tickCount = 5;
};

}  // namespace sorvex
