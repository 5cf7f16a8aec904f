#pragma once

#include <memory>
#include <string>

#include "audio/portaudio_stream.h"
#include "audio/sound_file_stream.h"
#include "modem/audio_stream.h"
#include "modem/modem_device.h"

namespace sorvex {

// Which audio backend a TModemDevice runs on, and its settings.
struct TAudioOptions {
  enum class Backend { PortAudio, SoundFile };
  Backend Kind = Backend::PortAudio;
  TPortAudioStream::Options PortAudio;  // Kind == PortAudio (default device)
  TSoundFileStream::Options SoundFile;  // Kind == SoundFile
};

// The stream for `options`.
std::unique_ptr<AudioStream> OpenAudioStream(const TAudioOptions& options = {});

// A device on the chosen backend; by default PortAudio on the default sound
// device. The device's GetStatus() tells whether the stream started.
std::unique_ptr<TModemDevice> OpenModemDevice(const std::string& settingsFileName,
                                              const TAudioOptions& options = {});

}  // namespace sorvex
