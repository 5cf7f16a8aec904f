#include "audio/line_recorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "modem/audio_stream.h"
#include "util/date_time.h"

namespace sorvex {

namespace {

// What a streaming writer puts where the length is not known: readers take
// the samples up to the end of the file.
constexpr uint32_t kUnknownLength = 0xFFFFFFFFu;

std::string ErrnoText(int error) {
  char buffer[256];
  // The GNU strerror_r: the text may or may not be in `buffer`.
  return strerror_r(error, buffer, sizeof buffer);
}

void PutLe16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}

void PutLe32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

}  // namespace

TLineRecorder::TLineRecorder(std::string path, int fd, const Options& options)
    : FPath(std::move(path)), FFd(fd), FOptions(options) {
  FSlots.resize(static_cast<size_t>(std::max(2, FOptions.QueueBlocks)));
  for (TSlot& slot : FSlots)
    slot.Frames.resize(static_cast<size_t>(kAudioBlockFrames) * kAudioChannels);
  FPending.reserve(static_cast<size_t>(kAudioFrameRate) * kAudioChannels * 2);
}

TLineRecorder::~TLineRecorder() {
  Finish();
  if (FFd >= 0) ::close(FFd);  // never started
}

std::unique_ptr<TLineRecorder> TLineRecorder::Create(const std::string& path,
                                                     const Options& options, std::string& error,
                                                     int* errnoValue) {
  if (errnoValue != nullptr) *errnoValue = 0;
  const auto fail = [&](int e, const std::string& reason) {
    if (errnoValue != nullptr) *errnoValue = e;
    error = reason;
    return nullptr;
  };
  // A device or a pipe named by mistake is left alone.
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return fail(EINVAL, "not a regular file");
    if (options.Exclusive) return fail(EEXIST, ErrnoText(EEXIST));
  }
  // The file gets its name with its first samples, so there is never a
  // file without sound to find: until then it is an unnamed file (or,
  // where the file system has none, a hidden one), made now so that a
  // folder that cannot take it is known at once.
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "."
                          : slash == 0               ? "/"
                                                     : path.substr(0, slash);
  std::string temp;
  int fd = ::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
  if (fd < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    temp = dir + "/.sorvex-recording-XXXXXX";
    fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd >= 0) fchmod(fd, 0644);
  }
  if (fd < 0) {
    const int e = errno;
    return fail(e, ErrnoText(e));
  }
  std::unique_ptr<TLineRecorder> recorder(new TLineRecorder(path, fd, options));
  recorder->FTemp = temp;
  if (!recorder->WriteHeader(0, true) || fdatasync(fd) != 0) {
    const int e = errno;
    if (!temp.empty()) ::unlink(temp.c_str());
    return fail(e, ErrnoText(e));  // the recorder closes the file
  }
  recorder->FWriter = std::thread([r = recorder.get()] { r->WriterMain(); });
  error.clear();
  return recorder;
}

bool TLineRecorder::Publish() {
  bool ok = false;
  if (FTemp.empty()) {
    if (!FOptions.Exclusive) ::unlink(FPath.c_str());
    const std::string self = "/proc/self/fd/" + std::to_string(FFd);
    ok = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, FPath.c_str(), AT_SYMLINK_FOLLOW) == 0;
  } else {
    struct stat st {};
    if (FOptions.Exclusive && stat(FPath.c_str(), &st) == 0) {
      errno = EEXIST;
    } else {
      ok = rename(FTemp.c_str(), FPath.c_str()) == 0;
    }
  }
  if (!ok) {
    Fail(TFailure::Write, ErrnoText(errno));
    return false;
  }
  FTemp.clear();
  FPublished = true;
  return true;
}

std::string TLineRecorder::FileNameFor(double dateTime) {
  const DateTimeParts t = DecodeDateTime(dateTime);
  char name[64];
  std::snprintf(name, sizeof name, "sorvex-%04d%02d%02d-%02d%02d%02d.wav", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return name;
}

std::unique_ptr<TLineRecorder> TLineRecorder::CreateInFolder(const std::string& folder,
                                                             double dateTime, Options options,
                                                             std::string& path,
                                                             std::string& error) {
  options.Exclusive = true;
  std::string base = FileNameFor(dateTime);
  base.resize(base.size() - 4);  // ".wav"
  std::string dir = folder.empty() ? "." : folder;
  if (dir.back() != '/') dir += '/';
  for (int attempt = 1; attempt <= 99; ++attempt) {
    path = dir + base + (attempt == 1 ? "" : "-" + std::to_string(attempt)) + ".wav";
    int e = 0;
    auto recorder = Create(path, options, error, &e);
    if (recorder || e != EEXIST) return recorder;
  }
  return nullptr;
}

void TLineRecorder::InputBlock(const int16_t* frames, int count) {
  if (!FAccepting.load(std::memory_order_relaxed) || frames == nullptr || count <= 0) return;
  count = std::min(count, kAudioBlockFrames);
  const uint64_t head = FHead.load(std::memory_order_relaxed);
  if (head - FTail.load(std::memory_order_acquire) >= FSlots.size()) {
    // The writer is stuck on the disk: stop here rather than leave a gap.
    FOverflow.store(true);
    FAccepting.store(false);
    return;
  }
  TSlot& slot = FSlots[head % FSlots.size()];
  std::memcpy(slot.Frames.data(), frames, static_cast<size_t>(count) * kFrameBytes);
  slot.Count = count;
  FHead.store(head + 1, std::memory_order_release);
  FFramesTaken.fetch_add(count, std::memory_order_relaxed);
}

bool TLineRecorder::Drain() {
  uint64_t tail = FTail.load(std::memory_order_relaxed);
  const uint64_t head = FHead.load(std::memory_order_acquire);
  if (tail == head) return false;
  for (; tail != head; ++tail) {
    const TSlot& slot = FSlots[tail % FSlots.size()];
    FPending.insert(FPending.end(), slot.Frames.begin(),
                    slot.Frames.begin() + static_cast<ptrdiff_t>(slot.Count) * kAudioChannels);
    FTail.store(tail + 1, std::memory_order_release);
  }
  return true;
}

void TLineRecorder::WriterMain() {
  using Clock = std::chrono::steady_clock;
  const auto interval = std::chrono::milliseconds(std::max(1, FOptions.CommitIntervalMs));
  const auto nap = std::min<Clock::duration>(interval, std::chrono::milliseconds(20));
  auto lastCommit = Clock::now();
  for (;;) {
    // Read before draining: everything queued before the request is written.
    const bool stopping = FStopRequested.load();
    Drain();
    const bool overflow = FOverflow.load();
    if (!FPending.empty() && (stopping || overflow || Clock::now() - lastCommit >= interval)) {
      Commit();
      lastCommit = Clock::now();
    }
    if (overflow && !Failed()) Fail(TFailure::TooSlow, "the disk did not keep up");
    if (stopping || Failed()) break;
    std::this_thread::sleep_for(nap);
  }
  Close();
}

bool TLineRecorder::WriteHeader(uint64_t dataBytes, bool known) {
  unsigned char h[kHeaderBytes];
  const uint32_t data = known ? static_cast<uint32_t>(dataBytes) : kUnknownLength;
  const uint32_t riff = known ? static_cast<uint32_t>(36 + dataBytes) : kUnknownLength;
  std::memcpy(h, "RIFF", 4);
  PutLe32(h + 4, riff);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  PutLe32(h + 16, 16);
  PutLe16(h + 20, 1);  // PCM
  PutLe16(h + 22, kAudioChannels);
  PutLe32(h + 24, kAudioFrameRate);
  PutLe32(h + 28, kAudioFrameRate * kFrameBytes);
  PutLe16(h + 32, kFrameBytes);
  PutLe16(h + 34, 16);
  std::memcpy(h + 36, "data", 4);
  PutLe32(h + 40, data);
  // One write inside one page: a reader (or a crash) sees the old header or
  // the new one, never half of each.
  return pwrite(FFd, h, kHeaderBytes, 0) == kHeaderBytes;
}

bool TLineRecorder::Commit() {
  uint64_t bytes = FPending.size() * sizeof(int16_t);
  const bool atLimit = FDataBytes + bytes > FOptions.MaxDataBytes;
  if (atLimit) bytes = (FOptions.MaxDataBytes - FDataBytes) / kFrameBytes * kFrameBytes;
  if (bytes > 0) {
    // Lengths "unknown" on the disk before any sample lies past them.
    if (!WriteHeader(FDataBytes, false) || fdatasync(FFd) != 0) {
      Fail(TFailure::Write, ErrnoText(errno));
      return false;
    }
    const auto* data = reinterpret_cast<const char*>(FPending.data());
    const off_t at = kHeaderBytes + static_cast<off_t>(FDataBytes);
    uint64_t done = 0;
    int error = 0;
    while (done < bytes) {
      const ssize_t n = pwrite(FFd, data + done, bytes - done, at + static_cast<off_t>(done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = n < 0 ? errno : EIO;
        break;
      }
      done += static_cast<uint64_t>(n);
    }
    if (error != 0) {
      // What went in whole is kept; Close cuts the rest and fixes the header.
      FDataBytes += done / kFrameBytes * kFrameBytes;
      FFramesWritten.store(static_cast<int64_t>(FDataBytes / kFrameBytes));
      Fail(TFailure::Write, ErrnoText(error));
      return false;
    }
    FDataBytes += bytes;
    FFramesWritten.store(static_cast<int64_t>(FDataBytes / kFrameBytes));
    if (fdatasync(FFd) != 0 || !WriteHeader(FDataBytes, true)) {
      Fail(TFailure::Write, ErrnoText(errno));
      return false;
    }
    if (!FPublished && !Publish()) return false;
  }
  FPending.clear();
  if (atLimit) {
    Fail(TFailure::SizeLimit, "the file has reached the largest size of a WAV file");
    return false;
  }
  return true;
}

void TLineRecorder::Fail(TFailure failure, const std::string& reason) {
  {
    std::lock_guard<std::mutex> lock(FErrorMutex);
    if (FFailure.load() != TFailure::None) return;
    FError = reason;
  }
  FAccepting.store(false);
  FFailure.store(failure);
}

void TLineRecorder::Close() {
  if (FFd < 0) return;
  // Whatever happened, the file ends as a WAV of exactly what was committed;
  // a recording of nothing leaves no file.
  const bool ok = ftruncate(FFd, kHeaderBytes + static_cast<off_t>(FDataBytes)) == 0 &&
                  WriteHeader(FDataBytes, true) && fdatasync(FFd) == 0;
  const int error = errno;
  if (!ok) Fail(TFailure::Write, ErrnoText(error));
  if (!FPublished && FDataBytes > 0) Publish();
  if (!FTemp.empty()) ::unlink(FTemp.c_str());
  if (::close(FFd) != 0 && ok) Fail(TFailure::Write, ErrnoText(errno));
  FFd = -1;
}

std::string TLineRecorder::Error() const {
  std::lock_guard<std::mutex> lock(FErrorMutex);
  return FError;
}

bool TLineRecorder::Finish() {
  if (!FFinished) {
    FFinished = true;
    FAccepting.store(false);
    FStopRequested.store(true);
    if (FWriter.joinable()) FWriter.join();
  }
  return !Failed();
}

}  // namespace sorvex
