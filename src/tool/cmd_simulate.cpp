// sorvex-tool simulate: a stereo recording of a line from a scenario file.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "audio/sound_file.h"
#include "sim/scenario.h"
#include "tool/commands.h"
#include "tool/tool_input.h"
#include "util/small_file.h"

namespace sorvex::tool {
namespace {

struct SimulateOptions {
  std::string Scenario;
  std::string Output;
};

// "line N: reason" from the scenario runner as "FILE:N: reason".
std::string WithFileLine(const std::string& file, const std::string& error) {
  if (error.rfind("line ", 0) == 0) {
    const size_t colon = error.find(':');
    if (colon != std::string::npos) {
      return file + ":" + error.substr(5, colon - 5) + error.substr(colon);
    }
  }
  return file + ": " + error;
}

int RunSimulate(const SimulateOptions& options) {
  std::string text, reason;
  if (!ReadSmallFile(options.Scenario, kTextFileLimit, text, reason)) {
    return Complain("simulate", "cannot read '" + options.Scenario + "': " + reason);
  }
  const size_t slash = options.Scenario.find_last_of('/');
  const std::string baseDir = slash == std::string::npos ? "." : options.Scenario.substr(0, slash);
  std::vector<int16_t> frames;
  std::string error;
  if (!CheckWritable(options.Output, error)) return Complain("simulate", error);
  if (!RunScenario(text, baseDir, frames, error)) {
    return Complain("simulate", WithFileLine(options.Scenario, error));
  }
  if (!WriteStereoWav(options.Output, frames.data(), static_cast<int64_t>(frames.size() / 2),
                      error)) {
    return Complain("simulate", error);
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
