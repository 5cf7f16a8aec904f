#pragma once

#include <QWidget>
#include <string>

class QPainter;
class QSpinBox;

namespace sorvex {

class TKpDrawPanel;
class TKpRecordList;

// "Состояние датчиков ТИТ": the current TIT values of one KP, 4 groups × 8,
// with the time each group arrived. Built at start-up; no command shows it,
// and it repaints only when its KP changes or the system asks.
class TFormTit : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMinWidth = 535;
  static constexpr int kMinHeight = 180;

  // Restores FormTitTop, FormTitLeft, FormTitWidth, FormTitHeight and
  // FormTitKp from `iniFileName`, read in that order (absent keys get their
  // defaults written). `kpStats` must outlive the window.
  TFormTit(std::string iniFileName, const TKpRecordList& kpStats, QWidget* parent = nullptr);
  // Writes FormTitTop, FormTitLeft, FormTitWidth, FormTitHeight and FormTitKp.
  ~TFormTit() override;

  int Kp() const;
  // The page as PnDraw shows it at `size`.
  void Paint(QPainter& painter, QSize size) const;

  QWidget* Panel1 = nullptr;
  QSpinBox* EdKp = nullptr;
  TKpDrawPanel* PnDraw = nullptr;

 public slots:
  void EdKpChange();

 private:
  std::string FIniFileName;
  const TKpRecordList& FKpStats;
};

}  // namespace sorvex
