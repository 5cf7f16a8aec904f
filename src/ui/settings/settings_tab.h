#pragma once

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QString>
#include <QTimer>
#include <QToolButton>
#include <QWidget>
#include <cstdint>
#include <memory>
#include <string>

#include "modem/modem.h"
#include "monitor/test_signal_preview.h"
#include "ui/controls/tab_control.h"

namespace sorvex {

class TGraphicPanel;
class TPrompts;

// The tab "Настройка": an editor of one modem settings file. It exists
// only while the tab is shown (EnterTab builds it from the window's current
// settings file, LeaveTab frees it), never together with the work tab's
// device. Every accepted edit goes into the editor at once; the filter's
// response and the test-signal preview show the result. The window owns the
// file name (INI "DefModemName") and the prompts.
class TSettingsTab : public QWidget {
  Q_OBJECT

 public:
  static inline const QColor kResponseColour{0xFF, 0, 0};
  static inline const QColor kCutoff1Colour{0xFF, 0, 0};
  static inline const QColor kCutoff2Colour{0, 0x80, 0};
  static inline const QColor kFixedMarkerColour{0xFF, 0xFF, 0xFF};
  static inline const QColor kPreviewColour{0, 0, 0xFF};
  // Marker user data: the two cut-offs (draggable) and the fixed markers.
  static constexpr int32_t kMarkerFreq1 = 1;
  static constexpr int32_t kMarkerFreq2 = 2;
  static constexpr int32_t kMarkerFixed = 3;
  static constexpr int kTimer1Ms = 100;

  TSettingsTab(std::string& modemSettingsFileName, TPrompts& prompts, QString executableDir,
               QWidget* parent = nullptr);
  ~TSettingsTab() override;

  // The tab became the shown one / stops being shown.
  void EnterTab();
  void LeaveTab();
  // A new editor read from `fileName` ("" or a missing file: the defaults).
  void LoadSettingsEditor(const std::string& fileName);
  void ShowSettings();
  void DrawFilterResponse(bool withMarkers);
  // The speed of the selected CbBaudrate item; without a selection (a file's
  // speed none of the items has) the editor's own speed.
  int32_t SelectedBaudrate() const;

  // The window's current modem settings file, the prompts and the file
  // dialogs' starting directory.
  std::string& ModemSettingsFileName() { return FModemSettingsFileName; }
  TPrompts& Prompts() { return FPrompts; }
  const QString& ExecutableDir() const { return FExecutableDir; }
  // The last preview's sample count and byte count.
  const TTestSignalPreview& Preview() const { return FPreview; }

  QFrame* PtTool;
  QToolButton* BtNew;
  QToolButton* BtLoad;
  QToolButton* BtSave;
  QFrame* PnTop;  // shown only while an editor exists
  QFrame* PnTL;
  QSpinBox* EdSFreq0;
  QSpinBox* EdSFreq1;
  QComboBox* CbBaudrate;  // the seven speeds, each item's data the number
  QComboBox* CbReceiver;  // "Стандартный" (data 0), "Чувствительный" (1)
  QLineEdit* EdData;      // test bytes of the preview (INI "TestData")
  TTabControl* TbTop;     // "Сигнал" / "Спектр", hosts TestSignalPanel
  TTabControl* TcFilters;  // "Полосовой" / "Сглаживающий"; shown only while an editor exists
  QFrame* PnBL;
  QComboBox* CbKind;
  QSpinBox* EdOrder;
  QSpinBox* EdFreq1;
  QLabel* LbFreq2;
  QSpinBox* EdFreq2;
  QSpinBox* EdDbRipp;
  QCheckBox* CbDb;
  QFrame* PnBR;  // hosts FilterResponsePanel
  TGraphicPanel* FilterResponsePanel;
  TGraphicPanel* TestSignalPanel;
  QTimer* Timer1;

  bool FFillingControls = false;   // controls being filled: their handlers do nothing
  bool FSettingsModified = false;  // changes not yet saved to a file
  std::unique_ptr<TModem> FSettingsModem;

 public slots:
  void GeneralChangeClick();
  void FilterChangeClick();
  void CbDbClick();
  void TcFiltersChange();
  void FilterMarkerMoved(int32_t userData, double position);
  void Timer1Timer();
  void BtNewClick();
  void BtLoadClick();
  void BtSaveClick();

 private:
  void BuildTop();
  void BuildFilters();
  void ShowEditor(bool shown);
  // Unsaved changes are given up only after a Yes.
  bool MayDiscardChanges();
  QString DialogStart(const QString& remembered) const;

  std::string& FModemSettingsFileName;
  TPrompts& FPrompts;
  QString FExecutableDir;  // where the file dialogs start
  QString FOpenDialogFileName;
  QString FSaveDialogFileName;
  TTestSignalPreview FPreview;
};

// Why a save failed, in words, from the errno it left ("" for 0).
QString SaveFailureReason(int error);

}  // namespace sorvex
