#include "audio/wav_layout.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace sorvex {
namespace {

uint32_t Le32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

constexpr int kMaxChunks = 4096;

// Bytes from one chunk header to the next: header, body, pad byte.
int64_t ChunkStep(uint32_t size) {
  return 8 + static_cast<int64_t>(size) + (size & 1);
}

}  // namespace

TWavLayout InspectWav(int fd, int64_t fileSize) {
  TWavLayout result;
  unsigned char head[12];
  if (fileSize < 12 || pread(fd, head, 12, 0) != 12) return result;
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0) return result;
  int64_t at = 12;
  for (int chunks = 0; at + 8 <= fileSize; ++chunks) {
    if (chunks == kMaxChunks) return result;
    unsigned char chunk[8];
    if (pread(fd, chunk, 8, at) != 8) return result;
    const uint32_t size = Le32(chunk + 4);
    if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 14) {
      unsigned char fmt[14];
      if (pread(fd, fmt, 14, at + 8) == 14) {
        const unsigned tag = fmt[0] | fmt[1] << 8;
        result.Pcm = tag == 1 || tag == 3 || tag == 0xFFFE;
        result.BlockAlign = fmt[12] | fmt[13] << 8;
      }
    }
    if (std::memcmp(chunk, "data", 4) != 0) {
      at += ChunkStep(size);
      continue;
    }
    result.DataFound = true;
    const int64_t rest = fileSize - (at + 8);
    result.DataBytes = std::min<int64_t>(size, rest);
    if (size >= 0x7FFFFFF0u || static_cast<int64_t>(size) >= rest) return result;
    // What follows the claimed end must look like a chunk header: four
    // printable characters and a size within the file.
    int64_t next = at + ChunkStep(size);
    bool chunksFollow = next + 8 <= fileSize;
    for (int tails = 0; chunksFollow && next + 8 <= fileSize && tails < kMaxChunks; ++tails) {
      unsigned char tail[8];
      if (pread(fd, tail, 8, next) != 8) break;
      for (int i = 0; i < 4; ++i) chunksFollow = chunksFollow && tail[i] >= 0x20 && tail[i] < 0x7F;
      const uint32_t tailSize = Le32(tail + 4);
      chunksFollow = chunksFollow && next + 8 + static_cast<int64_t>(tailSize) <= fileSize;
      if (!chunksFollow) break;
      next += ChunkStep(tailSize);
    }
    if (chunksFollow) return result;
    const int64_t frame = std::max<uint32_t>(1, result.BlockAlign);
    result.Disagrees = true;
    result.SizeFieldAt = at + 4;
    result.Declared = size;
    result.DataBytes = std::min<int64_t>(rest, 0x7FFFFFF0LL);
    result.FixedSize = static_cast<uint32_t>(result.DataBytes / frame * frame);
    return result;
  }
  // Cut inside a chunk header: a data chunk's when what is there spells it.
  const int64_t left = fileSize - at;
  if (!result.DataFound && left > 0 && left < 8) {
    unsigned char tail[8] = {};
    const ssize_t got = pread(fd, tail, static_cast<size_t>(left), at);
    result.CutInDataHeader =
        got == left &&
        std::memcmp(tail, "data", static_cast<size_t>(std::min<int64_t>(left, 4))) == 0;
  }
  return result;
}

std::string NoSoundReason(const TWavLayout& wav, int64_t fileSize) {
  if (wav.CutInDataHeader) {
    return "the file ends inside the header of its data chunk (" + std::to_string(fileSize) +
           " bytes): it holds no sound";
  }
  if (wav.DataFound && wav.DataBytes == 0) return "its data chunk is empty: it holds no sound";
  if (wav.DataFound && wav.Pcm && wav.BlockAlign > 0 && wav.DataBytes < wav.BlockAlign) {
    return "its data chunk holds " + std::to_string(wav.DataBytes) +
           " bytes, less than one frame of " + std::to_string(wav.BlockAlign) +
           ": it holds no sound";
  }
  return "it holds no sound (no frames)";
}

}  // namespace sorvex
