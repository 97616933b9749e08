#pragma once
// The records of the PDF queue: a job as its pdfitem fields, an entry with its state and
// lease, the outcome a worker reports and the reports kept for audit. Also the two XML forms
// of a job: the pdfitem record a worker reads and the record file an operator enqueues.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tovrik {

// The job fields of a pdfitem record, as text. An absent field stays absent all the way to
// the worker, so a record without "submitter" reaches it without one.
struct QueueJob {
  std::optional<std::string> optionsxml;
  std::optional<std::string> issynchronous;
  std::optional<std::string> documentid;
  std::optional<std::string> documentname;
  std::optional<std::string> destinationcategoryid;
  std::optional<std::string> querystrings;
  std::optional<std::string> parsetree;
  std::optional<std::string> autoarchive;
  std::optional<std::string> destinationdocumentid;
  std::optional<std::string> flags;
  std::optional<std::string> footerxml;
  std::optional<std::string> documentguid;
  std::optional<std::string> submitter;
  // Other elements of an enqueued record, serialized, handed out after the known fields.
  std::string extraXml;

  bool operator==(const QueueJob&) const = default;
};

// One job field: its element name and where it lives in a QueueJob.
struct QueueField {
  const char* name;
  std::optional<std::string> QueueJob::*member;
};
// The fields in the order a pdfitem record lists them.
const std::vector<QueueField>& QueueFields();

enum class QueueState { kWaiting, kLeased, kProcessing, kDone, kFailed };
const char* QueueStateName(QueueState state);  // "waiting", "leased", ...
std::optional<QueueState> QueueStateFromName(const std::string& name);

struct QueueOutcome {
  int32_t documentGenerated = 0;
  std::string containingDocuments;
  std::string url;
  int32_t error = 0;
  std::string errorMessage;
};

struct QueueEntry {
  int32_t id = 0;
  QueueState state = QueueState::kWaiting;
  QueueJob job;
  int32_t attempts = 0;      // claims so far; the current lease is claim number `attempts`
  int32_t leaseSession = 0;  // the session holding, or last holding, the lease; 0: none yet
  int64_t leaseExpiresMs = 0;
  int64_t enqueuedMs = 0;  // times in milliseconds since the Unix epoch; 0: not yet
  int64_t startedMs = 0;
  int64_t endedMs = 0;
  std::optional<QueueOutcome> outcome;  // set once the entry has ended
};

// A start or end request as it arrived, with what the queue answered.
struct QueueReport {
  int64_t id = 0;
  int32_t entryId = 0;
  std::string kind;  // "start" or "end"
  int32_t sessionId = 0;
  int32_t attempt = 0;
  std::string request;
  int64_t receivedMs = 0;
  bool accepted = false;
  int32_t status = 0;
  std::string statusText;
};

// "<root><pdfitem><queueentryid>N</queueentryid>...</pdfitem></root>", every value escaped as
// XML text, footerxml only when the job has it.
std::string QueueEntryXml(int32_t entryId, const QueueJob& job);

// A job from a record file: an XML document whose root is "pdfitem" or holds one. Each field
// takes the text of its first element; "queueentryid" is dropped (the queue numbers its
// entries); other elements are kept. Throws std::invalid_argument with the reason when the
// text does not parse or has no pdfitem. warnings receives notes for the operator.
QueueJob QueueJobFromRecord(const std::string& xml, std::vector<std::string>* warnings);

}  // namespace tovrik
