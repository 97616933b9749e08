#include "platform/StateFolder.h"

#include <cstdlib>

namespace tovrik {

std::filesystem::path StateFolder() {
  const char* home = std::getenv("TOVRIK_HOME");
  if (home != nullptr && *home != '\0') return std::filesystem::path(home);
  return std::filesystem::path("/var/lib/tovrik");
}

}  // namespace tovrik
