#pragma once

#include <cstdint>

namespace sorvex {

// The last data received from one KP. Zero when created; a time
// stamp of 0 (a date-time, days since 1899-12-30) means nothing received yet.
// Plain arrays, so the sanitizers' bounds checks see every index.
struct KpTelemetryBlock {
  static constexpr int kTsGroups = 8;   // TS groups 1..8
  static constexpr int kTitGroups = 4;  // TIT groups 1..4
  static constexpr int kTitValues = 8;  // values per TIT group
  static constexpr int kBoBytes = 8;

  uint8_t TsBytes[kTsGroups] = {};                 // [g − 1]: the 8 TS bits of group g
  double TsTimes[kTsGroups] = {};                  // [g − 1]: when group g was last received
  int16_t TitValues[kTitGroups][kTitValues] = {};  // [g − 1][k]: TIT value k + 1 of group g
  double TitTimes[kTitGroups] = {};                // [g − 1]: when TIT group g was last received
  uint8_t BoBytes[kBoBytes] = {};                  // data bytes of the last БО answer, in order
  double BoTime = 0;                               // when the last БО answer was received
};

// Where the answer decoder puts the data of valid answers: the KP record
// list implements it; the protocol layer knows nothing more of it.
class TTelemetryStore {
 public:
  virtual ~TTelemetryStore() = default;
  // The block of KP `kp`; when absent, a zero-filled one is created if
  // `create` is set, otherwise nullptr is returned.
  virtual KpTelemetryBlock* FindKpRecord(uint8_t kp, bool create) = 0;
};

}  // namespace sorvex
