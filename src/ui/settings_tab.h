#pragma once

#include <QFrame>
#include <QLineEdit>
#include <QString>
#include <QTabWidget>
#include <QToolButton>
#include <QWidget>
#include <memory>
#include <string>

#include "modem/modem.h"

namespace sorvex {

class TPrompts;

// The tab "Настройка": an editor of one modem settings file. It exists
// only while the tab is shown (EnterTab builds it from the window's current
// settings file, LeaveTab frees it), never together with the work tab's
// device. The window owns the file name (INI "DefModemName") and the prompts.
class TSettingsTab : public QWidget {
  Q_OBJECT

 public:
  TSettingsTab(std::string& modemSettingsFileName, TPrompts& prompts, QString executableDir,
               QWidget* parent = nullptr);
  ~TSettingsTab() override;

  // The tab became the shown one / stops being shown.
  void EnterTab();
  void LeaveTab();
  void LoadSettingsEditor(const std::string& fileName);

  // The window's current modem settings file, the prompts and the file
  // dialogs' starting directory.
  std::string& ModemSettingsFileName() { return FModemSettingsFileName; }
  TPrompts& Prompts() { return FPrompts; }
  const QString& ExecutableDir() const { return FExecutableDir; }

  QFrame* PtTool;
  QToolButton* BtNew;
  QToolButton* BtLoad;
  QToolButton* BtSave;
  QFrame* PnTop;  // shown only while an editor exists
  QFrame* PnTL;
  QLineEdit* EdData;      // test bytes of the preview (INI "TestData")
  QTabWidget* TcFilters;  // shown only while an editor exists

  bool FFillingControls = false;   // controls being filled: their handlers do nothing
  bool FSettingsModified = false;  // changes not yet saved to a file
  std::unique_ptr<TModem> FSettingsModem;

 private:
  std::string& FModemSettingsFileName;
  TPrompts& FPrompts;
  QString FExecutableDir;  // where the file dialogs start
};

}  // namespace sorvex
