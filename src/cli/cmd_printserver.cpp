// tovrik print-server: not available yet.

#include "cli/Commands.h"

namespace tovrik::cli {

void AddPrintServerCommand(CLI::App& app) {
  auto* cmd = app.add_subcommand("print-server", "(not available yet)");
  cmd->callback([] { ExitCode() = 2; });
}

}  // namespace tovrik::cli
