// Two processes pulling from one queue on one SQLite file never get the same entry, and
// every entry is handed out once.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "contentserver/Components.h"
#include "contentserver/SiteProcess.h"

namespace tovrik {
namespace {

// One worker's loop through the components, as the driver calls them; writes each claimed
// entry number to its file. Returns the process exit code.
int WorkerLoop(const std::string& outPath) {
  std::ofstream out(outPath);
  for (int job = 0; job < 1000; ++job) {  // bounded: far more than the entries queued
    Variant n, t;
    int32_t session =
        CreateObject<ISessionManager>(kSessionManagerProgId, "")->OpenSession(1, "<root />", n, t);
    if (session <= 0) return 2;
    int32_t status = 0;
    std::string text;
    std::string xml = CreateObject<IPDFQueue>(kPDFQueueProgId, "")
                          ->NextInQueue(1, session, "<root />", status, text);
    if (status != 0) return 3;
    size_t open = xml.find("<queueentryid>");
    if (open == std::string::npos) return 0;  // the queue is empty
    const std::string id = xml.substr(open + 14, xml.find('<', open + 14) - open - 14);
    const std::string start = "<root><parameters><parameter name='QueueEntryID'>" + id +
                              "</parameter></parameters></root>";
    CreateObject<IPDFQueue>(kPDFQueueProgId, "")
        ->SetProcessingStarted(1, session, start, status, text);
    if (status != 0) return 4;
    const std::string end =
        "<root><parameters><parameter name='QueueEntryID'>" + id +
        "</parameter><parameter name='DocumentGenerated'>1</parameter><parameter "
        "name='ContainingDocuments'>1</parameter><parameter name='URL'></parameter><parameter "
        "name='Error'>0</parameter><parameter name='errorMessage'>Success</parameter>"
        "</parameters></root>";
    CreateObject<IPDFQueue>(kPDFQueueProgId, "")->SetProcessingEnded(1, session, end, status, text);
    if (status != 0) return 5;
    out << id << "\n" << std::flush;
  }
  return 6;
}

TEST(TwoWorkersTest, EveryEntryIsClaimedExactlyOnce) {
  testing::ScopedTovrikHome home;
  RegisterContentServerProviders();
  constexpr int kEntries = 200;
  for (int i = 0; i < kEntries; ++i)
    testing::SeedQueueEntry(home.path(), testing::MakeJob(i + 1, false));

  std::vector<pid_t> children;
  std::vector<std::string> outputs;
  for (int w = 0; w < 2; ++w) {
    outputs.push_back((home.path() / ("worker" + std::to_string(w))).string());
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) _exit(WorkerLoop(outputs.back()));
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }

  std::multiset<int> claimed;
  std::vector<size_t> perWorker;
  for (const std::string& path : outputs) {
    std::ifstream in(path);
    size_t count = 0;
    for (int id; in >> id; ++count) claimed.insert(id);
    perWorker.push_back(count);
  }
  EXPECT_EQ(claimed.size(), static_cast<size_t>(kEntries));
  EXPECT_EQ(std::set<int>(claimed.begin(), claimed.end()).size(), static_cast<size_t>(kEntries));
  std::string listing;
  ASSERT_EQ(testing::RunContentCommand(home.path(), {"queue", "--json"}, &listing), 0);
  size_t done = 0;
  for (size_t at = 0; (at = listing.find("\"state\": \"done\"", at)) != std::string::npos; ++at)
    ++done;
  EXPECT_EQ(done, static_cast<size_t>(kEntries));
}

}  // namespace
}  // namespace tovrik
