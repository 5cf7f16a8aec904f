#pragma once

// The C library's locale set to Russian for one test, as Qt sets it in a
// program on a Russian desktop; the previous one is put back afterwards.

#include <locale.h>

#include <string>

namespace sorvex::testing {

class TRussianLocale {
 public:
  static constexpr const char* kName = "ru_RU.UTF-8";
  static constexpr const char* kMissing =
      "cannot run: the locale ru_RU.UTF-8 is not generated on this machine (scripts/setup "
      "generates it)";

  static bool Available() {
    const locale_t russian = newlocale(LC_ALL_MASK, kName, static_cast<locale_t>(nullptr));
    if (russian == static_cast<locale_t>(nullptr)) return false;
    freelocale(russian);
    return true;
  }

  TRussianLocale() {
    const char* now = setlocale(LC_ALL, nullptr);
    FPrevious = now != nullptr ? now : "C";
    FActive = setlocale(LC_ALL, kName) != nullptr;
  }
  ~TRussianLocale() { setlocale(LC_ALL, FPrevious.c_str()); }
  TRussianLocale(const TRussianLocale&) = delete;
  TRussianLocale& operator=(const TRussianLocale&) = delete;

  bool Active() const { return FActive; }

 private:
  std::string FPrevious;
  bool FActive = false;
};

}  // namespace sorvex::testing
