#pragma once

// What the oscillograph shows beside its caption for a measured telegram:
// the tones and the bit rate with their deviations from the settings, each
// marked when it is beyond what the receiver tolerates. Pure functions.

#include <string>
#include <vector>

#include "monitor/telegram_measurement.h"

namespace sorvex {

// How far a tone may sit from its setting, Hz: a quarter of the tone
// spacing. Both receivers decide a bit by which tone it is nearer (the
// discriminator's zero, the correlators' balance, lies midway), so a tone
// off by half the spacing is taken for the other one; past a quarter it has
// lost half its margin against noise.
double ToneTolerance(double setF0Hz, double setF1Hz);

// How far the bit rate may be off, percent, for a telegram of `bits` bits
// (fewer than 36, the shortest telegram, count as 36). The standard
// receiver's clock runs free from the first transition, sampling mid-bit:
// after n bits it has drifted n·ε bits, and past half a bit it samples the
// neighbour. As for the tones, half of that: a quarter bit over the
// telegram, 25 / bits percent. (The sensitive receiver tracks the rate
// within ±4 %; the stricter default receiver sets the mark.)
double RateTolerancePercent(int bits);

struct TCaptionPart {
  std::string text;
  bool beyond = false;  // the deviation is past the tolerance
  bool operator==(const TCaptionPart&) const = default;
};

// "F0 2558.1 Гц (+18.1)", "F1 2778.0 Гц (+18.0)", "200.9 бит/с (+0.9 %)"
// in C number format; a figure that was not estimated (NaN) is left out,
// and its deviation too when the setting is unknown (0).
std::vector<TCaptionPart> MeasurementCaption(const TTelegramMeasurement& m, int bits);

}  // namespace sorvex
