#pragma once

#include <CLI/CLI.hpp>

namespace sorvex::tool {

// Exit statuses shared by every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitNegative = 1;  // e.g. a telegram that fails its checks
inline constexpr int kExitUsage = 2;     // bad usage or unreadable input

// Each subcommand adds itself to the app; its callback stores the exit
// status in `status`. Declared here, called from main() in --help order.
void AddResponseCommand(CLI::App& app, int& status);  // cmd_response.cpp
void AddTxCommand(CLI::App& app, int& status);        // cmd_tx.cpp
void AddRxCommand(CLI::App& app, int& status);        // cmd_rx.cpp
void AddDecodeCommand(CLI::App& app, int& status);    // cmd_decode.cpp
void AddEncodeCommand(CLI::App& app, int& status);    // cmd_encode.cpp
void AddReplayCommand(CLI::App& app, int& status);    // cmd_replay.cpp
void AddListenCommand(CLI::App& app, int& status);    // cmd_listen.cpp
void AddSimulateCommand(CLI::App& app, int& status);  // cmd_simulate.cpp

}  // namespace sorvex::tool
