#include "ui/window/source_dialog.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "audio/audio_source.h"

namespace sorvex {

namespace {

QString FromStd(const std::string& text) {
  return QString::fromStdString(text);
}

QToolButton* BrowseButton(QWidget* parent, const char* name) {
  auto* button = new QToolButton(parent);
  button->setObjectName(name);
  button->setText(QStringLiteral("…"));
  return button;
}

}  // namespace

TSourceDialog::TSourceDialog(const TSourceChoice& choice, const std::vector<std::string>& devices,
                             QWidget* parent)
    : QDialog(parent) {
  setObjectName("SourceDialog");
  setWindowTitle(QStringLiteral("Источник сигнала"));

  auto* sourceBox = new QGroupBox(QStringLiteral("Сигнал"), this);
  RbDefault = new QRadioButton(QStringLiteral("Звуковое устройство по умолчанию"), sourceBox);
  RbDefault->setObjectName("RbDefault");
  RbDevice = new QRadioButton(QStringLiteral("Звуковое устройство:"), sourceBox);
  RbDevice->setObjectName("RbDevice");
  RbFile = new QRadioButton(QStringLiteral("Файл записи:"), sourceBox);
  RbFile->setObjectName("RbFile");
  auto* group = new QButtonGroup(this);
  for (QRadioButton* b : {RbDefault, RbDevice, RbFile}) group->addButton(b);

  CbDevice = new QComboBox(sourceBox);
  CbDevice->setObjectName("CbDevice");
  for (const std::string& name : devices) CbDevice->addItem(FromStd(name));
  LbNoDevices = new QLabel(QStringLiteral("PortAudio не нашёл устройств с двумя входами и "
                                          "двумя выходами"),
                           sourceBox);
  LbNoDevices->setObjectName("LbNoDevices");
  LbNoDevices->setVisible(devices.empty());
  EdFile = new QLineEdit(sourceBox);
  EdFile->setObjectName("EdFile");
  EdFile->setMinimumWidth(320);
  BtFile = BrowseButton(sourceBox, "BtFile");

  auto* grid = new QGridLayout(sourceBox);
  grid->addWidget(RbDefault, 0, 0, 1, 3);
  grid->addWidget(RbDevice, 1, 0);
  grid->addWidget(CbDevice, 1, 1, 1, 2);
  grid->addWidget(LbNoDevices, 2, 1, 1, 2);
  grid->addWidget(RbFile, 3, 0);
  grid->addWidget(EdFile, 3, 1);
  grid->addWidget(BtFile, 3, 2);
  grid->setColumnStretch(1, 1);

  auto* journalBox = new QGroupBox(QStringLiteral("Журнал в файл (пусто — не вести)"), this);
  EdJournal = new QLineEdit(journalBox);
  EdJournal->setObjectName("EdJournal");
  BtJournal = BrowseButton(journalBox, "BtJournal");
  auto* journalRow = new QHBoxLayout(journalBox);
  journalRow->addWidget(EdJournal, 1);
  journalRow->addWidget(BtJournal);

  Buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  Buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(sourceBox);
  layout->addWidget(journalBox);
  layout->addWidget(Buttons);

  // The stored choice; a device that is not in the list (unplugged, or a
  // name from another machine) is still shown, so OK keeps it.
  const TAudioSource source = TAudioSource::Parse(choice.AudioSource);
  switch (source.Type) {
    case TAudioSource::Kind::Device: {
      const QString name = FromStd(source.Name);
      if (CbDevice->findText(name) < 0) CbDevice->addItem(name);
      CbDevice->setCurrentIndex(CbDevice->findText(name));
      RbDevice->setChecked(true);
      break;
    }
    case TAudioSource::Kind::File:
      EdFile->setText(FromStd(source.Name));
      RbFile->setChecked(true);
      break;
    case TAudioSource::Kind::Default:
    case TAudioSource::Kind::Unknown:
      RbDefault->setChecked(true);
      break;
  }
  EdJournal->setText(FromStd(choice.JournalFile));

  BrowseRecording = [this](const QString& start) {
    return QFileDialog::getOpenFileName(this, QStringLiteral("Файл записи"), start,
                                        QStringLiteral("Звук (*.wav *.flac *.ogg *.au *.aiff);;"
                                                       "Все файлы (*)"));
  };
  BrowseJournal = [this](const QString& start) {
    return QFileDialog::getSaveFileName(this, QStringLiteral("Журнал в файл"), start,
                                        QStringLiteral("Текст (*.txt);;Все файлы (*)"), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
  };
  connect(BtFile, &QToolButton::clicked, this, [this] {
    const QString name = BrowseRecording(EdFile->text());
    if (name.isEmpty()) return;
    EdFile->setText(name);
    RbFile->setChecked(true);
  });
  connect(BtJournal, &QToolButton::clicked, this, [this] {
    const QString name = BrowseJournal(EdJournal->text());
    if (!name.isEmpty()) EdJournal->setText(name);
  });
  connect(EdFile, &QLineEdit::textEdited, this, [this] { RbFile->setChecked(true); });
  connect(CbDevice, &QComboBox::activated, this, [this] { RbDevice->setChecked(true); });
  for (QRadioButton* b : {RbDefault, RbDevice, RbFile})
    connect(b, &QRadioButton::toggled, this, &TSourceDialog::UpdateState);
  connect(EdFile, &QLineEdit::textChanged, this, &TSourceDialog::UpdateState);
  connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  UpdateState();
}

void TSourceDialog::UpdateState() {
  RbDevice->setEnabled(CbDevice->count() > 0);
  CbDevice->setEnabled(CbDevice->count() > 0);
  const bool complete = RbDefault->isChecked() ||
                        (RbDevice->isChecked() && !CbDevice->currentText().isEmpty()) ||
                        (RbFile->isChecked() && !EdFile->text().trimmed().isEmpty());
  Buttons->button(QDialogButtonBox::Ok)->setEnabled(complete);
}

TSourceChoice TSourceDialog::Choice() const {
  TAudioSource source;
  if (RbDevice->isChecked() && !CbDevice->currentText().isEmpty()) {
    source.Type = TAudioSource::Kind::Device;
    source.Name = CbDevice->currentText().toStdString();
  } else if (RbFile->isChecked() && !EdFile->text().trimmed().isEmpty()) {
    source.Type = TAudioSource::Kind::File;
    source.Name = EdFile->text().trimmed().toStdString();
  }
  TSourceChoice choice;
  choice.AudioSource = source.Format();
  choice.JournalFile = EdJournal->text().trimmed().toStdString();
  return choice;
}

}  // namespace sorvex
