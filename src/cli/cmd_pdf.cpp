// tovrik pdf: not available yet.

#include "cli/Commands.h"

namespace tovrik::cli {

void AddPdfCommand(CLI::App& app) {
  auto* cmd = app.add_subcommand("pdf", "(not available yet)");
  cmd->callback([] { ExitCode() = 2; });
}

}  // namespace tovrik::cli
