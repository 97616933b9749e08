// Queue entries claimed and ended per second, from 1, 2 and 4 worker processes, on the
// embedded store and on PostgreSQL side by side. Each worker makes the calls the driver makes
// for one job (OpenSession, NextInQueue, SetProcessingStarted, SetProcessingEnded), each on a
// new component object. PostgreSQL runs twice: with the per-process connection pool and with
// a new connection for every store object. Then the same load while a long transaction is
// open elsewhere (a read transaction on the SQLite file; a REPEATABLE READ snapshot on
// PostgreSQL, which keeps every dead row version of the queue alive).
//
// Usage: queue_claims SERVER_URI [ENTRIES] [TRAP_ENTRIES]
// SERVER_URI names a PostgreSQL server database where the benchmark may create and drop its
// own databases (scripts/with-services gives one as $TOVRIK_TEST_PG).

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "contentserver/Components.h"
#include "contentserver/PostgresConnection.h"
#include "contentserver/PostgresContentStore.h"

namespace {

using namespace tovrik;

enum class Backend { kEmbedded, kPostgresPooled, kPostgresPerCall };

int WorkUntilEmpty(const std::string& server) {
  int done = 0;
  for (;;) {
    Variant n, t;
    int32_t session = CreateObject<ISessionManager>(kSessionManagerProgId, server)
                          ->OpenSession(1, "<root />", n, t);
    int32_t status = 0;
    std::string text;
    std::string xml = CreateObject<IPDFQueue>(kPDFQueueProgId, server)
                          ->NextInQueue(1, session, "<root />", status, text);
    size_t at = xml.find("<queueentryid>");
    if (status != 0 || at == std::string::npos) return done;
    const std::string id = xml.substr(at + 14, xml.find('<', at + 14) - at - 14);
    CreateObject<IPDFQueue>(kPDFQueueProgId, server)
        ->SetProcessingStarted(1, session,
                               "<root><parameters><parameter name='QueueEntryID'>" + id +
                                   "</parameter></parameters></root>",
                               status, text);
    if (status != 0) return -1;
    CreateObject<IPDFQueue>(kPDFQueueProgId, server)
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

// A place for one run's store: a fresh state folder, or a fresh database on the server.
class RunStore {
 public:
  RunStore(Backend backend, const std::string& serverUri, const std::filesystem::path& home)
      : serverUri_(serverUri), home_(home) {
    std::filesystem::remove_all(home_);
    std::filesystem::create_directories(home_);
    setenv("TOVRIK_HOME", home_.c_str(), 1);
    if (backend != Backend::kEmbedded) {
      static int counter = 0;
      database_ = "tovrik_bench_" + std::to_string(getpid()) + "_" + std::to_string(counter++);
      const size_t slash = serverUri.find('/', serverUri.find("://") + 3);
      server_ = serverUri.substr(0, slash) + "/" + database_;
      PgConnection(PgTargetFor(serverUri_)).Exec("create", "CREATE DATABASE " + database_);
      MigratePostgresSchema(PgTargetFor(server_));
    }
  }
  ~RunStore() {
    PgConnectionPool::Instance().Clear();
    if (!database_.empty()) {
      PgConnection(PgTargetFor(serverUri_))
          .Exec("drop", "DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
    }
    std::filesystem::remove_all(home_);
  }
  const std::string& server() const { return server_; }  // "" for the embedded store
  const std::filesystem::path& home() const { return home_; }

 private:
  std::string serverUri_;
  std::filesystem::path home_;
  std::string database_;
  std::string server_;
};

// A transaction that stays open on another connection while the workers run.
class LongTransaction {
 public:
  explicit LongTransaction(const RunStore& store) {
    if (store.server().empty()) {
      sqlite3_open((store.home() / "content.db").c_str(), &sqlite_);
      sqlite3_exec(sqlite_, "BEGIN; SELECT count(*) FROM queue_entries;", nullptr, nullptr,
                   nullptr);
    } else {
      pg_ = std::make_unique<PgConnection>(PgTargetFor(store.server()));
      pg_->Exec("begin", "BEGIN ISOLATION LEVEL REPEATABLE READ");
      pg_->Exec("read", "SELECT count(*) FROM queue_entries");
    }
  }
  ~LongTransaction() {
    if (sqlite_) {
      sqlite3_exec(sqlite_, "COMMIT", nullptr, nullptr, nullptr);
      sqlite3_close(sqlite_);
    }
    if (pg_) pg_->Exec("end", "COMMIT");
  }

 private:
  sqlite3* sqlite_ = nullptr;
  std::unique_ptr<PgConnection> pg_;
};

// Entries ended per second; negative when a worker failed or entries were left over.
double Run(Backend backend, const std::string& serverUri, int workers, int entries,
           bool longTransaction) {
  RunStore store(backend, serverUri, "/tmp/tovrik-bench-queue-" + std::to_string(getpid()));
  {
    std::unique_ptr<ContentStore> s = OpenContentStore(store.server());
    QueueJob job;
    job.optionsxml = "<root/>";
    job.documentid = "1";
    job.documentname = "bench";
    job.submitter = "bench";
    for (int i = 0; i < entries; ++i) s->Enqueue(job);
  }
  PgConnectionPool::Instance().Clear();
  std::unique_ptr<LongTransaction> open;
  if (longTransaction) open = std::make_unique<LongTransaction>(store);

  std::fflush(stdout);  // children must not repeat buffered output
  const auto start = std::chrono::steady_clock::now();
  std::vector<pid_t> children;
  for (int w = 0; w < workers; ++w) {
    pid_t pid = fork();
    if (pid == 0) {
      if (backend == Backend::kPostgresPerCall) PgConnectionPool::Instance().SetCapacity(0);
      int done = -1;
      try {
        done = WorkUntilEmpty(store.server());
      } catch (const std::exception& e) {
        std::fprintf(stderr, "worker: %s\n", e.what());
      }
      _exit(done >= 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  bool failed = false;
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    failed = failed || !WIFEXITED(status) || WEXITSTATUS(status) != 0;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  open.reset();
  int ended = 0;
  for (const QueueEntry& e : OpenContentStore(store.server())->ListEntries()) {
    ended += e.state == QueueState::kDone ? 1 : 0;
  }
  if (failed || ended != entries) return -1;
  return entries / seconds;
}

std::string Cell(double perSecond) {
  char text[32];
  if (perSecond < 0) return "failed";
  std::snprintf(text, sizeof text, "%.0f", perSecond);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: queue_claims SERVER_URI [ENTRIES] [TRAP_ENTRIES]\n");
    return 2;
  }
  const std::string server = argv[1];
  const int entries = argc > 2 ? std::atoi(argv[2]) : 500;
  const int trapEntries = argc > 3 ? std::atoi(argv[3]) : 4000;
  RegisterContentServerProviders();

  // Warm-up: the first run pays for loading the program and the libraries' first use.
  Run(Backend::kEmbedded, server, 1, 50, false);
  Run(Backend::kPostgresPooled, server, 1, 50, false);

  std::printf("Entries claimed, started and ended per second (%d entries per run)\n", entries);
  std::printf("%-8s %10s %10s %10s | %12s %12s\n", "workers", "embedded", "pg pool", "pg conn/call",
              "embedded+ltx", "pg pool+ltx");
  for (int workers : {1, 2, 4}) {
    const double e = Run(Backend::kEmbedded, server, workers, entries, false);
    const double p = Run(Backend::kPostgresPooled, server, workers, entries, false);
    const double c = Run(Backend::kPostgresPerCall, server, workers, entries, false);
    const double el = Run(Backend::kEmbedded, server, workers, entries, true);
    const double pl = Run(Backend::kPostgresPooled, server, workers, entries, true);
    std::printf("%-8d %10s %10s %10s | %12s %12s\n", workers, Cell(e).c_str(), Cell(p).c_str(),
                Cell(c).c_str(), Cell(el).c_str(), Cell(pl).c_str());
    std::fflush(stdout);
  }
  std::printf("\nA deeper queue (%d entries, 4 workers), without and with a long transaction\n",
              trapEntries);
  std::printf("%-10s %10s %10s\n", "store", "plain", "long tx");
  for (Backend b : {Backend::kEmbedded, Backend::kPostgresPooled}) {
    const double plain = Run(b, server, 4, trapEntries, false);
    const double held = Run(b, server, 4, trapEntries, true);
    std::printf("%-10s %10s %10s\n", b == Backend::kEmbedded ? "embedded" : "postgres",
                Cell(plain).c_str(), Cell(held).c_str());
    std::fflush(stdout);
  }
  return 0;
}
