#include "util/str_format.h"

#include <locale.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace sorvex {

namespace {

// Made once and never freed: "C" always exists, and it is shared by every
// thread (uselocale only changes the calling thread's locale).
locale_t CLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

}  // namespace

std::string StrFormat(const char* format, ...) {
  const locale_t previous = uselocale(CLocale());
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int size = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string text;
  if (size > 0) {
    text.resize(static_cast<size_t>(size));
    std::vsnprintf(text.data(), text.size() + 1, format, args);
  }
  va_end(args);
  uselocale(previous);
  return text;
}

double StrToDouble(const char* text, char** end) {
  const locale_t c = CLocale();
  return c != static_cast<locale_t>(nullptr) ? strtod_l(text, end, c) : std::strtod(text, end);
}

}  // namespace sorvex
