#pragma once

#include <QWidget>
#include <functional>

class QBoxLayout;
class QPainter;
class QSpinBox;

namespace sorvex {

// PnDraw of the KP windows: a panel whose whole client area is painted by its
// owner's page routine. Nothing erases the background first; the page
// covers every pixel.
class TKpDrawPanel : public QWidget {
  Q_OBJECT

 public:
  using PaintPage = std::function<void(QPainter&, QSize)>;

  TKpDrawPanel(QWidget* parent, PaintPage paintPage);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  PaintPage FPaintPage;
};

// What both KP windows share: the window flags, and the top bar Panel1,
// 30 pixels high, with the label "КП" and EdKp (1..maxKp, default 1).
struct TKpBar {
  QWidget* Panel1 = nullptr;
  QSpinBox* EdKp = nullptr;
};
// Makes `form` a top-level window that stays on top and does not keep the
// program running once the main window has closed; sets the form font.
void SetUpKpWindow(QWidget* form, const QString& caption);
// Adds Panel1 to `layout` (of `form`).
TKpBar AddKpBar(QWidget* form, QBoxLayout* layout, int maxKp);

}  // namespace sorvex
