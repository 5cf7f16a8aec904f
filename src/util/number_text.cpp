#include "util/number_text.h"

#include <cerrno>
#include <cstdlib>

namespace sorvex {

bool ParseWholeNumber(const std::string& text, int base, long min, long max, long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, base);
  if (errno != 0 || *end != '\0' || v < min || v > max) return false;
  value = v;
  return true;
}

}  // namespace sorvex
