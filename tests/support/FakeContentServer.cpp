#include "support/FakeContentServer.h"

namespace tovrik::testing {
namespace {

using State = std::shared_ptr<FakeContentServer>;

class FakeSessionManager : public ISessionManager {
 public:
  explicit FakeSessionManager(State s) : s_(std::move(s)) {}
  int32_t OpenSession(int32_t ConnectionID, const std::string&, Variant& errorNumber,
                      Variant& errorText) override {
    s_->calls.push_back("OpenSession");
    s_->openConnectionIds.push_back(ConnectionID);
    s_->MaybeRaise("OpenSession");
    if (!s_->openErrorNumber.IsEmpty()) errorNumber = s_->openErrorNumber;
    if (!s_->openErrorText.IsEmpty()) errorText = s_->openErrorText;
    return s_->sessionToReturn;
  }

 private:
  State s_;
};

class FakePDFQueue : public IPDFQueue {
 public:
  explicit FakePDFQueue(State s) : s_(std::move(s)) {}
  std::string NextInQueue(int32_t, int32_t SessionID, const std::string&, int32_t& status,
                          std::string& StatusText) override {
    s_->calls.push_back("NextInQueue");
    s_->queueSessionIds.push_back(SessionID);
    s_->MaybeRaise("NextInQueue");
    status = s_->nextStatus;
    if (status != 0) StatusText = s_->nextStatusText;
    return s_->entryXml;
  }
  void SetProcessingStarted(int32_t, int32_t SessionID, const std::string& request, int32_t& status,
                            std::string& StatusText) override {
    s_->calls.push_back("SetProcessingStarted");
    s_->queueSessionIds.push_back(SessionID);
    s_->startRequests.push_back(request);
    s_->MaybeRaise("SetProcessingStarted");
    status = s_->startStatus;
    StatusText = s_->startStatus != 0 ? s_->startStatusText : "Success";
  }
  void SetProcessingEnded(int32_t, int32_t SessionID, const std::string& request, int32_t& status,
                          std::string& StatusText) override {
    s_->calls.push_back("SetProcessingEnded");
    s_->queueSessionIds.push_back(SessionID);
    s_->endRequests.push_back(request);
    s_->MaybeRaise("SetProcessingEnded");
    status = s_->endStatus;
    StatusText = s_->endStatusText;
  }

 private:
  State s_;
};

class FakeSettingManager : public ISettingManager {
 public:
  explicit FakeSettingManager(State s) : s_(std::move(s)) {}
  void ReadSetting(int32_t, const Variant&, const std::string& name, Variant&, Variant&,
                   Variant& result) override {
    s_->calls.push_back("ReadSetting");
    s_->settingNames.push_back(name);
    s_->MaybeRaise("ReadSetting");
    result = s_->siteUrl;
  }

 private:
  State s_;
};

class FakeDocumentReader : public IDocumentReader {
 public:
  explicit FakeDocumentReader(State s) : s_(std::move(s)) {}
  void ReadDocuments(int32_t, const Variant&, const std::string& criteria, int32_t,
                     Variant& result) override {
    s_->calls.push_back("ReadDocuments");
    s_->criteriaRequests.push_back(criteria);
    s_->MaybeRaise("ReadDocuments");
    std::vector<MemoryRecordset::Row> rows;
    for (const Variant& id : s_->treeIds) rows.push_back({{"ElementID", id}});
    result = Variant(std::shared_ptr<Recordset>(std::make_shared<MemoryRecordset>(rows)));
  }

 private:
  State s_;
};

class FakeDocumentManager : public IDocumentManager {
 public:
  explicit FakeDocumentManager(State s) : s_(std::move(s)) {}
  Variant SaveDocument(int32_t, const Variant&, const std::string& request, Variant& errorNumber,
                       Variant& errorText, Variant&) override {
    s_->calls.push_back("SaveDocument");
    s_->documentRequests.push_back(request);
    s_->MaybeRaise("SaveDocument");
    errorNumber = s_->saveDocumentErrorNumber;
    errorText = s_->saveDocumentErrorText;
    return s_->newElementId;
  }

 private:
  State s_;
};

class FakeDocumentManagerBin : public IDocumentManagerBin {
 public:
  explicit FakeDocumentManagerBin(State s) : s_(std::move(s)) {}
  Variant SaveContent(int32_t, const Variant&, IRequest*, const std::string& request,
                      const Variant& content, int32_t, Variant& errorNumber,
                      Variant& errorText) override {
    s_->calls.push_back("SaveContent");
    s_->contentRequests.push_back(request);
    s_->contents.push_back(content.AsBytes());
    s_->MaybeRaise("SaveContent");
    errorNumber = s_->saveContentErrorNumber;
    errorText = s_->saveContentErrorText;
    return Variant();
  }

 private:
  State s_;
};

template <class T>
ObjectProvider Make(State s, const std::string& progId) {
  return [s, progId](const std::string& server) -> std::unique_ptr<ComObject> {
    s->serverNames.push_back(server);
    s->MaybeRaise("create:" + progId);
    return std::make_unique<T>(s);
  };
}

}  // namespace

FakeContentServerGuard::FakeContentServerGuard(std::shared_ptr<FakeContentServer> s) {
  auto add = [&](const char* progId, ObjectProvider p) {
    providers_.push_back(std::make_unique<ScopedProvider>(progId, std::move(p)));
  };
  add(kSessionManagerProgId, Make<FakeSessionManager>(s, kSessionManagerProgId));
  add(kPDFQueueProgId, Make<FakePDFQueue>(s, kPDFQueueProgId));
  add(kSettingManagerProgId, Make<FakeSettingManager>(s, kSettingManagerProgId));
  add(kDocumentReaderProgId, Make<FakeDocumentReader>(s, kDocumentReaderProgId));
  add(kDocumentManagerProgId, Make<FakeDocumentManager>(s, kDocumentManagerProgId));
  add(kDocumentManagerBinProgId, Make<FakeDocumentManagerBin>(s, kDocumentManagerBinProgId));
}

}  // namespace tovrik::testing
