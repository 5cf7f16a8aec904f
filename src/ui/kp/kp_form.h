#pragma once

#include <QWidget>
#include <string>

#include "ui/kp/kp_pages.h"

class QPainter;
class QSpinBox;
class QTabBar;

namespace sorvex {

class TKpDrawPanel;
class TKpRecordList;

// "Состояние КП": what was last received from one KP, on three pages: the
// TS lamps, the TIT values and the БО flags, each with its reception times.
// Reads the KP record list on every paint and never changes it.
class TFormKp : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMinWidth = 422;
  static constexpr int kMinHeight = 357;
  static constexpr int kMaxKp = 31;

  // Restores FormKpTop, FormKpLeft, FormKpHeight, FormKpWidth and FormKpAddr
  // from `iniFileName`, read in that order (absent keys get their defaults
  // written). `kpStats` must outlive the window.
  TFormKp(std::string iniFileName, const TKpRecordList& kpStats, QWidget* parent = nullptr);
  // Writes FormKpTop, FormKpLeft, FormKpWidth, FormKpHeight and FormKpAddr.
  ~TFormKp() override;

  // New telemetry may have arrived: repaints PnDraw and nothing else.
  void Update();
  // The toolbar command: shows the window, restores it from minimised and
  // brings it to the front.
  void ShowRestored();

  int Kp() const;
  KpPage Page() const;
  // The selected page of the selected KP as PnDraw shows it at `size`.
  void Paint(QPainter& painter, QSize size) const;

  QWidget* Panel1 = nullptr;
  QSpinBox* EdKp = nullptr;
  QTabBar* TbData = nullptr;  // "ТС", "ТИТ", "БО"
  TKpDrawPanel* PnDraw = nullptr;

 public slots:
  void EdKpChange();
  void TbDataChange();

 private:
  std::string FIniFileName;
  const TKpRecordList& FKpStats;
};

}  // namespace sorvex
