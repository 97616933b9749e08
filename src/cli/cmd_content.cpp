// tovrik content: not available yet.

#include "cli/Commands.h"

namespace tovrik::cli {

void AddContentCommand(CLI::App& app) {
  auto* cmd = app.add_subcommand("content", "(not available yet)");
  cmd->callback([] { ExitCode() = 2; });
}

}  // namespace tovrik::cli
