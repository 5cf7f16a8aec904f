#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QWidget;

namespace sorvex {

// What the source dialog edits: the main INI's "AudioSource" and
// "JournalFile" values.
struct TSourceChoice {
  std::string AudioSource;
  std::string JournalFile;
  bool operator==(const TSourceChoice&) const = default;
};

// Everything the window asks the user or tells them in a box: the Yes/No
// question, the file dialogs, the plain notice and a captioned message box.
// The window calls these and nothing else modal, so tests answer them
// through TScriptedPrompts without a modal loop.
class TPrompts {
 public:
  virtual ~TPrompts() = default;
  // Yes/No with the question icon, captioned "Sorvex"; true for Yes.
  virtual bool ConfirmBox(const QString& text) = 0;
  // A file to open or to save to, the dialog starting in `directory`;
  // empty when the user cancels.
  virtual QString OpenFileName(const QString& directory, const QString& filter) = 0;
  virtual QString SaveFileName(const QString& directory, const QString& filter) = 0;
  // The one plain notice ("Файл не существует!").
  virtual void Notice(const QString& text) = 0;
  // A box with its own caption and an OK button, owned by no window (the
  // dispatch's catch-all: "!!").
  virtual void MessageBox(const QString& caption, const QString& text) = 0;
  // The dialog "Источник сигнала" over `choice`, offering `devices`; true
  // (and `choice` changed) on OK.
  virtual bool ChooseSource(TSourceChoice& choice, const std::vector<std::string>& devices) = 0;
};

// The real boxes and dialogs, owned by `parent` where they have an owner.
class TQtPrompts : public TPrompts {
 public:
  explicit TQtPrompts(QWidget* parent = nullptr) : FParent(parent) {}
  bool ConfirmBox(const QString& text) override;
  QString OpenFileName(const QString& directory, const QString& filter) override;
  QString SaveFileName(const QString& directory, const QString& filter) override;
  void Notice(const QString& text) override;
  void MessageBox(const QString& caption, const QString& text) override;
  bool ChooseSource(TSourceChoice& choice, const std::vector<std::string>& devices) override;

 private:
  QWidget* FParent;
};

// Answers from a script and remembers what was asked. A question or dialog
// without a scripted answer gets No / cancel and is counted in Unanswered.
class TScriptedPrompts : public TPrompts {
 public:
  bool ConfirmBox(const QString& text) override;
  QString OpenFileName(const QString& directory, const QString& filter) override;
  QString SaveFileName(const QString& directory, const QString& filter) override;
  void Notice(const QString& text) override { Notices.push_back(text); }
  void MessageBox(const QString& caption, const QString& text) override;
  bool ChooseSource(TSourceChoice& choice, const std::vector<std::string>& devices) override;

  // ChooseSource replies, in order (nullopt = Cancel), and what it offered.
  std::deque<std::optional<TSourceChoice>> SourceChoices;
  std::vector<std::vector<std::string>> OfferedDevices;
  std::deque<bool> Answers;   // ConfirmBox replies, in order
  std::deque<QString> Files;  // file dialog replies, in order ("" = cancel)
  std::vector<QString> Questions;
  std::vector<QString> DialogDirectories;
  std::vector<QString> Notices;
  std::vector<std::pair<QString, QString>> Messages;  // caption, text
  int Unanswered = 0;
  // Runs inside MessageBox, as if the box were open meanwhile.
  std::function<void()> WhileMessageOpen;

 private:
  QString NextFile(const QString& directory);
};

}  // namespace sorvex
