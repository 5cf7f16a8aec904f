#include "monitor/bit_levels.h"

namespace sorvex {

TBitLevels ComputeBitLevels(const TSignalRecord* records, int32_t count, int32_t lengthBits) {
  TBitLevels result;
  double negativeSum = 0, positiveSum = 0, total = 0, minimum = 0, maximum = 0;
  uint32_t negativeCount = 0, positiveCount = 0, b = 0;
  for (int32_t r = 0; r < count && static_cast<int64_t>(b) < lengthBits; ++r) {
    if (records[r].Kind != skBitSample) continue;
    double v = records[r].Value;
    if (v >= 0) {
      positiveSum += v;
      ++positiveCount;
    } else {
      v = -v;
      negativeSum += v;
      ++negativeCount;
    }
    if (b == 0 || v < minimum) {
      minimum = v;
      result.BitIndexes[0] = b;
    }
    if (b == 0 || v > maximum) {
      maximum = v;
      result.BitIndexes[1] = b;
    }
    total += v;
    ++b;
  }
  result.BitCount = b;
  result.Levels[0] = minimum;
  result.Levels[1] = maximum;
  result.Levels[2] = b > 0 ? total / b : 0;
  if (negativeCount != 0 && positiveCount != 0) {
    result.HalfMeans[0] = negativeSum / negativeCount;
    result.HalfMeans[1] = positiveSum / positiveCount;
  }
  return result;
}

}  // namespace sorvex
