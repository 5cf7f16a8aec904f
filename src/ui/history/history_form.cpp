#include "ui/history/history_form.h"

#include <QBoxLayout>
#include <QLabel>
#include <QShortcut>
#include <QSpinBox>
#include <utility>

#include "monitor/measurement_history.h"
#include "ui/controls/form_font.h"
#include "ui/controls/form_geometry.h"
#include "ui/history/history_plot.h"
#include "ui/kp/kp_draw_panel.h"
#include "ui/window/prompts.h"
#include "util/config.h"
#include "util/replace_file.h"

namespace sorvex {

THistoryForm::THistoryForm(std::string iniFileName, const TMeasurementHistory& history,
                           TPrompts& prompts, QString directory, QWidget* parent)
    : QWidget(parent),
      FIniFileName(std::move(iniFileName)),
      FHistory(history),
      FPrompts(prompts),
      FDirectory(std::move(directory)) {
  setObjectName(QStringLiteral("FormHistory"));
  // A window of its own, not on top: its plots want room, and it never
  // keeps the program running.
  setWindowFlags(Qt::Window);
  setAttribute(Qt::WA_QuitOnClose, false);
  setWindowTitle(QStringLiteral("История КП"));
  setFont(FormFont());

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  const TKpBar bar = AddKpBar(this, layout, kMaxKp);
  Panel1 = bar.Panel1;
  EdKp = bar.EdKp;
  LbCount = new QLabel(Panel1);
  LbCount->setObjectName(QStringLiteral("LbCount"));
  static_cast<QBoxLayout*>(Panel1->layout())->addWidget(LbCount);
  PnPlot = new THistoryPlot(
      [this] {
        const auto& points = FHistory.Points(Kp());
        return std::span<const TTelegramMeasurement>(points.data(), points.size());
      },
      this);
  PnPlot->setObjectName(QStringLiteral("PnPlot"));
  layout->addWidget(PnPlot, 1);

  KeySaveCsv = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_S), this);
  KeySaveCsv->setObjectName(QStringLiteral("KeySaveCsv"));
  KeySaveCsv->setContext(Qt::WindowShortcut);
  connect(KeySaveCsv, &QShortcut::activated, this, [this] { SaveCsv(); });

  RestoreFormGeometry(*this, FIniFileName, "FormHistory", 900, 560);
  EdKp->setValue(IniReadInt(FIniFileName, "FormHistoryKp", 1));  // kept inside 1..31
  UpdateCount();
  connect(EdKp, &QSpinBox::valueChanged, this, &THistoryForm::EdKpChange);
}

THistoryForm::~THistoryForm() {
  SaveFormGeometry(*this, FIniFileName, "FormHistory");
  IniWriteInt(FIniFileName, "FormHistoryKp", EdKp->value());
}

void THistoryForm::Update() {
  if (!isVisible()) return;
  UpdateCount();
  PnPlot->update();
}

void THistoryForm::ShowRestored() {
  ShowFormRestored(*this);
  Update();
}

int THistoryForm::Kp() const {
  return EdKp->value();
}

void THistoryForm::EdKpChange() {
  // Another KP's history has another time span.
  PnPlot->ZoomOut();
  UpdateCount();
}

void THistoryForm::UpdateCount() {
  LbCount->setText(QStringLiteral("Телеграмм: %1").arg(FHistory.Points(Kp()).size()));
}

bool THistoryForm::SaveCsv() {
  const QString name =
      FPrompts.SaveFileName(FDirectory, QStringLiteral("CSV (*.csv);;Все файлы (*)"));
  if (name.isEmpty()) return false;
  std::string reason;
  if (ReplaceFile(name.toStdString(), FHistory.Csv(), reason)) return true;
  FPrompts.Notice(QStringLiteral("История КП не сохранена в %1: %2")
                      .arg(name, QString::fromLocal8Bit(reason.c_str())));
  return false;
}

}  // namespace sorvex
