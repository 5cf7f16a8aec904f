#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sorvex {

// The loudest sample of a scenario's line, tone and noise: -6 dBFS.
inline constexpr double kScenarioPeak = 16384;

// The scale of a scenario channel whose strongest noise has standard
// deviation `noiseSigma` (unscaled line, tones at 32000): one half for a clean
// channel (tones at 16000, 6.02 dB below the device's own scale), lower when
// tone plus noise, bounded at TLineSimulator::kNoiseBound σ, needs it.
double ScenarioGain(double noiseSigma);

// Runs a line scenario (the format is described in the README) and returns
// the stereo frames, each channel scaled by ScenarioGain so that no sample
// exceeds kScenarioPeak. On a bad line: false, with "line N: reason" in `error`.
// Relative settings paths are taken from `baseDir`.
bool RunScenario(const std::string& text, const std::string& baseDir, std::vector<int16_t>& frames,
                 std::string& error);

}  // namespace sorvex
