#pragma once

#include <cstdint>
#include <vector>

namespace sorvex {

// Tones and bit rate of one FSK telegram as its sender produced them; NaN
// for a figure the signal did not allow.
struct TToneEstimate {
  double f0Hz;
  double f1Hz;
  double bitRate;
};

// Estimates from raw line samples (8000/s, before any channel filter, which
// would pull the tones) that hold the telegram with some line before and
// after it. `rate`, `f0`, `f1` are the modem settings: only a starting
// point, the result comes from the signal.
TToneEstimate MeasureTelegramSignal(const int16_t* samples, int count, double rate, double f0,
                                    double f1);

// A telegram's raw samples as the receiver kept them, and the settings it
// was received with.
struct TTelegramSignal {
  std::vector<int16_t> samples;
  double rate = 0, f0 = 0, f1 = 0;
};

TToneEstimate MeasureTelegramSignal(const TTelegramSignal& signal);

}  // namespace sorvex
