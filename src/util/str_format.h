#pragma once

#include <string>

namespace sorvex {

// printf into a std::string of any length. Numbers are written as the C
// locale writes them ("-5.25"), whatever locale the process runs in: a
// Russian desktop's decimal comma must never reach a file or a journal.
std::string StrFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

// strtod as the C locale reads numbers ("0.25", never "0,25"), whatever
// locale the process runs in.
double StrToDouble(const char* text, char** end);

}  // namespace sorvex
