#include "contentserver/Components.h"

#include <cctype>
#include <exception>

#include "contentserver/ParameterRequest.h"
#include "contentserver/StoreDate.h"
#include "platform/NumberConversion.h"
#include "platform/ObjectFactory.h"
#include "platform/RaisedError.h"

namespace tovrik {
namespace {

// Runs one component call: the store's own failures leave as RaisedError(kCallFailed).
template <class F>
auto AtBoundary(F&& call) -> decltype(call()) {
  try {
    return call();
  } catch (const RaisedError&) {
    throw;
  } catch (const StoreError& e) {
    throw RaisedError(kCallFailed, e.what());
  } catch (const std::exception& e) {
    throw RaisedError(kCallFailed, std::string("content server: ") + e.what());
  }
}

std::string UnknownSession(int32_t sessionId) {
  return "Unknown session " + std::to_string(sessionId);
}

void SetError(Variant& number, Variant& text, int32_t n, const std::string& t) {
  number = Variant(n);
  text = Variant(t);
}

bool IsBlank(const std::string& s) {
  for (unsigned char c : s) {
    if (!std::isspace(c)) return false;
  }
  return true;
}

}  // namespace

StoreOpener StoreOpenerFor(const std::string& serverName) {
  if (!serverName.empty()) {
    // Fails now, as remote activation on an unreachable machine would.
    OpenContentStore(serverName);
  }
  return [serverName] { return OpenContentStore(serverName); };
}

int32_t SessionManager::OpenSession(int32_t ConnectionID, const std::string& request,
                                    Variant& errorNumber, Variant& errorText) {
  return AtBoundary([&]() -> int32_t {
    try {
      ParameterRequest::CheckWellFormed(request, "The session request");
    } catch (const RequestError& e) {
      SetError(errorNumber, errorText, kStoreBadRequest, e.what());
      return 0;
    }
    if (ConnectionID < 0) {
      SetError(errorNumber, errorText, kStoreBadConnection,
               "Invalid connection number " + std::to_string(ConnectionID));
      return 0;
    }
    int32_t id = open_()->OpenSession(ConnectionID, request);
    SetError(errorNumber, errorText, 0, "");
    return id;
  });
}

std::string PDFQueue::NextInQueue(int32_t, int32_t SessionID, const std::string& request,
                                  int32_t& status, std::string& StatusText) {
  return AtBoundary([&]() -> std::string {
    status = 0;
    StatusText = "Success";
    std::unique_ptr<ContentStore> store = open_();
    if (!store->SessionExists(SessionID)) {
      status = kStoreUnknownSession;
      StatusText = UnknownSession(SessionID);
      return "<root/>";
    }
    (void)request;  // the worker sends "<root />"; it selects nothing
    std::optional<QueueEntry> entry = store->ClaimNext(SessionID);
    if (!entry) return "<root/>";
    return QueueEntryXml(entry->id, entry->job);
  });
}

void PDFQueue::SetProcessingStarted(int32_t, int32_t SessionID, const std::string& request,
                                    int32_t& status, std::string& StatusText) {
  AtBoundary([&] {
    int32_t entryId = 0;
    try {
      entryId = ParameterRequest(request, "The start request").Int32("QueueEntryID");
    } catch (const RequestError& e) {
      status = kStoreBadRequest;
      StatusText = e.what();
      return;
    }
    std::unique_ptr<ContentStore> store = open_();
    if (!store->SessionExists(SessionID)) {
      status = kStoreUnknownSession;
      StatusText = UnknownSession(SessionID);
      return;
    }
    StoreStatus answer = store->MarkStarted(entryId, SessionID, request);
    status = answer.status;
    StatusText = answer.text;
  });
}

void PDFQueue::SetProcessingEnded(int32_t, int32_t SessionID, const std::string& request,
                                  int32_t& status, std::string& StatusText) {
  AtBoundary([&] {
    int32_t entryId = 0;
    QueueOutcome outcome;
    try {
      ParameterRequest parsed(request, "The end request");
      entryId = parsed.Int32("QueueEntryID");
      outcome.documentGenerated = parsed.Int32("DocumentGenerated");
      outcome.containingDocuments = parsed.Text("ContainingDocuments");
      outcome.url = parsed.Text("URL");
      outcome.error = parsed.Int32("Error");
      outcome.errorMessage = parsed.Text("errorMessage");
    } catch (const RequestError& e) {
      status = kStoreBadRequest;
      StatusText = e.what();
      return;
    }
    std::unique_ptr<ContentStore> store = open_();
    if (!store->SessionExists(SessionID)) {
      status = kStoreUnknownSession;
      StatusText = UnknownSession(SessionID);
      return;
    }
    StoreStatus answer = store->MarkEnded(entryId, SessionID, outcome, request);
    status = answer.status;
    StatusText = answer.text;
  });
}

void SettingManager::ReadSetting(int32_t, const Variant& SessionID, const std::string& settingName,
                                 Variant& holder1, Variant& holder2, Variant& result) {
  AtBoundary([&] {
    const int32_t session = SessionID.ToInt32();
    result = Variant(std::string());
    std::unique_ptr<ContentStore> store = open_();
    if (!store->SessionExists(session)) {
      SetError(holder1, holder2, kStoreUnknownSession, UnknownSession(session));
      return;
    }
    std::optional<std::string> value = store->ReadSetting(settingName);
    if (!value) {
      SetError(holder1, holder2, kStoreUnknownSetting,
               "The setting '" + settingName + "' is not set");
      return;
    }
    result = Variant(*value);
    SetError(holder1, holder2, 0, "");
  });
}

void DocumentReader::ReadDocuments(int32_t, const Variant& SessionID, const std::string& criteria,
                                   int32_t, Variant& result) {
  AtBoundary([&] {
    const int32_t session = SessionID.ToInt32();
    int32_t id = 0;
    bool admin = false;
    bool withContent = false;
    std::string since;
    try {
      ParameterRequest parsed(criteria, "The document criteria request");
      std::optional<std::string> type = parsed.RootValue("type");
      if (type && !IsBlank(*type) && ToInt32(*type) != 0) {
        throw RequestError("The document criteria request has the unknown type " + *type);
      }
      id = parsed.Int32("ID");
      if (parsed.Find("WithAdminPrivileges")) admin = parsed.Int32("WithAdminPrivileges") != 0;
      if (parsed.Find("WithContent")) withContent = parsed.Int32("WithContent") != 0;
      if (std::optional<std::string> date = parsed.Find("DateCriteria")) {
        if (!IsStoreDate(*date)) {
          throw RequestError("The document criteria request: DateCriteria '" + *date +
                             "' is not a date (YYYY-MM-DD [HH:MM:SS])");
        }
        since = *date;
      }
    } catch (const RequestError& e) {
      throw RaisedError(kStoreBadRequest, e.what());
    } catch (const RaisedError&) {
      throw RaisedError(kStoreBadRequest, "The document criteria request: type is not a number");
    }
    std::unique_ptr<ContentStore> store = open_();
    if (!store->SessionExists(session))
      throw RaisedError(kStoreUnknownSession, UnknownSession(session));

    std::vector<MemoryRecordset::Row> rows;
    for (Document& d : store->ReadTree(id, !admin, withContent, since)) {
      MemoryRecordset::Row row = {
          {"ElementID", Variant(d.id)},
          {"ParentID", d.parentId == 0 ? Variant::Null() : Variant(d.parentId)},
          {"SortOrder", Variant(d.sortOrder)},
          {"Level", Variant(d.level)},
          {"Name", Variant(d.name)},
          {"CategoryID", Variant(d.categoryId)},
          {"ContentType", Variant(d.contentType)},
          {"Published", Variant(d.published)},
          {"PublishDate", Variant(d.publishDate)},
          {"FileName", Variant(d.fileName)},
          {"FileSize", Variant(static_cast<double>(d.contentSize))},
      };
      if (withContent) {
        row.emplace_back("Body", Variant(d.bodyHtml));
        row.emplace_back("Content", Variant(std::move(d.content)));
      }
      rows.push_back(std::move(row));
    }
    result =
        Variant(std::shared_ptr<Recordset>(std::make_shared<MemoryRecordset>(std::move(rows))));
  });
}

Variant DocumentManager::SaveDocument(int32_t, const Variant& SessionID, const std::string& request,
                                      Variant& errorNumber, Variant& errorText, Variant&) {
  return AtBoundary([&]() -> Variant {
    const int32_t session = SessionID.ToInt32();
    Document d;
    d.contentType = "application/pdf";
    try {
      ParameterRequest parsed(request, "The document request");
      d.unitId = parsed.Int32("UnitID");
      d.categoryId = parsed.Int32("CategoryID");
      d.langId = parsed.Int32("LangID");
      d.contentType = parsed.Text("ContentType");
      if (IsBlank(d.contentType)) throw RequestError("The document request has no ContentType");
      d.published = parsed.Int32("Published") != 0;
      d.name = parsed.Text("ElementName");
      if (IsBlank(d.name)) throw RequestError("The document request has an empty ElementName");
      d.publishDate = parsed.Text("PublishDate");
      if (!d.publishDate.empty() && !IsStoreDate(d.publishDate)) {
        throw RequestError("The document request: PublishDate '" + d.publishDate +
                           "' is not a date (YYYY-MM-DD [HH:MM:SS])");
      }
      d.fileName = parsed.Text("SaveToFileName");
      if (parsed.Find("ParentID")) d.parentId = parsed.Int32("ParentID");
      if (parsed.Find("SortOrder")) d.sortOrder = parsed.Int32("SortOrder");
    } catch (const RequestError& e) {
      SetError(errorNumber, errorText, kStoreBadRequest, e.what());
      return Variant::Null();
    }
    if (d.publishDate.empty()) d.publishDate = StoreDateNow();
    std::unique_ptr<ContentStore> store = open_();
    if (!store->SessionExists(session)) {
      SetError(errorNumber, errorText, kStoreUnknownSession, UnknownSession(session));
      return Variant::Null();
    }
    if (d.parentId != 0 && !store->ReadDocument(d.parentId, false)) {
      SetError(errorNumber, errorText, kStoreUnknownDocument,
               "The parent document " + std::to_string(d.parentId) + " does not exist");
      return Variant::Null();
    }
    int32_t id = store->CreateDocument(d);
    SetError(errorNumber, errorText, 0, "");
    return Variant(id);
  });
}

Variant DocumentManagerBin::SaveContent(int32_t, const Variant& SessionID, IRequest*,
                                        const std::string& request, const Variant& content, int32_t,
                                        Variant& errorNumber, Variant& errorText) {
  return AtBoundary([&]() -> Variant {
    const int32_t session = SessionID.ToInt32();
    int32_t elementId = 0;
    int32_t fileSize = 0;
    try {
      ParameterRequest parsed(request, "The content request");
      elementId = parsed.Int32("ElementID");
      fileSize = parsed.Int32("FileSize");
      if (fileSize < 0) {
        throw RequestError("The content request: FileSize " + std::to_string(fileSize) +
                           " is negative");
      }
      if (!content.IsBytes()) throw RequestError("The content is not an array of bytes");
      if (static_cast<size_t>(fileSize) > content.AsBytes().size()) {
        throw RequestError("The content request: FileSize " + std::to_string(fileSize) +
                           " is more than the " + std::to_string(content.AsBytes().size()) +
                           " bytes sent");
      }
    } catch (const RequestError& e) {
      SetError(errorNumber, errorText, kStoreBadRequest, e.what());
      return Variant();
    }
    std::unique_ptr<ContentStore> store = open_();
    if (!store->SessionExists(session)) {
      SetError(errorNumber, errorText, kStoreUnknownSession, UnknownSession(session));
      return Variant();
    }
    const Variant::Bytes& bytes = content.AsBytes();
    std::vector<uint8_t> kept(bytes.begin(), bytes.begin() + fileSize);
    if (!store->ReplaceContent(elementId, kept)) {
      SetError(errorNumber, errorText, kStoreUnknownDocument,
               "Document " + std::to_string(elementId) + " does not exist");
      return Variant();
    }
    SetError(errorNumber, errorText, 0, "Success");
    return Variant();
  });
}

void RegisterContentServerProviders() {
  auto add = [](const char* progId, auto make) {
    RegisterProvider(progId, [make](const std::string& serverName) -> std::unique_ptr<ComObject> {
      return make(StoreOpenerFor(serverName));
    });
  };
  add(kSessionManagerProgId, [](StoreOpener o) { return std::make_unique<SessionManager>(o); });
  add(kPDFQueueProgId, [](StoreOpener o) { return std::make_unique<PDFQueue>(o); });
  add(kSettingManagerProgId, [](StoreOpener o) { return std::make_unique<SettingManager>(o); });
  add(kDocumentReaderProgId, [](StoreOpener o) { return std::make_unique<DocumentReader>(o); });
  add(kDocumentManagerProgId, [](StoreOpener o) { return std::make_unique<DocumentManager>(o); });
  add(kDocumentManagerBinProgId,
      [](StoreOpener o) { return std::make_unique<DocumentManagerBin>(o); });
}

}  // namespace tovrik
