// MakePDF through the real client objects against a fake print server on loopback: every
// result code, the settings that reach the server, and the address override.

#include <gtest/gtest.h>
#include <httplib.h>
#include <stdlib.h>

#include <mutex>
#include <nlohmann/json.hpp>
#include <thread>

#include "pdf/ActivePDF.h"
#include "pdf/CPDFFetcher.h"
#include "printserver/ClientObjects.h"

namespace tovrik {
namespace {

using Json = nlohmann::json;

// Answers the print protocol the way a test tells it to.
class FakePrintServer {
 public:
  int postStatus = 202;
  Json postBody = {{"id", "AB-1"}, {"state", "queued"}};
  int getStatus = 200;
  Json getBody = {{"id", "AB-1"}, {"state", "done"}, {"result", "019"}, {"path", "/out/X.pdf"}};

  FakePrintServer() {
    server_.Post("/jobs", [this](const httplib::Request& req, httplib::Response& res) {
      std::scoped_lock lock(mutex_);
      requests_.push_back(Json::parse(req.body));
      res.status = postStatus;
      res.set_content(postBody.dump(), "application/json");
    });
    server_.Get(R"(/jobs/(.+))", [this](const httplib::Request&, httplib::Response& res) {
      std::scoped_lock lock(mutex_);
      ++polls_;
      res.status = getStatus;
      res.set_content(getBody.dump(), "application/json");
    });
    server_.Delete(R"(/jobs/(.+))", [this](const httplib::Request& req, httplib::Response& res) {
      std::scoped_lock lock(mutex_);
      deleted_.push_back(req.matches[1]);
      res.set_content("{}", "application/json");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    // stop() only works once the server runs.
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~FakePrintServer() {
    server_.stop();
    thread_.join();
  }
  std::string address() const { return "127.0.0.1:" + std::to_string(port_); }
  Json lastRequest() {
    std::scoped_lock lock(mutex_);
    return requests_.empty() ? Json() : requests_.back();
  }
  std::vector<std::string> deleted() {
    std::scoped_lock lock(mutex_);
    return deleted_;
  }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::mutex mutex_;
  std::vector<Json> requests_;
  std::vector<std::string> deleted_;
  int polls_ = 0;
};

class FetcherClientTest : public ::testing::Test {
 protected:
  void SetUp() override {
    printserver::RegisterClientObjects();
    setenv("TOVRIK_PRINT_SERVER", fake.address().c_str(), 1);
  }
  void TearDown() override {
    unsetenv("TOVRIK_PRINT_SERVER");
    UnregisterProvider(kWebGrabberProgId);
    UnregisterProvider(kPrt2DiskProgId);
  }
  bool Make(const std::string& xml) {
    return CPDFFetcher().MakePDF("http://127.0.0.1:1/page", xml + std::string(1, '\0'), retFile,
                                 status, statusText, errorPoint);
  }
  FakePrintServer fake;
  std::string retFile, statusText, errorPoint;
  int32_t status = 0;
};

TEST_F(FetcherClientTest, EveryResultCodeOfTheServer) {
  struct Case {
    int postStatus;
    Json postBody;
    int getStatus;
    Json getBody;
    bool ok;
    int32_t status;
    std::string text;
  };
  const Json accepted = {{"id", "AB-1"}};
  auto done = [](const char* result) {
    return Json{{"id", "AB-1"}, {"state", "done"}, {"result", result}, {"path", "/out/X.pdf"}};
  };
  const std::vector<Case> cases = {
      {202, accepted, 200, done("019"), true, 0, "Success"},
      {202, accepted, 200, done("014"), false, 1009, "Webgrabber printer error"},
      {202, accepted, 200, done("012"), false, 1010, "Webgrabber connect cancelled"},
      {202, accepted, 200, done("099"), false, 99, "PDF server time out."},
      {202, accepted, 200, done("013"), false, 1012, "Webgrabber other error: 013"},
      // Refused at DoPrint: a full queue, a server shutting down, a request it cannot print.
      {503,
       {{"result", "014"}, {"reason", "queue full"}},
       200,
       done("019"),
       false,
       1009,
       "Webgrabber printer error"},
      {503, {{"result", "012"}}, 200, done("019"), false, 1010, "Webgrabber connect cancelled"},
      {400, {{"result", "014"}}, 200, done("019"), false, 1009, "Webgrabber printer error"},
      // The server forgot the job (it restarted).
      {202,
       accepted,
       404,
       {{"reason", "unknown job"}},
       false,
       1010,
       "Webgrabber connect cancelled"},
  };
  for (const Case& c : cases) {
    fake.postStatus = c.postStatus;
    fake.postBody = c.postBody;
    fake.getStatus = c.getStatus;
    fake.getBody = c.getBody;
    EXPECT_EQ(Make("<pdf/>"), c.ok) << c.getBody;
    EXPECT_EQ(status, c.status) << c.getBody;
    EXPECT_EQ(statusText, c.text);
    EXPECT_EQ(retFile, c.ok ? "/out/X.pdf" : "");
    EXPECT_EQ(errorPoint, "WebGrabber.CleanUp: ");
  }
}

TEST_F(FetcherClientTest, ServerDownGivesConnectFailed) {
  std::string address;
  {
    FakePrintServer gone;
    address = gone.address();
  }
  setenv("TOVRIK_PRINT_SERVER", address.c_str(), 1);
  EXPECT_FALSE(Make("<pdf/>"));
  EXPECT_EQ(status, 1011);
  EXPECT_EQ(statusText, "Webgrabber connect failed");
}

TEST_F(FetcherClientTest, NoResultWithinTheTotalTimeOutCancelsTheJob) {
  fake.getBody = {{"id", "AB-1"}, {"state", "running"}};
  EXPECT_FALSE(Make("<pdf><totaltimeout>1</totaltimeout></pdf>"));
  EXPECT_EQ(status, 99);
  EXPECT_EQ(statusText, "PDF server time out.");
  EXPECT_EQ(fake.deleted(), std::vector<std::string>{"AB-1"});
}

TEST_F(FetcherClientTest, SettingsReachTheServer) {
  ASSERT_TRUE(
      Make("<pdf><orientation>2</orientation><papersize>9</papersize><title>T</title>"
           "<topmargin>254</topmargin><iefooter>&amp;p / &amp;P</iefooter><timeout>30</timeout>"
           "<printquality>600</printquality><waitbeforeprint>100</waitbeforeprint></pdf>"));
  Json r = fake.lastRequest();
  EXPECT_EQ(r["url"], "http://127.0.0.1:1/page");
  EXPECT_EQ(r["prt2disk"]["orientation"], 2);
  EXPECT_EQ(r["prt2disk"]["papersize"], 9);
  EXPECT_EQ(r["prt2disk"]["PDFTitle"], "T");
  EXPECT_EQ(r["prt2disk"]["printquality"], 600);  // kept though Chromium has no use for it
  EXPECT_EQ(r["prt2disk"]["UseStaticPool"], true);
  EXPECT_FALSE(r["prt2disk"].contains("scaling"));
  EXPECT_DOUBLE_EQ(r["webgrabber"]["IETopMargin"].get<double>(), 10.0);
  EXPECT_EQ(r["webgrabber"]["iefooter"], "&p / &P");
  EXPECT_EQ(r["webgrabber"]["timeout"], 30);
  EXPECT_EQ(r["webgrabber"]["IEDomain"], ".");
  EXPECT_EQ(r["webgrabber"]["WaitBeforePrint"], 100);
  EXPECT_EQ(r["webgrabber"]["MainFont"]["name"], "Tahoma");
  EXPECT_EQ(r["webgrabber"]["MainFont"]["size"], 10);
  EXPECT_EQ(fake.deleted(), std::vector<std::string>{"AB-1"});  // CleanUp
}

TEST(ClientObjectsTest, AddressOverrideAndSettingsRoundTrip) {
  unsetenv("TOVRIK_PRINT_SERVER");
  auto a = printserver::EffectiveServerAddress("127.0.0.1", 64320);
  EXPECT_EQ(a.host, "127.0.0.1");
  EXPECT_EQ(a.port, 64320);
  setenv("TOVRIK_PRINT_SERVER", "127.0.0.1:64399", 1);
  a = printserver::EffectiveServerAddress("127.0.0.1", 64320);
  EXPECT_EQ(a.port, 64399);
  setenv("TOVRIK_PRINT_SERVER", "nonsense", 1);
  EXPECT_EQ(printserver::EffectiveServerAddress("127.0.0.1", 64320).port, 64320);
  unsetenv("TOVRIK_PRINT_SERVER");

  auto p = printserver::MakePrt2Disk();
  p->SetPDFTitle("Ünïcode & <markup>");
  p->SetOrientation(2);
  auto q = printserver::MakePrt2Disk();
  q->FromString(p->ToString());
  EXPECT_EQ(q->ToString(), p->ToString());
  EXPECT_EQ(q->FullDocumentPath(), "");
  try {
    q->FromString("not settings");
    ADD_FAILURE();
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.number(), kErrInvalidArgument);
  }

  printserver::RegisterClientObjects();
  EXPECT_NE(CreateObject<IWebGrabber>("apwebgrabber.object", ""), nullptr);
  try {
    CreateObject<IPrt2Disk>(kPrt2DiskProgId, "otherhost");
    ADD_FAILURE();
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.number(), kServerUnavailable);
  }
  UnregisterProvider(kWebGrabberProgId);
  UnregisterProvider(kPrt2DiskProgId);
}

}  // namespace
}  // namespace tovrik
