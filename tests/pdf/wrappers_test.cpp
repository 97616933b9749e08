// The worker's wrappers of libpdfmisc, the footer options conversion and
// cPDF_File_Information: against the real library, and against a fake for the failures the
// real one cannot be made to give.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pdf/PdfMisc.h"
#include "pdf/PdfMiscLibrary.h"
#include "pdfmisc/PdfTestFiles.h"
#include "pdfmisc/pdfmisc.h"
#include "platform/RaisedError.h"

namespace tovrik {
namespace {

using ::testing::HasSubstr;
using testing::TempFolder;

// Counts the messages the library hands out and those handed back, and can make any call
// return a chosen result, code and message instead of calling the library.
class CountingLibrary : public PdfMiscLibraryWrapper {
 public:
  CountingLibrary() : PdfMiscLibraryWrapper(LinkedPdfMiscLibrary()) {}
  ~CountingLibrary() override { EXPECT_TRUE(owned_.empty()) << "a fake message was not freed"; }

  struct Scripted {
    int32_t result;
    int32_t code;
    const char16_t* message;  // null: no message
    int32_t pageCount = 0;
  };
  std::optional<Scripted> script;
  int32_t codeSeen = -1;  // the error code variable's value when a call began
  int handedOut = 0;
  int freed = 0;

  int32_t PageCount(const char* path, int32_t* pageCount, int32_t* errorCode,
                    char16_t** message) override {
    codeSeen = *errorCode;
    if (script) {
      *pageCount = script->pageCount;
      return Play(errorCode, message);
    }
    return Count(PdfMiscLibraryWrapper::PageCount(path, pageCount, errorCode, message), message);
  }
  int32_t Merge(const char* mergeList, const char* outputPath, int32_t* errorCode,
                char16_t** message) override {
    codeSeen = *errorCode;
    if (script) return Play(errorCode, message);
    return Count(PdfMiscLibraryWrapper::Merge(mergeList, outputPath, errorCode, message), message);
  }
  int32_t AddFooter(const char* path, const char16_t* parameters, int32_t first, int32_t total,
                    int32_t* errorCode, char16_t** message) override {
    codeSeen = *errorCode;
    if (script) return Play(errorCode, message);
    return Count(
        PdfMiscLibraryWrapper::AddFooter(path, parameters, first, total, errorCode, message),
        message);
  }
  int32_t FreePWChar(char16_t* message) override {
    ++freed;
    auto it = owned_.find(message);
    if (it != owned_.end()) {
      owned_.erase(it);
      return 1;
    }
    const int32_t released = PdfMiscLibraryWrapper::FreePWChar(message);
    EXPECT_EQ(released, 1) << "a message was freed that was not outstanding";
    return released;
  }

 private:
  int32_t Count(int32_t result, char16_t** message) {
    if (*message != nullptr) ++handedOut;
    return result;
  }
  int32_t Play(int32_t* errorCode, char16_t** message) {
    *errorCode = script->code;
    *message = nullptr;
    if (script->message != nullptr) {
      auto text = std::make_unique<std::u16string>(script->message);
      *message = text->data();
      owned_[*message] = std::move(text);
      ++handedOut;
    }
    return script->result;
  }
  std::map<char16_t*, std::unique_ptr<std::u16string>> owned_;
};

class WrappersTest : public ::testing::Test {
 protected:
  CountingLibrary library_;
  ScopedPdfMiscLibrary installed_{library_};
  TempFolder dir_;
};

TEST_F(WrappersTest, ScriptedLibraryOutcomesReachTheStatusPair) {
  int32_t status = 42;
  std::string text = "old";

  library_.script = {0, 7, u"merge failed: disk on fire"};
  EXPECT_FALSE(mergePDF("a.pdf?b.pdf", "out.pdf", status, text));
  EXPECT_EQ(library_.codeSeen, 42) << "the caller's status is the library's error code, not reset";
  EXPECT_EQ(status, 7);
  EXPECT_EQ(text, "merge failed: disk on fire");

  library_.script = {1, 0, u"a note the worker does not use"};
  EXPECT_TRUE(addFooter("a.pdf", "<root />", 1, 1, status, text));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(text, "Success");

  library_.script = {0, 9, nullptr};
  EXPECT_FALSE(addFooter("a.pdf", "<root />", 1, 1, status, text));
  EXPECT_EQ(status, 9);
  EXPECT_EQ(text, "") << "a failure without a message leaves the text empty";

  // A failure without an error code must not read as success.
  status = 0;
  library_.script = {0, 0, u"no code"};
  EXPECT_FALSE(mergePDF("a.pdf", "out.pdf", status, text));
  EXPECT_EQ(status, kCallFailed);
  EXPECT_EQ(text, "no code");

  library_.script = {0, 3003, u"damaged", 4};
  EXPECT_EQ(getNumberOfPages("x.pdf", status, text), 4) << "the count as the library left it";
  EXPECT_EQ(status, 3003);
  EXPECT_EQ(text, "damaged");

  EXPECT_EQ(library_.freed, library_.handedOut);
  EXPECT_EQ(library_.freed, 4);
}

TEST_F(WrappersTest, RealLibraryThroughTheWrappers) {
  const std::string a = dir_ / "a.pdf";
  const std::string b = dir_ / "b.pdf";
  testing::WriteTextPdf(a, 5);
  testing::WriteTextPdf(b, 7);
  int32_t status = -1;
  std::string text;

  EXPECT_EQ(getNumberOfPages(a, status, text), 5);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(text, "Success");

  const std::string missing = dir_ / "missing.pdf";
  EXPECT_EQ(getNumberOfPages(missing, status, text), 0);
  EXPECT_EQ(status, PDFMISC_E_FILE_NOT_FOUND);
  EXPECT_EQ(text, "cannot open '" + missing + "': No such file or directory");

  const std::string merged = dir_ / "merged.pdf";
  status = 0;
  EXPECT_FALSE(mergePDF(a + "?" + missing, merged, status, text));
  EXPECT_EQ(status, PDFMISC_E_FILE_NOT_FOUND);
  EXPECT_TRUE(mergePDF(a + "?" + b, merged, status, text));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(getNumberOfPages(merged, status, text), 12);

  bool useFooter = false;
  int32_t startFromPage = 0;
  const std::string parameters = getFooterParameters(
      "<root><usefooter>1</usefooter><startfrompage>3</startfrompage>"
      "<includecontextinnumbering>1</includecontextinnumbering>"
      "<footertext>&lt;b&gt;Sida&lt;/b&gt; $currentpage av $totalpages</footertext></root>",
      useFooter, startFromPage, status, text);
  ASSERT_EQ(status, 0) << text;
  EXPECT_TRUE(useFooter);
  EXPECT_TRUE(addFooter(merged, parameters, startFromPage, 12, status, text)) << text;
  EXPECT_THAT(testing::PageText(merged, 2), ::testing::Not(HasSubstr("Sida")));
  EXPECT_THAT(testing::PageText(merged, 3), HasSubstr("Sida 3 av 12"));
  EXPECT_THAT(testing::PageText(merged, 12), HasSubstr("Sida 12 av 12"));

  EXPECT_FALSE(addFooter(merged, parameters, 13, 12, status, text));
  EXPECT_EQ(status, PDFMISC_E_INVALID_ARGUMENT);
  EXPECT_THAT(text, HasSubstr("first page 13 is not a page of"));

  EXPECT_EQ(library_.freed, library_.handedOut) << "every message freed exactly once";
  EXPECT_EQ(library_.freed, 3);
}

TEST(FooterParametersTest, UseFooterAndStartPage) {
  struct Case {
    std::string options;
    bool useFooter;
    int32_t startFromPage;
  };
  const std::vector<Case> cases = {
      {"<root><footertext>x</footertext></root>", false, 1},
      {"<root><usefooter>true</usefooter></root>", false, 1},
      {"<root><usefooter> 1</usefooter></root>", false, 1},
      {"<root><usefooter>01</usefooter></root>", false, 1},
      {"<opts><usefooter>1</usefooter></opts>", true, 1},
      {"<root><usefooter>1</usefooter><startfrompage>4</startfrompage></root>", true, 4},
      {"<root><usefooter>1</usefooter><startfrompage>0</startfrompage></root>", true, 1},
      {"<root><usefooter>1</usefooter><startfrompage>-5</startfrompage></root>", true, 1},
      {"<root><usefooter>1</usefooter><startfrompage>abc</startfrompage></root>", true, 1},
      {"<root><usefooter>1</usefooter><startfrompage></startfrompage></root>", true, 1},
      {"<root><usefooter>1</usefooter><startfrompage> 2.5 </startfrompage></root>", true, 2},
      {"<root><usefooter>1</usefooter><startfrompage>3.5</startfrompage></root>", true, 4},
  };
  for (const Case& c : cases) {
    bool useFooter = !c.useFooter;
    int32_t startFromPage = -1;
    int32_t status = -1;
    std::string text;
    const std::string result =
        getFooterParameters(c.options, useFooter, startFromPage, status, text);
    EXPECT_EQ(status, 0) << c.options;
    EXPECT_EQ(text, "Success") << c.options;
    EXPECT_EQ(useFooter, c.useFooter) << c.options;
    EXPECT_EQ(startFromPage, c.startFromPage) << c.options;
    if (!c.useFooter) {
      EXPECT_EQ(result, "<root />") << c.options;
    }
  }
}

TEST(FooterParametersTest, RecordFromTheOptions) {
  bool useFooter = false;
  int32_t startFromPage = 0, status = -1;
  std::string text;
  const std::string result = getFooterParameters(
      "<root><usefooter>1</usefooter><createcontext>0</createcontext>"
      "<includecontextinnumbering>1</includecontextinnumbering><startnumber>3</startnumber>"
      "<htmlfont_normal>Verdana</htmlfont_normal><htmlfont_bold>Times New Roman Fet</htmlfont_bold>"
      "<htmlfont_italic></htmlfont_italic><footertext>first</footertext><unknown>u</unknown>"
      "<footertext>&lt;font size='5'&gt;Sida $currentpage &amp; Detta är</footertext>"
      "<footerleft>10</footerleft><footertop>270</footertop></root>",
      useFooter, startFromPage, status, text);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(result,
            "<root><parameters>"
            "<parameter name=\"createcontext\">0</parameter>"
            "<parameter name=\"includecontextinnumbering\">1</parameter>"
            "<parameter name=\"startnumber\">3</parameter>"
            "<parameter name=\"htmlfont_normal\">Verdana</parameter>"
            "<parameter name=\"htmlfont_bold\">Times New Roman Fet</parameter>"
            "<parameter name=\"htmlfont_italic\"></parameter>"
            "<parameter name=\"footertext\">&lt;font size='5'&gt;Sida $currentpage &amp; Detta "
            "är</parameter>"
            "<parameter name=\"footerleft\">10</parameter>"
            "<parameter name=\"footertop\">270</parameter>"
            "<parameter name=\"footerwidth\"/>"
            "</parameters></root>");
}

TEST(FooterParametersTest, FailuresAreReportedNotRaised) {
  struct Case {
    std::string options;
    int32_t status;
    bool useFooter;
  };
  const std::vector<Case> cases = {
      {"", kErrObjectNotSet, false},
      {"<root><usefooter>1</usefooter>", static_cast<int32_t>(0xC00CE56D), false},
      {"<root><usefooter>1</usefooter><startfrompage>99999999999</startfrompage></root>",
       kErrOverflow, true},
  };
  for (const Case& c : cases) {
    bool useFooter = false;
    int32_t startFromPage = 0, status = 0;
    std::string text;
    const std::string result =
        getFooterParameters(c.options, useFooter, startFromPage, status, text);
    EXPECT_EQ(status, c.status) << c.options;
    EXPECT_FALSE(text.empty()) << c.options;
    EXPECT_NE(text, "Success") << c.options;
    EXPECT_EQ(useFooter, c.useFooter) << c.options;
    EXPECT_EQ(result, "<root />") << c.options;
  }
}

TEST(StringFromPWCharTest, CopiesUpToTheTerminatingZero) {
  EXPECT_EQ(stringFromPWChar(nullptr), "");
  EXPECT_EQ(stringFromPWChar(u""), "");
  EXPECT_EQ(stringFromPWChar(u"Sida 3 av 12 – åäö 𝄞"), "Sida 3 av 12 – åäö 𝄞");
  const char16_t withZero[] = {u'a', u'b', 0, u'c', 0};
  EXPECT_EQ(stringFromPWChar(withZero), "ab");
}

TEST(FileInformationTest, NewRecordAndProperties) {
  cPDF_File_Information file;
  EXPECT_EQ(file.Name(), "");
  EXPECT_EQ(file.index(), 0);
  EXPECT_EQ(file.pages(), 0);
  file.SetName("/var/pdf/a.pdf");
  file.SetIndex(5);
  file.SetPages(12);
  EXPECT_EQ(file.Name(), "/var/pdf/a.pdf");
  EXPECT_EQ(file.index(), 5);
  EXPECT_EQ(file.pages(), 12);
}

}  // namespace
}  // namespace tovrik
