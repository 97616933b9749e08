// tovrik registry: reads and writes the machine-wide settings store, like reg.exe.
//
//   tovrik registry get KEY VALUE
//   tovrik registry set KEY VALUE DATA [--dword]
//   tovrik registry delete KEY [VALUE]
//   tovrik registry list KEY
//
// KEY begins with its hive: HKLM\SOFTWARE\Ostrevik\Tovrik\PDFServer (or HKCU\...). VALUE ""
// is the key's unnamed value. Errors print one line on stderr and exit with code 1.

#include <iostream>
#include <memory>
#include <string>

#include "cli/Commands.h"
#include "config/RegistryTool.h"

namespace tovrik::cli {
namespace {

struct RegistryArgs {
  std::string key;
  std::string value;
  std::string data;
  bool dword = false;
};

// Runs one operation; a failure becomes a message and exit code 1.
template <class Fn>
void Run(Fn fn) {
  try {
    fn();
  } catch (const RegistryToolError& e) {
    std::cerr << "tovrik registry: " << e.what() << "\n";
    ExitCode() = 1;
  }
}

}  // namespace

void AddRegistryCommand(CLI::App& app) {
  auto args = std::make_shared<RegistryArgs>();
  auto* cmd = app.add_subcommand(
      "registry",
      "Read and write the settings store (keys like HKLM\\SOFTWARE\\Ostrevik\\Tovrik\\PDFServer)");
  cmd->require_subcommand(1);
  const char* kKeyHelp = "key path, beginning with HKLM\\ or HKCU\\";

  auto* get = cmd->add_subcommand("get", "Print a value");
  get->add_option("KEY", args->key, kKeyHelp)->required();
  get->add_option("VALUE", args->value, "value name")->required();
  get->callback([args] { Run([&] { std::cout << RegistryGet(args->key, args->value) << "\n"; }); });

  auto* set = cmd->add_subcommand("set", "Store a value, creating the key as needed");
  set->add_option("KEY", args->key, kKeyHelp)->required();
  set->add_option("VALUE", args->value, "value name")->required();
  set->add_option("DATA", args->data, "the text to store (or the number, with --dword)")
      ->required();
  set->add_flag("--dword", args->dword,
                "store a 32-bit number (decimal, or hexadecimal after 0x) instead of text");
  set->callback(
      [args] { Run([&] { RegistrySet(args->key, args->value, args->data, args->dword); }); });

  auto* del = cmd->add_subcommand("delete", "Delete a value, or a key with everything under it");
  del->add_option("KEY", args->key, kKeyHelp)->required();
  auto* valueOption = del->add_option("VALUE", args->value, "value name (omit to delete the key)");
  del->callback([args, valueOption] {
    Run([&] { RegistryDelete(args->key, valueOption->count() > 0 ? &args->value : nullptr); });
  });

  auto* list = cmd->add_subcommand("list", "Print a key's values and sub-keys");
  list->add_option("KEY", args->key, kKeyHelp)->required();
  list->callback([args] { Run([&] { RegistryList(args->key, std::cout); }); });
}

}  // namespace tovrik::cli
