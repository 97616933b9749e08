// Registers the providers of every ProgID the worker creates.

#include "cli/Commands.h"
#include "contentserver/Components.h"
#include "printserver/ClientObjects.h"

namespace tovrik::cli {

void RegisterAllProviders() {
  // The content server components and the renderer client objects register here.
  RegisterContentServerProviders();
  printserver::RegisterClientObjects();
}

}  // namespace tovrik::cli
