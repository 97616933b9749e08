// tovrik site: not available yet.

#include "cli/Commands.h"

namespace tovrik::cli {

void AddSiteCommand(CLI::App& app) {
  auto* cmd = app.add_subcommand("site", "(not available yet)");
  cmd->callback([] { ExitCode() = 2; });
}

}  // namespace tovrik::cli
