#include "cli/WorkerLoop.h"

#include <chrono>
#include <cstdio>
#include <iostream>

#include "worker/CWorker.h"

namespace tovrik::cli {

JobOutcome RunOneJob(const std::string& server, int32_t connection) {
  CWorker worker;
  JobOutcome o;
  const auto started = std::chrono::steady_clock::now();
  o.result = worker.StartJob(server, connection, o.status, o.statusText);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const CWorker::JobSummary& job = worker.LastJob();
  o.entry = job.QueueEntryID;
  o.queueEmpty = !o.result && o.status == 0 && job.QueueEntryID == 0;
  if (!o.queueEmpty) {
    char secs[32];
    std::snprintf(secs, sizeof secs, "%.2f", seconds);
    std::cerr << "worker: entry " << job.QueueEntryID << ": " << job.pages << " pages, " << secs
              << " s: " << (o.result ? "done" : "failed") << " (status " << o.status << ") "
              << o.statusText << std::endl;
  }
  return o;
}

}  // namespace tovrik::cli
