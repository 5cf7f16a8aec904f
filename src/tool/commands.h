#pragma once

#include <CLI/CLI.hpp>

namespace sorvex::tool {

// Exit statuses shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNegative = 1;  // e.g. a telegram that fails its checks
inline constexpr int kExitUsage = 2;     // bad usage or unreadable input

// Each subcommand adds itself to the app; its callback stores the exit
// status in `status`. Declared here, called from main() in --help order.

}  // namespace sorvex::tool
