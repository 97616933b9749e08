#pragma once
// The subcommands of the tovrik command. Each Add...Command adds its subcommand to the app;
// the subcommand's callback does the work and sets the exit code through ExitCode().

#include <CLI/CLI.hpp>

namespace tovrik::cli {

void AddWorkerCommand(CLI::App& app);
void AddPrintServerCommand(CLI::App& app);
void AddSiteCommand(CLI::App& app);
void AddContentCommand(CLI::App& app);
void AddRegistryCommand(CLI::App& app);
void AddPdfCommand(CLI::App& app);
void AddDemoCommand(CLI::App& app);

// Registers the providers of every ProgID the worker creates: the content server components
// and the renderer client objects.
void RegisterAllProviders();

// The exit code of the subcommand that ran (0 unless a command set it).
int& ExitCode();

}  // namespace tovrik::cli
