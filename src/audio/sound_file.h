#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "audio/audio_fault.h"

namespace sorvex {

struct TSoundFileInfo {
  int SampleRate = 0;  // of the file
  int Channels = 0;    // of the file
  int64_t Frames = 0;  // of the file, at its own rate
};

// Reads any sound file libsndfile reads, at any rate and channel count, as
// 8000 Hz 16-bit stereo frames (rate converted with libsoxr, 20-bit
// quality, linear phase). A mono file feeds the chosen side, the other side is silent; of
// more than two channels the first two are used.
class TSoundFileReader {
 public:
  TSoundFileReader();
  ~TSoundFileReader();
  TSoundFileReader(const TSoundFileReader&) = delete;
  TSoundFileReader& operator=(const TSoundFileReader&) = delete;

  // monoChannel: 0 left, 1 right. On failure `error` holds a one-line message;
  // a file without a single frame fails too, with the reason.
  bool Open(const std::string& path, int monoChannel, std::string& error);
  // Fills up to maxFrames interleaved stereo frames; returns the count, 0 at
  // the end of the file, −1 on a read error (message in LastError()).
  int ReadBlock(int16_t* frames, int maxFrames);
  const TSoundFileInfo& Info() const { return FInfo; }
  const std::string& LastError() const { return FError; }
  // The last failure as a code, with libsndfile's or the system's own text.
  const TAudioFault& Fault() const { return FFault; }
  // Set by Open when the file was read differently from what its header
  // says (a data length the samples run past, bytes that make no whole
  // frame), one line, "; " between two; empty otherwise.
  const std::string& Warning() const { return FWarning; }

 private:
  void AddWarning(const std::string& text) { FWarning += (FWarning.empty() ? "" : "; ") + text; }

  struct Impl;
  std::unique_ptr<Impl> FImpl;
  TSoundFileInfo FInfo;
  std::string FError;
  TAudioFault FFault;
  std::string FWarning;
};

// Writes interleaved 16-bit stereo frames at 8000 Hz as a WAV file, through a
// temporary file renamed into place, so a failure leaves no partial file.
bool WriteStereoWav(const std::string& path, const int16_t* frames, int64_t frameCount,
                    std::string& error);

}  // namespace sorvex
