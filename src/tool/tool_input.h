#pragma once

// What every subcommand shares for reading its input strictly: one way to
// complain, the settings file check, number and channel options, and the
// test that an output file can be written before a long run starts.

#include <CLI/CLI.hpp>
#include <string>

namespace sorvex::tool {

// "sorvex-tool COMMAND: message" on stderr; returns kExitUsage.
int Complain(const std::string& command, const std::string& message);
// "sorvex-tool COMMAND: warning: message" on stderr.
void Warn(const std::string& command, const std::string& message);

// A named settings file must be readable; one without a single key the modem
// reads gets a warning (the defaults follow), as does every line it ignores.
// An empty name means the defaults, silently. False (after complaining) when
// the file cannot be read.
bool CheckSettings(const std::string& command, const std::string& path);

// Numbers in [min, max] that are finite: NaN and infinities are refused with
// a message naming the value, as are out-of-range values (with the range).
CLI::Validator FiniteRange(double min, double max);
// Finite numbers above 0 and at most max.
CLI::Validator PositiveUpTo(double max);

// --channel: 0 or left, 1 or right.
CLI::Option* AddChannelOption(CLI::App* cmd, int& channel, const std::string& help);

// Whether a file can be created at `path` (tried with a scratch file beside
// it, removed again); false with the reason.
bool CheckWritable(const std::string& path, std::string& error);

}  // namespace sorvex::tool
