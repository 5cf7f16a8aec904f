#include "audio/portaudio_stream.h"

#include <alsa/asoundlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <portaudio.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace sorvex {

namespace {

// ALSA prints its configuration errors ("cannot find card '0'", "Unknown PCM
// ...") on stderr unless a handler takes them.
extern "C" void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

// libjack (loaded with PortAudio's JACK host API) prints "Cannot connect to
// server socket" and the like through these functions when no JACK server runs.
extern "C" void SilentJackMessage(const char*) {}

void SilenceSoundLibraries() {
  snd_lib_error_set_handler(&SilentAlsaError);
  using SetMessageFunction = void (*)(void (*)(const char*));
  // Looked up at run time: a PortAudio built without JACK has no libjack.
  for (const char* name : {"jack_set_error_function", "jack_set_info_function"}) {
    if (void* symbol = dlsym(RTLD_DEFAULT, name)) {
      reinterpret_cast<SetMessageFunction>(symbol)(&SilentJackMessage);
    }
  }
}

// PortAudio's host APIs print diagnostics ("Expression '...' failed in
// 'src/hostapi/alsa/pa_linux_alsa.c'") on stderr through an internal function
// that cannot be redirected. While a PortAudio call runs on this thread,
// file descriptor 2 points at /dev/null. Used only under gPaMutex, so the
// guards never nest or overlap.
std::atomic<bool> gQuietStderr{true};

class TQuietStderr {
 public:
  TQuietStderr() {
    if (!gQuietStderr.load()) return;
    std::fflush(stderr);
    FSaved = fcntl(2, F_DUPFD_CLOEXEC, 3);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (FSaved >= 0 && null >= 0) dup2(null, 2);
    if (null >= 0) close(null);
  }
  ~TQuietStderr() {
    if (FSaved >= 0) {
      std::fflush(stderr);
      dup2(FSaved, 2);
      close(FSaved);
    }
  }
  TQuietStderr(const TQuietStderr&) = delete;
  TQuietStderr& operator=(const TQuietStderr&) = delete;

 private:
  int FSaved = -1;
};

// Pa_Initialize / Pa_Terminate, reference-counted across streams.
std::mutex gPaMutex;
int gPaUsers = 0;

// Under gPaMutex.
bool AcquirePortAudio(std::string& error, TAudioFault* fault = nullptr) {
  if (gPaUsers == 0) {
    SilenceSoundLibraries();
    const PaError rc = Pa_Initialize();
    if (rc != paNoError) {
      error = std::string("cannot initialise PortAudio: ") + Pa_GetErrorText(rc);
      if (fault != nullptr)
        *fault = {TAudioFault::Kind::AudioSystem, "", "PortAudio", Pa_GetErrorText(rc)};
      return false;
    }
  }
  ++gPaUsers;
  return true;
}

// Under gPaMutex.
void ReleasePortAudio() {
  if (gPaUsers > 0 && --gPaUsers == 0) Pa_Terminate();
}

bool IsDuplex(const PaDeviceInfo* info) {
  return info != nullptr && info->maxInputChannels >= kAudioChannels &&
         info->maxOutputChannels >= kAudioChannels;
}

// The device called `name` exactly, else the first whose name contains it.
PaDeviceIndex FindDevice(const std::string& name) {
  const PaDeviceIndex count = Pa_GetDeviceCount();
  for (PaDeviceIndex i = 0; i < count; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (IsDuplex(info) && name == info->name) return i;
  }
  for (PaDeviceIndex i = 0; i < count; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (IsDuplex(info) && std::strstr(info->name, name.c_str()) != nullptr) return i;
  }
  return paNoDevice;
}

int StreamCallback(const void* input, void* output, unsigned long frames,
                   const PaStreamCallbackTimeInfo*, PaStreamCallbackFlags flags, void* user) {
  return static_cast<TPortAudioStream*>(user)->OnBlock(input, output, frames, flags);
}

void StreamFinished(void* user) {
  static_cast<TPortAudioStream*>(user)->OnFinished();
}

}  // namespace

TPortAudioStream::TPortAudioStream() : TPortAudioStream(Options{}) {}
TPortAudioStream::TPortAudioStream(Options options) : FOptions(std::move(options)) {}
TPortAudioStream::~TPortAudioStream() {
  Stop();
}

bool TPortAudioStream::Start(BlockFunction block) {
  Stop();
  std::lock_guard<std::mutex> lock(FMutex);
  FError.clear();
  FFault = {};
  FBlocks = 0;
  FDropped = 0;
  FStopping = false;
  if (!block) {
    FError = "no block function";
    FFault.Code = TAudioFault::Kind::NotStarted;
    return false;
  }
  std::lock_guard<std::mutex> pa(gPaMutex);
  TQuietStderr quiet;
  if (!AcquirePortAudio(FError, &FFault)) return false;
  FInitialised = true;
  using Kind = TAudioFault::Kind;
  auto fail = [&](const std::string& message, Kind kind, const char* library = nullptr) {
    FError = message;
    FFault = {kind, FOptions.DeviceName, library != nullptr ? "PortAudio" : "",
              library != nullptr ? library : ""};
    if (FStream != nullptr) {
      Pa_CloseStream(FStream);
      FStream = nullptr;
    }
    ReleasePortAudio();
    FInitialised = false;
    FActive = false;
    return false;
  };

  PaDeviceIndex in = paNoDevice, out = paNoDevice;
  if (FOptions.DeviceName.empty()) {
    in = Pa_GetDefaultInputDevice();
    out = Pa_GetDefaultOutputDevice();
    if (in == paNoDevice || out == paNoDevice)
      return fail("no default sound device", Kind::NoDefaultDevice);
  } else {
    in = out = FindDevice(FOptions.DeviceName);
    if (in == paNoDevice)
      return fail("no sound device '" + FOptions.DeviceName + "' with 2 inputs and 2 outputs",
                  Kind::NoNamedDevice);
  }
  const PaDeviceInfo* inInfo = Pa_GetDeviceInfo(in);
  const PaDeviceInfo* outInfo = Pa_GetDeviceInfo(out);
  if (inInfo == nullptr || outInfo == nullptr) return fail("no sound device", Kind::NoDevice);

  PaStreamParameters inParams;
  std::memset(&inParams, 0, sizeof inParams);
  inParams.device = in;
  inParams.channelCount = kAudioChannels;
  inParams.sampleFormat = paInt16;
  inParams.suggestedLatency = inInfo->defaultLowInputLatency;
  PaStreamParameters outParams = inParams;
  outParams.device = out;
  outParams.suggestedLatency = outInfo->defaultLowOutputLatency;

  FBlock = std::move(block);
  PaStream* stream = nullptr;
  PaError rc = Pa_OpenStream(&stream, &inParams, &outParams, kAudioFrameRate, kAudioBlockFrames,
                             paNoFlag, &StreamCallback, this);
  if (rc != paNoError) {
    return fail(std::string("cannot open the sound device: ") + Pa_GetErrorText(rc),
                Kind::DeviceOpen, Pa_GetErrorText(rc));
  }
  FStream = stream;
  Pa_SetStreamFinishedCallback(stream, &StreamFinished);
  FActive = true;
  rc = Pa_StartStream(stream);
  if (rc != paNoError) {
    return fail(std::string("cannot start the sound device: ") + Pa_GetErrorText(rc),
                Kind::DeviceStart, Pa_GetErrorText(rc));
  }
  return true;
}

void TPortAudioStream::Stop() {
  std::lock_guard<std::mutex> lock(FMutex);
  if (!FInitialised) return;
  FStopping = true;
  std::lock_guard<std::mutex> pa(gPaMutex);
  TQuietStderr quiet;
  if (FStream != nullptr) {
    // Both return only after PortAudio's callback thread has ended, so no
    // block is in flight afterwards.
    if (Pa_IsStreamStopped(FStream) == 0) Pa_AbortStream(FStream);
    Pa_CloseStream(FStream);
    FStream = nullptr;
  }
  FActive = false;
  ReleasePortAudio();
  FInitialised = false;
}

bool TPortAudioStream::Running() const {
  std::lock_guard<std::mutex> lock(FMutex);
  return FStream != nullptr && FActive.load() && Pa_IsStreamActive(FStream) == 1;
}

int TPortAudioStream::OnBlock(const void* input, void* output, unsigned long frames,
                              unsigned long flags) {
  int16_t* out = static_cast<int16_t*>(output);
  const size_t samples = static_cast<size_t>(frames) * kAudioChannels;
  if (out != nullptr) std::memset(out, 0, samples * sizeof(int16_t));
  if (FStopping) return paContinue;
  if (out == nullptr || frames != static_cast<unsigned long>(kAudioBlockFrames)) {
    ++FDropped;  // the device works on whole 1024-frame blocks only
    return paContinue;
  }
  static const int16_t kSilence[kAudioBlockFrames * kAudioChannels] = {};
  const int16_t* in = input != nullptr ? static_cast<const int16_t*>(input) : kSilence;
  bool whole = (flags & paInputOverflow) == 0;
  try {
    FBlock(in, out, kAudioBlockFrames);
  } catch (...) {
    // Nothing may unwind into PortAudio's C thread: play silence instead.
    std::memset(out, 0, samples * sizeof(int16_t));
    whole = false;
  }
  if (!whole) ++FDropped;
  const int64_t done = ++FBlocks;
  if (FOptions.MaxBlocks > 0 && done >= FOptions.MaxBlocks) return paComplete;
  return paContinue;
}

int TPortAudioStream::LatencyMs() const {
  std::lock_guard<std::mutex> lock(FMutex);
  if (FStream == nullptr) return 0;
  const PaStreamInfo* info = Pa_GetStreamInfo(FStream);
  if (info == nullptr) return 0;
  const double seconds = info->inputLatency + info->outputLatency;
  return seconds > 0 && seconds < 60 ? static_cast<int>(std::ceil(seconds * 1000.0)) : 0;
}

void TPortAudioStream::OnFinished() {
  FActive = false;
}

void TPortAudioStream::SetQuietStderr(bool quiet) {
  gQuietStderr = quiet;
}

std::vector<std::string> TPortAudioStream::DuplexDeviceNames() {
  std::vector<std::string> names;
  std::lock_guard<std::mutex> pa(gPaMutex);
  TQuietStderr quiet;
  std::string error;
  if (!AcquirePortAudio(error)) return names;
  const PaDeviceIndex count = Pa_GetDeviceCount();
  for (PaDeviceIndex i = 0; i < count; ++i) {
    const PaDeviceInfo* info = Pa_GetDeviceInfo(i);
    if (IsDuplex(info)) names.emplace_back(info->name);
  }
  ReleasePortAudio();
  return names;
}

}  // namespace sorvex
