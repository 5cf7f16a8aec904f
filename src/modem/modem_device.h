#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "modem/audio_stream.h"
#include "modem/modem.h"
#include "modem/telegram_measurer.h"

namespace sorvex {

// The two-channel sound device: two channel modems, channel 0 on
// the left (requests) and channel 1 on the right (answers), driven by one
// full-duplex audio stream. Per 1024-frame block, under the one lock: the
// cross-talk gate and both receivers on the input, then both modulators into
// the output. The main window reaches the modems only through the locked
// operations below.
//
// The device owns its stream. Opening starts it; when it does not start,
// GetStatus() reads -1 and nothing else changes: the locked operations keep
// working on the modems, but no sound flows. Closing sets Closing, then stops
// the stream, whose Stop returns only after a block in flight has finished
// (the AudioStream contract), before the modems are freed.
// Receives every input block as the stream delivered it (interleaved
// stereo, before the cross-talk gate), on the audio thread under the
// device's lock: it must return at once and never wait (a recorder hands
// the block to a thread of its own).
class TInputTap {
 public:
  virtual ~TInputTap() = default;
  virtual void InputBlock(const int16_t* frames, int count) = 0;
};

class TModemDevice {
 public:
  static constexpr int32_t kBlockLength = 1024;
  static constexpr int kGateChunk = 64;        // frames per cross-talk chunk
  static constexpr int kGateThreshold = 1000;  // left peaks above this silence the right
  static constexpr double kOutputScale = 32000.0;
  // Input frames kept for a look at the line (the spectrum): 0.5 s.
  static constexpr int kRecentFrames = 4000;

  // Called after the modems are built and before the stream starts (tools
  // and tests arm the receivers or load a transmission so that the very
  // first block sees them).
  using PrepareFunction = std::function<void(TModemDevice&)>;

  // `stream` may be null (Status −1, no sound). The PortAudio default lives
  // in the audio layer: OpenModemDevice (audio/modem_device_factory.h).
  TModemDevice(const std::string& settingsFileName, std::unique_ptr<AudioStream> stream,
               const PrepareFunction& prepare = {});
  ~TModemDevice();
  TModemDevice(const TModemDevice&) = delete;
  TModemDevice& operator=(const TModemDevice&) = delete;

  // 0, or −1 when the stream did not start or has failed since.
  int32_t GetStatus() const;

  // Locked operations; a channel other than 0 or 1 does nothing (0 returned).
  void Transmit(int channel, const uint8_t* bits, int32_t bitCount);
  void SetStartLevel(int channel, double level);
  void ResetReceiver(int channel);
  void SetRecordCapacity(int channel, int32_t capacity);
  int32_t CopySignalRecords(int channel, TSignalRecord* dest);
  double Level(int channel);
  double TakeNoise(int channel);
  // With waitMs > 0 the lock is released between tries: the caller waits for
  // the blocks that follow, up to waitMs, without holding up the stream.
  int32_t TakeTelegram(int channel, uint8_t* dest, int waitMs);
  int ReceiverState(int channel);
  // Tones and bit rate of the channel's last completed telegram (`bits`
  // long, as TakeTelegram returned); measured outside the lock.
  TToneEstimate MeasureTelegram(int channel, int32_t bits);
  // What MeasureTelegram measures: a copy, for measuring elsewhere.
  TTelegramSignal TelegramSignal(int channel, int32_t bits);
  int BaudRate(int channel);
  // The channel's bit rate and tones (Hz), as its settings file gave them.
  void GetGeneral(int channel, int32_t& baudrate, int32_t& freq0, int32_t& freq1);
  // Copies the last min(maxFrames, kRecentFrames) input frames as they came
  // (interleaved stereo, oldest first); fewer before that much has arrived.
  // Returns the frame count.
  int CopyRecentInput(int16_t* dest, int maxFrames);
  // Every input block goes to `tap` from the next block on (null: to none).
  // When it returns, the previous tap is no longer called.
  void SetInputTap(TInputTap* tap);

  // The block function the stream calls (public for tests and benchmarks):
  // gate and receive `input`, modulate into `output`; frames ≤ 1024.
  void ProcessBlock(const int16_t* input, int16_t* output, int frames);

  // The cross-talk gate on interleaved stereo frames, in place: in every
  // 64-frame chunk (the last may be shorter) whose largest |left| exceeds
  // 1000, every right sample is set to 0.
  static void CrossTalkGate(int16_t* frames, int n);
  // A modulator sample × 32000, truncated toward zero, as a 16-bit sample.
  static int16_t OutputSample(double sample);

  AudioStream* Stream() const { return FStream.get(); }
  int64_t BlocksProcessed() const { return FBlocks.load(); }
  // What the stream lost on the way in (AudioStream::DroppedBlocks).
  int64_t DroppedBlocks() const { return FStream ? FStream->DroppedBlocks() : 0; }
  // The stream's input plus output latency (AudioStream::LatencyMs); 0
  // without a running stream.
  int StreamLatencyMs() const { return FStream && GetStatus() == 0 ? FStream->LatencyMs() : 0; }

 private:
  static bool ValidChannel(int channel) { return channel == 0 || channel == 1; }
  // Takes Lock for a locked operation, counted in FCallersWaiting meanwhile.
  std::unique_lock<std::mutex> CallerLock();
  // Under Lock: appends n input frames to the ring of recent ones.
  void KeepRecent(const int16_t* input, int n);

  int32_t Status = 0;  // −1 when the stream did not start
  std::unique_ptr<TModem> Modems[2];
  std::unique_ptr<AudioStream> FStream;
  mutable std::mutex Lock;
  std::condition_variable FBlockDone;  // with Lock: a block was processed
  std::atomic<bool> Closing{false};
  std::atomic<int64_t> FBlocks{0};
  std::atomic<int> FCallersWaiting{0};  // locked operations waiting for Lock
  // Scratch of ProcessBlock, used under Lock.
  std::vector<int16_t> FInput;
  std::vector<double> FModulated;
  // Under Lock: the tap, and the last kRecentFrames input frames as a ring
  // (FRecentAt is where the next frame goes; FRecentCount how many are valid).
  TInputTap* FTap = nullptr;
  std::vector<int16_t> FRecent;
  int FRecentAt = 0;
  int FRecentCount = 0;
};

}  // namespace sorvex
