#pragma once

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QToolButton>
#include <functional>
#include <string>
#include <vector>

#include "ui/window/prompts.h"

namespace sorvex {

// "Источник сигнала": the default sound device, one of the devices
// PortAudio lists, or a recording; and the journal transcript file. OK
// stays disabled while the choice is incomplete (a device or a file
// without a name).
class TSourceDialog : public QDialog {
  Q_OBJECT

 public:
  TSourceDialog(const TSourceChoice& choice, const std::vector<std::string>& devices,
                QWidget* parent = nullptr);

  TSourceChoice Choice() const;

  // The browse buttons' file dialogs (tests replace them): the path picked,
  // empty when cancelled.
  std::function<QString(const QString& start)> BrowseRecording;
  std::function<QString(const QString& start)> BrowseJournal;

  QRadioButton* RbDefault;
  QRadioButton* RbDevice;
  QRadioButton* RbFile;
  QComboBox* CbDevice;
  QLabel* LbNoDevices;  // shown when PortAudio found nothing
  QLineEdit* EdFile;
  QToolButton* BtFile;
  QLineEdit* EdJournal;
  QToolButton* BtJournal;
  QDialogButtonBox* Buttons;

 private:
  void UpdateState();
};

}  // namespace sorvex
