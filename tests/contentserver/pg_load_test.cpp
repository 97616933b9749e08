// Four worker processes take 500 entries from one PostgreSQL queue through the components, as
// the driver calls them: every entry is handed out once, ends once, with its outcome and its
// two reports recorded.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <map>
#include <thread>

#include "contentserver/Components.h"
#include "contentserver/PostgresConnection.h"
#include "contentserver/StoreFixture.h"

namespace tovrik {
namespace {

// The outcome a worker reports for entry id: every seventh fails, the others store document
// id * 10.
QueueOutcome OutcomeFor(int32_t id) {
  if (id % 7 == 0) return {0, "", "", 4568, "No PDF files could be generated"};
  return {id * 10, std::to_string(id), "", 0, "Success"};
}

std::string EndRequest(int32_t id) {
  const QueueOutcome o = OutcomeFor(id);
  return "<root><parameters><parameter name='QueueEntryID'>" + std::to_string(id) +
         "</parameter><parameter name='DocumentGenerated'>" + std::to_string(o.documentGenerated) +
         "</parameter><parameter name='ContainingDocuments'>" + o.containingDocuments +
         "</parameter><parameter name='URL'></parameter><parameter name='Error'>" +
         std::to_string(o.error) + "</parameter><parameter name='errorMessage'>" + o.errorMessage +
         "</parameter></parameters></root>";
}

// One worker: a session per job, then next, start and end, each on a new component object.
// Writes each entry it ended to its file. Returns the process exit code.
int WorkerLoop(const std::string& server, const std::string& outPath) {
  std::ofstream out(outPath);
  for (int job = 0; job < 2000; ++job) {  // bounded: far more than the entries queued
    Variant n, t;
    const int32_t session = CreateObject<ISessionManager>(kSessionManagerProgId, server)
                                ->OpenSession(1, "<root />", n, t);
    if (session <= 0) return 2;
    int32_t status = 0;
    std::string text;
    const std::string xml = CreateObject<IPDFQueue>(kPDFQueueProgId, server)
                                ->NextInQueue(1, session, "<root />", status, text);
    if (status != 0) return 3;
    const size_t open = xml.find("<queueentryid>");
    if (open == std::string::npos) return 0;  // the queue is empty
    const int32_t id = std::stoi(xml.substr(open + 14));
    const std::string start = "<root><parameters><parameter name='QueueEntryID'>" +
                              std::to_string(id) + "</parameter></parameters></root>";
    CreateObject<IPDFQueue>(kPDFQueueProgId, server)
        ->SetProcessingStarted(1, session, start, status, text);
    if (status != 0) return 4;
    CreateObject<IPDFQueue>(kPDFQueueProgId, server)
        ->SetProcessingEnded(1, session, EndRequest(id), status, text);
    if (status != 0) return 5;
    out << id << "\n" << std::flush;
  }
  return 6;
}

TEST(PgLoadTest, FourWorkerProcessesEndEveryEntryExactlyOnce) {
  TOVRIK_REQUIRE_TEST_PG(server);
  testing::ScopedTovrikHome home;
  testing::TestDatabase database(*server);
  RegisterContentServerProviders();
  constexpr int kEntries = 500;
  constexpr int kWorkers = 4;
  {
    std::unique_ptr<ContentStore> store = OpenContentStore(database.uri());
    for (int i = 0; i < kEntries; ++i) store->Enqueue(testing::MakeJob(i + 1, i % 3 == 0));
  }
  PgConnectionPool::Instance().Clear();

  std::vector<pid_t> children;
  std::vector<std::string> outputs;
  for (int w = 0; w < kWorkers; ++w) {
    outputs.push_back((home.path() / ("worker" + std::to_string(w))).string());
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int code = 7;
      try {
        code = WorkerLoop(database.uri(), outputs.back());
      } catch (const std::exception& e) {
        fprintf(stderr, "worker %d: %s\n", w, e.what());
      }
      _exit(code);
    }
    children.push_back(pid);
  }
  // Bounded wait: a worker that hangs is killed and the test fails.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(150);
  for (pid_t pid : children) {
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) == 0 &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (done == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << "worker " << pid << " did not finish in time";
      continue;
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "worker status " << status;
  }

  std::map<int32_t, int> endedBy;  // entry -> times a worker ended it
  for (const std::string& path : outputs) {
    std::ifstream in(path);
    for (int32_t id; in >> id;) ++endedBy[id];
  }
  EXPECT_EQ(endedBy.size(), static_cast<size_t>(kEntries));
  for (const auto& [id, times] : endedBy) EXPECT_EQ(times, 1) << "entry " << id;

  std::unique_ptr<ContentStore> store = OpenContentStore(database.uri());
  const std::vector<QueueEntry> entries = store->ListEntries();
  ASSERT_EQ(entries.size(), static_cast<size_t>(kEntries));
  for (const QueueEntry& e : entries) {
    const QueueOutcome expected = OutcomeFor(e.id);
    EXPECT_EQ(e.state, expected.error == 0 ? QueueState::kDone : QueueState::kFailed) << e.id;
    EXPECT_EQ(e.attempts, 1) << e.id;
    ASSERT_TRUE(e.outcome) << e.id;
    EXPECT_EQ(e.outcome->documentGenerated, expected.documentGenerated) << e.id;
    EXPECT_EQ(e.outcome->error, expected.error) << e.id;
    EXPECT_EQ(e.outcome->errorMessage, expected.errorMessage) << e.id;
    const std::vector<QueueReport> reports = store->ReportsOf(e.id);
    ASSERT_EQ(reports.size(), 2u) << e.id;
    EXPECT_TRUE(reports[0].accepted && reports[1].accepted) << e.id;
    EXPECT_EQ(reports[0].sessionId, e.leaseSession) << e.id;
    EXPECT_EQ(reports[1].request, EndRequest(e.id));
  }
}

}  // namespace
}  // namespace tovrik
