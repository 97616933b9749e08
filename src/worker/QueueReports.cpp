#include "worker/QueueReports.h"

#include "outside/ContentServer.h"
#include "platform/XmlDocument.h"

namespace tovrik {
namespace {

void AppendParameter(std::string& out, const char* name, const std::string& value) {
  out += "<parameter name='";
  out += name;
  out += "'>";
  out += value;
  out += "</parameter>";
}

}  // namespace

std::string BuildStartRequest(int32_t QueueEntryID) {
  return "<root><parameters><parameter name='QueueEntryID'>" + std::to_string(QueueEntryID) +
         "</parameter></parameters></root>";
}

std::string BuildEndRequest(int32_t QueueEntryID, int32_t DocumentGenerated,
                            const std::string& ContainingDocuments, const std::string& URL,
                            int32_t errorNumber, const std::string& errorMessage) {
  std::string out = "<root><parameters>";
  AppendParameter(out, "QueueEntryID", std::to_string(QueueEntryID));
  AppendParameter(out, "DocumentGenerated", std::to_string(DocumentGenerated));
  AppendParameter(out, "ContainingDocuments", XmlEscape(ContainingDocuments));
  AppendParameter(out, "URL", XmlEscape(URL));
  AppendParameter(out, "Error", std::to_string(errorNumber));
  AppendParameter(out, "errorMessage", XmlEscape(errorMessage));
  out += "</parameters></root>";
  return out;
}

void startProcessing(int32_t QueueEntryID, const std::string& ServerName, int32_t SessionID,
                     int32_t ConnectionID, int32_t& status, std::string& StatusText) {
  const std::string request = BuildStartRequest(QueueEntryID);
  auto queue = CreateObject<IPDFQueue>(kPDFQueueProgId, ServerName);
  queue->SetProcessingStarted(ConnectionID, SessionID, request, status, StatusText);
}

void endProcessing(int32_t QueueEntryID, const std::string& ServerName, int32_t SessionID,
                   int32_t ConnectionID, int32_t DocumentGenerated,
                   const std::string& ContainingDocuments, const std::string& URL,
                   int32_t errorNumber, const std::string& errorMessage, int32_t& status,
                   std::string& StatusText) {
  const std::string request = BuildEndRequest(QueueEntryID, DocumentGenerated, ContainingDocuments,
                                              URL, errorNumber, errorMessage);
  auto queue = CreateObject<IPDFQueue>(kPDFQueueProgId, ServerName);
  queue->SetProcessingEnded(ConnectionID, SessionID, request, status, StatusText);
}

}  // namespace tovrik
