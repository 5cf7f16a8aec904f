#include "audio/modem_device_factory.h"

namespace sorvex {

std::unique_ptr<AudioStream> OpenAudioStream(const TAudioOptions& options) {
  switch (options.Kind) {
    case TAudioOptions::Backend::SoundFile:
      return std::make_unique<TSoundFileStream>(options.SoundFile);
    case TAudioOptions::Backend::PortAudio:
      break;
  }
  return std::make_unique<TPortAudioStream>(options.PortAudio);
}

std::unique_ptr<TModemDevice> OpenModemDevice(const std::string& settingsFileName,
                                              const TAudioOptions& options) {
  return std::make_unique<TModemDevice>(settingsFileName, OpenAudioStream(options));
}

}  // namespace sorvex
