#include "ui/window/status_line.h"

#include <QFileInfo>
#include <algorithm>

#include "modem/audio_stream.h"

namespace sorvex {

namespace {

QString FromStd(const std::string& text) {
  return QString::fromStdString(text);
}

QString FileName(const std::string& path) {
  return QFileInfo(FromStd(path)).fileName();
}

QString Quoted(const QString& name) {
  return QStringLiteral("«%1»").arg(name);
}

}  // namespace

QString FaultText(const TAudioFault& fault) {
  using Kind = TAudioFault::Kind;
  QString text;
  switch (fault.Code) {
    case Kind::None:
      return {};
    case Kind::AudioSystem:
      text = QStringLiteral("звуковая подсистема не запустилась");
      break;
    case Kind::NoDefaultDevice:
      text = QStringLiteral("нет звукового устройства по умолчанию");
      break;
    case Kind::NoNamedDevice:
      text = QStringLiteral("нет звукового устройства %1 с двумя входами и двумя выходами")
                 .arg(Quoted(FromStd(fault.Subject)));
      break;
    case Kind::NoDevice:
      text = QStringLiteral("звуковое устройство недоступно");
      break;
    case Kind::DeviceOpen:
      text = QStringLiteral("звуковое устройство не открывается");
      break;
    case Kind::DeviceStart:
      text = QStringLiteral("звуковое устройство не запускается");
      break;
    case Kind::RecordingOpen:
      text = QStringLiteral("файл записи %1 не открывается").arg(Quoted(FileName(fault.Subject)));
      break;
    case Kind::RecordingNotFile:
      text = QStringLiteral("%1 — не файл записи").arg(Quoted(FileName(fault.Subject)));
      break;
    case Kind::RecordingEmpty:
      text = QStringLiteral("в записи %1 нет звука").arg(Quoted(FileName(fault.Subject)));
      break;
    case Kind::RecordingNotSound:
      text = QStringLiteral("%1 — не звуковой файл или его заголовок повреждён")
                 .arg(Quoted(FileName(fault.Subject)));
      break;
    case Kind::RecordingUnsupported:
      text =
          QStringLiteral("формат записи %1 не поддерживается").arg(Quoted(FileName(fault.Subject)));
      break;
    case Kind::RecordingTruncated:
      text = QStringLiteral("запись %1 обрезана").arg(Quoted(FileName(fault.Subject)));
      break;
    case Kind::RecordingRead:
      text = QStringLiteral("ошибка чтения записи %1").arg(Quoted(FileName(fault.Subject)));
      break;
    case Kind::UnknownSource:
      text = QStringLiteral("неизвестный источник сигнала %1").arg(Quoted(FromStd(fault.Subject)));
      break;
    case Kind::NotStarted:
      text = QStringLiteral("источник сигнала не запустился");
      break;
  }
  const QString library = FromStd(fault.Library).simplified();
  if (!library.isEmpty()) {
    text += fault.LibraryName.empty()
                ? QStringLiteral(" (%1)").arg(library)
                : QStringLiteral(" (%1: %2)").arg(FromStd(fault.LibraryName), library);
  }
  return text;
}

QString PlayTime(int64_t frames) {
  const int64_t tenths = std::max<int64_t>(0, frames) * 10 / kAudioFrameRate;
  return QString::asprintf("%lld:%02lld.%lld", static_cast<long long>(tenths / 600),
                           static_cast<long long>(tenths / 10 % 60),
                           static_cast<long long>(tenths % 10));
}

TStatusTexts StatusTexts(const TStatusState& state) {
  TStatusTexts texts;
  switch (state.Source.Type) {
    case TAudioSource::Kind::Default:
      texts.Source = QStringLiteral("Источник: по умолчанию");
      break;
    case TAudioSource::Kind::Device:
      texts.Source = QStringLiteral("Источник: «%1»").arg(FromStd(state.Source.Name));
      break;
    case TAudioSource::Kind::File:
      texts.Source = QStringLiteral("Источник: файл %1").arg(FileName(state.Source.Name));
      break;
    case TAudioSource::Kind::Unknown:
      texts.Source = QStringLiteral("Источник: неизвестный «%1»").arg(FromStd(state.Source.Name));
      break;
  }
  if (!state.DeviceExists) {
    texts.Device = QStringLiteral("Устройство закрыто (настройка)");
  } else if (state.DeviceOpen) {
    texts.Device = QStringLiteral("Устройство открыто");
  } else {
    // One line in our words; a backend that gave no code keeps its own text
    // in brackets.
    QString why = FaultText(state.DeviceFault);
    if (why.isEmpty()) {
      why = QStringLiteral("нет звука");
      const QString said = FromStd(state.DeviceError).simplified();
      if (!said.isEmpty()) why += QStringLiteral(" (%1)").arg(said);
    }
    texts.Device = QStringLiteral("Не открыто: %1").arg(why);
  }
  texts.Reception = state.Receiving ? QStringLiteral("Приём: вкл") : QStringLiteral("Приём: выкл");
  texts.Polling = state.Polling ? QStringLiteral("Опрос: вкл") : QStringLiteral("Опрос: выкл");
  if (state.File && state.DeviceExists && state.DeviceOpen) {
    const int64_t played = std::min(state.PlayedFrames, state.LengthFrames);
    texts.Position = state.FileEnded
                         ? QStringLiteral("Запись окончена: %1").arg(PlayTime(state.LengthFrames))
                         : QStringLiteral("Запись: %1 из %2")
                               .arg(PlayTime(played), PlayTime(state.LengthFrames));
  }
  if (!state.JournalFile.empty()) {
    const QString name = FileName(state.JournalFile);
    if (!state.JournalError.empty()) {
      texts.Journal = QStringLiteral("Журнал %1 не пишется: %2 (потеряно строк: %3)")
                          .arg(name, FromStd(state.JournalError).simplified())
                          .arg(state.JournalLost);
    } else if (state.JournalLost > 0) {
      texts.Journal =
          QStringLiteral("Журнал: %1 (потеряно строк: %2)").arg(name).arg(state.JournalLost);
    } else {
      texts.Journal = QStringLiteral("Журнал: %1").arg(name);
    }
  }
  return texts;
}

}  // namespace sorvex
