#pragma once
// Rendering and pixel helpers for the widget tests.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSize>

namespace sorvex::testing {

// The control's picture at `size`, through its own Paint.
template <typename Control>
QImage Render(Control& control, QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::magenta);  // anything Paint leaves untouched shows up
  QPainter painter(&image);
  control.Paint(painter, size);
  return image;
}

inline QColor At(const QImage& image, int x, int y) {
  return image.pixelColor(x, y);
}

// Pixels of `rect` (clipped to the image) that have exactly `colour`.
inline int CountColour(const QImage& image, QRect rect, const QColor& colour) {
  rect = rect.intersected(image.rect());
  int n = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    for (int x = rect.left(); x <= rect.right(); ++x) n += image.pixelColor(x, y) == colour;
  }
  return n;
}

// Pixels of `rect` that differ from `colour`.
inline int CountOther(const QImage& image, QRect rect, const QColor& colour) {
  rect = rect.intersected(image.rect());
  return rect.width() * rect.height() - CountColour(image, rect, colour);
}

}  // namespace sorvex::testing
