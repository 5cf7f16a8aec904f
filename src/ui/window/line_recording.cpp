#include "ui/window/line_recording.h"

#include <QFileInfo>

#include "modem/modem_device.h"
#include "ui/window/status_line.h"

namespace sorvex {

namespace {

QString SizeText(int64_t frames) {
  const int64_t bytes = TLineRecorder::kHeaderBytes + frames * TLineRecorder::kFrameBytes;
  if (bytes < 1024 * 1024)
    return QString::asprintf("%lld КБ", static_cast<long long>(bytes / 1024));
  return QString::asprintf("%.1f МБ", static_cast<double>(bytes) / (1024.0 * 1024.0));
}

QString WhyStopped(const TRecordState& state) {
  switch (state.Failure) {
    case TLineRecorder::TFailure::TooSlow:
      return QStringLiteral("диск не успевает");
    case TLineRecorder::TFailure::SizeLimit:
      return QStringLiteral("файл достиг предельного размера WAV");
    case TLineRecorder::TFailure::Write:
    case TLineRecorder::TFailure::None:
      break;
  }
  return QString::fromStdString(state.Reason).simplified();
}

}  // namespace

QString RecordStatusText(const TRecordState& state) {
  const QString name = QFileInfo(QString::fromStdString(state.File)).fileName();
  const QString length = PlayTime(state.Frames);
  switch (state.Now) {
    case TRecordState::Phase::Idle:
      break;
    case TRecordState::Phase::Recording:
      return QStringLiteral("Запись линии: %1, %2, %3").arg(name, length, SizeText(state.Frames));
    case TRecordState::Phase::Finished:
      if (state.Frames == 0) return QStringLiteral("Запись линии: звука не было, файла нет");
      return QStringLiteral("Записан %1: %2, %3").arg(name, length, SizeText(state.Frames));
    case TRecordState::Phase::Stopped:
      return QStringLiteral("Запись линии остановлена: %1; в %2 записано %3")
          .arg(WhyStopped(state), name, length);
    case TRecordState::Phase::NotStarted:
      return QStringLiteral("Запись линии не начата: %1 (%2)")
          .arg(QString::fromStdString(state.Reason).simplified(),
               QString::fromStdString(state.File));
  }
  return {};
}

TLineRecording::~TLineRecording() {
  Stop();
}

bool TLineRecording::Start(TModemDevice& device, const std::string& folder, double now) {
  Stop();
  std::string path, error;
  FRecorder = TLineRecorder::CreateInFolder(folder, now, {}, path, error);
  FLast = TRecordState{};
  FLast.File = path;
  if (!FRecorder) {
    FLast.Now = TRecordState::Phase::NotStarted;
    FLast.Reason = error;
    return false;
  }
  FLast.Now = TRecordState::Phase::Recording;
  FDevice = &device;
  FDevice->SetInputTap(FRecorder.get());
  return true;
}

void TLineRecording::Stop() {
  if (!FRecorder) return;
  // No block reaches the recorder once the tap is gone; then it may finish.
  if (FDevice != nullptr) FDevice->SetInputTap(nullptr);
  FDevice = nullptr;
  const bool ok = FRecorder->Finish();
  FLast.Now = ok ? TRecordState::Phase::Finished : TRecordState::Phase::Stopped;
  FLast.Frames = FRecorder->FramesWritten();
  FLast.Failure = FRecorder->Failure();
  FLast.Reason = FRecorder->Error();
  FRecorder.reset();
}

bool TLineRecording::Poll() {
  if (!FRecorder || !FRecorder->Failed()) return false;
  Stop();
  return true;
}

TRecordState TLineRecording::State() const {
  TRecordState state = FLast;
  if (FRecorder) state.Frames = FRecorder->FramesTaken();
  return state;
}

}  // namespace sorvex
