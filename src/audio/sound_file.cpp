#include "audio/sound_file.h"

#include <fcntl.h>
#include <sndfile.h>
#include <soxr.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <sstream>
#include <vector>

#include "audio/wav_layout.h"
#include "modem/audio_stream.h"

namespace sorvex {

namespace {

// Frames read from the file per refill, at the file's own rate.
constexpr int kChunkFrames = 4096;

// One line, without the trailing newline libsndfile sometimes leaves.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string ReadError(const std::string& path, const std::string& reason) {
  return "cannot read '" + path + "': " + OneLine(reason);
}

TAudioFault MakeFault(TAudioFault::Kind kind, const std::string& path, const char* libraryName = "",
                      const std::string& library = "") {
  return {kind, path, libraryName, OneLine(library)};
}

// Full scale 1.0 → 32768, rounded to nearest and clipped to int16; NaN → 0.
int16_t ToInt16(double x) {
  if (!(x == x)) return 0;
  return static_cast<int16_t>(std::clamp(std::nearbyint(x * 32768.0), -32768.0, 32767.0));
}

// libsndfile accepts a file whose data chunk claims more bytes than the file
// holds and silently reads what is there; its log then has a line such as
// "data : 32000 (should be 10000)". Such a file was cut short: refuse it.
// Sizes 0 and ≥ 0x7FFFFFF0 are what streaming writers put when the length is
// not known in advance, so those are not taken as truncation.
bool LogShowsTruncatedData(const std::string& log) {
  std::istringstream lines(log);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t colon = line.find(" : ");
    const size_t should = line.find("(should be ");
    if (colon == std::string::npos || should == std::string::npos || should < colon) continue;
    std::string marker = line.substr(0, colon);
    marker.erase(0, marker.find_first_not_of(' '));
    if (marker != "data" && marker != "SSND") continue;
    const unsigned long long declared = std::strtoull(line.c_str() + colon + 3, nullptr, 10);
    const unsigned long long actual = std::strtoull(line.c_str() + should + 11, nullptr, 10);
    if (declared == 0 || declared >= 0x7FFFFFF0ull) continue;
    if (declared > actual) return true;
  }
  return false;
}

// The file as libsndfile sees it through virtual I/O, with the data chunk's
// size field replaced by the length the samples really have.
struct TPatchedFile {
  int Fd = -1;
  int64_t Length = 0;
  int64_t Position = 0;
  int64_t PatchAt = 0;
  unsigned char Patch[4] = {};
};

sf_count_t PatchedLength(void* user) {
  return static_cast<TPatchedFile*>(user)->Length;
}
sf_count_t PatchedSeek(sf_count_t offset, int whence, void* user) {
  auto* f = static_cast<TPatchedFile*>(user);
  const int64_t base = whence == SEEK_CUR ? f->Position : whence == SEEK_END ? f->Length : 0;
  f->Position = std::clamp<int64_t>(base + offset, 0, f->Length);
  return f->Position;
}
sf_count_t PatchedRead(void* ptr, sf_count_t count, void* user) {
  auto* f = static_cast<TPatchedFile*>(user);
  const ssize_t got = pread(f->Fd, ptr, static_cast<size_t>(count), f->Position);
  if (got <= 0) return 0;
  auto* bytes = static_cast<unsigned char*>(ptr);
  for (int i = 0; i < 4; ++i) {
    const int64_t at = f->PatchAt + i - f->Position;
    if (at >= 0 && at < got) bytes[at] = f->Patch[i];
  }
  f->Position += got;
  return got;
}
sf_count_t PatchedWrite(const void*, sf_count_t, void*) {
  return 0;
}
sf_count_t PatchedTell(void* user) {
  return static_cast<TPatchedFile*>(user)->Position;
}

// Why libsndfile refused a file, in the user's terms, its own text after it.
std::string OpenFailure(const std::string& path, const std::string& libraryText) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return std::strerror(errno);
  if (S_ISDIR(st.st_mode)) return "it is a directory";
  if (st.st_size == 0) return "the file is empty";
  std::string what = "it is not a sound file of a format this program reads";
  char head[12] = {};
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return std::strerror(errno);
  const ssize_t got = read(fd, head, sizeof head);
  close(fd);
  if (got >= 4 && std::memcmp(head, "RIFF", 4) == 0) {
    what = got >= 12 && std::memcmp(head + 8, "WAVE", 4) == 0
               ? "its WAV header is damaged or incomplete"
               : "it is a RIFF file but not a WAV file";
  } else if (got >= 4 && std::memcmp(head, "FORM", 4) == 0) {
    what = "its AIFF header is damaged or incomplete";
  } else if (got >= 4 && std::memcmp(head, "fLaC", 4) == 0) {
    what = "its FLAC header is damaged or incomplete";
  } else if (got >= 4 && std::memcmp(head, "OggS", 4) == 0) {
    what = "its Ogg header is damaged or incomplete";
  }
  return what + " (libsndfile: " + OneLine(libraryText) + ")";
}

}  // namespace

struct TSoundFileReader::Impl {
  ~Impl() {
    if (Resampler != nullptr) soxr_delete(Resampler);
    if (File != nullptr) sf_close(File);
    if (Patched.Fd >= 0) close(Patched.Fd);
  }

  std::string Path;
  int MonoChannel = 0;
  SNDFILE* File = nullptr;
  TPatchedFile Patched;  // open when the data chunk's length is read from the file size
  int FileChannels = 0;
  int64_t DeclaredFrames = 0;
  int64_t FileFramesRead = 0;
  soxr_t Resampler = nullptr;  // null: the file is at 8000 Hz, no conversion
  int ResampledChannels = 0;   // 1 for a mono file (the other side is silence), else 2
  double Ratio = 1.0;
  bool FileEnded = false;  // the file has no more frames
  bool Finished = false;   // and everything derived from them was delivered
  bool Failed = false;
  TAudioFault Fault;  // why a read failed

  std::vector<double> FileBuffer;  // kChunkFrames × FileChannels
  std::vector<double> StereoIn;    // resampler input of a file with more than 2 channels
  std::vector<double> Converted;   // resampler output, ResampledChannels interleaved
  std::vector<int16_t> Pending;    // converted frames not yet delivered
  size_t PendingPos = 0;           // in samples (2 per frame)

  // The steps of a read: converted frames are handed out from Pending; when
  // it runs dry, the next chunk of the file is read and converted into it.
  int TakePending(int16_t* frames, int maxFrames);
  bool Refill(std::string& error);
  int ReadChunk(std::string& error);  // frames read, or −1
  // Left and right of frame i of the chunk, at the file's rate, full scale 1.0.
  double Left(int i) const;
  double Right(int i) const;
  void ConvertDirect(int n);
  bool Resample(int n, std::string& error);
  void TakeConverted(size_t frames);
};

int TSoundFileReader::Impl::TakePending(int16_t* frames, int maxFrames) {
  const size_t available = (Pending.size() - PendingPos) / 2;
  const int take = static_cast<int>(std::min<size_t>(available, static_cast<size_t>(maxFrames)));
  if (take == 0) return 0;
  std::memcpy(frames, Pending.data() + PendingPos, static_cast<size_t>(take) * 2 * sizeof(int16_t));
  PendingPos += static_cast<size_t>(take) * 2;
  return take;
}

bool TSoundFileReader::Impl::Refill(std::string& error) {
  const int n = ReadChunk(error);
  if (n < 0) return false;
  if (Resampler == nullptr) {
    ConvertDirect(n);
  } else if (!Resample(n, error)) {
    return false;
  }
  if (FileEnded) Finished = true;
  return true;
}

int TSoundFileReader::Impl::ReadChunk(std::string& error) {
  const sf_count_t got = sf_readf_double(File, FileBuffer.data(), kChunkFrames);
  if (got < 0 || (got < kChunkFrames && sf_error(File) != SF_ERR_NO_ERROR)) {
    Fault = MakeFault(TAudioFault::Kind::RecordingRead, Path, "libsndfile", sf_strerror(File));
    error = ReadError(Path, sf_strerror(File));
    return -1;
  }
  FileFramesRead += got;
  if (got < kChunkFrames) {
    FileEnded = true;
    // Formats that state their length (FLAC, for one) but end early.
    if (DeclaredFrames > 0 && DeclaredFrames < std::numeric_limits<int32_t>::max() * 64LL &&
        FileFramesRead < DeclaredFrames) {
      error = ReadError(Path, "the file is truncated (" + std::to_string(FileFramesRead) + " of " +
                                  std::to_string(DeclaredFrames) + " frames)");
      Fault = MakeFault(TAudioFault::Kind::RecordingTruncated, Path);
      return -1;
    }
  }
  return static_cast<int>(got);
}

double TSoundFileReader::Impl::Left(int i) const {
  if (FileChannels == 1) return MonoChannel == 0 ? FileBuffer[i] : 0.0;
  return FileBuffer[static_cast<size_t>(i) * FileChannels];
}

double TSoundFileReader::Impl::Right(int i) const {
  if (FileChannels == 1) return MonoChannel == 1 ? FileBuffer[i] : 0.0;
  return FileBuffer[static_cast<size_t>(i) * FileChannels + 1];
}

// 8000 Hz: straight through; a 16-bit sample comes back bit for bit.
void TSoundFileReader::Impl::ConvertDirect(int n) {
  Pending.resize(static_cast<size_t>(n) * 2);
  for (int i = 0; i < n; ++i) {
    Pending[2 * i] = ToInt16(Left(i));
    Pending[2 * i + 1] = ToInt16(Right(i));
  }
  PendingPos = 0;
}

void TSoundFileReader::Impl::TakeConverted(size_t frames) {
  const size_t at = Pending.size();
  Pending.resize(at + frames * 2);
  int16_t* out = Pending.data() + at;
  const double* in = Converted.data();
  if (ResampledChannels == 1) {
    for (size_t i = 0; i < frames; ++i) {
      out[2 * i + MonoChannel] = ToInt16(in[i]);
      out[2 * i + 1 - MonoChannel] = 0;
    }
  } else {
    for (size_t i = 0; i < 2 * frames; ++i) out[i] = ToInt16(in[i]);
  }
}

bool TSoundFileReader::Impl::Resample(int n, std::string& error) {
  // One or two channels go to the converter as they were read.
  const double* input = FileBuffer.data();
  if (FileChannels > 2) {
    for (int i = 0; i < n; ++i) {
      StereoIn[2 * i] = Left(i);
      StereoIn[2 * i + 1] = Right(i);
    }
    input = StereoIn.data();
  }
  Pending.clear();
  PendingPos = 0;
  const size_t room = Converted.size() / static_cast<size_t>(ResampledChannels);
  size_t done = 0;
  // All of the chunk goes in; at the end of the file the converter is then
  // drained (null input) until it gives nothing more.
  for (int used = 0; used < n || FileEnded;) {
    size_t taken = 0;
    const bool drain = used >= n;
    const soxr_error_t rc = soxr_process(
        Resampler, drain ? nullptr : input + static_cast<size_t>(used) * ResampledChannels,
        drain ? 0 : static_cast<size_t>(n - used), &taken, Converted.data(), room, &done);
    if (rc != nullptr) {
      error = ReadError(Path, std::string("sample-rate converter: ") + rc);
      Fault = MakeFault(TAudioFault::Kind::RecordingRead, Path, "libsoxr", rc);
      return false;
    }
    TakeConverted(done);
    used += static_cast<int>(taken);
    if (drain && done == 0) break;
  }
  return true;
}

TSoundFileReader::TSoundFileReader() = default;
TSoundFileReader::~TSoundFileReader() = default;

bool TSoundFileReader::Open(const std::string& path, int monoChannel, std::string& error) {
  FImpl.reset();
  FInfo = TSoundFileInfo{};
  FError.clear();
  FFault = {};
  FWarning.clear();
  auto impl = std::make_unique<Impl>();
  impl->Path = path;
  impl->MonoChannel = monoChannel == 1 ? 1 : 0;

  SF_INFO info;
  std::memset(&info, 0, sizeof info);
  TWavLayout wav;
  int64_t fileSize = 0;
  {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
      wav = InspectWav(fd, st.st_size);
      fileSize = st.st_size;
    }
    if (wav.Disagrees) {
      AddWarning("'" + path + "': the header gives " + std::to_string(wav.Declared) +
                 " bytes of samples but the file holds " + std::to_string(wav.FixedSize) +
                 "; read to the end of the file");
      impl->Patched.Fd = fd;
      impl->Patched.Length = st.st_size;
      impl->Patched.PatchAt = wav.SizeFieldAt;
      for (int i = 0; i < 4; ++i) {
        impl->Patched.Patch[i] = static_cast<unsigned char>(wav.FixedSize >> (8 * i));
      }
      SF_VIRTUAL_IO io{PatchedLength, PatchedSeek, PatchedRead, PatchedWrite, PatchedTell};
      impl->File = sf_open_virtual(&io, SFM_READ, &info, &impl->Patched);
    } else {
      if (fd >= 0) close(fd);
      impl->File = sf_open(path.c_str(), SFM_READ, &info);
    }
  }
  if (impl->File == nullptr) {
    const std::string library = sf_strerror(nullptr);
    FError = error = "cannot read '" + path + "': " + OpenFailure(path, library);
    // A file the system would not give is its fault; libsndfile judged the rest.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    FFault = fd < 0 ? MakeFault(TAudioFault::Kind::RecordingOpen, path, "", std::strerror(errno))
                    : MakeFault(TAudioFault::Kind::RecordingNotSound, path, "libsndfile", library);
    if (fd >= 0) close(fd);
    return false;
  }
  if (info.channels <= 0 || info.samplerate <= 0) {
    FError = error = ReadError(path, "no audio channels or no sample rate");
    FFault = MakeFault(TAudioFault::Kind::RecordingUnsupported, path);
    return false;
  }
  // Ratios far outside what a sound card records are refused.
  const double ratio = static_cast<double>(kAudioFrameRate) / info.samplerate;
  if (ratio < 1.0 / 256 || ratio > 256) {
    FError = error =
        ReadError(path, "sample rate " + std::to_string(info.samplerate) + " Hz is not supported");
    FFault = MakeFault(TAudioFault::Kind::RecordingUnsupported, path);
    return false;
  }
  std::vector<char> log(16384, '\0');
  sf_command(impl->File, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
  if (LogShowsTruncatedData(log.data())) {
    FError = error = ReadError(path, "the file is truncated (its data chunk is incomplete)");
    FFault = MakeFault(TAudioFault::Kind::RecordingTruncated, path);
    return false;
  }
  if (info.frames == 0) {
    FError = error = ReadError(path, NoSoundReason(wav, fileSize));
    FFault = MakeFault(TAudioFault::Kind::RecordingEmpty, path);
    return false;
  }
  if (wav.DataFound && wav.Pcm && wav.BlockAlign > 0 && wav.DataBytes % wav.BlockAlign != 0) {
    AddWarning("'" + path + "': its data chunk ends in " +
               std::to_string(wav.DataBytes % wav.BlockAlign) +
               " bytes that make no whole frame of " + std::to_string(wav.BlockAlign) +
               "; they are ignored");
  }
  impl->FileChannels = info.channels;
  impl->DeclaredFrames = info.frames;
  impl->Ratio = ratio;
  if (info.samplerate != kAudioFrameRate) {
    // 20-bit precision, linear phase, flat (within 0.01 dB) to 0.913 of the
    // 4000 Hz Nyquist frequency: the whole line band; one thread, so the
    // result never depends on the machine.
    impl->ResampledChannels = info.channels == 1 ? 1 : 2;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_error_t soxrError = nullptr;
    impl->Resampler = soxr_create(info.samplerate, kAudioFrameRate,
                                  static_cast<unsigned>(impl->ResampledChannels), &soxrError, &io,
                                  &quality, &runtime);
    if (impl->Resampler == nullptr || soxrError != nullptr) {
      FError = error = ReadError(path, std::string("sample-rate converter: ") +
                                           (soxrError ? soxrError : "cannot be created"));
      FFault =
          MakeFault(TAudioFault::Kind::RecordingRead, path, "libsoxr", soxrError ? soxrError : "");
      return false;
    }
    if (info.channels > 2) impl->StereoIn.resize(static_cast<size_t>(kChunkFrames) * 2);
    // Output of one call: the chunk × ratio, plus room for what the converter held back.
    const size_t outFrames = static_cast<size_t>(std::ceil(kChunkFrames * ratio)) + 4096;
    impl->Converted.resize(outFrames * static_cast<size_t>(impl->ResampledChannels));
  }
  impl->FileBuffer.resize(static_cast<size_t>(kChunkFrames) * info.channels);
  FInfo.SampleRate = info.samplerate;
  FInfo.Channels = info.channels;
  FInfo.Frames = info.frames;
  FImpl = std::move(impl);
  error.clear();
  return true;
}

int TSoundFileReader::ReadBlock(int16_t* frames, int maxFrames) {
  if (!FImpl) {
    if (FError.empty()) {
      FError = "no sound file is open";
      FFault = MakeFault(TAudioFault::Kind::RecordingRead, "");
    }
    return -1;
  }
  Impl& d = *FImpl;
  if (d.Failed) return -1;
  if (frames == nullptr || maxFrames <= 0) return 0;
  int produced = 0;
  while (produced < maxFrames) {
    const int taken =
        d.TakePending(frames + static_cast<size_t>(produced) * 2, maxFrames - produced);
    produced += taken;
    if (taken > 0) continue;
    if (d.Finished) break;
    if (!d.Refill(FError)) {
      FFault = d.Fault;
      d.Failed = true;
      return -1;
    }
  }
  return produced;
}

bool WriteStereoWav(const std::string& path, const int16_t* frames, int64_t frameCount,
                    std::string& error) {
  if (frameCount < 0 || (frameCount > 0 && frames == nullptr)) {
    error = "cannot write '" + path + "': no frames given";
    return false;
  }
  // A RIFF file counts its bytes in 32 bits.
  if (frameCount > (0xFFFFFFFFLL - 64) / 4) {
    error = "cannot write '" + path + "': too long for a WAV file";
    return false;
  }
  std::string tmp = path + ".tmp.XXXXXX";
  std::vector<char> name(tmp.begin(), tmp.end());
  name.push_back('\0');
  const int fd = mkstemp(name.data());
  if (fd < 0) {
    error = "cannot write '" + path + "': " + std::strerror(errno);
    return false;
  }
  tmp = name.data();
  fchmod(fd, 0644);  // mkstemp makes 0600; a recording is an ordinary file
  auto fail = [&](const std::string& reason) {
    close(fd);
    unlink(tmp.c_str());
    error = "cannot write '" + path + "': " + OneLine(reason);
    return false;
  };

  SF_INFO info;
  std::memset(&info, 0, sizeof info);
  info.samplerate = kAudioFrameRate;
  info.channels = kAudioChannels;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  SNDFILE* file = sf_open_fd(fd, SFM_WRITE, &info, SF_FALSE);
  if (file == nullptr) return fail(sf_strerror(nullptr));
  int64_t written = 0;
  while (written < frameCount) {
    const sf_count_t chunk = std::min<int64_t>(frameCount - written, 1 << 16);
    const sf_count_t n = sf_writef_short(file, frames + written * 2, chunk);
    if (n != chunk) {
      const std::string reason = sf_strerror(file);
      sf_close(file);
      return fail(reason);
    }
    written += n;
  }
  if (sf_close(file) != 0) return fail(sf_strerror(nullptr));
  if (fsync(fd) != 0) return fail(std::strerror(errno));
  if (close(fd) != 0) {
    const std::string reason = std::strerror(errno);
    unlink(tmp.c_str());
    error = "cannot write '" + path + "': " + reason;
    return false;
  }
  if (rename(tmp.c_str(), path.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    unlink(tmp.c_str());
    error = "cannot write '" + path + "': " + reason;
    return false;
  }
  error.clear();
  return true;
}

}  // namespace sorvex
