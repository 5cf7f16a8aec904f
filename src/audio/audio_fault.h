#pragma once

#include <string>

namespace sorvex {

// Why a signal source gives no sound, as a code that the window words in
// its user's language, beside the English one-line message that the tool
// prints. `Library` is what PortAudio, libsndfile or the system said, when
// one of them said anything.
struct TAudioFault {
  enum class Kind {
    None,
    AudioSystem,           // PortAudio did not initialise
    NoDefaultDevice,       // no default input or output device
    NoNamedDevice,         // no device called Subject with 2 inputs and 2 outputs
    NoDevice,              // the device vanished while it was being opened
    DeviceOpen,            // PortAudio refused to open the stream
    DeviceStart,           // ... or to start it
    RecordingOpen,         // the file Subject cannot be opened at all
    RecordingNotFile,      // a directory, FIFO, socket or device, no recording
    RecordingNotSound,     // not a sound file, or its header is damaged
    RecordingUnsupported,  // no channels, or a sample rate out of reach
    RecordingTruncated,    // its samples end before its header says
    RecordingEmpty,        // it holds not a single frame
    RecordingRead,         // reading or converting failed while it played
    UnknownSource,         // the INI names a source of no known kind
    NotStarted,            // the stream did not start, for no reason it gave
  };
  Kind Code = Kind::None;
  std::string Subject;      // the device name or the file's path
  std::string LibraryName;  // "PortAudio", "libsndfile", "libsoxr"; empty: the system
  std::string Library;      // the library's own text, one line; may be empty

  bool operator==(const TAudioFault&) const = default;
};

}  // namespace sorvex
