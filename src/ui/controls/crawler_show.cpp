#include "ui/controls/crawler_show.h"

#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>
#include <cmath>

#include "ui/controls/host_fill.h"
#include "ui/controls/icons.h"
#include "ui/controls/level_geometry.h"
#include "ui/controls/pixel_math.h"

namespace sorvex {

namespace {

const QColor kDarkGrey(0x40, 0x40, 0x40);
const QColor kGrey(0x80, 0x80, 0x80);

// A polyline of axis-parallel segments, each without its end pixel.
void Polyline(QPainter& p, std::initializer_list<QPoint> points, const QColor& colour) {
  const QPoint* prev = nullptr;
  for (const QPoint& pt : points) {
    if (prev != nullptr) {
      const PixelRect r = HalfOpenLine(prev->x(), prev->y(), pt.x(), pt.y());
      if (!r.Empty()) p.fillRect(QRect(r.x, r.y, r.w, r.h), colour);
    }
    prev = &pt;
  }
}

}  // namespace

CCrawlerShow::CCrawlerShow(QWidget* host, ChangeHandler onChange, int32_t tagValue)
    : QWidget(host), thumb(CrawlerSliderBitmap()), tag(tagValue), OnChange(std::move(onChange)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  THostFill::Attach(this, host);
  SetValue(value);
  SetHint(QStringLiteral("hint"));
}

bool CCrawlerShow::SetRange(double newMin, double newMax, double newStep) {
  if (!std::isfinite(newMin) || !std::isfinite(newMax) || !std::isfinite(newStep) ||
      !(newMax > newMin) || !(newStep > 0)) {
    return false;
  }
  min = newMin;
  max = newMax;
  step = newStep;
  tickCount = TickCountForRange(min, max, step);
  SetValue(value);
  return true;
}

void CCrawlerShow::SetTicks(int32_t mode, int32_t count) {
  tickMode = mode;
  tickCount = count;
}

void CCrawlerShow::SetValue(double v) {
  if (std::isnan(v)) return;
  const double old = value;
  value = SnapToStep(v, min, max, step);
  if (value != old && OnChange) OnChange(tag, value);
  update();
}

void CCrawlerShow::Paint(QPainter& p, QSize size) const {
  const int32_t width = size.width();
  const int32_t mid = size.height() / 2;
  p.fillRect(QRect(QPoint(0, 0), size), palette().color(QPalette::Button));

  Polyline(p, {QPoint(0, mid), QPoint(width - 1, mid)}, kDarkGrey);
  Polyline(p, {QPoint(width, mid - 1), QPoint(0, mid - 1), QPoint(0, mid + 2)}, kGrey);
  Polyline(p, {QPoint(0, mid + 2), QPoint(width, mid + 2), QPoint(width, mid - 1)}, Qt::white);

  const int32_t tw = ThumbSize().width();
  const int32_t half = ThumbSize().height() / 2;
  for (int32_t x : TickColumns(width, tw, tickCount)) {
    if (tickMode == 0 || tickMode == 1)
      Polyline(p, {QPoint(x, mid - 2), QPoint(x, mid - half)}, Qt::black);
    if (tickMode == 0 || tickMode == 2)
      Polyline(p, {QPoint(x, mid + 2), QPoint(x, mid + half)}, Qt::black);
  }
  p.drawPixmap(ThumbLeft(width, tw, value, min, max), mid - half, thumb);
}

QSize CCrawlerShow::ThumbSize() const {
  if (thumb.isNull()) return QSize(13, 9);
  return (QSizeF(thumb.size()) / thumb.devicePixelRatio()).toSize();
}

void CCrawlerShow::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  Paint(painter, size());
}

void CCrawlerShow::mousePressEvent(QMouseEvent* event) {
  Pointer(event);
}

void CCrawlerShow::mouseMoveEvent(QMouseEvent* event) {
  Pointer(event);
}

void CCrawlerShow::Pointer(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (event->buttons() & Qt::LeftButton) {
    if (const auto v = ValueAtMouseX(at.x(), width(), ThumbSize().width(), min, max)) SetValue(*v);
  }
  // The hint (the level in dB, set by the owner) follows the pointer.
  QToolTip::showText(mapToGlobal(at), Hint(), this);
}

}  // namespace sorvex
