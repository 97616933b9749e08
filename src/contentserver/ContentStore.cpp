#include "contentserver/ContentStore.h"

#include <filesystem>
#include <system_error>

#include "contentserver/PostgresContentStore.h"
#include "contentserver/SqliteContentStore.h"
#include "platform/RaisedError.h"
#include "platform/StateFolder.h"

namespace tovrik {

std::unique_ptr<ContentStore> OpenContentStore(const std::string& serverName) {
  if (!serverName.empty()) {
    // A host name or a postgresql:// URI: the shared store on a PostgreSQL server. Raised as
    // a remote call would be: an unreachable server is "unavailable", anything else failed.
    try {
      return std::make_unique<PostgresContentStore>(PgTargetFor(serverName));
    } catch (const PgConnectError& e) {
      throw RaisedError(kServerUnavailable,
                        std::string("The RPC server is unavailable: ") + e.what());
    } catch (const StoreError& e) {
      throw RaisedError(kCallFailed, e.what());
    }
  }
  const std::filesystem::path folder = StateFolder();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    throw StoreError("cannot create the state folder '" + folder.string() + "': " + ec.message());
  }
  return std::make_unique<SqliteContentStore>((folder / "content.db").string());
}

std::optional<StoreStatus> LeaseRefusal(int32_t entryId, int32_t sessionId, QueueState state,
                                        int32_t holder) {
  if (state == QueueState::kDone || state == QueueState::kFailed) {
    return StoreStatus{kStoreAlreadyEnded, "Queue entry " + std::to_string(entryId) +
                                               " has already ended (" + QueueStateName(state) +
                                               ")"};
  }
  if (state == QueueState::kWaiting || holder != sessionId) {
    return StoreStatus{kStoreNotLeased, "Queue entry " + std::to_string(entryId) +
                                            " is not leased to session " +
                                            std::to_string(sessionId)};
  }
  return std::nullopt;
}

}  // namespace tovrik
