#pragma once
// Rendering and pixel helpers for the widget tests.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QSize>
#include <cstdlib>

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

// Pixels of `rect` whose red, green and blue each lie within `tolerance` of
// `colour`'s: antialiased text has few pixels of its exact colour.
inline int CountNear(const QImage& image, QRect rect, const QColor& colour, int tolerance) {
  rect = rect.intersected(image.rect());
  int n = 0;
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    for (int x = rect.left(); x <= rect.right(); ++x) {
      const QColor c = image.pixelColor(x, y);
      n += std::abs(c.red() - colour.red()) <= tolerance &&
           std::abs(c.green() - colour.green()) <= tolerance &&
           std::abs(c.blue() - colour.blue()) <= tolerance;
    }
  }
  return n;
}

}  // namespace sorvex::testing
