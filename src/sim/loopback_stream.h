#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "modem/audio_stream.h"

namespace sorvex {

// An audio stream for tests. Input blocks come from the test (a source
// callback, or frames queued with QueueInput; whatever is missing is
// silence), output blocks go back to the test (a sink callback, or collected
// for TakeOutput). Two ways to run it:
//   - manual (the default): Start only registers the block function; Pump(n)
//     then runs n blocks on the caller's thread, deterministically;
//   - threaded: Start launches a thread that runs blocks until Stop, either
//     as fast as possible or one per BlockPeriodUs.
// Block i's output is produced from block i's input; blocks run one at a time.
class TLoopbackStream : public AudioStream {
 public:
  // Fills `frames` interleaved stereo frames of input for block `index`
  // (counted from 0). Returning false ends the input: the stream stops
  // running blocks (threaded) or Pump returns early (manual).
  using InputSource = std::function<bool(int64_t index, int16_t* input, int frames)>;
  // Receives block `index`'s output frames.
  using OutputSink = std::function<void(int64_t index, const int16_t* output, int frames)>;

  struct Options {
    bool Threaded = false;
    int64_t BlockPeriodUs = 0;  // threaded: pause from block to block; 0 = as fast as possible
    bool EndWithQueue = false;  // without a source: end the input when the queue runs dry
    // A sound card's latency, in blocks (2 or more; less: none). The block
    // exchange itself puts one block between output and input; the sink
    // gets block i's output only after block i + LatencyBlocks − 2 has run,
    // so a prompt answer to it is in input block i + LatencyBlocks − 1.
    // LatencyMs reports LatencyBlocks × 128 ms, unless ReportLatency is
    // false (a backend that hides its latency).
    int LatencyBlocks = 0;
    bool ReportLatency = true;
  };

  TLoopbackStream();
  explicit TLoopbackStream(Options options);
  ~TLoopbackStream() override;

  // Set before Start.
  void SetInputSource(InputSource source);
  void SetOutputSink(OutputSink sink);
  // Makes the next Start fail, as a device that does not open.
  void SetFailStart(bool fail) { FFailStart = fail; }

  bool Start(BlockFunction block) override;
  void Stop() override;
  bool Running() const override { return FRunning.load(); }
  int LatencyMs() const override;

  // Appends interleaved stereo frames to the input queue (any thread).
  void QueueInput(const int16_t* frames, int64_t frameCount);
  // Moves out the output frames collected so far (when no sink is set).
  std::vector<int16_t> TakeOutput();

  // Manual mode: runs up to n blocks now; returns how many ran (fewer when
  // the input ended, 0 when not started, stopped, failed or threaded).
  int Pump(int n);
  // Blocks run so far.
  int64_t Blocks() const { return FBlocks.load(); }
  // Waits until at least n blocks ran (or the input ended); true if they did.
  bool WaitForBlocks(int64_t n, int timeoutMs);
  // Simulates a device that fails while running: Running() turns false and
  // no block runs after the one in flight.
  void Fail();

 private:
  bool RunOne();  // one block; false when the input ended
  void ThreadMain();

  Options FOptions;
  InputSource FSource;
  OutputSink FSink;
  BlockFunction FBlock;
  bool FFailStart = false;

  std::atomic<bool> FRunning{false};
  std::atomic<bool> FStopRequested{false};
  std::atomic<int64_t> FBlocks{0};
  std::atomic<std::thread::id> FInBlock{};  // the thread inside the block function
  bool FInputEnded = false;                 // guarded by FMutex

  std::mutex FCallMutex;  // held while a block runs: Stop waits on it
  mutable std::mutex FMutex;
  std::condition_variable FChanged;
  std::deque<int16_t> FInputQueue;
  std::vector<int16_t> FOutput;
  std::vector<int16_t> FIn, FOut;                // one block each, used under FCallMutex
  std::deque<std::vector<int16_t>> FLateOutput;  // under FCallMutex: blocks not yet heard
  std::thread FThread;
};

}  // namespace sorvex
