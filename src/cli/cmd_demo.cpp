// tovrik demo: not available yet.

#include "cli/Commands.h"

namespace tovrik::cli {

void AddDemoCommand(CLI::App& app) {
  auto* cmd = app.add_subcommand("demo", "(not available yet)");
  cmd->callback([] { ExitCode() = 2; });
}

}  // namespace tovrik::cli
