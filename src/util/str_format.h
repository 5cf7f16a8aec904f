#pragma once

#include <string>

namespace sorvex {

// printf into a std::string of any length.
std::string StrFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace sorvex
