#include "ui/settings_tab.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

#include "modem/modem_device.h"
#include "ui/prompts.h"

namespace sorvex {

namespace {

QToolButton* ToolButton(QWidget* parent, const char* name, const QString& text) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setText(text);
  button->setAutoRaise(true);
  return button;
}

}  // namespace

TSettingsTab::TSettingsTab(std::string& modemSettingsFileName, TPrompts& prompts,
                           QString executableDir, QWidget* parent)
    : QWidget(parent),
      FModemSettingsFileName(modemSettingsFileName),
      FPrompts(prompts),
      FExecutableDir(std::move(executableDir)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  PtTool = new QFrame(this);
  PtTool->setObjectName("PtTool");
  PtTool->setFixedHeight(30);
  auto* tools = new QHBoxLayout(PtTool);
  tools->setContentsMargins(2, 2, 2, 2);
  BtNew = ToolButton(PtTool, "BtNew", QStringLiteral("Новый"));
  BtLoad = ToolButton(PtTool, "BtLoad", QStringLiteral("Загрузить"));
  BtSave = ToolButton(PtTool, "BtSave", QStringLiteral("Сохранить"));
  tools->addWidget(BtNew);
  tools->addWidget(BtLoad);
  tools->addWidget(BtSave);
  tools->addStretch(1);
  layout->addWidget(PtTool);

  PnTop = new QFrame(this);
  PnTop->setObjectName("PnTop");
  auto* top = new QHBoxLayout(PnTop);
  PnTL = new QFrame(PnTop);
  PnTL->setObjectName("PnTL");
  auto* left = new QVBoxLayout(PnTL);
  EdData = new QLineEdit(PnTL);
  EdData->setObjectName("EdData");
  left->addWidget(EdData);
  top->addWidget(PnTL);
  layout->addWidget(PnTop);

  TcFilters = new QTabWidget(this);
  TcFilters->setObjectName("TcFilters");
  layout->addWidget(TcFilters, 1);
  layout->addStretch(0);

  // Shown only while a settings editor exists.
  PnTop->hide();
  TcFilters->hide();
}

TSettingsTab::~TSettingsTab() = default;

void TSettingsTab::EnterTab() {
  LoadSettingsEditor(FModemSettingsFileName);
}

void TSettingsTab::LeaveTab() {
  FSettingsModem.reset();
  PnTop->hide();
  TcFilters->hide();
}

void TSettingsTab::LoadSettingsEditor(const std::string& fileName) {
  FSettingsModem = std::make_unique<TModem>(fileName, TModemDevice::kBlockLength);
}

}  // namespace sorvex
