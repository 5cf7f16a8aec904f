// sorvex-tool response: a modem settings file's filter magnitude at 0..3999 Hz.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "modem/modem.h"
#include "tool/commands.h"
#include "tool/tool_input.h"

namespace sorvex::tool {
namespace {

// --db floor: |H| below 1e-15 (including 0) prints as -300 dB, so the output
// is always a finite number.
constexpr double kDbFloorMagnitude = 1e-15;

int RunResponse(const std::string& settings, const std::string& filter, bool db) {
  if (!CheckSettings("response", settings)) return kExitUsage;
  const TModem modem(settings, 1024);
  std::vector<double> values(TModem::kResponsePoints);
  const int slot = filter == "smoothing" ? TModem::kSmoothingSlot : TModem::kBandSlot;
  const int count = modem.GetFilterResponse(slot, values.data());
  for (int f = 0; f < count; ++f) {
    double v = values[static_cast<size_t>(f)];
    if (db) v = 20.0 * std::log10(v < kDbFloorMagnitude ? kDbFloorMagnitude : v);
    std::printf("%d\t%.17g\n", f, v);
  }
  return kExitOk;
}

}  // namespace

void AddResponseCommand(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand(
      "response",
      "Print a modem settings file's filter magnitude |H| at 0..3999 Hz: 4000 lines f<TAB>value");
  auto settings = std::make_shared<std::string>();
  auto filter = std::make_shared<std::string>("band");
  auto db = std::make_shared<bool>(false);
  cmd->add_option("MODEM.ini", *settings, "Modem settings file ('' for the defaults)")->required();
  cmd->add_option("--filter", *filter, "band (slot 0, band-pass) or smoothing (slot 1, low-pass)")
      ->check(CLI::IsMember({"band", "smoothing"}))
      ->capture_default_str();
  cmd->add_flag("--db", *db, "Print 20·log10(|H|) instead, floored at -300 dB");
  cmd->callback([&status, settings, filter, db] { status = RunResponse(*settings, *filter, *db); });
}

}  // namespace sorvex::tool
