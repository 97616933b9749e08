// tovrik worker: not available yet.

#include "cli/Commands.h"

namespace tovrik::cli {

void AddWorkerCommand(CLI::App& app) {
  auto* cmd = app.add_subcommand("worker", "(not available yet)");
  cmd->callback([] { ExitCode() = 2; });
}

}  // namespace tovrik::cli
