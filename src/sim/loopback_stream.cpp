#include "sim/loopback_stream.h"

#include <algorithm>
#include <chrono>

namespace sorvex {

TLoopbackStream::TLoopbackStream() : TLoopbackStream(Options{}) {}

TLoopbackStream::TLoopbackStream(Options options)
    : FOptions(options),
      FIn(static_cast<size_t>(kAudioBlockFrames) * kAudioChannels),
      FOut(static_cast<size_t>(kAudioBlockFrames) * kAudioChannels) {}

TLoopbackStream::~TLoopbackStream() {
  Stop();
}

void TLoopbackStream::SetInputSource(InputSource source) {
  FSource = std::move(source);
}
void TLoopbackStream::SetOutputSink(OutputSink sink) {
  FSink = std::move(sink);
}

bool TLoopbackStream::Start(BlockFunction block) {
  Stop();
  if (FFailStart || !block) return false;
  FBlock = std::move(block);
  FStopRequested = false;
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FInputEnded = false;
  }
  FLateOutput.clear();
  FRunning = true;
  if (FOptions.Threaded) FThread = std::thread([this] { ThreadMain(); });
  return true;
}

void TLoopbackStream::Stop() {
  FStopRequested = true;
  FChanged.notify_all();
  if (FInBlock.load() == std::this_thread::get_id()) {
    // Called from inside the block function: no block follows this one; the
    // thread (if any) ends after it and is joined by a later Stop.
    FRunning = false;
    return;
  }
  if (FThread.joinable()) FThread.join();
  // A manual Pump on another thread may be inside a block: wait for it.
  { std::lock_guard<std::mutex> wait(FCallMutex); }
  FRunning = false;
  FChanged.notify_all();
}

void TLoopbackStream::Fail() {
  FRunning = false;
  FChanged.notify_all();
}

void TLoopbackStream::QueueInput(const int16_t* frames, int64_t frameCount) {
  if (frames == nullptr || frameCount <= 0) return;
  std::lock_guard<std::mutex> lock(FMutex);
  FInputQueue.insert(FInputQueue.end(), frames, frames + frameCount * kAudioChannels);
}

std::vector<int16_t> TLoopbackStream::TakeOutput() {
  std::lock_guard<std::mutex> lock(FMutex);
  std::vector<int16_t> out;
  out.swap(FOutput);
  return out;
}

bool TLoopbackStream::RunOne() {
  std::lock_guard<std::mutex> call(FCallMutex);
  if (FStopRequested || !FRunning) return false;
  const int64_t index = FBlocks.load();
  const size_t samples = FIn.size();
  bool haveInput = true;
  if (FSource) {
    std::fill(FIn.begin(), FIn.end(), 0);
    haveInput = FSource(index, FIn.data(), kAudioBlockFrames);
  } else {
    std::lock_guard<std::mutex> lock(FMutex);
    if (FOptions.EndWithQueue && FInputQueue.empty()) {
      haveInput = false;
    } else {
      const size_t take = std::min(samples, FInputQueue.size());
      std::copy(FInputQueue.begin(), FInputQueue.begin() + take, FIn.begin());
      std::fill(FIn.begin() + take, FIn.end(), 0);
      FInputQueue.erase(FInputQueue.begin(), FInputQueue.begin() + take);
    }
  }
  if (!haveInput) {
    std::lock_guard<std::mutex> lock(FMutex);
    FInputEnded = true;
    FChanged.notify_all();
    return false;
  }
  std::fill(FOut.begin(), FOut.end(), 0);
  FInBlock = std::this_thread::get_id();
  FBlock(FIn.data(), FOut.data(), kAudioBlockFrames);
  FInBlock = std::thread::id();
  if (FSink && FOptions.LatencyBlocks > 2) {
    FLateOutput.push_back(FOut);
    if (static_cast<int>(FLateOutput.size()) > FOptions.LatencyBlocks - 2) {
      const int64_t heard = index - (FOptions.LatencyBlocks - 2);
      FSink(heard, FLateOutput.front().data(), kAudioBlockFrames);
      FLateOutput.pop_front();
    }
  } else if (FSink) {
    FSink(index, FOut.data(), kAudioBlockFrames);
  } else {
    std::lock_guard<std::mutex> lock(FMutex);
    FOutput.insert(FOutput.end(), FOut.begin(), FOut.end());
  }
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FBlocks = index + 1;
  }
  FChanged.notify_all();
  return true;
}

int TLoopbackStream::LatencyMs() const {
  if (!FOptions.ReportLatency || FOptions.LatencyBlocks < 2) return 0;
  return FOptions.LatencyBlocks * kAudioBlockFrames * 1000 / kAudioFrameRate;
}

int TLoopbackStream::Pump(int n) {
  if (FOptions.Threaded) return 0;
  int ran = 0;
  while (ran < n && RunOne()) ++ran;
  return ran;
}

void TLoopbackStream::ThreadMain() {
  auto next = std::chrono::steady_clock::now();
  while (!FStopRequested && FRunning) {
    if (!RunOne()) break;
    if (FOptions.BlockPeriodUs > 0) {
      next += std::chrono::microseconds(FOptions.BlockPeriodUs);
      std::unique_lock<std::mutex> lock(FMutex);
      FChanged.wait_until(lock, next, [this] { return FStopRequested.load() || !FRunning; });
    }
  }
}

bool TLoopbackStream::WaitForBlocks(int64_t n, int timeoutMs) {
  std::unique_lock<std::mutex> lock(FMutex);
  FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    return FBlocks.load() >= n || FInputEnded || !FRunning || FStopRequested;
  });
  return FBlocks.load() >= n;
}

}  // namespace sorvex
