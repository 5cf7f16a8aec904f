// sorvex-tool simulate: a stereo recording of a line from a scenario file.
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "audio/sound_file.h"
#include "sim/scenario.h"
#include "tool/commands.h"

namespace sorvex::tool {
namespace {

struct SimulateOptions {
  std::string Scenario;
  std::string Output;
};

int RunSimulate(const SimulateOptions& options) {
  std::ifstream in(options.Scenario, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "sorvex-tool simulate: cannot read '%s'\n", options.Scenario.c_str());
    return kExitUsage;
  }
  std::ostringstream text;
  text << in.rdbuf();
  const size_t slash = options.Scenario.find_last_of('/');
  const std::string baseDir = slash == std::string::npos ? "." : options.Scenario.substr(0, slash);
  std::vector<int16_t> frames;
  std::string error;
  if (!RunScenario(text.str(), baseDir, frames, error)) {
    std::fprintf(stderr, "sorvex-tool simulate: %s: %s\n", options.Scenario.c_str(), error.c_str());
    return kExitUsage;
  }
  if (!WriteStereoWav(options.Output, frames.data(), static_cast<int64_t>(frames.size() / 2),
                      error)) {
    std::fprintf(stderr, "sorvex-tool simulate: %s\n", error.c_str());
    return kExitUsage;
  }
  return kExitOk;
}

}  // namespace

void AddSimulateCommand(CLI::App& app, int& status) {
  auto options = std::make_shared<SimulateOptions>();
  CLI::App* cmd = app.add_subcommand(
      "simulate",
      "Write a stereo 8000 Hz WAV of a simulated line (control centre left, KPs right) from a "
      "scenario file; the format is described in the README.");
  cmd->add_option("SCENARIO", options->Scenario, "Scenario file")->required();
  cmd->add_option("-o,--output", options->Output, "Output WAV file")->required();
  cmd->callback([options, &status] { status = RunSimulate(*options); });
}

}  // namespace sorvex::tool
