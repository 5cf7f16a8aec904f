#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "audio/audio_fault.h"
#include "modem/audio_stream.h"

namespace sorvex {

// The sound card through PortAudio: one full-duplex stream, paInt16, 2 in and
// 2 out, 8000 Hz, 1024 frames per buffer, on the default devices or on one
// device chosen by name; one PortAudio callback per block runs the block
// function (which does the input work, then fills the output).
//
// Quiet when there is no sound card: ALSA's error handler and JACK's message
// functions are replaced by silent ones before PortAudio initialises, and
// PortAudio's own diagnostics (printed on stderr by calls on this thread) are
// discarded while those calls run. Start then returns false with a message in
// LastError(), and nothing is printed.
//
// PortAudio is initialised by the first stream that starts and terminated
// when the last one stops (reference-counted, thread-safe).
class TPortAudioStream : public AudioStream {
 public:
  struct Options {
    std::string DeviceName;  // empty: the default input and output devices
    // Stop by itself after this many blocks (0: run until Stop). The stream
    // then finishes as PortAudio does when a callback returns paComplete: the
    // last output is played, and Running() reads false.
    int64_t MaxBlocks = 0;
  };

  TPortAudioStream();
  explicit TPortAudioStream(Options options);
  ~TPortAudioStream() override;

  bool Start(BlockFunction block) override;
  void Stop() override;
  // True from a successful Start until Stop, or until the stream finished or
  // was aborted by PortAudio (device gone, MaxBlocks reached).
  bool Running() const override;

  const std::string& LastError() const { return FError; }
  // The same failure as a code, with PortAudio's own text.
  const TAudioFault& LastFault() const { return FFault; }
  int64_t BlocksProcessed() const { return FBlocks.load(); }
  // Callbacks that played silence instead of the block function's output (a
  // block of another length than 1024 frames, or a block function that
  // failed), and callbacks PortAudio flagged for input it discarded before
  // them (an input overflow). Counted from Start.
  int64_t DroppedBlocks() const override { return FDropped.load(); }
  // PortAudio's input plus output latency of the open stream, rounded up.
  int LatencyMs() const override;

  // Names of the devices that have at least 2 input and 2 output channels.
  // Empty when PortAudio finds none (also quiet).
  static std::vector<std::string> DuplexDeviceNames();

  // Whether PortAudio's calls run with stderr pointed at /dev/null (the
  // default). That redirection is process-wide for its duration, so a
  // program with other threads that print (the window) turns it off; the
  // ALSA and JACK messages stay silenced either way.
  static void SetQuietStderr(bool quiet);

  // Called by PortAudio (public for the C callbacks only).
  int OnBlock(const void* input, void* output, unsigned long frames, unsigned long flags);
  void OnFinished();

 private:
  Options FOptions;
  BlockFunction FBlock;
  void* FStream = nullptr;  // PaStream*
  bool FInitialised = false;
  std::string FError;
  TAudioFault FFault;
  std::atomic<bool> FActive{false};  // started and not yet finished
  std::atomic<bool> FStopping{false};
  std::atomic<int64_t> FBlocks{0};
  std::atomic<int64_t> FDropped{0};
  mutable std::mutex FMutex;  // Start, Stop, Running
};

}  // namespace sorvex
