#include "modem/modem_device.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

namespace sorvex {

TModemDevice::TModemDevice(const std::string& settingsFileName, std::unique_ptr<AudioStream> stream,
                           const PrepareFunction& prepare)
    : FStream(std::move(stream)),
      FInput(static_cast<size_t>(kBlockLength) * kAudioChannels),
      FModulated(kBlockLength),
      FRecent(static_cast<size_t>(kRecentFrames) * kAudioChannels) {
  Modems[0] = std::make_unique<TModem>(settingsFileName, kBlockLength);
  Modems[1] = std::make_unique<TModem>(settingsFileName, kBlockLength);
  if (prepare) prepare(*this);
  // The modems exist before the first block can arrive, so no early block
  // has to wait for the open sequence.
  if (!FStream || !FStream->Start([this](const int16_t* in, int16_t* out, int n) {
        ProcessBlock(in, out, n);
      })) {
    Status = -1;
  }
}

TModemDevice::~TModemDevice() {
  // Blocks that start from now on return at once; Stop waits for one in flight.
  Closing = true;
  FBlockDone.notify_all();
  if (FStream) FStream->Stop();
  FStream.reset();
}

int32_t TModemDevice::GetStatus() const {
  if (Status != 0) return Status;
  return FStream->Running() ? 0 : -1;
}

void TModemDevice::CrossTalkGate(int16_t* frames, int n) {
  for (int start = 0; start < n; start += kGateChunk) {
    const int end = std::min(n, start + kGateChunk);
    int peak = 0;
    for (int k = start; k < end; ++k)
      peak = std::max(peak, std::abs(static_cast<int>(frames[2 * k])));
    if (peak > kGateThreshold) {
      for (int k = start; k < end; ++k) frames[2 * k + 1] = 0;
    }
  }
}

int16_t TModemDevice::OutputSample(double sample) {
  const double v = sample * kOutputScale;
  if (!(v == v)) return 0;  // NaN
  // Truncation toward zero.
  return static_cast<int16_t>(static_cast<int32_t>(std::clamp(v, -32768.0, 32767.0)));
}

std::unique_lock<std::mutex> TModemDevice::CallerLock() {
  FCallersWaiting.fetch_add(1);
  std::unique_lock<std::mutex> lock(Lock);
  FCallersWaiting.fetch_sub(1);
  return lock;
}

void TModemDevice::ProcessBlock(const int16_t* input, int16_t* output, int frames) {
  if (Closing || input == nullptr || output == nullptr) return;
  const int n = std::clamp(frames, 0, static_cast<int>(kBlockLength));
  // std::mutex does not queue its waiters: on a backend that runs blocks back
  // to back (a file played as fast as possible) the stream would take the
  // lock again at once and a caller could wait for many blocks. A caller
  // that is waiting goes first (for at most about a millisecond of yields).
  for (int i = 0; i < 1000 && FCallersWaiting.load() > 0 && !Closing; ++i) {
    std::this_thread::yield();
  }
  {
    std::lock_guard<std::mutex> lock(Lock);
    // Input: gate, then channel 0, then channel 1. The modems always see a
    // full block of 1024 frames (a short one is padded with silence).
    std::copy(input, input + static_cast<size_t>(n) * kAudioChannels, FInput.begin());
    KeepRecent(input, n);
    if (FTap != nullptr) FTap->InputBlock(input, n);
    std::fill(FInput.begin() + static_cast<size_t>(n) * kAudioChannels, FInput.end(), 0);
    CrossTalkGate(FInput.data(), kBlockLength);
    Modems[0]->ProcessBlock(0, FInput.data(), kBlockLength);
    Modems[1]->ProcessBlock(1, FInput.data(), kBlockLength);
    // Output: channel 0 on the left, channel 1 on the right.
    for (int channel = 0; channel < 2; ++channel) {
      Modems[channel]->Modulate(FModulated.data(), kBlockLength);
      for (int k = 0; k < n; ++k) output[2 * k + channel] = OutputSample(FModulated[k]);
    }
    FBlocks.fetch_add(1);
  }
  FBlockDone.notify_all();
}

void TModemDevice::KeepRecent(const int16_t* input, int n) {
  // Only the last kRecentFrames of a block can matter.
  const int skip = std::max(0, n - kRecentFrames);
  for (int k = skip; k < n;) {
    const int run = std::min(n - k, kRecentFrames - FRecentAt);
    std::copy(input + static_cast<size_t>(k) * kAudioChannels,
              input + static_cast<size_t>(k + run) * kAudioChannels,
              FRecent.begin() + static_cast<ptrdiff_t>(FRecentAt) * kAudioChannels);
    FRecentAt = (FRecentAt + run) % kRecentFrames;
    k += run;
  }
  FRecentCount = std::min(kRecentFrames, FRecentCount + (n - skip));
}

void TModemDevice::Transmit(int channel, const uint8_t* bits, int32_t bitCount) {
  if (!ValidChannel(channel)) return;
  const auto lock = CallerLock();
  Modems[channel]->StartTransmit(bits, bitCount);
}

void TModemDevice::SetStartLevel(int channel, double level) {
  if (!ValidChannel(channel)) return;
  const auto lock = CallerLock();
  Modems[channel]->SetStartLevel(level);
}

void TModemDevice::ResetReceiver(int channel) {
  if (!ValidChannel(channel)) return;
  const auto lock = CallerLock();
  Modems[channel]->ResetReceiver();
}

void TModemDevice::SetRecordCapacity(int channel, int32_t capacity) {
  if (!ValidChannel(channel)) return;
  const auto lock = CallerLock();
  Modems[channel]->SetRecordCapacity(capacity);
}

int32_t TModemDevice::CopySignalRecords(int channel, TSignalRecord* dest) {
  if (!ValidChannel(channel)) return 0;
  const auto lock = CallerLock();
  return Modems[channel]->CopySignalRecords(dest);
}

double TModemDevice::Level(int channel) {
  if (!ValidChannel(channel)) return 0;
  const auto lock = CallerLock();
  return Modems[channel]->Level();
}

double TModemDevice::TakeNoise(int channel) {
  if (!ValidChannel(channel)) return 0;
  const auto lock = CallerLock();
  return Modems[channel]->TakeNoise();
}

int32_t TModemDevice::TakeTelegram(int channel, uint8_t* dest, int waitMs) {
  if (!ValidChannel(channel)) return 0;
  std::unique_lock<std::mutex> lock = CallerLock();
  int32_t bits = Modems[channel]->TakeTelegram(dest, 0);
  if (bits != 0 || waitMs <= 0) return bits;
  // A telegram can only finish inside a block: look again after each one.
  // The wait releases Lock, so the stream keeps running meanwhile.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  int64_t seen = FBlocks.load();
  while (!Closing) {
    if (!FBlockDone.wait_until(lock, deadline, [&] { return FBlocks.load() != seen || Closing; })) {
      break;  // timed out
    }
    seen = FBlocks.load();
    bits = Modems[channel]->TakeTelegram(dest, 0);
    if (bits != 0) return bits;
  }
  return Modems[channel]->TakeTelegram(dest, 0);
}

int TModemDevice::ReceiverState(int channel) {
  if (!ValidChannel(channel)) return 0;
  const auto lock = CallerLock();
  return Modems[channel]->ReceiverState();
}

TToneEstimate TModemDevice::MeasureTelegram(int channel, int32_t bits) {
  // Copied under the lock, measured outside it: the audio thread never
  // waits for the measurer. Nothing kept measures as NaN.
  return MeasureTelegramSignal(TelegramSignal(channel, bits));
}

TTelegramSignal TModemDevice::TelegramSignal(int channel, int32_t bits) {
  if (!ValidChannel(channel)) return {};
  const auto lock = CallerLock();
  return Modems[channel]->TelegramSignal(bits);
}

int TModemDevice::BaudRate(int channel) {
  if (!ValidChannel(channel)) return 0;
  const auto lock = CallerLock();
  int32_t baudrate = 0, freq0 = 0, freq1 = 0;
  Modems[channel]->GetGeneral(baudrate, freq0, freq1);
  return baudrate;
}

void TModemDevice::GetGeneral(int channel, int32_t& baudrate, int32_t& freq0, int32_t& freq1) {
  baudrate = freq0 = freq1 = 0;
  if (!ValidChannel(channel)) return;
  const auto lock = CallerLock();
  Modems[channel]->GetGeneral(baudrate, freq0, freq1);
}

int TModemDevice::CopyRecentInput(int16_t* dest, int maxFrames) {
  if (dest == nullptr || maxFrames <= 0) return 0;
  const auto lock = CallerLock();
  const int count = std::min(maxFrames, FRecentCount);
  // The oldest wanted frame lies `count` frames before the write position.
  int from = (FRecentAt - count + kRecentFrames) % kRecentFrames;
  for (int done = 0; done < count;) {
    const int run = std::min(count - done, kRecentFrames - from);
    std::copy(FRecent.begin() + static_cast<ptrdiff_t>(from) * kAudioChannels,
              FRecent.begin() + static_cast<ptrdiff_t>(from + run) * kAudioChannels,
              dest + static_cast<size_t>(done) * kAudioChannels);
    done += run;
    from = (from + run) % kRecentFrames;
  }
  return count;
}

void TModemDevice::SetInputTap(TInputTap* tap) {
  const auto lock = CallerLock();
  FTap = tap;
}

}  // namespace sorvex
