// Queue entries claimed, started and ended per second on the embedded store, from one and
// from two worker processes. Each worker makes the calls the worker's driver makes for one
// job: OpenSession, NextInQueue, SetProcessingStarted, SetProcessingEnded, each on a new
// component object (so each opens the store).

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "contentserver/Components.h"
#include "contentserver/SqliteContentStore.h"

namespace {

using namespace tovrik;

int WorkUntilEmpty() {
  int done = 0;
  for (;;) {
    Variant n, t;
    int32_t session =
        CreateObject<ISessionManager>(kSessionManagerProgId, "")->OpenSession(1, "<root />", n, t);
    int32_t status = 0;
    std::string text;
    std::string xml = CreateObject<IPDFQueue>(kPDFQueueProgId, "")
                          ->NextInQueue(1, session, "<root />", status, text);
    size_t at = xml.find("<queueentryid>");
    if (status != 0 || at == std::string::npos) return done;
    const std::string id = xml.substr(at + 14, xml.find('<', at + 14) - at - 14);
    CreateObject<IPDFQueue>(kPDFQueueProgId, "")
        ->SetProcessingStarted(1, session,
                               "<root><parameters><parameter name='QueueEntryID'>" + id +
                                   "</parameter></parameters></root>",
                               status, text);
    CreateObject<IPDFQueue>(kPDFQueueProgId, "")
        ->SetProcessingEnded(1, session,
                             "<root><parameters><parameter name='QueueEntryID'>" + id +
                                 "</parameter><parameter name='DocumentGenerated'>1</parameter>"
                                 "<parameter name='ContainingDocuments'>1</parameter><parameter "
                                 "name='URL'></parameter><parameter name='Error'>0</parameter>"
                                 "<parameter name='errorMessage'>Success</parameter></parameters>"
                                 "</root>",
                             status, text);
    if (status != 0) return -1;
    ++done;
  }
}

double Run(const std::filesystem::path& home, int workers, int entries) {
  std::filesystem::remove_all(home);
  std::filesystem::create_directories(home);
  setenv("TOVRIK_HOME", home.c_str(), 1);
  {
    SqliteContentStore store((home / "content.db").string());
    QueueJob job;
    job.optionsxml = "<root/>";
    job.documentid = "1";
    job.documentname = "bench";
    job.submitter = "bench";
    for (int i = 0; i < entries; ++i) store.Enqueue(job);
  }
  std::fflush(stdout);  // children must not repeat buffered output
  auto start = std::chrono::steady_clock::now();
  std::vector<pid_t> children;
  for (int w = 0; w < workers; ++w) {
    pid_t pid = fork();
    if (pid == 0) _exit(WorkUntilEmpty() >= 0 ? 0 : 1);
    children.push_back(pid);
  }
  for (pid_t pid : children) waitpid(pid, nullptr, 0);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  SqliteContentStore store((home / "content.db").string());
  int ended = 0;
  for (const QueueEntry& e : store.ListEntries()) ended += e.state == QueueState::kDone ? 1 : 0;
  if (ended != entries) std::fprintf(stderr, "only %d of %d entries ended\n", ended, entries);
  return entries / seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const int entries = argc > 1 ? std::atoi(argv[1]) : 500;
  std::string pattern = (std::filesystem::temp_directory_path() / "tovrik-bench-XXXXXX").string();
  if (!mkdtemp(pattern.data())) return 1;
  const std::filesystem::path home = pattern;
  RegisterContentServerProviders();
  std::printf("embedded store, %d entries, each: OpenSession + NextInQueue + start + end\n",
              entries);
  for (int workers : {1, 2}) {
    double rate = Run(home / std::to_string(workers), workers, entries);
    std::printf("  %d worker process%s: %7.1f entries/s (%.2f ms per entry)\n", workers,
                workers == 1 ? " " : "es", rate, 1000.0 / rate);
  }
  std::filesystem::remove_all(home);
  return 0;
}
