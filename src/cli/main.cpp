// The tovrik command: the worker, its servers and the admin tools in one program.

#include <iostream>

#include "cli/Commands.h"

#ifndef TOVRIK_VERSION
#define TOVRIK_VERSION "0.0.0"
#endif

namespace tovrik::cli {

int& ExitCode() {
  static int code = 0;
  return code;
}

}  // namespace tovrik::cli

int main(int argc, char** argv) {
  using namespace tovrik::cli;
  CLI::App app{"tovrik: the PDF worker of the Tovrik content management system"};
  app.set_version_flag("--version", std::string("tovrik ") + TOVRIK_VERSION);
  app.require_subcommand(1);

  AddWorkerCommand(app);
  AddPrintServerCommand(app);
  AddSiteCommand(app);
  AddContentCommand(app);
  AddRegistryCommand(app);
  AddPdfCommand(app);
  AddDemoCommand(app);

  RegisterAllProviders();
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    // --help and --version exit 0; bad usage prints the reason and exits 1.
    return app.exit(e) == 0 ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << "tovrik: " << e.what() << "\n";
    return 1;
  }
  return ExitCode();
}
