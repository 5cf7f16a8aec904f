#include "audio/sound_file_stream.h"

#include <algorithm>
#include <chrono>

namespace sorvex {

namespace {
constexpr auto kBlockPeriod = std::chrono::milliseconds(128);  // 1024 frames at 8000 Hz
}

TSoundFileStream::TSoundFileStream(Options options) : FOptions(std::move(options)) {}

TSoundFileStream::~TSoundFileStream() {
  Stop();
}

bool TSoundFileStream::Start(BlockFunction block) {
  Stop();
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FError.clear();
    FFault = {};
    FOutput.clear();
    FOutputWritten = false;
  }
  FEnded = false;
  FBlocks = 0;
  if (!block) {
    std::lock_guard<std::mutex> lock(FMutex);
    FError = "no block function";
    FFault.Code = TAudioFault::Kind::NotStarted;
    return false;
  }
  std::string error;
  if (!FReader.Open(FOptions.InputPath, FOptions.MonoChannel, error)) {
    std::lock_guard<std::mutex> lock(FMutex);
    FError = error;
    FFault = FReader.Fault();
    return false;
  }
  FBlock = std::move(block);
  FStopRequested = false;
  FRunning = true;
  FThread = std::thread([this] { ThreadMain(); });
  return true;
}

void TSoundFileStream::Stop() {
  FStopRequested = true;
  FChanged.notify_all();
  if (FStreamThread.load() == std::this_thread::get_id()) {
    // From OnEnd on the stream's own thread: no block follows; a later Stop
    // or the destructor joins the thread.
    FRunning = false;
    return;
  }
  if (FThread.joinable()) FThread.join();
  if (!FRunning) return;
  FRunning = false;
  // Stopped before the end of the recording: keep what was produced.
  std::string error;
  const bool written = WriteOutput(error);
  {
    std::lock_guard<std::mutex> lock(FMutex);
    if (!written) FError = error;
    FEnded = true;  // the playback is over, though OnEnd is not called
  }
  FChanged.notify_all();
}

bool TSoundFileStream::WriteOutput(std::string& error) {
  std::lock_guard<std::mutex> lock(FMutex);
  if (FOptions.OutputPath.empty() || FOutputWritten) return true;
  FOutputWritten = true;
  return WriteStereoWav(FOptions.OutputPath, FOutput.data(),
                        static_cast<int64_t>(FOutput.size() / kAudioChannels), error);
}

void TSoundFileStream::Finish(bool ok, const std::string& readError, const TAudioFault& readFault) {
  std::string error = readError;
  std::string writeError;
  if (!WriteOutput(writeError)) {
    ok = false;
    if (error.empty()) error = writeError;
  }
  if (!ok) FRunning = false;
  {
    std::lock_guard<std::mutex> lock(FMutex);
    if (!error.empty()) FError = error;
    if (readFault.Code != TAudioFault::Kind::None) FFault = readFault;
  }
  // The callback first, so a WaitForEnd that returns finds it done.
  if (FOptions.OnEnd) FOptions.OnEnd(ok);
  {
    std::lock_guard<std::mutex> lock(FMutex);
    FEnded = true;
  }
  FChanged.notify_all();
}

void TSoundFileStream::ThreadMain() {
  FStreamThread = std::this_thread::get_id();
  const size_t samples = static_cast<size_t>(kAudioBlockFrames) * kAudioChannels;
  std::vector<int16_t> in(samples), out(samples);
  const auto start = std::chrono::steady_clock::now();
  bool ok = true;
  std::string error;
  TAudioFault fault;
  while (!FStopRequested) {
    const int got = FReader.ReadBlock(in.data(), kAudioBlockFrames);
    if (got < 0) {
      ok = false;
      error = FReader.LastError();
      fault = FReader.Fault();
      break;
    }
    if (got == 0) break;
    std::fill(in.begin() + static_cast<size_t>(got) * kAudioChannels, in.end(), 0);
    if (FOptions.RealTime) {
      const auto due = start + kBlockPeriod * (FBlocks.load() + 1);
      std::unique_lock<std::mutex> lock(FMutex);
      FChanged.wait_until(lock, due, [this] { return FStopRequested.load(); });
      if (FStopRequested) break;
    }
    std::fill(out.begin(), out.end(), 0);
    FBlock(in.data(), out.data(), kAudioBlockFrames);
    if (!FOptions.OutputPath.empty()) {
      std::lock_guard<std::mutex> lock(FMutex);
      FOutput.insert(FOutput.end(), out.begin(), out.end());
    }
    ++FBlocks;
    if (got < kAudioBlockFrames) break;  // that was the padded last block
  }
  if (!FStopRequested) Finish(ok, error, fault);
  if (ok && FOptions.RealTime && FOptions.SilenceAfterEnd) {
    std::fill(in.begin(), in.end(), 0);
    for (int64_t k = FBlocks.load() + 1; !FStopRequested; ++k) {
      {
        std::unique_lock<std::mutex> lock(FMutex);
        FChanged.wait_until(lock, start + kBlockPeriod * k,
                            [this] { return FStopRequested.load(); });
      }
      if (FStopRequested) break;
      std::fill(out.begin(), out.end(), 0);
      FBlock(in.data(), out.data(), kAudioBlockFrames);
    }
  }
  FStreamThread = std::thread::id();
}

bool TSoundFileStream::WaitForEnd(int timeoutMs) {
  std::unique_lock<std::mutex> lock(FMutex);
  FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return FEnded.load(); });
  return FEnded.load();
}

std::string TSoundFileStream::Error() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FError;
}

TAudioFault TSoundFileStream::Fault() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FFault;
}

}  // namespace sorvex
