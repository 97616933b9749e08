// The job driver's outcomes, driven by fake content server components and a scripted
// pipeline; the queue reports are compared byte for byte.

#include <gtest/gtest.h>

#include <functional>
#include <new>

#include "platform/XmlDocument.h"
#include "support/FakeContentServer.h"
#include "worker/CWorker.h"
#include "worker/QueueReports.h"

namespace tovrik {
namespace {

using testing::FakeContentServer;
using testing::FakeContentServerGuard;

struct PipelineResult {
  int32_t DocumentGenerated = 0;
  std::string ContainingDocuments;
  std::string URL;
  int32_t status = 0;
  std::string StatusText = "Success";
  std::string errorPoint = "Saving PDF document 'x' back to Tovrik: ";
  std::function<void()> raise;  // runs after the outputs are set
};

class ScriptedWorker : public CWorker {
 public:
  PipelineResult script;
  int calls = 0;

 protected:
  void doProcessing(int32_t, const std::string&, int32_t, int32_t, const DOMDocument40&,
                    int32_t& DocumentGenerated, std::string& ContainingDocuments, std::string& URL,
                    int32_t& status, std::string& StatusText, std::string& errorPoint) override {
    ++calls;
    DocumentGenerated = script.DocumentGenerated;
    ContainingDocuments = script.ContainingDocuments;
    URL = script.URL;
    status = script.status;
    StatusText = script.StatusText;
    errorPoint = script.errorPoint;
    if (script.raise) script.raise();
  }
};

std::string Entry(const std::string& id) {
  return "<root><pdfitem><queueentryid>" + id + "</queueentryid></pdfitem></root>";
}

class StartJobTest : public ::testing::Test {
 protected:
  std::shared_ptr<FakeContentServer> server = std::make_shared<FakeContentServer>();
  FakeContentServerGuard guard{server};
  ScriptedWorker worker;
  int32_t status = -99;
  std::string text = "stale";

  bool Run() { return worker.StartJob("cms01", 5, status, text); }
};

TEST_F(StartJobTest, SessionNotOpenedReportsTheHolders) {
  server->sessionToReturn = 0;
  server->openErrorNumber = int16_t{42};
  server->openErrorText = std::string("licence expired");
  EXPECT_FALSE(Run());
  EXPECT_EQ(status, 42);
  EXPECT_EQ(text, "Opening session execute: licence expired");
  EXPECT_EQ(server->calls, std::vector<std::string>{"OpenSession"});

  server->openErrorNumber = Variant();
  server->openErrorText = Variant();
  ScriptedWorker fresh;
  EXPECT_FALSE(fresh.StartJob("", 5, status, text));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(text, "Opening session execute: ");
}

TEST_F(StartJobTest, QueueStatusEndsTheCallWithoutReports) {
  server->nextStatus = 7;
  server->nextStatusText = "queue is locked";
  EXPECT_FALSE(Run());
  EXPECT_EQ(status, 7);
  EXPECT_EQ(text, "Next in queue execute: queue is locked");
  EXPECT_TRUE(server->startRequests.empty());
  EXPECT_TRUE(server->endRequests.empty());
}

TEST_F(StartJobTest, EmptyQueueIsFalseWithStatusZero) {
  for (const char* xml : {"<root/>", "<root><pdfitem/></root>", "<root><other/></root>"}) {
    server->entryXml = xml;
    status = -1;
    EXPECT_FALSE(Run()) << xml;
    EXPECT_EQ(status, 0) << xml;
    EXPECT_EQ(text, "") << xml;
  }
  EXPECT_TRUE(server->startRequests.empty());
  EXPECT_EQ(worker.calls, 0);
}

TEST_F(StartJobTest, FailuresBeforeTheStartReportCarryTheirStageText) {
  struct Case {
    std::string entry;
    std::string raiseIn;
    int32_t status;
    std::string prefix;
  };
  const Case cases[] = {
      {Entry("abc"), "", 13, "After fetch queue: Type mismatch"},
      {Entry("99999999999"), "", 6, "After fetch queue: Overflow"},
      {Entry(""), "", 13, "After fetch queue: Type mismatch"},
      {"", "", 91, "After fetch queue: Object variable or With block variable not set"},
      {"<root><pdfitem>", "", static_cast<int32_t>(0xC00CE56D), "After fetch queue: "},
      {Entry("5"), "create:TovrikSrv32.SessionManager", static_cast<int32_t>(0x800706BA),
       "Opening session create: The RPC server is unavailable."},
      {Entry("5"), "OpenSession", static_cast<int32_t>(0x800706BA),
       "Opening session execute: The RPC server is unavailable."},
      {Entry("5"), "create:TovrikSrv32.PDFQueue", static_cast<int32_t>(0x800706BA),
       "Next in queue create: The RPC server is unavailable."},
      {Entry("5"), "NextInQueue", static_cast<int32_t>(0x800706BA),
       "Next in queue execute: The RPC server is unavailable."},
  };
  for (const Case& c : cases) {
    auto s = std::make_shared<FakeContentServer>();
    FakeContentServerGuard g(s);
    s->entryXml = c.entry;
    s->raiseIn = c.raiseIn;
    s->raiseNumber = static_cast<int32_t>(0x800706BA);
    s->raiseDescription = "The RPC server is unavailable.";
    ScriptedWorker w;
    EXPECT_FALSE(w.StartJob("cms01", 5, status, text)) << c.entry;
    EXPECT_EQ(status, c.status) << c.entry;
    EXPECT_EQ(text.rfind(c.prefix, 0), 0u) << c.entry << " gave " << text;
    EXPECT_TRUE(s->startRequests.empty() && s->endRequests.empty()) << c.entry;
    EXPECT_EQ(w.calls, 0);
  }
}

TEST_F(StartJobTest, RefusedStartIsEndedAtOnceWithTheRefusal) {
  server->entryXml = Entry("57");
  server->startStatus = 3;
  server->startStatusText = "entry 57 is not leased to this session";
  server->endStatus = 0;
  server->endStatusText = "ended";
  EXPECT_FALSE(Run());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(text, "ended");
  EXPECT_EQ(worker.calls, 0);
  ASSERT_EQ(server->startRequests.size(), 1u);
  EXPECT_EQ(server->startRequests[0],
            "<root><parameters><parameter name='QueueEntryID'>57</parameter></parameters></root>");
  ASSERT_EQ(server->endRequests.size(), 1u);
  EXPECT_EQ(server->endRequests[0],
            "<root><parameters><parameter name='QueueEntryID'>57</parameter>"
            "<parameter name='DocumentGenerated'>0</parameter>"
            "<parameter name='ContainingDocuments'></parameter>"
            "<parameter name='URL'></parameter>"
            "<parameter name='Error'>3</parameter>"
            "<parameter name='errorMessage'>entry 57 is not leased to this session</parameter>"
            "</parameters></root>");
}

TEST_F(StartJobTest, RaisedReportsUseTheirOwnStageTexts) {
  server->entryXml = Entry("57");
  server->raiseIn = "SetProcessingStarted";
  server->raiseDescription = "queue gone";
  EXPECT_FALSE(Run());
  EXPECT_EQ(status, static_cast<int32_t>(0x80004005u));
  EXPECT_EQ(text, "startProcessing: queue gone");
  EXPECT_TRUE(server->endRequests.empty());

  server->raiseIn = "SetProcessingEnded";
  server->startStatus = 3;
  server->startStatusText = "refused";
  EXPECT_FALSE(Run());
  EXPECT_EQ(text, "endProcessing after startProcessing failure: queue gone");
  EXPECT_EQ(server->endRequests.size(), 1u);
}

TEST_F(StartJobTest, SuccessSendsOneEndReportAndTheFixedText) {
  server->entryXml = Entry("57");
  worker.script.DocumentGenerated = 812;
  worker.script.ContainingDocuments = "7,9";
  EXPECT_TRUE(Run());
  EXPECT_EQ(status, 0);
  EXPECT_EQ(text, "Calling endProcessing after processing: ");
  ASSERT_EQ(server->endRequests.size(), 1u);
  EXPECT_EQ(server->endRequests[0],
            "<root><parameters><parameter name='QueueEntryID'>57</parameter>"
            "<parameter name='DocumentGenerated'>812</parameter>"
            "<parameter name='ContainingDocuments'>7,9</parameter>"
            "<parameter name='URL'></parameter>"
            "<parameter name='Error'>0</parameter>"
            "<parameter name='errorMessage'>Success</parameter>"
            "</parameters></root>");
  EXPECT_EQ(server->calls,
            (std::vector<std::string>{"OpenSession", "NextInQueue", "SetProcessingStarted",
                                      "SetProcessingEnded"}));
  // Every object is made on the job's server, every call carries the connection and session.
  for (const auto& name : server->serverNames) EXPECT_EQ(name, "cms01");
  EXPECT_EQ(server->openConnectionIds, std::vector<int32_t>{5});
  for (int32_t id : server->queueSessionIds) EXPECT_EQ(id, 17);
}

TEST_F(StartJobTest, SuccessWithEntryZeroStillReportsTheEnd) {
  server->entryXml = Entry("0");
  EXPECT_TRUE(Run());
  ASSERT_EQ(server->endRequests.size(), 1u);
  EXPECT_NE(server->endRequests[0].find("<parameter name='QueueEntryID'>0</parameter>"),
            std::string::npos);
}

TEST_F(StartJobTest, SuccessfulPipelineWhoseEndReportRaisesStaysTrue) {
  server->entryXml = Entry("57");
  server->raiseIn = "SetProcessingEnded";
  server->raiseNumber = -2147023174;
  server->raiseDescription = "The RPC server is unavailable.";
  EXPECT_TRUE(Run());
  EXPECT_EQ(status, -2147023174);
  EXPECT_EQ(text, "Calling endProcessing after processing: The RPC server is unavailable.");
  EXPECT_EQ(server->endRequests.size(), 1u);  // the trap sends no second report
}

TEST_F(StartJobTest, FailedPipelineIsReportedOnceMoreByTheTrap) {
  server->entryXml = Entry("57");
  worker.script.status = 4568;
  worker.script.StatusText = "No PDF files could be generated";
  worker.script.errorPoint = "Creating internal class CPDFFetcher: ";
  worker.script.DocumentGenerated = 0;
  worker.script.ContainingDocuments = "";
  worker.script.URL = "http://ignored/";
  EXPECT_FALSE(Run());
  EXPECT_EQ(status, 4568);
  EXPECT_EQ(text, "Creating internal class CPDFFetcher: No PDF files could be generated");
  ASSERT_EQ(server->endRequests.size(), 1u);
  EXPECT_EQ(server->endRequests[0],
            "<root><parameters><parameter name='QueueEntryID'>57</parameter>"
            "<parameter name='DocumentGenerated'>0</parameter>"
            "<parameter name='ContainingDocuments'></parameter>"
            "<parameter name='URL'></parameter>"
            "<parameter name='Error'>4568</parameter>"
            "<parameter name='errorMessage'>Creating internal class CPDFFetcher: No PDF files "
            "could be generated</parameter></parameters></root>");
}

TEST_F(StartJobTest, RaisedPipelineErrorsAndForeignExceptionsAreTrapped) {
  server->entryXml = Entry("57");
  worker.script.errorPoint = "Parsing optionsxml (pdfitem/submitter): ";
  worker.script.raise = [] { RaiseRuntimeError(kErrObjectNotSet); };
  EXPECT_FALSE(Run());
  EXPECT_EQ(status, 91);
  EXPECT_EQ(text,
            "Parsing optionsxml (pdfitem/submitter): Object variable or With block variable not "
            "set");
  EXPECT_EQ(server->endRequests.size(), 1u);

  worker.script.raise = [] { throw std::bad_alloc(); };
  EXPECT_FALSE(Run());
  EXPECT_EQ(status, 7);
  worker.script.raise = [] { throw std::runtime_error("disk on fire"); };
  EXPECT_FALSE(Run());
  EXPECT_EQ(text, "Parsing optionsxml (pdfitem/submitter): disk on fire");
  EXPECT_EQ(server->endRequests.size(), 3u);
}

TEST_F(StartJobTest, EntriesBelowOneAreNotReportedByTheTrap) {
  for (const char* id : {"0", "-5"}) {
    auto s = std::make_shared<FakeContentServer>();
    FakeContentServerGuard g(s);
    s->entryXml = Entry(id);
    ScriptedWorker w;
    w.script.status = 1009;
    w.script.StatusText = "boom";
    EXPECT_FALSE(w.StartJob("", 1, status, text));
    EXPECT_EQ(status, 1009);
    EXPECT_EQ(s->startRequests.size(), 1u) << id;
    EXPECT_TRUE(s->endRequests.empty()) << id;
  }
}

TEST_F(StartJobTest, MarkupInReportedTextsParsesBackExactly) {
  server->entryXml = Entry("57");
  worker.script.status = 1009;
  worker.script.StatusText = "a < b && c > 'd' \"e\"";
  worker.script.errorPoint = "Saving PDF document 'R&D <draft>' back to Tovrik: ";
  EXPECT_FALSE(Run());
  ASSERT_EQ(server->endRequests.size(), 1u);
  auto doc = getXMLDocument(server->endRequests[0], true);
  XmlNode message =
      doc->documentElement().selectSingleNode("parameters/parameter[@name='errorMessage']");
  ASSERT_TRUE(message);
  EXPECT_EQ(message.text(), text);
  EXPECT_EQ(text, "Saving PDF document 'R&D <draft>' back to Tovrik: a < b && c > 'd' \"e\"");

  const std::string end =
      BuildEndRequest(-2147024809, 3, "1,2", "http://h/a.pdf?x=1&y=<2>", -1, "");
  auto parsed = getXMLDocument(end, true);
  EXPECT_EQ(parsed->documentElement().selectSingleNode("parameters/parameter[@name='URL']").text(),
            "http://h/a.pdf?x=1&y=<2>");
  EXPECT_NE(end.find("<parameter name='QueueEntryID'>-2147024809</parameter>"), std::string::npos);
  EXPECT_NE(end.find("<parameter name='Error'>-1</parameter>"), std::string::npos);
}

TEST(PreviewPDFTest, ReturnsEmptyAndLeavesTheStatusAlone) {
  CWorker worker;
  Variant status(int32_t{4});
  Variant text(std::string("as before"));
  EXPECT_EQ(worker.PreviewPDF("", 0, 0, "", "", status, &text), "");
  EXPECT_EQ(status, Variant(int32_t{4}));
  EXPECT_EQ(text, Variant(std::string("as before")));
  EXPECT_EQ(worker.PreviewPDF("cms", 1, 2, "<root/>", "<x/>", status), "");
  EXPECT_FALSE(worker.ObjectControl_CanBePooled());
}

}  // namespace
}  // namespace tovrik
