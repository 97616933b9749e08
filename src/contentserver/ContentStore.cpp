#include "contentserver/ContentStore.h"

#include <filesystem>
#include <system_error>

#include "contentserver/SqliteContentStore.h"
#include "platform/RaisedError.h"
#include "platform/StateFolder.h"

namespace tovrik {

std::unique_ptr<ContentStore> OpenContentStore(const std::string& serverName) {
  if (!serverName.empty()) {
    throw RaisedError(kServerUnavailable, "The RPC server is unavailable.");
  }
  const std::filesystem::path folder = StateFolder();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    throw StoreError("cannot create the state folder '" + folder.string() + "': " + ec.message());
  }
  return std::make_unique<SqliteContentStore>((folder / "content.db").string());
}

}  // namespace tovrik
