#pragma once

#include <string>

namespace sorvex {

// The whole of `text` as an integer in `base` within min..max; false for
// anything else (empty, trailing characters, out of range).
bool ParseWholeNumber(const std::string& text, int base, long min, long max, long& value);

}  // namespace sorvex
