#pragma once

#include <string>

namespace sorvex {

// The whole of `text` as an integer in `base` within min..max; false for
// anything else (empty, blanks, trailing characters, a NUL byte inside,
// out of range).
bool ParseWholeNumber(const std::string& text, int base, long min, long max, long& value);

// The whole of `text` as a finite double, as C reads it whatever the
// locale; false for anything else, as above.
bool ParseWholeDouble(const std::string& text, double& value);

}  // namespace sorvex
