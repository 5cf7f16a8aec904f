#pragma once

// Turns fuzzer bytes into a received bit string: byte 0's low three bits
// drop that many bits from the end, the rest (at most 255 bytes) is the
// string. It is copied into a heap buffer of exactly (count + 7) / 8 bytes,
// so a decoder that reads past its characters trips the address sanitizer.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

namespace sorvex::fuzz {

struct TTelegramInput {
  std::unique_ptr<uint8_t[]> bits;
  int count = 0;
};

// `size` must be at least 1.
inline TTelegramInput MakeTelegramInput(const uint8_t* data, size_t size) {
  constexpr size_t kMaxBytes = 255;
  const size_t payload = size - 1 < kMaxBytes ? size - 1 : kMaxBytes;
  const int drop = data[0] & 7;
  const int available = static_cast<int>(payload * 8);
  TTelegramInput input;
  input.count = available - drop > 0 ? available - drop : 0;
  const size_t bytes = static_cast<size_t>((input.count + 7) / 8);
  input.bits.reset(new uint8_t[bytes]);
  if (bytes) std::memcpy(input.bits.get(), data + 1, bytes);
  return input;
}

}  // namespace sorvex::fuzz
