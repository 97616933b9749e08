// The print server as a process with real Chromium, driven through the client objects:
// isolation and readiness, a browser killed mid-job, the queue bound, and shutdown.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <future>
#include <nlohmann/json.hpp>
#include <thread>

#include "printserver/ClientObjects.h"
#include "printserver/PdfTools.h"
#include "printserver/PrintServerProcess.h"
#include "printserver/TestSite.h"

namespace tovrik::printserver {
namespace {

using Json = nlohmann::json;
using testing::PrintServerProcess;

struct Printed {
  std::string result;
  std::string path;
};

// One job through the client objects, as MakePDF runs it.
Printed PrintOne(int port, const std::string& url, int16_t loadTimeout = 30,
                 int16_t totalTimeout = 60) {
  auto grabber = MakeWebGrabber();
  auto server = MakePrt2Disk();
  grabber->SetURL(url);
  grabber->SetTimeout(loadTimeout);
  grabber->SetPrt2DiskSettings(server->ToString());
  grabber->DoPrint("127.0.0.1", port);
  Printed out;
  out.result = grabber->Wait("127.0.0.1", port, totalTimeout, "011012014019");
  if (out.result == "019") {
    server->FromString(grabber->Prt2DiskSettings());
    out.path = server->FullDocumentPath();
  }
  grabber->CleanUp("127.0.0.1", port);
  return out;
}

Json Health(const PrintServerProcess& server) {
  std::string text = server.Health();
  return text.empty() ? Json::object() : Json::parse(text);
}

// Waits (bounded) until the server reports `running` jobs under way.
bool WaitForRunning(const PrintServerProcess& server, int running) {
  for (int i = 0; i < 400; ++i) {
    if (Health(server).value("running", -1) == running) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

bool GroupGone(pid_t group) { return ::kill(-group, 0) == -1 && errno == ESRCH; }

class PrintServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::filesystem::temp_directory_path() /
            ("tovrik-print-server-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(home_);
  }
  void TearDown() override { std::filesystem::remove_all(home_); }
  // Servers use the reused tab unless a test names its isolation.
  std::unique_ptr<PrintServerProcess> Start(std::vector<std::string> args) {
    if (std::find(args.begin(), args.end(), "--isolation") == args.end()) {
      args.push_back("--isolation");
      args.push_back("reuse-tab");
    }
    return std::make_unique<PrintServerProcess>(
        testing::PrintServerOptions{home_.string(), std::move(args)});
  }
  std::filesystem::path home_;
  testing::TestSite site_;
};

TEST_F(PrintServerTest, JobsAreIsolatedInEitherMode) {
  for (const char* mode : {"reuse-tab", "context"}) {
    SCOPED_TRACE(mode);
    auto server = Start({"--pool", "1", "--isolation", mode});
    ASSERT_EQ(PrintOne(server->port(), site_.Url("/cookie-set")).result, "019");
    Printed shown = PrintOne(server->port(), site_.Url("/cookie-show"));
    ASSERT_EQ(shown.result, "019");
    EXPECT_NE(testing::PdfText(shown.path).find("cookies: [none]"), std::string::npos)
        << "a cookie of the previous job reached this one";

    ASSERT_EQ(PrintOne(server->port(), site_.Url("/storage-set")).result, "019");
    // Twice: the second job runs after a job that only read.
    for (int round = 0; round < 2; ++round) {
      Printed storage = PrintOne(server->port(), site_.Url("/storage-show"));
      ASSERT_EQ(storage.result, "019");
      EXPECT_NE(testing::PdfText(storage.path).find("local: [none] session: [none] cookie: [none]"),
                std::string::npos)
          << "storage of an earlier job reached this one: " << testing::PdfText(storage.path);
    }
    // A failed job's tab is not reused; the next job still prints.
    EXPECT_EQ(PrintOne(server->port(), site_.Url("/missing")).result, "014");
    EXPECT_EQ(PrintOne(server->port(), site_.Url("/storage-show")).result, "019");
  }
}

TEST_F(PrintServerTest, PagesReadyBeforePrinting) {
  auto server = Start({"--pool", "1"});

  Printed lazy = PrintOne(server->port(), site_.Url("/lazy"));
  ASSERT_EQ(lazy.result, "019");
  EXPECT_GE(site_.LazyImageRequests(), 1) << "the lazy picture was never loaded";
  EXPECT_NE(testing::PdfText(lazy.path).find("After the picture"), std::string::npos);

  Printed late = PrintOne(server->port(), site_.Url("/late-fetch"));
  ASSERT_EQ(late.result, "019");
  EXPECT_NE(testing::PdfText(late.path).find("late data arrived"), std::string::npos)
      << "printed before a request started after the load event had finished";

  Json health = Health(*server);
  EXPECT_EQ(health["status"], "ok");
  EXPECT_EQ(health["jobs"], 2);
  EXPECT_EQ(health["printed"], 2);
  EXPECT_EQ(health["failures"], 0);
  EXPECT_EQ(health["queue"], 0);
  EXPECT_EQ(health["pool"].size(), 1u);
  EXPECT_EQ(health["outputDirectory"], (home_ / "pdf-output").string());
}

TEST_F(PrintServerTest, KilledBrowserFailsItsJobAtOnceAndIsReplaced) {
  auto server = Start({"--pool", "1"});
  // The page never arrives; only the browser's death can end the job before its time-outs.
  auto job = std::async(std::launch::async,
                        [&] { return PrintOne(server->port(), site_.Url("/slow"), 300, 300); });
  ASSERT_TRUE(WaitForRunning(*server, 1));
  pid_t browser = Health(*server)["pool"][0]["pid"].get<pid_t>();
  ASSERT_GT(browser, 0);
  ASSERT_EQ(::kill(browser, SIGKILL), 0);
  EXPECT_EQ(job.get().result, "014");

  Printed next = PrintOne(server->port(), site_.Url("/article/3"));
  EXPECT_EQ(next.result, "019");
  Json health = Health(*server);
  EXPECT_EQ(health["restarts"], 1);
  EXPECT_NE(health["pool"][0]["pid"].get<pid_t>(), browser);
}

TEST_F(PrintServerTest, QueueBoundShutdownAndNoBrowserLeftBehind) {
  auto server = Start({"--pool", "1", "--queue-limit", "1", "--drain-seconds", "1"});
  const int port = server->port();
  auto running =
      std::async(std::launch::async, [&] { return PrintOne(port, site_.Url("/slow"), 300, 300); });
  ASSERT_TRUE(WaitForRunning(*server, 1));
  auto queued =
      std::async(std::launch::async, [&] { return PrintOne(port, site_.Url("/slow"), 300, 300); });
  for (int i = 0; i < 200 && Health(*server).value("queue", 0) != 1; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  ASSERT_EQ(Health(*server)["queue"], 1);
  // Beyond the bound: refused with a printer error.
  EXPECT_EQ(PrintOne(port, site_.Url("/article/1")).result, "014");
  EXPECT_EQ(Health(*server)["refused"], 1);

  std::vector<pid_t> browsers;
  for (const Json& slot : Health(*server)["pool"]) browsers.push_back(slot["pid"].get<pid_t>());
  int status = server->Stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(running.get().result, "012");
  EXPECT_EQ(queued.get().result, "012");
  for (pid_t group : browsers) EXPECT_TRUE(GroupGone(group)) << "browser group " << group;

  // Nobody listens any more.
  EXPECT_EQ(PrintOne(port, site_.Url("/article/1")).result, "011");
}

}  // namespace
}  // namespace tovrik::printserver
