#pragma once

#include <cstdint>
#include <string>

namespace sorvex {

// What the chunks of a RIFF WAVE file say about its samples, read before
// libsndfile sees the file. Every size is a 32-bit field an attacker sets:
// positions are 64-bit and each step moves on by at least a chunk header,
// so the walk always ends; it gives up after kMaxChunks chunks.
struct TWavLayout {
  bool DataFound = false;
  // The file ends within the 8-byte header of its data chunk.
  bool CutInDataHeader = false;
  int64_t DataBytes = 0;    // what the data chunk holds, as it will be read
  uint32_t BlockAlign = 0;  // bytes per frame, from the fmt chunk
  bool Pcm = false;         // integer or float samples: a frame is BlockAlign bytes
  // The data chunk claims fewer bytes than follow it, with nothing after the
  // claimed end that reads as a chunk: a recorder that never went back to
  // write the length (0, or a few bytes) leaves this. `FixedSize` is the
  // length the samples really have (whole frames).
  bool Disagrees = false;
  int64_t SizeFieldAt = 0;  // offset of the data chunk's size field
  uint32_t Declared = 0;
  uint32_t FixedSize = 0;
};

// Walks the chunks of the open file `fd` of `fileSize` bytes.
TWavLayout InspectWav(int fd, int64_t fileSize);

// Why a file that opened gives no frames, in the user's terms.
std::string NoSoundReason(const TWavLayout& wav, int64_t fileSize);

}  // namespace sorvex
