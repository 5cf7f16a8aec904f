#include "ui/controls/tab_control.h"

#include <QTabBar>
#include <QVBoxLayout>

namespace sorvex {

TTabControl::TTabControl(const QStringList& tabs, QWidget* parent) : QFrame(parent) {
  FTabs = new QTabBar(this);
  FTabs->setObjectName("Tabs");
  FTabs->setDrawBase(true);
  FTabs->setExpanding(false);
  for (const QString& text : tabs) FTabs->addTab(text);
  FPage = new QFrame(this);
  FPage->setObjectName("Page");
  FPage->setFrameShape(QFrame::StyledPanel);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  layout->addWidget(FTabs);
  layout->addWidget(FPage, 1);
  connect(FTabs, &QTabBar::currentChanged, this, &TTabControl::currentChanged);
}

int TTabControl::currentIndex() const {
  return FTabs->currentIndex();
}

void TTabControl::setCurrentIndex(int index) {
  FTabs->setCurrentIndex(index);
}

}  // namespace sorvex
