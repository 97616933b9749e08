// tovrik registry: not available yet.

#include "cli/Commands.h"

namespace tovrik::cli {

void AddRegistryCommand(CLI::App& app) {
  auto* cmd = app.add_subcommand("registry", "(not available yet)");
  cmd->callback([] { ExitCode() = 2; });
}

}  // namespace tovrik::cli
