#include "ui/controls/host_fill.h"

#include <QEvent>

namespace sorvex {

THostFill::THostFill(QWidget* control, QWidget* host)
    : QObject(control), FControl(control), FHost(host) {}

void THostFill::Attach(QWidget* control, QWidget* host) {
  if (control == nullptr || host == nullptr) return;
  auto* fill = new THostFill(control, host);
  host->installEventFilter(fill);
  fill->Fit();
}

bool THostFill::eventFilter(QObject* watched, QEvent* event) {
  if (watched == FHost && event->type() == QEvent::Resize) Fit();
  return false;
}

void THostFill::Fit() {
  FControl->setGeometry(FHost->contentsRect());
}

}  // namespace sorvex
