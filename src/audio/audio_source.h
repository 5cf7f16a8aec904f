#pragma once

#include <memory>
#include <string>

#include "audio/audio_fault.h"
#include "modem/modem_device.h"

namespace sorvex {

class TSoundFileStream;

// Where the window's device takes its signal from, as the main INI stores
// it under "AudioSource": empty = the default sound device, "device:NAME" =
// the PortAudio device of that name, "file:PATH" = a recording played once
// at real-time pace. Anything else is kept as written and cannot be opened.
struct TAudioSource {
  enum class Kind { Default, Device, File, Unknown };
  Kind Type = Kind::Default;
  std::string Name;  // device name, file path, or the unknown text

  static TAudioSource Parse(const std::string& text);
  std::string Format() const;
  bool operator==(const TAudioSource&) const = default;
};

// A device opened on a source. A source that cannot be opened still gives a
// device (its status −1, no sound) and says why in Error.
struct TOpenedSource {
  std::unique_ptr<TModemDevice> Device;
  std::string Error;
  TAudioFault Fault;  // the same as a code, for the window's own words
  // A file source's stream (owned by the device), for its position.
  const TSoundFileStream* File = nullptr;
};

// The recording feeds the answer side when mono, as `sorvex-tool replay`
// takes it; its output is discarded; silence follows its end.
TOpenedSource OpenSourceDevice(const std::string& settingsFileName, const TAudioSource& source);

}  // namespace sorvex
