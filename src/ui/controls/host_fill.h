#pragma once

#include <QObject>
#include <QWidget>

namespace sorvex {

// Keeps a control covering its host panel's contents (inside the host's
// frame), as the panel-aligned controls of the window expect.
class THostFill : public QObject {
  Q_OBJECT

 public:
  // Places `control` on `host` and follows the host's resizes; owned by the
  // control. No host: nothing to follow.
  static void Attach(QWidget* control, QWidget* host);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  THostFill(QWidget* control, QWidget* host);
  void Fit();

  QWidget* FControl;
  QWidget* FHost;
};

}  // namespace sorvex
