#include "ui/kp/kp_draw_panel.h"

#include <QBoxLayout>
#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QSpinBox>
#include <utility>

#include "ui/kp/kp_pages.h"

namespace sorvex {

TKpDrawPanel::TKpDrawPanel(QWidget* parent, PaintPage paintPage)
    : QWidget(parent), FPaintPage(std::move(paintPage)) {
  setObjectName(QStringLiteral("PnDraw"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TKpDrawPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  FPaintPage(painter, size());
}

void SetUpKpWindow(QWidget* form, const QString& caption) {
  form->setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
  form->setAttribute(Qt::WA_QuitOnClose, false);
  form->setWindowTitle(caption);
  form->setFont(KpFormFont());
}

TKpBar AddKpBar(QWidget* form, QBoxLayout* layout, int maxKp) {
  TKpBar bar;
  auto* panel = new QFrame(form);
  panel->setObjectName(QStringLiteral("Panel1"));
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel->setFixedHeight(30);
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(8, 3, 8, 3);
  row->setSpacing(6);
  auto* label = new QLabel(QStringLiteral("КП"), panel);
  label->setObjectName(QStringLiteral("LbKp"));
  auto* edit = new QSpinBox(panel);
  edit->setObjectName(QStringLiteral("EdKp"));
  edit->setRange(1, maxKp);
  edit->setValue(1);
  edit->setFixedWidth(50);
  label->setBuddy(edit);
  row->addWidget(label);
  row->addWidget(edit);
  row->addStretch(1);
  layout->addWidget(panel);
  bar.Panel1 = panel;
  bar.EdKp = edit;
  return bar;
}

}  // namespace sorvex
