// Registers the providers of every ProgID the worker creates.

#include "cli/Commands.h"
#include "contentserver/Components.h"

namespace tovrik::cli {

void RegisterAllProviders() {
  // The content server components and the renderer client objects register here.
  RegisterContentServerProviders();
}

}  // namespace tovrik::cli
