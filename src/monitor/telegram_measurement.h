#pragma once

#include <cstdint>

namespace sorvex {

// What one received telegram (valid or not) measured on the line, estimated
// from its signal rather than taken from the settings: a KP whose modem has
// drifted reads as drifted. Figures that could not be estimated are NaN.
struct TTelegramMeasurement {
  uint8_t channel = 0;  // 0 request, 1 answer
  uint8_t kp = 0;       // the address, 0 when the telegram has none
  bool valid = false;
  double time = 0;  // date-time of the telegram, as journal entries keep it
  double f0Hz = 0;
  double f1Hz = 0;
  double bitRate = 0;
  double levelDb = 0;  // as the statistics compute them
  double snrDb = 0;
  // The modem settings the telegram was received with, for deviations.
  double setF0Hz = 0;
  double setF1Hz = 0;
  double setBitRate = 0;
};

}  // namespace sorvex
