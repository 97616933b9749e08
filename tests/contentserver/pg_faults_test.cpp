// Faults of a fleet on PostgreSQL: a worker killed mid-job (its entry comes back after the
// lease and another worker does it; the dead worker's late report is refused), an entry that
// kills every worker (it ends failed after its attempts), and the database server stopped and
// restarted under a running worker (calls fail with a clear error, then work again).

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "contentserver/Components.h"
#include "contentserver/PgCluster.h"
#include "contentserver/PostgresConnection.h"
#include "contentserver/PostgresContentStore.h"
#include "contentserver/StoreFixture.h"

namespace tovrik {
namespace {

std::string StartRequest(int32_t id) {
  return "<root><parameters><parameter name='QueueEntryID'>" + std::to_string(id) +
         "</parameter></parameters></root>";
}

std::string EndRequest(int32_t id, int32_t document, int32_t error, const std::string& message) {
  return "<root><parameters><parameter name='QueueEntryID'>" + std::to_string(id) +
         "</parameter><parameter name='DocumentGenerated'>" + std::to_string(document) +
         "</parameter><parameter name='ContainingDocuments'></parameter><parameter "
         "name='URL'></parameter><parameter name='Error'>" +
         std::to_string(error) + "</parameter><parameter name='errorMessage'>" + message +
         "</parameter></parameters></root>";
}

// A worker's calls on one server, each on a new component object.
struct Worker {
  std::string server;
  int32_t session = 0;

  void Open() {
    Variant n, t;
    session = CreateObject<ISessionManager>(kSessionManagerProgId, server)
                  ->OpenSession(1, "<root />", n, t);
  }
  // The entry number handed out, 0 when the queue had none.
  int32_t Next() {
    int32_t status = 0;
    std::string text;
    const std::string xml = CreateObject<IPDFQueue>(kPDFQueueProgId, server)
                                ->NextInQueue(1, session, "<root />", status, text);
    const size_t open = xml.find("<queueentryid>");
    return open == std::string::npos ? 0 : std::stoi(xml.substr(open + 14));
  }
  StoreStatus Start(int32_t id) {
    StoreStatus s;
    CreateObject<IPDFQueue>(kPDFQueueProgId, server)
        ->SetProcessingStarted(1, session, StartRequest(id), s.status, s.text);
    return s;
  }
  StoreStatus End(int32_t id, int32_t document, int32_t error, const std::string& message) {
    StoreStatus s;
    CreateObject<IPDFQueue>(kPDFQueueProgId, server)
        ->SetProcessingEnded(1, session, EndRequest(id, document, error, message), s.status,
                             s.text);
    return s;
  }
};

// A worker process that takes an entry, starts it, tells the parent "session entry" and then
// hangs, as a worker stuck in a page would, until it is killed.
struct HangingWorker {
  pid_t pid = -1;
  int32_t session = 0;
  int32_t entry = 0;

  explicit HangingWorker(const std::string& server) {
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
      close(fds[0]);
      Worker w{server};
      std::string line = "0 0\n";
      try {
        w.Open();
        const int32_t id = w.Next();
        if (id > 0 && w.Start(id).ok()) {
          line = std::to_string(w.session) + " " + std::to_string(id) + "\n";
        }
      } catch (const std::exception&) {
      }
      if (write(fds[1], line.data(), line.size()) < 0) _exit(2);
      for (;;) pause();
    }
    close(fds[1]);
    std::string text;
    pollfd p{fds[0], POLLIN, 0};
    char buf[64];
    while (text.find('\n') == std::string::npos && poll(&p, 1, 20000) > 0) {
      const ssize_t n = read(fds[0], buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    sscanf(text.c_str(), "%d %d", &session, &entry);
  }
  void Kill() {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
  }
  ~HangingWorker() { Kill(); }
};

// Asks for the next entry until one comes or the time is up (the lease must expire first).
int32_t NextWithin(Worker& w, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (const int32_t id = w.Next(); id != 0) return id;
    if (std::chrono::steady_clock::now() > deadline) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

class PgFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TOVRIK_REQUIRE_TEST_PG(server);
    RegisterContentServerProviders();
    database_ = std::make_unique<testing::TestDatabase>(*server);
    std::unique_ptr<ContentStore> store = OpenContentStore(database_->uri());
    store->WriteSetting("QueueLeaseSeconds", "1");
    PgConnectionPool::Instance().Clear();  // the children start without inherited ones
  }
  std::unique_ptr<ContentStore> Store() { return OpenContentStore(database_->uri()); }

  testing::ScopedTovrikHome home_;
  std::unique_ptr<testing::TestDatabase> database_;
};

TEST_F(PgFaultsTest, KilledWorkersEntryIsRedoneAndItsLateReportIsRefused) {
  const int32_t id = Store()->Enqueue(testing::MakeJob(3, false));
  HangingWorker dead(database_->uri());
  ASSERT_EQ(dead.entry, id);
  dead.Kill();

  Worker next{database_->uri()};
  next.Open();
  ASSERT_EQ(NextWithin(next, std::chrono::seconds(15)), id);
  EXPECT_EQ(Store()->FindEntry(id)->attempts, 2);
  ASSERT_TRUE(next.Start(id).ok());
  ASSERT_TRUE(next.End(id, 77, 0, "Success").ok());

  // The dead worker's reports, arriving late, are refused and change nothing: here the entry
  // has ended; below, the new owner still holds it.
  Worker late{database_->uri(), dead.session};
  const StoreStatus lateStart = late.Start(id);
  EXPECT_EQ(lateStart.status, kStoreAlreadyEnded);
  const StoreStatus lateEnd = late.End(id, 0, 13, "Type mismatch");
  EXPECT_EQ(lateEnd.status, kStoreAlreadyEnded);
  QueueEntry entry = *Store()->FindEntry(id);
  EXPECT_EQ(entry.state, QueueState::kDone);
  EXPECT_EQ(entry.outcome->documentGenerated, 77);
  EXPECT_EQ(entry.leaseSession, next.session);

  // While the new owner still holds the lease, the old one is told it holds none.
  const int32_t second = Store()->Enqueue(testing::MakeJob(4, false));
  HangingWorker dead2(database_->uri());
  ASSERT_EQ(dead2.entry, second);
  dead2.Kill();
  ASSERT_EQ(NextWithin(next, std::chrono::seconds(15)), second);
  ASSERT_TRUE(next.Start(second).ok());
  Worker late2{database_->uri(), dead2.session};
  EXPECT_EQ(late2.End(second, 0, 13, "late").text, "Queue entry " + std::to_string(second) +
                                                       " is not leased to session " +
                                                       std::to_string(dead2.session));
  EXPECT_EQ(late2.Start(second).status, kStoreNotLeased);
  EXPECT_TRUE(next.End(second, 78, 0, "Success").ok());
  entry = *Store()->FindEntry(second);
  EXPECT_EQ(entry.outcome->documentGenerated, 78);
  int refused = 0;
  for (const QueueReport& r : Store()->ReportsOf(second)) {
    if (!r.accepted) {
      ++refused;
      EXPECT_EQ(r.sessionId, dead2.session);
      EXPECT_EQ(r.attempt, 2);  // refused during the second lease
    }
  }
  EXPECT_EQ(refused, 2);
}

TEST_F(PgFaultsTest, EntryThatKillsEveryWorkerEndsFailedAfterItsAttempts) {
  Store()->WriteSetting("QueueMaxAttempts", "2");
  const int32_t id = Store()->Enqueue(testing::MakeJob(5, false));
  int32_t lastSession = 0;
  for (int attempt = 1; attempt <= 2; ++attempt) {
    // Wait for the entry to come back, then let the next worker take it and die too.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    std::unique_ptr<HangingWorker> dying;
    do {
      if (dying) {
        dying->Kill();  // it found nothing: the lease still held
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
      }
      dying = std::make_unique<HangingWorker>(database_->uri());
    } while (dying->entry == 0 && std::chrono::steady_clock::now() < deadline);
    ASSERT_EQ(dying->entry, id) << "attempt " << attempt;
    lastSession = dying->session;
  }
  Worker w{database_->uri()};
  w.Open();
  EXPECT_EQ(NextWithin(w, std::chrono::seconds(3)), 0);  // the sweep ends it; nothing to take
  const QueueEntry entry = *Store()->FindEntry(id);
  EXPECT_EQ(entry.state, QueueState::kFailed);
  ASSERT_TRUE(entry.outcome);
  EXPECT_EQ(entry.outcome->error, kStoreAttemptsExhausted);
  EXPECT_EQ(entry.outcome->errorMessage, "Abandoned after 2 attempts: the lease of session " +
                                             std::to_string(lastSession) +
                                             " expired without an end report");
}

TEST(PgRestartTest, CallsFailClearlyWhileTheServerIsDownAndTheWorkerGoesOnAfterwards) {
  TOVRIK_REQUIRE_TEST_PG(unused);
  testing::ScopedTovrikHome home;
  RegisterContentServerProviders();
  testing::PgCluster cluster;
  PgConnection(PgTargetFor(cluster.Uri("postgres"))).Exec("create", "CREATE DATABASE tovrik");
  const std::string server = cluster.Uri("tovrik");
  MigratePostgresSchema(PgTargetFor(server));
  const int32_t first = OpenContentStore(server)->Enqueue(testing::MakeJob(1, false));
  const int32_t second = OpenContentStore(server)->Enqueue(testing::MakeJob(2, false));
  OpenContentStore(server)->WriteSetting("SiteURL", "http://127.0.0.1:8080/");

  Worker w{server};
  w.Open();
  ASSERT_EQ(w.Next(), first);
  ASSERT_TRUE(w.Start(first).ok());
  auto settings = CreateObject<ISettingManager>(kSettingManagerProgId, server);

  cluster.Stop();  // mid-job
  Variant h1(""), h2(""), result;
  try {
    settings->ReadSetting(1, Variant(w.session), "SiteURL", h1, h2, result);
    ADD_FAILURE() << "a call with the server down succeeded";
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.number(), kServerUnavailable);
    EXPECT_EQ(
        e.description().rfind(
            "The RPC server is unavailable: content store '" + server + "': cannot connect: ", 0),
        0u)
        << e.description();
  }
  try {
    CreateObject<IPDFQueue>(kPDFQueueProgId, server);
    ADD_FAILURE() << "a component was created with the server down";
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.number(), kServerUnavailable);
  }

  cluster.Start();
  // The worker reports the failure of the job under way, then goes on with the next entry.
  const StoreStatus ended = w.End(first, 0, kServerUnavailable, "Reading the site URL: down");
  EXPECT_TRUE(ended.ok()) << ended.text;
  Worker after{server};
  after.Open();
  ASSERT_EQ(after.Next(), second);
  EXPECT_TRUE(after.Start(second).ok());

  // A restart between calls is not even noticed: idle pooled connections that the server
  // closed are dropped and new ones opened.
  cluster.Restart();
  EXPECT_TRUE(after.End(second, 9, 0, "Success").ok());
  const std::vector<QueueEntry> entries = OpenContentStore(server)->ListEntries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].state, QueueState::kFailed);
  EXPECT_EQ(entries[0].outcome->errorMessage, "Reading the site URL: down");
  EXPECT_EQ(entries[1].state, QueueState::kDone);
  PgConnectionPool::Instance().Clear();
}

}  // namespace
}  // namespace tovrik
