#include "ui/window/prompts.h"

#include <QFileDialog>
#include <QMessageBox>

#include "ui/window/source_dialog.h"

namespace sorvex {

namespace {
const QString kCaption = QStringLiteral("Sorvex");
}

bool TQtPrompts::ConfirmBox(const QString& text) {
  return QMessageBox::question(FParent, kCaption, text, QMessageBox::Yes | QMessageBox::No,
                               QMessageBox::No) == QMessageBox::Yes;
}

QString TQtPrompts::OpenFileName(const QString& directory, const QString& filter) {
  return QFileDialog::getOpenFileName(FParent, QString(), directory, filter);
}

QString TQtPrompts::SaveFileName(const QString& directory, const QString& filter) {
  return QFileDialog::getSaveFileName(FParent, QString(), directory, filter);
}

void TQtPrompts::Notice(const QString& text) {
  QMessageBox::information(FParent, kCaption, text);
}

void TQtPrompts::MessageBox(const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
  box.exec();
}

bool TQtPrompts::ChooseSource(TSourceChoice& choice, const std::vector<std::string>& devices) {
  TSourceDialog dialog(choice, devices, FParent);
  if (dialog.exec() != QDialog::Accepted) return false;
  choice = dialog.Choice();
  return true;
}

bool TScriptedPrompts::ChooseSource(TSourceChoice& choice,
                                    const std::vector<std::string>& devices) {
  OfferedDevices.push_back(devices);
  if (SourceChoices.empty()) {
    ++Unanswered;
    return false;
  }
  const std::optional<TSourceChoice> reply = SourceChoices.front();
  SourceChoices.pop_front();
  if (!reply) return false;
  choice = *reply;
  return true;
}

bool TScriptedPrompts::ConfirmBox(const QString& text) {
  Questions.push_back(text);
  if (Answers.empty()) {
    ++Unanswered;
    return false;
  }
  const bool yes = Answers.front();
  Answers.pop_front();
  return yes;
}

QString TScriptedPrompts::NextFile(const QString& directory) {
  DialogDirectories.push_back(directory);
  if (Files.empty()) {
    ++Unanswered;
    return {};
  }
  QString name = Files.front();
  Files.pop_front();
  return name;
}

QString TScriptedPrompts::OpenFileName(const QString& directory, const QString&) {
  return NextFile(directory);
}

QString TScriptedPrompts::SaveFileName(const QString& directory, const QString&) {
  return NextFile(directory);
}

void TScriptedPrompts::MessageBox(const QString& caption, const QString& text) {
  Messages.emplace_back(caption, text);
  if (WhileMessageOpen) WhileMessageOpen();
}

}  // namespace sorvex
