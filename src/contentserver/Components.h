#pragma once
// The six content server components over a ContentStore. Each object opens the store for
// every call it serves (the worker makes one object per call) and closes it before the call
// returns. Failures of the store become RaisedError(kCallFailed) with the store's message;
// refusals of a request go through the operation's own status or error holders.
// An object serves one thread at a time.

#include <functional>
#include <memory>
#include <string>

#include "contentserver/ContentStore.h"
#include "outside/ContentServer.h"

namespace tovrik {

using StoreOpener = std::function<std::unique_ptr<ContentStore>()>;

// The opener of the store a server name names (see OpenContentStore); raises
// RaisedError(kServerUnavailable) at once for a name that names no reachable store.
StoreOpener StoreOpenerFor(const std::string& serverName);

class SessionManager : public ISessionManager {
 public:
  explicit SessionManager(StoreOpener open) : open_(std::move(open)) {}
  int32_t OpenSession(int32_t ConnectionID, const std::string& request, Variant& errorNumber,
                      Variant& errorText) override;

 private:
  const StoreOpener open_;
};

class PDFQueue : public IPDFQueue {
 public:
  explicit PDFQueue(StoreOpener open) : open_(std::move(open)) {}
  std::string NextInQueue(int32_t ConnectionID, int32_t SessionID, const std::string& request,
                          int32_t& status, std::string& StatusText) override;
  void SetProcessingStarted(int32_t ConnectionID, int32_t SessionID, const std::string& request,
                            int32_t& status, std::string& StatusText) override;
  void SetProcessingEnded(int32_t ConnectionID, int32_t SessionID, const std::string& request,
                          int32_t& status, std::string& StatusText) override;

 private:
  const StoreOpener open_;
};

class SettingManager : public ISettingManager {
 public:
  explicit SettingManager(StoreOpener open) : open_(std::move(open)) {}
  // holder1 receives the error number (0 on success), holder2 the error text.
  void ReadSetting(int32_t ConnectionID, const Variant& SessionID, const std::string& settingName,
                   Variant& holder1, Variant& holder2, Variant& result) override;

 private:
  const StoreOpener open_;
};

class DocumentReader : public IDocumentReader {
 public:
  explicit DocumentReader(StoreOpener open) : open_(std::move(open)) {}
  // Without holders to report through, an unknown session or a bad request raises
  // RaisedError with kStoreUnknownSession or kStoreBadRequest.
  void ReadDocuments(int32_t ConnectionID, const Variant& SessionID, const std::string& criteria,
                     int32_t reserved, Variant& result) override;

 private:
  const StoreOpener open_;
};

class DocumentManager : public IDocumentManager {
 public:
  explicit DocumentManager(StoreOpener open) : open_(std::move(open)) {}
  Variant SaveDocument(int32_t ConnectionID, const Variant& SessionID, const std::string& request,
                       Variant& errorNumber, Variant& errorText, Variant& reserved) override;

 private:
  const StoreOpener open_;
};

class DocumentManagerBin : public IDocumentManagerBin {
 public:
  explicit DocumentManagerBin(StoreOpener open) : open_(std::move(open)) {}
  Variant SaveContent(int32_t ConnectionID, const Variant& SessionID, IRequest* webRequest,
                      const std::string& request, const Variant& content, int32_t reserved,
                      Variant& errorNumber, Variant& errorText) override;

 private:
  const StoreOpener open_;
};

// Registers the six ProgIDs with the object factory.
void RegisterContentServerProviders();

}  // namespace tovrik
