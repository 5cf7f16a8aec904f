#include "util/number_text.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace sorvex {

namespace {

// strtol and from_chars stop at a NUL byte, so the end they report must be
// the string's own end, and blanks in front are not part of a number.
bool Whole(const std::string& text, const char* end) {
  return !text.empty() && end == text.data() + text.size() && text[0] != ' ' && text[0] != '\t' &&
         text[0] != '\n' && text[0] != '\v' && text[0] != '\f' && text[0] != '\r';
}

}  // namespace

bool ParseWholeNumber(const std::string& text, int base, long min, long max, long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, base);
  if (errno != 0 || !Whole(text, end) || v < min || v > max) return false;
  value = v;
  return true;
}

bool ParseWholeDouble(const std::string& text, double& value) {
  const char* begin = text.data();
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') ++begin;  // from_chars takes no '+'
  double v = 0;
  const auto [end, ec] = std::from_chars(begin, text.data() + text.size(), v);
  if (ec != std::errc() || !Whole(text, end) || !std::isfinite(v)) return false;
  value = v;
  return true;
}

}  // namespace sorvex
