#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio/sound_file.h"
#include "modem/audio_stream.h"

namespace sorvex {

// An audio stream that plays a recording as its input: the file is read with
// TSoundFileReader (any format and rate, converted to 8000 Hz stereo) and
// handed to the block function 1024 frames at a time on the stream's own
// thread, the last partial block padded with silence. Runs as fast as
// possible or paced at real time (block k, counted from 0, runs when its
// 128 ms would have been recorded: (k + 1) × 128 ms after Start). The output
// frames of every block can be written to a stereo WAV file at the end of the
// recording (or at Stop, if that comes first).
//
// At the end of the recording (or on a read error) the stream stops calling
// the block function, writes the output file, then reports the end through
// OnEnd and WaitForEnd. Running() stays true after a clean end (the stream did
// not fail); it turns false after a read error, a failed output write, or Stop.
class TSoundFileStream : public AudioStream {
 public:
  struct Options {
    std::string InputPath;
    int MonoChannel = 0;     // side a mono recording feeds: 0 left, 1 right
    bool RealTime = false;   // pace at 1 block per 128 ms
    std::string OutputPath;  // empty: the output is not kept
    // With RealTime: after a clean end (OnEnd called, Ended() true) the
    // block function goes on getting silent blocks at the same pace until
    // Stop, as a quiet line would give; they are not counted in
    // BlocksProcessed and their output is not kept.
    bool SilenceAfterEnd = false;
    // Called once on the stream's thread after the last block and the output
    // file, with true for a clean end, before Ended() turns true; may call
    // Stop, must not destroy the stream or wait for its end.
    std::function<void(bool ok)> OnEnd;
  };

  explicit TSoundFileStream(Options options);
  ~TSoundFileStream() override;

  // False (and Error() says why) when the recording cannot be read.
  bool Start(BlockFunction block) override;
  void Stop() override;
  bool Running() const override { return FRunning.load(); }

  // True once the recording has ended (cleanly or not) or Stop cut it short.
  bool Ended() const { return FEnded.load(); }
  // Waits up to timeoutMs for the end; true if it came.
  bool WaitForEnd(int timeoutMs);
  int64_t BlocksProcessed() const { return FBlocks.load(); }
  // The last error: reading, or writing the output file. Read after the end.
  std::string Error() const;
  // The reading failure among them as a code (none for a failed output).
  TAudioFault Fault() const;
  const TSoundFileInfo& Info() const { return FReader.Info(); }
  // Set by Start when the recording was read differently from what its
  // header says (TSoundFileReader::Warning); empty otherwise.
  const std::string& Warning() const { return FReader.Warning(); }

 private:
  void ThreadMain();
  void Finish(bool ok, const std::string& error, const TAudioFault& readFault);
  bool WriteOutput(std::string& error);

  Options FOptions;
  TSoundFileReader FReader;
  BlockFunction FBlock;

  std::atomic<bool> FRunning{false};
  std::atomic<bool> FStopRequested{false};
  std::atomic<bool> FEnded{false};
  std::atomic<int64_t> FBlocks{0};
  std::atomic<std::thread::id> FStreamThread{};

  mutable std::mutex FMutex;  // FError, FOutput, FOutputWritten, the end wait
  std::condition_variable FChanged;
  std::string FError;
  TAudioFault FFault;
  std::vector<int16_t> FOutput;
  bool FOutputWritten = false;
  std::thread FThread;
};

}  // namespace sorvex
