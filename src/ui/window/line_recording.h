#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/line_recorder.h"

namespace sorvex {

class TModemDevice;

// What the status bar says about the line recording.
struct TRecordState {
  enum class Phase { Idle, Recording, Finished, Stopped, NotStarted };
  Phase Now = Phase::Idle;
  std::string File;    // the recording's path
  int64_t Frames = 0;  // at 8000 Hz
  TLineRecorder::TFailure Failure = TLineRecorder::TFailure::None;
  std::string Reason;  // why it stopped or did not start (the system's words)
};

// The status bar's line: empty while nothing was recorded.
QString RecordStatusText(const TRecordState& state);

// The window's line recording: one file at a time, fed by the open device.
class TLineRecording {
 public:
  TLineRecording() = default;
  ~TLineRecording();
  TLineRecording(const TLineRecording&) = delete;
  TLineRecording& operator=(const TLineRecording&) = delete;

  // Records `device`'s input into a new file in `folder` named for `now`
  // (a date-time); false when it cannot start (State() says why).
  bool Start(TModemDevice& device, const std::string& folder, double now);
  // Detaches from the device and closes the file.
  void Stop();
  // A recording that stopped by itself (full or slow disk) is closed; true
  // when that happened now.
  bool Poll();
  bool Active() const { return FRecorder != nullptr; }
  TRecordState State() const;

 private:
  TModemDevice* FDevice = nullptr;
  std::unique_ptr<TLineRecorder> FRecorder;
  TRecordState FLast;
};

}  // namespace sorvex
