#pragma once
// A stream that lets its inner stream's blocks through only as fast as the
// window's 10 ms timer ticks: block k waits until the window has ticked
// k × 13 times since Open() (13 ticks cover a 128 ms block), whatever the
// machine's load. The window then sees a recording exactly as replay's
// signal-time driver does: every tick that follows a block comes before the
// next block, so the same recording gives the same journals.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

#include "modem/audio_stream.h"

namespace sorvex::testing {

class TTickPacedStream : public AudioStream {
 public:
  static constexpr int64_t kTicksPerBlock = 13;

  // `ticks` reads the window's tick count (from the stream's thread).
  TTickPacedStream(std::unique_ptr<AudioStream> inner, std::function<int64_t()> ticks)
      : FInner(std::move(inner)), FTicks(std::move(ticks)) {}
  ~TTickPacedStream() override { Stop(); }

  bool Start(BlockFunction block) override {
    FBlock = std::move(block);
    return FInner->Start([this](const int16_t* input, int16_t* output, int frames) {
      if (!WaitTurn()) return;  // stopped while waiting: the block is dropped
      FBlock(input, output, frames);
      FBlocks.fetch_add(1);
    });
  }
  // Lets the first block through; the pacing counts from here.
  void Open() {
    FBase.store(FTicks());
    FOpen.store(true);
  }
  void Stop() override {
    FStopped.store(true);
    FInner->Stop();
  }
  bool Running() const override { return FInner->Running(); }
  int64_t Blocks() const { return FBlocks.load(); }
  // The tick count by which everything up to the last block has been seen.
  int64_t TicksNeeded() const { return FBase.load() + (FBlocks.load() + 1) * kTicksPerBlock; }

 private:
  bool WaitTurn() {
    while (!FStopped.load()) {
      if (FOpen.load() && FTicks() - FBase.load() >= FBlocks.load() * kTicksPerBlock) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  std::unique_ptr<AudioStream> FInner;
  std::function<int64_t()> FTicks;
  BlockFunction FBlock;
  std::atomic<bool> FOpen{false};
  std::atomic<bool> FStopped{false};
  std::atomic<int64_t> FBase{0};
  std::atomic<int64_t> FBlocks{0};
};

}  // namespace sorvex::testing
