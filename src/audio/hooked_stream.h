#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "modem/audio_stream.h"

namespace sorvex {

// Wraps a stream so that `afterBlock` runs right after every block, on the
// stream's thread, outside the block function (so it may call the device's
// locked operations). Replays use it to tick the monitor on signal time.
// A gated stream holds its first block until Open(), so whoever owns the
// device can finish setting up before any sound is processed.
class THookedStream : public AudioStream {
 public:
  THookedStream(std::unique_ptr<AudioStream> inner, std::function<void()> afterBlock,
                bool gated = false)
      : FInner(std::move(inner)), FAfterBlock(std::move(afterBlock)), FOpen(!gated) {}

  bool Start(BlockFunction block) override {
    return FInner->Start([block = std::move(block), this](const int16_t* in, int16_t* out, int n) {
      WaitOpen();
      block(in, out, n);
      if (FAfterBlock) FAfterBlock();
    });
  }
  // Opens the gate; Stop opens it too, so a held block can finish.
  void Open() {
    {
      std::lock_guard<std::mutex> lock(FMutex);
      FOpen = true;
    }
    FOpened.notify_all();
  }
  void Stop() override {
    Open();
    FInner->Stop();
  }
  bool Running() const override { return FInner->Running(); }
  int64_t DroppedBlocks() const override { return FInner->DroppedBlocks(); }
  int LatencyMs() const override { return FInner->LatencyMs(); }
  AudioStream& Inner() { return *FInner; }

 private:
  void WaitOpen() {
    std::unique_lock<std::mutex> lock(FMutex);
    FOpened.wait(lock, [this] { return FOpen; });
  }

  std::unique_ptr<AudioStream> FInner;
  std::function<void()> FAfterBlock;
  std::mutex FMutex;
  std::condition_variable FOpened;
  bool FOpen;
};

}  // namespace sorvex
