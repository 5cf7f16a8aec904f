// sorvex-tool: the engine without a window, for recordings, scripts and test benches.
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "tool/commands.h"
#include "tool/tool_input.h"

namespace {

// The subcommand the arguments named, for the prefix of every message.
std::string CommandName(CLI::App& app) {
  const auto parsed = app.get_subcommands();
  return parsed.empty() ? std::string("") : parsed.front()->get_name();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace sorvex::tool;
  CLI::App app{"Sorvex: analyser of telemechanics line channels (command-line companion)",
               "sorvex-tool"};
  app.require_subcommand(1);
  app.set_help_all_flag("--help-all", "Show help for every subcommand");
  int status = kExitOk;
  // One line per subcommand (each in its own cmd_*.cpp), in --help order.
  AddResponseCommand(app, status);
  AddTxCommand(app, status);
  AddRxCommand(app, status);
  AddDecodeCommand(app, status);
  AddEncodeCommand(app, status);
  AddReplayCommand(app, status);
  AddListenCommand(app, status);
  AddSimulateCommand(app, status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    const std::string name = CommandName(app);
    std::fprintf(stderr, "sorvex-tool%s%s: %s (see sorvex-tool %s--help)\n",
                 name.empty() ? "" : " ", name.c_str(), e.what(),
                 name.empty() ? "" : (name + " ").c_str());
    return kExitUsage;
  }
  // Output that never reached its file (a full disk, a closed pipe) is a
  // failure, not a result.
  errno = 0;
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    const int error = errno;
    Complain(CommandName(app), std::string("cannot write the output: ") +
                                   (error != 0 ? std::strerror(error) : "write error"));
    return kExitUsage;
  }
  return status;
}
