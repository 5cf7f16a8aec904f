#pragma once

#include <QString>
#include <QWidget>
#include <string>

class QLabel;
class QShortcut;
class QSpinBox;

namespace sorvex {

class THistoryPlot;
class TMeasurementHistory;
class TPrompts;

// "История КП": one KP's measurements since the program started, both
// sides, as plots over wall-clock time; Ctrl+S saves every KP's history to
// a CSV file. Reads the history on every paint and never changes it.
class THistoryForm : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kMaxKp = 31;

  // Restores FormHistoryTop, FormHistoryLeft, FormHistoryHeight,
  // FormHistoryWidth and FormHistoryKp from `iniFileName` (absent keys get
  // their defaults written). `history` and `prompts` must outlive the
  // window; the save dialog starts in `directory`.
  THistoryForm(std::string iniFileName, const TMeasurementHistory& history, TPrompts& prompts,
               QString directory, QWidget* parent = nullptr);
  // Writes the five keys.
  ~THistoryForm() override;

  // A measurement arrived: repaints while shown.
  void Update();
  // Shows the window, restored and in front.
  void ShowRestored();
  int Kp() const;
  // Ctrl+S: every KP's history into a CSV file chosen in a dialog, written
  // whole or not at all; false when cancelled or not written (a notice
  // says why).
  bool SaveCsv();

  QWidget* Panel1 = nullptr;
  QSpinBox* EdKp = nullptr;
  QLabel* LbCount = nullptr;  // how many telegrams the KP's plots hold
  THistoryPlot* PnPlot = nullptr;
  QShortcut* KeySaveCsv = nullptr;

 public slots:
  void EdKpChange();

 private:
  void UpdateCount();

  std::string FIniFileName;
  const TMeasurementHistory& FHistory;
  TPrompts& FPrompts;
  QString FDirectory;
};

}  // namespace sorvex
