#pragma once

// One KP heard on the line: per-channel statistics (filled by the
// statistics update) and the KP's telemetry block (written only by the
// answer decoder).

#include <cstdint>

#include "protocol/telemetry_block.h"

namespace sorvex {

// FunctionCounts holds 255 entries per channel, for function codes 0..254;
// there is NO entry for code 255. Only valid telegrams are counted and the
// decoders accept only the protocol's codes (all at most 0xF0), so 255 never
// comes through them; still, whoever counts must test
// `code < kFunctionCountEntries` and skip a code of 255.
inline constexpr int kFunctionCountEntries = 255;

struct TLevels {
  double MinLevelDb = 0;  // lowest single-bit level since the record was created
  double MaxLevelDb = 0;  // highest single-bit level
  double LevelDb = 0;     // mean bit level of the latest telegram
};

struct TAsym {
  int32_t Asymmetry = 0;     // percent, latest telegram
  int32_t MaxAsymmetry = 0;  // percent, largest seen
};

struct TNoise {
  double NoiseDb = 0;     // noise measured with the latest telegram
  double MaxNoiseDb = 0;  // highest noise seen
};

struct TSnr {
  double SnrDb = 0;       // latest telegram
  double WorstSnrDb = 0;  // lowest seen
};

// Zero-filled at creation (every member has a zero initialiser). Every
// per-channel array: index 0 = request channel, 1 = answer channel.
struct TKpRecord {
  uint8_t Kp = 0;  // KP address 1..31; the list is searched by this byte
  uint32_t FunctionCounts[2][kFunctionCountEntries] =
      {};                     // valid telegrams per function code 0..254
  uint32_t Accepted[2] = {};  // telegrams decoded without error
  uint32_t Rejected[2] = {};  // telegrams with a decode error
  TLevels Levels[2] = {};
  TAsym Asym[2] = {};
  TNoise Noise[2] = {};
  TSnr Snr[2] = {};
  double LastUpdate[2] = {};  // date-time of the channel's last update; 0 = never
  KpTelemetryBlock Telemetry;
};

}  // namespace sorvex
