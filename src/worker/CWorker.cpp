#include "worker/CWorker.h"

#include <optional>

#include "outside/ContentServer.h"
#include "platform/NumberConversion.h"
#include "platform/RaisedError.h"
#include "worker/QueueReports.h"

namespace tovrik {

bool CWorker::StartJob(std::string TovrikServerName, int32_t ConnectionID, int32_t& status,
                       std::string& StatusText) {
  std::string errorPoint = "Start: ";
  status = 0;
  StatusText.clear();
  Variant errorNumberHolder(int16_t{0});
  Variant errorTextHolder{std::string()};
  int32_t SessionID = 0;
  std::string request = "<root />";
  int32_t QueueEntryID = 0;
  bool processing = false;
  int32_t DocumentGenerated = 0;
  std::string ContainingDocuments;
  std::string URL;
  bool result = false;
  std::optional<RaisedError> pending;
  lastJob_ = JobSummary{};

  try {
    errorPoint = "Opening session create: ";
    auto sessions = CreateObject<ISessionManager>(kSessionManagerProgId, TovrikServerName);
    errorPoint = "Opening session execute: ";
    SessionID = sessions->OpenSession(ConnectionID, request, errorNumberHolder, errorTextHolder);
    sessions.reset();
    if (SessionID == 0) {
      status = errorNumberHolder.ToInt32();
      StatusText = errorPoint + errorTextHolder.ToString();
      return false;
    }

    errorPoint = "Next in queue create: ";
    auto queue = CreateObject<IPDFQueue>(kPDFQueueProgId, TovrikServerName);
    errorPoint = "Next in queue execute: ";
    request = queue->NextInQueue(ConnectionID, SessionID, request, status, StatusText);
    queue.reset();
    if (status != 0) {
      StatusText = errorPoint + StatusText;
      return false;
    }

    errorPoint = "After fetch queue: ";
    std::unique_ptr<DOMDocument40> job = getXMLDocument(request, true);
    XmlNode entryNode = job->documentElement().selectSingleNode("pdfitem/queueentryid");
    if (!entryNode) return false;  // the queue had no entry
    QueueEntryID = ToInt32(entryNode.text());
    lastJob_.QueueEntryID = QueueEntryID;

    errorPoint = "startProcessing: ";
    startProcessing(QueueEntryID, TovrikServerName, SessionID, ConnectionID, status, StatusText);
    if (status != 0) {
      errorPoint = "endProcessing after startProcessing failure: ";
      const int32_t refusal = status;
      const std::string refusalText = StatusText;
      endProcessing(QueueEntryID, TovrikServerName, SessionID, ConnectionID, DocumentGenerated,
                    ContainingDocuments, std::string(), refusal, refusalText, status, StatusText);
      return false;
    }

    processing = true;
    errorPoint = "Calling do processing: ";
    doProcessing(QueueEntryID, TovrikServerName, SessionID, ConnectionID, *job, DocumentGenerated,
                 ContainingDocuments, URL, status, StatusText, errorPoint);
    if (status != 0) throw RaisedError(status, StatusText);
    processing = false;
    result = true;

    errorPoint = "Calling endProcessing after processing: ";
    const int32_t outcome = status;
    const std::string outcomeText = StatusText;
    endProcessing(QueueEntryID, TovrikServerName, SessionID, ConnectionID, DocumentGenerated,
                  ContainingDocuments, URL, outcome, outcomeText, status, StatusText);
  } catch (...) {
    pending.emplace(AsRaisedError(std::current_exception()));
  }

  // The trap: runs after a trapped error and after a successful job alike.
  status = pending ? pending->number() : 0;
  StatusText = errorPoint + (pending ? pending->description() : std::string());
  if (QueueEntryID >= 1 && processing) {
    try {
      int32_t ignoredStatus = 0;
      std::string ignoredText;
      endProcessing(QueueEntryID, TovrikServerName, SessionID, ConnectionID, DocumentGenerated,
                    ContainingDocuments, std::string(), status, StatusText, ignoredStatus,
                    ignoredText);
    } catch (...) {
      // The failure that led here is what the caller sees.
    }
  }
  return result;
}

std::string CWorker::PreviewPDF(std::string ServerName, int32_t ConnectionID, int32_t SessionID,
                                std::string CriteriaXML, std::string optionsXML, Variant& status,
                                Variant* StatusText) {
  (void)ServerName, (void)ConnectionID, (void)SessionID, (void)CriteriaXML, (void)optionsXML;
  (void)status, (void)StatusText;
  return std::string();
}

}  // namespace tovrik
