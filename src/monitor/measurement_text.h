#pragma once

#include <array>
#include <string>

#include "monitor/telegram_measurement.h"

namespace sorvex {

// The columns a measurement is written with, in the tool's "M" lines and in
// the history's CSV alike: side, kp, time stamp, f0, f1, rate, level, snr.
constexpr int kMeasurementColumns = 8;
extern const std::array<const char*, kMeasurementColumns> kMeasurementColumnNames;

// "request"/"answer", the address, the time stamp as journal lines write
// it, tones with one decimal, rate, level and SNR with two; C number format
// whatever the locale; "nan" for a figure that could not be estimated.
std::array<std::string, kMeasurementColumns> MeasurementFields(const TTelegramMeasurement& m);

}  // namespace sorvex
