#pragma once

#include <cstdint>

#include "modem/modem.h"

namespace sorvex {

// The sampled bit magnitudes of one telegram, as the statistics take them.
struct TBitLevels {
  double HalfMeans[2] = {
      0, 0};  // mean |negative| and mean positive bit sample; both 0 unless both exist
  uint32_t BitIndexes[2] = {0, 0};  // bit numbers of the smallest and the largest magnitude
  double Levels[3] = {0, 0, 0};     // smallest, largest, mean magnitude (linear)
  uint32_t BitCount = 0;            // bit samples that counted
};

// Scans the bit-sample records in order, at most lengthBits of them: bits
// the receiver sampled after the telegram's end do not count.
TBitLevels ComputeBitLevels(const TSignalRecord* records, int32_t count, int32_t lengthBits);

}  // namespace sorvex
