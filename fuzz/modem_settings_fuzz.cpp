// A modem settings file of any content loads into a TModem whose settings are
// within what the settings tab allows (equal tones included) and whose filter
// responses are finite.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "modem/modem.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path =
      (std::filesystem::temp_directory_path() /
       ("sorvex_modem_settings_fuzz_" + std::to_string(getpid()) + ".ini"))
          .string();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const sorvex::TModem modem(path, 1024);
  std::remove(path.c_str());
  int32_t baud, f0, f1;
  modem.GetGeneral(baud, f0, f1);
  if (baud < 1 || baud > 8000 || f0 < 1 || f0 > 3999 || f1 < 1 || f1 > 3999) abort();
  if (modem.GetReceiver() != sorvex::rkStandard && modem.GetReceiver() != sorvex::rkSensitive) {
    abort();
  }
  std::vector<double> response(sorvex::TModem::kResponsePoints);
  for (int slot : {0, 1}) {
    sorvex::TFilterSettings f;
    modem.GetFilter(slot, f);
    if (f.Kind < 0 || f.Kind > 1 || f.Order < 1 || f.Order > 32) abort();
    if (f.Freq1 < 1 || f.Freq1 > 4000 || f.Freq2 < 1 || f.Freq2 > 4000) abort();
    if (f.Ripp < 0 || f.Ripp > 70) abort();
    modem.GetFilterResponse(slot, response.data());
    for (double v : response) {
      if (!std::isfinite(v)) abort();
    }
  }
  return 0;
}
