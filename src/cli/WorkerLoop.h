#pragma once
// One StartJob call with the worker's log line, shared by `tovrik worker` and `tovrik demo`.

#include <cstdint>
#include <string>

namespace tovrik::cli {

struct JobOutcome {
  bool result = false;
  int32_t status = 0;
  std::string statusText;
  int32_t entry = 0;        // the queue entry taken; 0 when none
  bool queueEmpty = false;  // no entry was waiting
};

// Runs one job on the content server `server` and logs "worker: entry N: P pages, S s: ..."
// on stderr for every call that took an entry or failed.
JobOutcome RunOneJob(const std::string& server, int32_t connection);

}  // namespace tovrik::cli
