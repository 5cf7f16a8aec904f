// sorvex-tool: the engine without a window, for recordings, scripts and test benches.
#include <CLI/CLI.hpp>
#include <cstdio>

#include "tool/commands.h"

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
  (void)status;
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }
  return status;
}
