#pragma once
// The C library's locale Russian for one test, as Qt sets it in a program on
// a Russian desktop; the previous one comes back afterwards.
#include <locale.h>

#include <string>

namespace sorvex::testing {

class TRussianLocale {
 public:
  static constexpr const char* kName = "ru_RU.UTF-8";
  static constexpr const char* kMissing =
      "cannot run: the locale ru_RU.UTF-8 is not generated here (scripts/setup generates it)";

  TRussianLocale() : FPrevious(setlocale(LC_ALL, nullptr)) {
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
