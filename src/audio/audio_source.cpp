#include "audio/audio_source.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "audio/portaudio_stream.h"
#include "audio/sound_file_stream.h"

namespace sorvex {

namespace {
constexpr const char* kDevicePrefix = "device:";
constexpr const char* kFilePrefix = "file:";

bool StartsWith(const std::string& text, const char* prefix) {
  return text.rfind(prefix, 0) == 0;
}

// Opening a FIFO waits for a writer and a device may never end: the window
// opens its source on the GUI thread, so only ordinary files are taken.
std::string NotARecording(const std::string& path, TAudioFault& fault) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    fault = {TAudioFault::Kind::RecordingOpen, path, "", std::strerror(errno)};
    return "cannot read '" + path + "': " + fault.Library;
  }
  if (S_ISREG(st.st_mode)) return {};
  fault = {TAudioFault::Kind::RecordingNotFile, path, "", ""};
  const char* what = S_ISDIR(st.st_mode)    ? "a directory"
                     : S_ISFIFO(st.st_mode) ? "a FIFO"
                     : S_ISSOCK(st.st_mode) ? "a socket"
                                            : "a device";
  return "cannot read '" + path + "': it is " + what + ", not a recording";
}
}  // namespace

TAudioSource TAudioSource::Parse(const std::string& text) {
  TAudioSource source;
  if (text.empty()) return source;
  const std::string device(kDevicePrefix), file(kFilePrefix);
  if (StartsWith(text, kDevicePrefix) && text.size() > device.size()) {
    source.Type = Kind::Device;
    source.Name = text.substr(device.size());
  } else if (StartsWith(text, kFilePrefix) && text.size() > file.size()) {
    source.Type = Kind::File;
    source.Name = text.substr(file.size());
  } else {
    source.Type = Kind::Unknown;
    source.Name = text;
  }
  return source;
}

std::string TAudioSource::Format() const {
  switch (Type) {
    case Kind::Default:
      return {};
    case Kind::Device:
      return kDevicePrefix + Name;
    case Kind::File:
      return kFilePrefix + Name;
    case Kind::Unknown:
      break;
  }
  return Name;
}

TOpenedSource OpenSourceDevice(const std::string& settingsFileName, const TAudioSource& source) {
  TOpenedSource opened;
  switch (source.Type) {
    case TAudioSource::Kind::Default:
    case TAudioSource::Kind::Device: {
      TPortAudioStream::Options options;
      if (source.Type == TAudioSource::Kind::Device) options.DeviceName = source.Name;
      auto stream = std::make_unique<TPortAudioStream>(options);
      const TPortAudioStream* card = stream.get();
      opened.Device = std::make_unique<TModemDevice>(settingsFileName, std::move(stream));
      if (opened.Device->GetStatus() != 0) {
        opened.Error = card->LastError();
        opened.Fault = card->LastFault();
      }
      break;
    }
    case TAudioSource::Kind::File: {
      opened.Error = NotARecording(source.Name, opened.Fault);
      if (!opened.Error.empty()) {
        opened.Device = std::make_unique<TModemDevice>(settingsFileName, nullptr);
        break;
      }
      TSoundFileStream::Options options;
      options.InputPath = source.Name;
      options.MonoChannel = 1;
      options.RealTime = true;
      options.SilenceAfterEnd = true;
      auto stream = std::make_unique<TSoundFileStream>(options);
      opened.File = stream.get();
      opened.Device = std::make_unique<TModemDevice>(settingsFileName, std::move(stream));
      if (opened.Device->GetStatus() != 0) {
        opened.Error = opened.File->Error();
        opened.Fault = opened.File->Fault();
      }
      break;
    }
    case TAudioSource::Kind::Unknown:
      opened.Device = std::make_unique<TModemDevice>(settingsFileName, nullptr);
      opened.Error = "unknown signal source '" + source.Name + "'";
      opened.Fault = {TAudioFault::Kind::UnknownSource, source.Name, "", ""};
      break;
  }
  if (opened.Device->GetStatus() != 0 && opened.Error.empty()) opened.Error = "not started";
  if (opened.Device->GetStatus() != 0 && opened.Fault.Code == TAudioFault::Kind::None)
    opened.Fault.Code = TAudioFault::Kind::NotStarted;
  return opened;
}

}  // namespace sorvex
