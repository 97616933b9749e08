#pragma once
// CWorker: one StartJob call takes one entry from the content server's PDF queue and carries
// it to a stored document or a preview URL, reporting start and end to the queue. Every
// failure becomes a status number and a text that begins with the stage under way; no error
// leaves StartJob. An instance keeps nothing between calls and serves one call at a time;
// separate instances may run jobs on separate threads.

#include <cstdint>
#include <string>

#include "platform/Variant.h"
#include "platform/XmlDocument.h"

namespace tovrik {

class CWorker {
 public:
  CWorker() = default;
  CWorker(const CWorker&) = delete;
  CWorker& operator=(const CWorker&) = delete;
  virtual ~CWorker() = default;

  // Processes the next queue entry of the content server on TovrikServerName (empty: the
  // embedded store). True only when an entry was taken, its start reported and its pipeline
  // ended with status 0; false otherwise, also for an empty queue (status 0 then).
  bool StartJob(std::string TovrikServerName, int32_t ConnectionID, int32_t& status,
                std::string& StatusText);

  // Accepts criteria and options and returns an empty string; status and StatusText (which
  // may be omitted) are left as they came.
  std::string PreviewPDF(std::string ServerName, int32_t ConnectionID, int32_t SessionID,
                         std::string CriteriaXML, std::string optionsXML, Variant& status,
                         Variant* StatusText = nullptr);

  // What the last StartJob call did, for the caller's log: the entry it took (0 when none)
  // and the number of pages its pipeline rendered.
  struct JobSummary {
    int32_t QueueEntryID = 0;
    int32_t pages = 0;
  };
  const JobSummary& LastJob() const { return lastJob_; }

  void ObjectControl_Activate() {}
  void ObjectControl_Deactivate() {}
  bool ObjectControl_CanBePooled() { return false; }

 protected:
  // The work of one job between its start and end reports. Rewrites errorPoint at every
  // stage; stops with status != 0 or by raising a RaisedError.
  virtual void doProcessing(int32_t QueueEntryID, const std::string& ServerName, int32_t SessionID,
                            int32_t ConnectionID, const DOMDocument40& jobDocument,
                            int32_t& DocumentGenerated, std::string& ContainingDocuments,
                            std::string& URL, int32_t& status, std::string& StatusText,
                            std::string& errorPoint);

  JobSummary lastJob_;
};

}  // namespace tovrik
