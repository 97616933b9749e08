// The PDF queue on each store (a real SQLite file, a real PostgreSQL database): leases,
// reports, refusals, expiry and poison entries, through the store and through the
// TovrikSrv32.PDFQueue component.

#include <gtest/gtest.h>

#include <fstream>

#include "contentserver/Components.h"
#include "contentserver/SqliteContentStore.h"
#include "contentserver/StoreFixture.h"
#include "platform/XmlDocument.h"

namespace tovrik {
namespace {

using testing::MakeJob;

std::string StartRequest(int32_t entry) {
  return "<root><parameters><parameter name='QueueEntryID'>" + std::to_string(entry) +
         "</parameter></parameters></root>";
}

std::string EndRequest(int32_t entry, int32_t document, const std::string& containing,
                       int32_t error, const std::string& message) {
  return "<root><parameters><parameter name='QueueEntryID'>" + std::to_string(entry) +
         "</parameter><parameter name='DocumentGenerated'>" + std::to_string(document) +
         "</parameter><parameter name='ContainingDocuments'>" + containing +
         "</parameter><parameter name='URL'></parameter><parameter name='Error'>" +
         std::to_string(error) + "</parameter><parameter name='errorMessage'>" +
         XmlEscape(message) + "</parameter></parameters></root>";
}

class QueueTest : public testing::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    RegisterContentServerProviders();
  }

  std::unique_ptr<ContentStore> Store() const {
    return StoreTest::Store([this] { return now_; });
  }
  int32_t Session() {
    Variant n, t;
    return CreateObject<ISessionManager>(kSessionManagerProgId, ServerName())
        ->OpenSession(1, "<root />", n, t);
  }
  std::string Next(int32_t session, int32_t& status, std::string& text) {
    return CreateObject<IPDFQueue>(kPDFQueueProgId, ServerName())
        ->NextInQueue(1, session, "<root />", status, text);
  }
  std::pair<int32_t, std::string> Start(int32_t session, const std::string& request) {
    int32_t status = -1;
    std::string text;
    CreateObject<IPDFQueue>(kPDFQueueProgId, ServerName())
        ->SetProcessingStarted(1, session, request, status, text);
    return {status, text};
  }
  std::pair<int32_t, std::string> End(int32_t session, const std::string& request) {
    int32_t status = -1;
    std::string text;
    CreateObject<IPDFQueue>(kPDFQueueProgId, ServerName())
        ->SetProcessingEnded(1, session, request, status, text);
    return {status, text};
  }

  // The components run on the system clock (the database server's for PostgreSQL, on this
  // machine too); the store's own tests move this one.
  int64_t now_ = SqliteContentStore::SystemNowMs();
};

TEST_P(QueueTest, EntryLivesFromWaitingThroughLeaseAndStartToDone) {
  QueueJob job = MakeJob(42, true, "R&D <draft>");
  job.optionsxml = "<root><title>A & B</title></root>";
  job.footerxml = "<root><text>Page [page]</text></root>";
  const int32_t id = Store()->Enqueue(job);
  const int32_t session = Session();
  ASSERT_GT(session, 0);

  int32_t status = -1;
  std::string text;
  const std::string xml = Next(session, status, text);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(xml,
            "<root><pdfitem><queueentryid>" + std::to_string(id) +
                "</queueentryid><optionsxml>&lt;root&gt;&lt;title&gt;A &amp; B&lt;/title&gt;"
                "&lt;/root&gt;</optionsxml><issynchronous>0</issynchronous><documentid>42"
                "</documentid><documentname>R&amp;D &lt;draft&gt;</documentname>"
                "<destinationcategoryid>0</destinationcategoryid><querystrings></querystrings>"
                "<parsetree>1</parsetree><autoarchive>0</autoarchive><destinationdocumentid>0"
                "</destinationdocumentid><flags>0</flags><footerxml>&lt;root&gt;&lt;text&gt;Page "
                "[page]&lt;/text&gt;&lt;/root&gt;</footerxml><documentguid></documentguid>"
                "<submitter>tests</submitter></pdfitem></root>");
  // The worker's parser reads every value back exactly.
  auto doc = getXMLDocument(xml, true);
  EXPECT_EQ(doc->documentElement().selectSingleNode("pdfitem/optionsxml").text(), *job.optionsxml);
  EXPECT_EQ(doc->documentElement().selectSingleNode("pdfitem/documentname").text(), "R&D <draft>");

  // Leased: a second session finds nothing.
  EXPECT_EQ(Next(Session(), status, text), "<root/>");
  EXPECT_EQ(status, 0);

  EXPECT_EQ(Start(session, StartRequest(id)), std::make_pair(0, std::string("Success")));
  EXPECT_EQ(Store()->FindEntry(id)->state, QueueState::kProcessing);
  const std::string end = EndRequest(id, 812, "7,9", 0, "Success & done <ok>");
  EXPECT_EQ(End(session, end).first, 0);

  QueueEntry entry = *Store()->FindEntry(id);
  EXPECT_EQ(entry.state, QueueState::kDone);
  ASSERT_TRUE(entry.outcome);
  EXPECT_EQ(entry.outcome->documentGenerated, 812);
  EXPECT_EQ(entry.outcome->containingDocuments, "7,9");
  EXPECT_EQ(entry.outcome->errorMessage, "Success & done <ok>");
  EXPECT_GT(entry.endedMs, 0);
  std::vector<QueueReport> reports = Store()->ReportsOf(id);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].request, StartRequest(id));
  EXPECT_EQ(reports[1].request, end);
  EXPECT_TRUE(reports[1].accepted);
}

TEST_P(QueueTest, ReportsThatCannotBeAcceptedAreRefusedAndChangeNothing) {
  const int32_t owner = Session();
  const int32_t other = Session();
  const int32_t leased = Store()->Enqueue(MakeJob(1, false));
  const int32_t waiting = Store()->Enqueue(MakeJob(2, false));
  int32_t status;
  std::string text;
  Next(owner, status, text);  // leases `leased`

  struct Case {
    int32_t session;
    std::string request;
    bool end;
    int32_t status;
    std::string text;
  } cases[] = {
      {owner, StartRequest(999), false, kStoreUnknownEntry, "Queue entry 999 does not exist"},
      {other, StartRequest(leased), false, kStoreNotLeased,
       "Queue entry " + std::to_string(leased) + " is not leased to session " +
           std::to_string(other)},
      {owner, StartRequest(waiting), false, kStoreNotLeased,
       "Queue entry " + std::to_string(waiting) + " is not leased to session " +
           std::to_string(owner)},
      {owner, "<root><parameters><parameter name='QueueEntryID'>1", false, kStoreBadRequest, ""},
      {owner, "<root><parameters></parameters></root>", false, kStoreBadRequest,
       "The start request lacks the parameter 'QueueEntryID'"},
      {owner, "<root><parameters><parameter name='QueueEntryID'>x</parameter></parameters></root>",
       false, kStoreBadRequest,
       "The start request: parameter 'QueueEntryID' is not a 32-bit number: 'x'"},
      {9999, StartRequest(leased), false, kStoreUnknownSession, "Unknown session 9999"},
      // An unescaped '<' in a text value makes the end request malformed.
      {owner,
       "<root><parameters><parameter name='QueueEntryID'>" + std::to_string(leased) +
           "</parameter><parameter name='errorMessage'>a < b</parameter></parameters></root>",
       true, kStoreBadRequest, ""},
      {other, EndRequest(leased, 5, "", 0, "Success"), true, kStoreNotLeased, ""},
  };
  for (const Case& c : cases) {
    auto [s, t] = c.end ? End(c.session, c.request) : Start(c.session, c.request);
    EXPECT_EQ(s, c.status) << c.request;
    if (!c.text.empty()) {
      EXPECT_EQ(t, c.text) << c.request;
    }
    EXPECT_FALSE(t.empty()) << c.request;
  }
  EXPECT_EQ(Store()->FindEntry(leased)->state, QueueState::kLeased);
  EXPECT_FALSE(Store()->FindEntry(leased)->outcome);
  EXPECT_EQ(Store()->FindEntry(waiting)->state, QueueState::kWaiting);

  // Ended entries refuse every further report.
  ASSERT_EQ(End(owner, EndRequest(leased, 0, "", 13, "Type mismatch")).first, 0);
  EXPECT_EQ(Store()->FindEntry(leased)->state, QueueState::kFailed);
  EXPECT_EQ(End(owner, EndRequest(leased, 0, "", 0, "again")).first, kStoreAlreadyEnded);
  EXPECT_EQ(Start(owner, StartRequest(leased)).first, kStoreAlreadyEnded);
  EXPECT_EQ(Store()->FindEntry(leased)->outcome->errorMessage, "Type mismatch");
  // Refused reports for a known entry are kept for audit, marked as refused.
  int refused = 0;
  for (const QueueReport& r : Store()->ReportsOf(leased)) refused += r.accepted ? 0 : 1;
  EXPECT_EQ(refused, 4);
}

TEST_P(QueueTest, ExpiredLeaseReturnsTheEntryAndThePoisonEntryEndsFailed) {
  Store()->WriteSetting("QueueLeaseSeconds", "60");
  Store()->WriteSetting("QueueMaxAttempts", "2");
  const int32_t id = Store()->Enqueue(MakeJob(5, false));

  auto first = Store()->ClaimNext(101);
  ASSERT_TRUE(first);
  EXPECT_EQ(first->attempts, 1);
  EXPECT_FALSE(Store()->ClaimNext(102));  // lease holds
  now_ += 59'000;
  EXPECT_FALSE(Store()->ClaimNext(102));
  EXPECT_TRUE(Store()->MarkStarted(id, 101, StartRequest(id)).ok());  // renews to now + 60 s
  now_ += 61'000;

  auto second = Store()->ClaimNext(102);  // the first holder died
  ASSERT_TRUE(second);
  EXPECT_EQ(second->id, id);
  EXPECT_EQ(second->attempts, 2);
  // The dead holder's late report cannot overwrite the new owner's work.
  StoreStatus late = Store()->MarkEnded(id, 101, QueueOutcome{9, "", "", 0, "late"}, "<late/>");
  EXPECT_EQ(late.status, kStoreNotLeased);

  now_ += 61'000;  // the second holder dies too: no attempt is left
  EXPECT_FALSE(Store()->ClaimNext(103));
  QueueEntry entry = *Store()->FindEntry(id);
  EXPECT_EQ(entry.state, QueueState::kFailed);
  ASSERT_TRUE(entry.outcome);
  EXPECT_EQ(entry.outcome->error, kStoreAttemptsExhausted);
  EXPECT_EQ(entry.outcome->errorMessage,
            "Abandoned after 2 attempts: the lease of session 102 expired without an end report");
  EXPECT_EQ(Store()->MarkEnded(id, 102, QueueOutcome{}, "<x/>").status, kStoreAlreadyEnded);
}

TEST_P(QueueTest, OldestWaitingEntryGoesFirstAndAnEmptyQueueAnswersRoot) {
  const int32_t a = Store()->Enqueue(MakeJob(1, false));
  const int32_t b = Store()->Enqueue(MakeJob(2, false));
  EXPECT_EQ(Store()->ClaimNext(1)->id, a);
  EXPECT_EQ(Store()->ClaimNext(1)->id, b);
  int32_t status = -1;
  std::string text;
  EXPECT_EQ(Next(Session(), status, text), "<root/>");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(Next(12345, status, text), "<root/>");
  EXPECT_EQ(status, kStoreUnknownSession);
}

TEST_P(QueueTest, RecordWithoutSubmitterReachesTheWorkerWithoutIt) {
  std::vector<std::string> warnings;
  QueueJob job = QueueJobFromRecord(
      "<root><pdfitem><queueentryid>77</queueentryid><documentid>3</documentid>"
      "<optionsxml><![CDATA[<root><title>T</title></root>]]></optionsxml>"
      "<custom a='1'>x</custom><documentid>4</documentid></pdfitem></root>",
      &warnings);
  EXPECT_TRUE(warnings.empty());
  EXPECT_FALSE(job.submitter);
  EXPECT_EQ(*job.documentid, "3");
  const int32_t id = Store()->Enqueue(job);
  int32_t status;
  std::string text;
  EXPECT_EQ(
      Next(Session(), status, text),
      "<root><pdfitem><queueentryid>" + std::to_string(id) +
          "</queueentryid><optionsxml>&lt;root&gt;&lt;title&gt;T&lt;/title&gt;&lt;/root&gt;"
          "</optionsxml><documentid>3</documentid><custom a=\"1\">x</custom></pdfitem></root>");
  EXPECT_THROW(QueueJobFromRecord("<root><other/></root>", nullptr), std::invalid_argument);
  EXPECT_THROW(QueueJobFromRecord("<pdfitem>", nullptr), std::invalid_argument);
}

TEST_P(QueueTest, SessionsAreNewAndPositiveAndBadRequestsGetNone) {
  const int32_t a = Session();
  const int32_t b = Session();
  EXPECT_GT(a, 0);
  EXPECT_GT(b, a);
  auto sessions = CreateObject<ISessionManager>(kSessionManagerProgId, ServerName());
  Variant number(int16_t{0}), text("");
  EXPECT_EQ(sessions->OpenSession(1, "<root", number, text), 0);
  EXPECT_EQ(number.ToInt32(), kStoreBadRequest);
  EXPECT_NE(text.ToString().find("does not parse"), std::string::npos);
  EXPECT_EQ(sessions->OpenSession(-1, "<root />", number, text), 0);
  EXPECT_EQ(number.ToInt32(), kStoreBadConnection);
  // A database server that does not answer: creation fails as remote activation would.
  try {
    CreateObject<IPDFQueue>(kPDFQueueProgId, "postgresql://tovrik@127.0.0.1:1/tovrik");
    FAIL() << "expected the server to be unavailable";
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.number(), kServerUnavailable);
    EXPECT_EQ(e.description().rfind("The RPC server is unavailable: content store "
                                    "'postgresql://tovrik@127.0.0.1:1/tovrik': cannot connect",
                                    0),
              0u)
        << e.description();
  }
}

TEST_P(QueueTest, StoreFailureRaisesAtTheComponentBoundary) {
  int32_t status = 0;
  std::string text;
  if (!postgres()) {
    // A state folder that is a file cannot hold the store.
    std::filesystem::path blocker = home_.path() / "blocker";
    { std::ofstream(blocker) << "x"; }
    setenv("TOVRIK_HOME", blocker.c_str(), 1);
    try {
      CreateObject<IPDFQueue>(kPDFQueueProgId, "")->NextInQueue(1, 1, "<root />", status, text);
      ADD_FAILURE() << "expected a raised error";
    } catch (const RaisedError& e) {
      EXPECT_EQ(e.number(), kCallFailed);
      EXPECT_NE(e.description().find(blocker.string()), std::string::npos) << e.description();
    }
    setenv("TOVRIK_HOME", home_.path().c_str(), 1);
    return;
  }
  // A database without the tables: the message says what to run.
  testing::TestDatabase bare(*testing::TestServerUri(), false);
  try {
    CreateObject<IPDFQueue>(kPDFQueueProgId, bare.uri());
    ADD_FAILURE() << "expected a raised error";
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.number(), kCallFailed);
    EXPECT_EQ(e.description(), "content store '" + bare.uri() +
                                   "' has no tables: run `tovrik content init --server " +
                                   bare.uri() + "`");
  }
}

TOVRIK_INSTANTIATE_STORE_TESTS(QueueTest);

}  // namespace
}  // namespace tovrik
