#include "ui/kp/kp_form.h"

#include <QBoxLayout>
#include <QFrame>
#include <QPainter>
#include <QSpinBox>
#include <QTabBar>
#include <utility>

#include "monitor/kp_record_list.h"
#include "ui/controls/form_geometry.h"
#include "ui/kp/kp_draw_panel.h"
#include "util/config.h"

namespace sorvex {

TFormKp::TFormKp(std::string iniFileName, const TKpRecordList& kpStats, QWidget* parent)
    : QWidget(parent), FIniFileName(std::move(iniFileName)), FKpStats(kpStats) {
  setObjectName(QStringLiteral("FormKp"));
  SetUpKpWindow(this, QStringLiteral("Состояние КП"));

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  // A line carries KPs 1..31; stored addresses 1..9 read as before.
  const TKpBar bar = AddKpBar(this, layout, kMaxKp);
  Panel1 = bar.Panel1;
  EdKp = bar.EdKp;

  // The tab control: its tabs above one pane that PnDraw fills, whichever
  // tab is selected.
  auto* tabs = new QWidget(this);
  auto* tabsLayout = new QVBoxLayout(tabs);
  tabsLayout->setContentsMargins(4, 4, 4, 4);
  tabsLayout->setSpacing(0);
  TbData = new QTabBar(tabs);
  TbData->setObjectName(QStringLiteral("TbData"));
  TbData->setExpanding(false);
  TbData->setDrawBase(false);
  TbData->addTab(QStringLiteral("ТС"));
  TbData->addTab(QStringLiteral("ТИТ"));
  TbData->addTab(QStringLiteral("БО"));
  TbData->setCurrentIndex(0);
  auto* pane = new QFrame(tabs);
  pane->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
  auto* paneLayout = new QVBoxLayout(pane);
  paneLayout->setContentsMargins(3, 3, 3, 3);
  PnDraw = new TKpDrawPanel(pane, [this](QPainter& p, QSize size) { Paint(p, size); });
  paneLayout->addWidget(PnDraw);
  tabsLayout->addWidget(TbData);
  tabsLayout->addWidget(pane, 1);
  layout->addWidget(tabs, 1);

  // A size below the minimum is refused, also one stored in the INI file.
  setMinimumSize(kMinWidth, kMinHeight);
  RestoreFormGeometry(*this, FIniFileName, "FormKp", 640, 480);
  EdKp->setValue(IniReadInt(FIniFileName, "FormKpAddr", 1));  // kept inside 1..31

  connect(EdKp, &QSpinBox::valueChanged, this, &TFormKp::EdKpChange);
  connect(TbData, &QTabBar::currentChanged, this, &TFormKp::TbDataChange);
}

TFormKp::~TFormKp() {
  SaveFormGeometry(*this, FIniFileName, "FormKp");
  IniWriteInt(FIniFileName, "FormKpAddr", EdKp->value());
}

void TFormKp::Update() {
  PnDraw->update();
}

void TFormKp::ShowRestored() {
  ShowFormRestored(*this);
}

int TFormKp::Kp() const {
  return EdKp->value();
}

KpPage TFormKp::Page() const {
  switch (TbData->currentIndex()) {
    case 1:
      return KpPage::Tit;
    case 2:
      return KpPage::Bo;
    default:
      return KpPage::Ts;
  }
}

void TFormKp::Paint(QPainter& painter, QSize size) const {
  const KpPageStyle style{KpSystemColours::FromPalette(palette()), font()};
  PaintKpPage(painter, size, Page(), KpBlock(FKpStats, Kp()), style);
}

void TFormKp::EdKpChange() {
  PnDraw->update();
}

void TFormKp::TbDataChange() {
  PnDraw->update();
}

}  // namespace sorvex
