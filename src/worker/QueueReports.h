#pragma once
// The start and end reports the worker sends to the content server's PDF queue. Each report
// uses a queue object of its own, made on the job's server and released after the one call.
// Neither catches errors: a failure to make the object or a failing call is raised.

#include <cstdint>
#include <string>

namespace tovrik {

// "<root><parameters><parameter name='QueueEntryID'>57</parameter></parameters></root>"
std::string BuildStartRequest(int32_t QueueEntryID);

// The end request: QueueEntryID, DocumentGenerated, ContainingDocuments, URL, Error,
// errorMessage in that order. Text values are escaped as XML text, so a status text holding
// markup characters still gives a request that parses back to exactly that text.
std::string BuildEndRequest(int32_t QueueEntryID, int32_t DocumentGenerated,
                            const std::string& ContainingDocuments, const std::string& URL,
                            int32_t errorNumber, const std::string& errorMessage);

// Reports the start; the queue refuses it by setting status != 0.
void startProcessing(int32_t QueueEntryID, const std::string& ServerName, int32_t SessionID,
                     int32_t ConnectionID, int32_t& status, std::string& StatusText);

// Reports the end with the job's outcome; the queue's answer lands in status and StatusText.
void endProcessing(int32_t QueueEntryID, const std::string& ServerName, int32_t SessionID,
                   int32_t ConnectionID, int32_t DocumentGenerated,
                   const std::string& ContainingDocuments, const std::string& URL,
                   int32_t errorNumber, const std::string& errorMessage, int32_t& status,
                   std::string& StatusText);

}  // namespace tovrik
