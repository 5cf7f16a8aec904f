#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sorvex {

// Runs a line scenario (the format is described in the README) and returns
// the stereo frames. On a bad line: false, with "line N: reason" in `error`.
// Relative settings paths are taken from `baseDir`.
bool RunScenario(const std::string& text, const std::string& baseDir, std::vector<int16_t>& frames,
                 std::string& error);

}  // namespace sorvex
