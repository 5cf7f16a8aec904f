#pragma once

#include <cstdint>
#include <functional>

namespace sorvex {

inline constexpr int kAudioBlockFrames = 1024;
inline constexpr int kAudioChannels = 2;
inline constexpr int kAudioFrameRate = 8000;

// A full-duplex 16-bit stereo stream at 8000 frames/s that calls one function
// per 1024-frame block with that block's input frames (to read) and output
// frames (to fill), both interleaved left/right. Blocks arrive in order on
// one thread at a time.
class AudioStream {
 public:
  using BlockFunction = std::function<void(const int16_t* input, int16_t* output, int frames)>;

  virtual ~AudioStream() = default;
  // Starts calling `block`; false when the stream could not be opened.
  virtual bool Start(BlockFunction block) = 0;
  // Stops the stream and returns only when no call of the block function is
  // in flight and none will follow.
  virtual void Stop() = 0;
  // False once the stream has failed (device gone) or was never opened.
  virtual bool Running() const = 0;
  // Blocks whose input did not reach the block function whole (the backend
  // played silence instead, or reported input it had to discard); any thread.
  virtual int64_t DroppedBlocks() const { return 0; }
  // How long a sample takes from the line into the block function plus from
  // the block function out to the line, in milliseconds, as the backend
  // reports it while running (a sound card's buffers; 0 where no line is).
  virtual int LatencyMs() const { return 0; }
};

}  // namespace sorvex
