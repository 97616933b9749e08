#pragma once
// Fake content server components for tests: each records what it was called with and answers
// from a shared, scriptable state. Install() puts all six in place of the real providers
// for the lifetime of the returned guard.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "outside/ContentServer.h"
#include "platform/ObjectFactory.h"
#include "platform/RaisedError.h"

namespace tovrik::testing {

struct FakeContentServer {
  // One line per call, e.g. "OpenSession", "NextInQueue", "SetProcessingStarted".
  std::vector<std::string> calls;
  std::vector<std::string> serverNames;  // the server name of every object made

  // SessionManager
  int32_t sessionToReturn = 17;
  Variant openErrorNumber;  // left untouched when empty
  Variant openErrorText;
  std::vector<int32_t> openConnectionIds;

  // PDFQueue
  std::string entryXml = "<root/>";
  int32_t nextStatus = 0;
  std::string nextStatusText;
  int32_t startStatus = 0;
  std::string startStatusText;
  int32_t endStatus = 0;
  std::string endStatusText;
  std::vector<std::string> startRequests;
  std::vector<std::string> endRequests;
  std::vector<int32_t> queueSessionIds;

  // SettingManager
  Variant siteUrl = std::string("http://site.example/");
  std::vector<std::string> settingNames;

  // DocumentReader: the ElementIDs of the rows it returns.
  std::vector<Variant> treeIds;
  std::vector<std::string> criteriaRequests;

  // DocumentManager / DocumentManagerBin
  Variant newElementId = int32_t{812};
  Variant saveDocumentErrorNumber;
  Variant saveDocumentErrorText;
  Variant saveContentErrorNumber;
  Variant saveContentErrorText;
  std::vector<std::string> documentRequests;
  std::vector<std::string> contentRequests;
  std::vector<Variant::Bytes> contents;

  // Raises this error from the named operation ("OpenSession", "SetProcessingEnded", ...,
  // or "create:<ProgID>" for object creation).
  std::string raiseIn;
  int32_t raiseNumber = static_cast<int32_t>(0x80004005u);
  std::string raiseDescription = "Unspecified error";

  void MaybeRaise(const std::string& where) const {
    if (raiseIn == where) throw RaisedError(raiseNumber, raiseDescription);
  }
};

class FakeContentServerGuard {
 public:
  explicit FakeContentServerGuard(std::shared_ptr<FakeContentServer> state);
  FakeContentServerGuard(const FakeContentServerGuard&) = delete;
  FakeContentServerGuard& operator=(const FakeContentServerGuard&) = delete;

 private:
  std::vector<std::unique_ptr<ScopedProvider>> providers_;
};

}  // namespace tovrik::testing
