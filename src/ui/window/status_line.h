#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "audio/audio_source.h"

namespace sorvex {

// What the status bar under the tabs reports.
struct TStatusState {
  TAudioSource Source;
  bool DeviceExists = false;  // false on the settings tab
  bool DeviceOpen = false;    // status 0
  std::string DeviceError;    // why not, when not, in the audio layer's English
  TAudioFault DeviceFault;    // the same as a code: the bar words it in Russian
  bool Receiving = false;
  bool Polling = false;
  // A file source: frames played and the recording's length, at 8000 Hz.
  bool File = false;
  int64_t PlayedFrames = 0;
  int64_t LengthFrames = 0;
  bool FileEnded = false;
  std::string JournalFile;   // empty: no transcript
  std::string JournalError;  // the last write failure, empty when none
  int64_t JournalLost = 0;
};

// The status bar's fields, each a short line; Position and Journal are
// empty when there is nothing to say.
struct TStatusTexts {
  QString Source, Device, Reception, Polling, Position, Journal;
};

TStatusTexts StatusTexts(const TStatusState& state);
// Why a source gives no sound, in our words, with the library's own text in
// brackets when it gave one; empty for no fault.
QString FaultText(const TAudioFault& fault);
// "m:ss.s" for a frame count at 8000 Hz.
QString PlayTime(int64_t frames);

}  // namespace sorvex
