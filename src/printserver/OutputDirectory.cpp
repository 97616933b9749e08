// Where the print server writes its PDF files when not told on its command line.

#include "config/cRegistry.h"
#include "platform/StateFolder.h"
#include "printserver/PrintServer.h"

namespace tovrik::printserver {

std::string DefaultOutputDirectory() {
  std::string configured = tovrik::cRegistry().ReadRegistryString(
      tovrik::HKEY_LOCAL_MACHINE, "SOFTWARE\\ActivePDFServer", "DefaultPDFDirectory", "");
  if (!configured.empty()) return configured;
  return (StateFolder() / "pdf-output").string();
}

}  // namespace tovrik::printserver
