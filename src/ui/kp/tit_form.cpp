#include "ui/kp/tit_form.h"

#include <QBoxLayout>
#include <QPainter>
#include <QSpinBox>
#include <utility>

#include "monitor/kp_record_list.h"
#include "ui/kp/kp_draw_panel.h"
#include "ui/kp/kp_pages.h"
#include "util/config.h"

namespace sorvex {

TFormTit::TFormTit(std::string iniFileName, const TKpRecordList& kpStats, QWidget* parent)
    : QWidget(parent), FIniFileName(std::move(iniFileName)), FKpStats(kpStats) {
  setObjectName(QStringLiteral("FormTit"));
  SetUpKpWindow(this, QStringLiteral("Состояние датчиков ТИТ"));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  const TKpBar bar = AddKpBar(this, layout, 9);
  Panel1 = bar.Panel1;
  EdKp = bar.EdKp;
  PnDraw = new TKpDrawPanel(this, [this](QPainter& p, QSize size) { Paint(p, size); });
  layout->addWidget(PnDraw, 1);

  setMinimumSize(kMinWidth, kMinHeight);
  const int top = IniReadInt(FIniFileName, "FormTitTop", 0);
  const int left = IniReadInt(FIniFileName, "FormTitLeft", 0);
  const int width = IniReadInt(FIniFileName, "FormTitWidth", 640);
  const int height = IniReadInt(FIniFileName, "FormTitHeight", 480);
  move(left, top);
  resize(width, height);
  EdKp->setValue(IniReadInt(FIniFileName, "FormTitKp", 1));  // kept inside 1..9

  connect(EdKp, &QSpinBox::valueChanged, this, &TFormTit::EdKpChange);
}

TFormTit::~TFormTit() {
  IniWriteInt(FIniFileName, "FormTitTop", y());
  IniWriteInt(FIniFileName, "FormTitLeft", x());
  IniWriteInt(FIniFileName, "FormTitWidth", width());
  IniWriteInt(FIniFileName, "FormTitHeight", height());
  IniWriteInt(FIniFileName, "FormTitKp", EdKp->value());
}

int TFormTit::Kp() const {
  return EdKp->value();
}

void TFormTit::Paint(QPainter& painter, QSize size) const {
  const KpPageStyle style{KpSystemColours::FromPalette(palette()), font()};
  PaintTitWindow(painter, size, KpBlock(FKpStats, Kp()), style);
}

void TFormTit::EdKpChange() {
  PnDraw->update();
}

}  // namespace sorvex
