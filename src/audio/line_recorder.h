#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "modem/modem_device.h"

namespace sorvex {

// Records the device's input, both channels as delivered, to an 8000 Hz
// 16-bit stereo WAV file. The audio thread only copies each block into a
// bounded queue (InputBlock never waits); a writer thread of its own owns the
// file. When the queue is full (the disk does not keep up) or a write fails
// (a full disk), the recording stops, keeps what was written and says why;
// the device goes on as before.
//
// The file reads as a whole WAV at every moment, even after SIGKILL or a
// power cut. About once a second (CommitIntervalMs) the writer commits what
// it holds: the header's lengths become "unknown" (0xFFFFFFFF, read to the
// end of the file), that is synced, the samples are appended and synced,
// then the header gets the exact lengths again. Between commits the file is
// an ordinary WAV of everything committed; during one, a reader takes
// whatever samples are there. The file gets its name with the first commit:
// before it, and after a recording of nothing, there is no file.
class TLineRecorder : public TInputTap {
 public:
  static constexpr int kHeaderBytes = 44;
  static constexpr int kFrameBytes = 4;

  enum class TFailure { None, Write, TooSlow, SizeLimit };

  struct Options {
    int CommitIntervalMs = 1000;
    int QueueBlocks = 128;  // 16 s of 1024-frame blocks
    // Refuse a file that exists already (a recording is evidence: never
    // overwritten) instead of truncating it.
    bool Exclusive = false;
    // Largest sample data: a RIFF file counts its bytes in 32 bits.
    uint64_t MaxDataBytes = 0xFFFFFF00u;
  };

  ~TLineRecorder() override;
  TLineRecorder(const TLineRecorder&) = delete;
  TLineRecorder& operator=(const TLineRecorder&) = delete;

  // Makes the file (a valid empty WAV, named once samples are in it) and
  // starts the writer; null with the reason in `error` (the system's words)
  // when the file cannot be made. With Exclusive an existing file gives
  // EEXIST in `errnoValue`.
  static std::unique_ptr<TLineRecorder> Create(const std::string& path, const Options& options,
                                               std::string& error, int* errnoValue = nullptr);
  // "sorvex-YYYYMMDD-HHMMSS.wav" for a date-time (days since 1899-12-30).
  static std::string FileNameFor(double dateTime);
  // A new file in `folder` named for `dateTime`; when that name is taken,
  // "-2", "-3", … before ".wav". `path` gets the file tried last.
  static std::unique_ptr<TLineRecorder> CreateInFolder(const std::string& folder, double dateTime,
                                                       Options options, std::string& path,
                                                       std::string& error);

  // The audio thread's part: copies the block into the queue.
  void InputBlock(const int16_t* frames, int count) override;

  // Ends the recording: what is queued is written, the header made exact,
  // the file closed. False when the recording failed at any point. Call
  // once nothing calls InputBlock any more; repeated calls do nothing more.
  bool Finish();

  const std::string& Path() const { return FPath; }
  // Frames taken from the device so far (written or on their way).
  int64_t FramesTaken() const { return FFramesTaken.load(); }
  // Frames in the file (committed).
  int64_t FramesWritten() const { return FFramesWritten.load(); }
  // The recording has stopped by itself; Failure() and Error() say why.
  bool Failed() const { return FFailure.load() != TFailure::None; }
  TFailure Failure() const { return FFailure.load(); }
  std::string Error() const;

 private:
  TLineRecorder(std::string path, int fd, const Options& options);
  void WriterMain();
  // Moves queued blocks into FPending; true when any were there.
  bool Drain();
  bool Commit();
  bool WriteHeader(uint64_t dataBytes, bool known);
  // Gives the file its name (the first commit does).
  bool Publish();
  void Fail(TFailure failure, const std::string& reason);
  void Close();

  struct TSlot {
    std::vector<int16_t> Frames;
    int Count = 0;
  };

  const std::string FPath;
  int FFd;
  std::string FTemp;        // the hidden name, where the file system has no unnamed files
  bool FPublished = false;  // the writer's: the file has its name
  const Options FOptions;

  // Single producer (the audio thread), single consumer (the writer).
  std::vector<TSlot> FSlots;
  std::atomic<uint64_t> FHead{0};  // next slot the producer fills
  std::atomic<uint64_t> FTail{0};  // next slot the writer takes
  std::atomic<bool> FAccepting{true};
  std::atomic<bool> FOverflow{false};
  std::atomic<bool> FStopRequested{false};

  std::vector<int16_t> FPending;  // the writer's: taken, not yet committed
  uint64_t FDataBytes = 0;        // the writer's: committed sample bytes

  std::atomic<int64_t> FFramesTaken{0};
  std::atomic<int64_t> FFramesWritten{0};
  std::atomic<TFailure> FFailure{TFailure::None};
  mutable std::mutex FErrorMutex;
  std::string FError;
  bool FFinished = false;
  std::thread FWriter;
};

}  // namespace sorvex
