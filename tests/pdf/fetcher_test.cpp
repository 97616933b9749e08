// MakePDF against recording fakes of the two renderer objects: settings, conversions, stage
// texts, the result table, clean-up and release on every path.

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <vector>

#include "pdf/ActivePDF.h"
#include "pdf/CPDFFetcher.h"
#include "platform/RaisedError.h"

namespace tovrik {
namespace {

// What the fakes saw, in order, as "Member=value" texts; shared by both objects of a call.
struct Record {
  std::vector<std::string> calls;
  std::string failOn;  // member that raises when called
  std::string waitResult = "019";
  int16_t waitTimeout = 0;
  int created = 0;
  std::vector<std::string> released;

  void Call(const std::string& member, const std::string& value = "") {
    calls.push_back(value.empty() ? member : member + "=" + value);
    if (member == failOn) throw RaisedError(kCallFailed, member + " refused");
  }
  bool Saw(const std::string& entry) const {
    return std::find(calls.begin(), calls.end(), entry) != calls.end();
  }
  bool SawMember(const std::string& member) const {
    for (const std::string& c : calls) {
      if (c == member || c.rfind(member + "=", 0) == 0) return true;
    }
    return false;
  }
};

std::string Num(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

class FakePrt2Disk : public IPrt2Disk {
 public:
  explicit FakePrt2Disk(Record& r) : r_(r) { ++r_.created; }
  ~FakePrt2Disk() override { r_.released.push_back("Prt2Disk"); }
  void SetUseStaticPool(bool v) override { r_.Call("UseStaticPool", v ? "true" : "false"); }
  void SetOrientation(int16_t v) override { r_.Call("orientation", std::to_string(v)); }
  void SetPDFTitle(const std::string& v) override { r_.Call("PDFTitle", "'" + v + "'"); }
  void SetPDFAuthor(const std::string& v) override { r_.Call("PDFAuthor", "'" + v + "'"); }
  void SetPDFKeywords(const std::string& v) override { r_.Call("PDFKeywords", "'" + v + "'"); }
  void SetPDFSubject(const std::string& v) override { r_.Call("PDFSubject", "'" + v + "'"); }
  void SetPapersize(int32_t v) override { r_.Call("papersize", std::to_string(v)); }
  void SetPrintquality(int32_t v) override { r_.Call("printquality", std::to_string(v)); }
  void SetPrintresolution(int32_t v) override { r_.Call("printresolution", std::to_string(v)); }
  void SetResolution(int32_t v) override { r_.Call("Resolution", std::to_string(v)); }
  void SetTruetypeoption(int32_t v) override { r_.Call("truetypeoption", std::to_string(v)); }
  void SetScaling(int32_t v) override { r_.Call("scaling", std::to_string(v)); }
  void SetColorimageflags(int32_t v) override { r_.Call("colorimageflags", std::to_string(v)); }
  void SetColorimageresolution(int32_t v) override {
    r_.Call("colorimageresolution", std::to_string(v));
  }
  std::string ToString() override {
    r_.Call("ToString");
    return "settings";
  }
  void FromString(const std::string& s) override {
    r_.Call("FromString", s);
    path_ = s == "settings+path" ? "/out/A.pdf" : "";
  }
  std::string FullDocumentPath() override {
    r_.Call("FullDocumentPath");
    return path_;
  }

 private:
  Record& r_;
  std::string path_;
};

class FakeWebGrabber : public IWebGrabber {
 public:
  explicit FakeWebGrabber(Record& r) : r_(r) { ++r_.created; }
  ~FakeWebGrabber() override { r_.released.push_back("WebGrabber"); }
  void SetURL(const std::string& v) override { r_.Call("URL", v); }
  void SetEngineToUse(int16_t v) override { r_.Call("EngineToUse", std::to_string(v)); }
  void SetIETopMargin(double v) override { r_.Call("IETopMargin", Num(v)); }
  void SetIELeftMargin(double v) override { r_.Call("IELeftMargin", Num(v)); }
  void SetIERightMargin(double v) override { r_.Call("IERightMargin", Num(v)); }
  void SetIEBottomMargin(double v) override { r_.Call("IEBottomMargin", Num(v)); }
  void SetIeheader(const std::string& v) override { r_.Call("ieheader", v); }
  void SetIefooter(const std::string& v) override { r_.Call("iefooter", v); }
  void SetPrintertimeout(int16_t v) override { r_.Call("printertimeout", std::to_string(v)); }
  void SetTimeout(int16_t v) override { r_.Call("timeout", std::to_string(v)); }
  void SetIEDomain(const std::string& v) override { r_.Call("IEDomain", v); }
  void SetWaitBeforePrint(int32_t v) override { r_.Call("WaitBeforePrint", std::to_string(v)); }
  void MainFont(const std::string& n, int16_t s, int16_t b, int16_t i, int16_t u,
                int16_t k) override {
    r_.Call("MainFont", n + "," + std::to_string(s) + "," + std::to_string(b) + "," +
                            std::to_string(i) + "," + std::to_string(u) + "," + std::to_string(k));
  }
  void SetPrt2DiskSettings(const std::string& v) override {
    r_.Call("SetPrt2DiskSettings", v);
    settings_ = v;
  }
  std::string Prt2DiskSettings() override {
    r_.Call("Prt2DiskSettings");
    return settings_;
  }
  int32_t DoPrint(const std::string& h, int32_t p) override {
    r_.Call("DoPrint", h + ":" + std::to_string(p));
    return 0;
  }
  std::string Wait(const std::string& h, int32_t p, int16_t& t, const std::string& codes) override {
    r_.Call("Wait", h + ":" + std::to_string(p) + "," + std::to_string(t) + "," + codes);
    r_.waitTimeout = t;
    if (r_.waitResult == "019") settings_ += "+path";
    return r_.waitResult;
  }
  int32_t CleanUp(const std::string& h, int32_t p) override {
    r_.Call("CleanUp", h + ":" + std::to_string(p));
    return 0;
  }

 private:
  Record& r_;
  std::string settings_;
};

class FetcherTest : public ::testing::Test {
 protected:
  Record rec;
  ScopedProvider grabber{kWebGrabberProgId, [this](const std::string&) {
                           return std::unique_ptr<ComObject>(new FakeWebGrabber(rec));
                         }};
  ScopedProvider server{kPrt2DiskProgId, [this](const std::string&) {
                          return std::unique_ptr<ComObject>(new FakePrt2Disk(rec));
                        }};
  std::string retFile = "stale", statusText, errorPoint = "before";
  int32_t status = -5;

  bool Make(const std::string& xml, const std::string& url = "http://site/p") {
    return CPDFFetcher().MakePDF(url, xml + std::string(1, '\0'), retFile, status, statusText,
                                 errorPoint);
  }
  static std::string Settings(const std::string& inner) { return "<pdf>" + inner + "</pdf>"; }
};

TEST_F(FetcherTest, EmptySettingsGiveEveryDefaultAndTheFixedValues) {
  for (const std::string& xml : {std::string("<pdf/>"), std::string("")}) {
    rec = Record();
    ASSERT_TRUE(Make(xml)) << xml;
    EXPECT_EQ(retFile, "/out/A.pdf");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(statusText, "Success");
    EXPECT_EQ(errorPoint, "WebGrabber.CleanUp: ");
    const std::vector<std::string> expected = {"UseStaticPool=true",
                                               "orientation=1",
                                               "PDFTitle=''",
                                               "PDFAuthor=''",
                                               "PDFKeywords=''",
                                               "PDFSubject=''",
                                               "URL=http://site/p",
                                               "EngineToUse=1",
                                               "IEDomain=.",
                                               "MainFont=Tahoma,10,0,0,0,0",
                                               "ToString",
                                               "SetPrt2DiskSettings=settings",
                                               "DoPrint=127.0.0.1:64320",
                                               "Wait=127.0.0.1:64320,120,011012014019",
                                               "Prt2DiskSettings",
                                               "FromString=settings+path",
                                               "FullDocumentPath",
                                               "CleanUp=127.0.0.1:64320"};
    EXPECT_EQ(rec.calls, expected) << xml;
    EXPECT_EQ(rec.released, (std::vector<std::string>{"Prt2Disk", "WebGrabber"}));
  }
}

TEST_F(FetcherTest, NumbersAreConvertedSkippedOrDefaulted) {
  struct Case {
    std::string xml;
    std::vector<std::string> seen;    // entries that must be recorded
    std::vector<std::string> absent;  // members that must not be called
  };
  const std::vector<Case> cases = {
      {"<topmargin>254</topmargin><leftmargin>0</leftmargin><rightmargin>-1</rightmargin>",
       {"IETopMargin=10", "IELeftMargin=0"},
       {"IERightMargin", "IEBottomMargin"}},
      {"<orientation>2.5</orientation>", {"orientation=2"}, {}},
      {"<orientation>3.5</orientation>", {"orientation=4"}, {}},
      {"<orientation>abc</orientation>", {"orientation=1"}, {}},
      {"<orientation> -1 </orientation>", {"orientation=1"}, {}},
      {"<orientation> 2 </orientation><papersize>9</papersize><scaling>80</scaling>",
       {"orientation=2", "papersize=9", "scaling=80"},
       {}},
      {"<papersize>-1</papersize><scaling></scaling><resolution>x</resolution>",
       {},
       {"papersize", "scaling", "Resolution"}},
      {"<printquality>600</printquality><printresolution>300</printresolution>"
       "<resolution>150</resolution><truetypeoption>2</truetypeoption>"
       "<colorimageflags>1</colorimageflags><colorimageresolution>72</colorimageresolution>",
       {"printquality=600", "printresolution=300", "Resolution=150", "truetypeoption=2",
        "colorimageflags=1", "colorimageresolution=72"},
       {}},
      {"<timeout>30</timeout><printertimeout>15</printertimeout><totaltimeout>45</totaltimeout>",
       {"timeout=30", "printertimeout=15", "Wait=127.0.0.1:64320,45,011012014019"},
       {}},
      {"<totaltimeout>-1</totaltimeout><timeout>-1</timeout>",
       {"Wait=127.0.0.1:64320,120,011012014019"},
       {"timeout", "printertimeout"}},
      {"<domain></domain><ieheader></ieheader>", {"IEDomain=."}, {"ieheader", "iefooter"}},
      {"<domain>corp</domain><ieheader>&amp;w</ieheader><iefooter>&amp;p / &amp;P</iefooter>",
       {"IEDomain=corp", "ieheader=&w", "iefooter=&p / &P"},
       {}},
      {"<title>T &lt;1&gt;</title><author>A</author><keywords>k</keywords><subject>s</subject>",
       {"PDFTitle='T <1>'", "PDFAuthor='A'", "PDFKeywords='k'", "PDFSubject='s'"},
       {}},
      {"<waitbeforeprint>250</waitbeforeprint>", {"WaitBeforePrint=250"}, {}},
      {"<waitbeforeprint>0</waitbeforeprint>", {}, {"WaitBeforePrint"}},
      {"<other>1</other><orientation>2</orientation><orientation>1</orientation>",
       {"orientation=2"},
       {}},
  };
  for (const Case& c : cases) {
    rec = Record();
    ASSERT_TRUE(Make(Settings(c.xml))) << c.xml;
    for (const std::string& s : c.seen) EXPECT_TRUE(rec.Saw(s)) << c.xml << " lacks " << s;
    for (const std::string& m : c.absent) EXPECT_FALSE(rec.SawMember(m)) << c.xml << " set " << m;
  }
}

TEST_F(FetcherTest, OverflowRaisesUnderTheSettingsStage) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"<orientation>70000</orientation>", "Getting PDF setting orientation: "},
      {"<papersize>3000000000</papersize>", "Getting PDF setting papersize: "},
      {"<totaltimeout>32767.5</totaltimeout>", "Getting PDF setting totaltimeout: "},
      {"<printertimeout>-40000</printertimeout>", "Getting PDF setting printertimeout: "},
  };
  for (const auto& [xml, stage] : cases) {
    rec = Record();
    try {
      Make(Settings(xml));
      ADD_FAILURE() << xml << " did not raise";
    } catch (const RaisedError& e) {
      EXPECT_EQ(e.number(), kErrOverflow) << xml;
    }
    EXPECT_EQ(errorPoint, stage);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(statusText, "Success");
    EXPECT_EQ(retFile, "");
    EXPECT_FALSE(rec.SawMember("CleanUp"));
    EXPECT_EQ(rec.released, (std::vector<std::string>{"Prt2Disk", "WebGrabber"}));
  }
}

TEST_F(FetcherTest, ResultTable) {
  struct Case {
    std::string result;
    bool ok;
    int32_t status;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"019", true, 0, "Success"},
      {"011", false, 1011, "Webgrabber connect failed"},
      {"012", false, 1010, "Webgrabber connect cancelled"},
      {"014", false, 1009, "Webgrabber printer error"},
      {"099", false, 99, "PDF server time out."},
      {"013", false, 1012, "Webgrabber other error: 013"},
      {"19", false, 1012, "Webgrabber other error: 19"},
      {"", false, 1012, "Webgrabber other error: "},
  };
  for (const Case& c : cases) {
    rec = Record();
    rec.waitResult = c.result;
    EXPECT_EQ(Make("<pdf/>"), c.ok) << c.result;
    EXPECT_EQ(status, c.status) << c.result;
    EXPECT_EQ(statusText, c.text) << c.result;
    EXPECT_EQ(retFile, c.ok ? "/out/A.pdf" : "") << c.result;
    EXPECT_EQ(errorPoint, "WebGrabber.CleanUp: ");
    EXPECT_EQ(rec.calls.back(), "CleanUp=127.0.0.1:64320");
    EXPECT_EQ(rec.SawMember("FromString"), c.ok);
  }
}

TEST_F(FetcherTest, EmptyUrlCreatesNothing) {
  EXPECT_FALSE(CPDFFetcher().MakePDF("", "<pdf/>", retFile, status, statusText, errorPoint));
  EXPECT_EQ(status, 1002);
  EXPECT_EQ(statusText, "No url");
  EXPECT_EQ(retFile, "");
  EXPECT_EQ(errorPoint, "before");
  EXPECT_EQ(rec.created, 0);
}

TEST_F(FetcherTest, MalformedSettingsRaiseTheParseError) {
  for (const std::string& xml :
       std::vector<std::string>{"<pdf><orientation>2</pdf>", "abc", "<pdf>&bogus;</pdf>"}) {
    rec = Record();
    try {
      Make(xml);
      ADD_FAILURE() << xml;
    } catch (const RaisedError& e) {
      EXPECT_NE(e.number(), 0) << xml;
      EXPECT_FALSE(e.description().empty()) << xml;
    }
    EXPECT_EQ(errorPoint, "Creating APServer.Object: ") << xml;
    EXPECT_EQ(rec.released.size(), 2u);
  }
}

TEST_F(FetcherTest, AFailingMemberLeavesItsStage) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"UseStaticPool", "Setting property UseStaticPool for Prt2Disk: "},
      {"orientation", "Setting property orientation for Prt2Disk: "},
      {"PDFSubject", "Setting property PDFSubject for Prt2Disk: "},
      {"papersize", "Setting property papersize for Prt2Disk: "},
      {"Resolution", "Setting property Resolution for Prt2Disk: "},
      {"colorimageresolution", "Setting property colorimageresolution for Prt2Disk: "},
      {"URL", "Setting property URL for WebGrabber: "},
      {"EngineToUse", "Setting property EngineToUse for WebGrabber: "},
      {"IETopMargin", "Setting property topmargin for WebGrabber: "},
      {"IEBottomMargin", "Setting property bottommargin for WebGrabber: "},
      {"iefooter", "Setting property iefooter for WebGrabber: "},
      {"printertimeout", "Setting property printertimeout for WebGrabber: "},
      {"timeout", "Setting property timeout for WebGrabber: "},
      {"IEDomain", "Setting property timeout for WebGrabber: "},
      {"MainFont", "Setting property MainFont for WebGrabber: "},
      {"ToString", "WebGrabber.Prt2DiskSettings = Prt2Disk.ToString(): "},
      {"SetPrt2DiskSettings", "WebGrabber.Prt2DiskSettings = Prt2Disk.ToString(): "},
      {"DoPrint", "WebGrabber.DoPrint: "},
      {"Wait", "WebGrabber.Wait: "},
      {"FromString", "Analyzing result after WebGrabber job: "},
      {"CleanUp", "WebGrabber.CleanUp: "},
  };
  const std::string all = Settings(
      "<papersize>9</papersize><resolution>1</resolution><colorimageresolution>1"
      "</colorimageresolution><topmargin>1</topmargin><bottommargin>1</bottommargin>"
      "<iefooter>f</iefooter><printertimeout>1</printertimeout><timeout>1</timeout>");
  for (const auto& [member, stage] : cases) {
    rec = Record();
    rec.failOn = member;
    try {
      Make(all);
      ADD_FAILURE() << member;
    } catch (const RaisedError& e) {
      EXPECT_EQ(e.description(), member + " refused");
    }
    EXPECT_EQ(errorPoint, stage) << member;
    EXPECT_EQ(rec.SawMember("CleanUp"), member == "CleanUp") << member;
    EXPECT_EQ(status, 0);
    EXPECT_EQ(retFile, "");
    EXPECT_EQ(rec.released, (std::vector<std::string>{"Prt2Disk", "WebGrabber"})) << member;
  }
}

TEST_F(FetcherTest, ObjectCreationFailureLeavesItsStage) {
  ScopedProvider broken{kPrt2DiskProgId, [](const std::string&) -> std::unique_ptr<ComObject> {
                          throw RaisedError(kClassNotRegistered, "Class not registered");
                        }};
  EXPECT_THROW(Make("<pdf/>"), RaisedError);
  EXPECT_EQ(errorPoint, "Creating APServer.Object: ");
  EXPECT_EQ(rec.released, (std::vector<std::string>{"WebGrabber"}));
}

}  // namespace
}  // namespace tovrik
