// Damaged and unusable inputs through every function of libpdfmisc: each is a failure with
// its code and a message naming the file, never a crash or a hang, and every message is freed.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pdfmisc/PdfTestFiles.h"
#include "pdfmisc/Utf.h"
#include "pdfmisc/pdfmisc.h"

namespace tovrik::testing {
namespace {

using ::testing::HasSubstr;

// The outcome of one call, with its message copied and freed.
struct Outcome {
  int32_t result = -1;
  int32_t code = -1;
  std::string message;
  bool hadMessage = false;
};

Outcome Finish(int32_t result, int32_t code, char16_t* message) {
  Outcome outcome{result, code, "", message != nullptr};
  if (message != nullptr) {
    outcome.message = pdfmisc::Utf16ToUtf8(message);
    EXPECT_EQ(FreePWChar(message), 1);
    EXPECT_EQ(FreePWChar(message), 0) << "a freed message must not be freed twice";
  }
  return outcome;
}

Outcome Count(const std::string& path, int32_t* pages = nullptr) {
  int32_t count = -1, code = -1;
  char16_t* message = nullptr;
  const int32_t result = PDF_PageCount(path.c_str(), &count, &code, &message);
  if (pages != nullptr) *pages = count;
  return Finish(result, code, message);
}

Outcome Merge(const std::string& list, const std::string& out) {
  int32_t code = -1;
  char16_t* message = nullptr;
  const int32_t result = PDF_Merge(list.c_str(), out.c_str(), &code, &message);
  return Finish(result, code, message);
}

const std::u16string kParameters =
    u"<root><parameters><parameter name='footertext'>Sida $currentpage</parameter>"
    u"</parameters></root>";

Outcome Footer(const std::string& path, const std::u16string& parameters = kParameters,
               int32_t first = 1, int32_t total = 0) {
  int32_t code = -1;
  char16_t* message = nullptr;
  const int32_t result =
      PDF_AddFooter(path.c_str(), parameters.c_str(), first, total, &code, &message);
  return Finish(result, code, message);
}

class PdfMiscErrorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    good_ = dir_ / "good.pdf";
    WriteTextPdf(good_, 2);
  }
  TempFolder dir_;
  std::string good_;
};

TEST_F(PdfMiscErrorsTest, DamagedInputsFailEveryOperationWithCodeAndFileName) {
  const std::string bytes = ReadFile(good_);
  WriteFile(dir_ / "empty.pdf", "");
  WriteFile(dir_ / "truncated.pdf", bytes.substr(0, bytes.size() / 3));
  std::string random(5000, '\0');
  uint32_t seed = 12345;
  for (char& c : random) c = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
  WriteFile(dir_ / "random.pdf", random);
  WriteFile(dir_ / "text.pdf", "%PDF-1.4\nthis is not really a PDF file\n%%EOF\n");
  RunCommand("qpdf --encrypt secret owner 256 -- '" + good_ + "' '" + (dir_ / "encrypted.pdf") +
             "'");
  ::mkdir((dir_ / "folder.pdf").c_str(), 0755);
  ::mkfifo((dir_ / "pipe.pdf").c_str(), 0644);

  struct Case {
    std::string name;
    int32_t code;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"missing.pdf", PDFMISC_E_FILE_NOT_FOUND, "No such file or directory"},
      {"folder.pdf", PDFMISC_E_FILE_NOT_FOUND, "is a directory"},
      {"pipe.pdf", PDFMISC_E_FILE_NOT_FOUND, "is not a regular file"},
      {"empty.pdf", PDFMISC_E_NOT_PDF, "is empty"},
      {"truncated.pdf", PDFMISC_E_NOT_PDF, "as a PDF file"},
      {"random.pdf", PDFMISC_E_NOT_PDF, "as a PDF file"},
      {"text.pdf", PDFMISC_E_NOT_PDF, "as a PDF file"},
      {"encrypted.pdf", PDFMISC_E_ENCRYPTED, "without its password"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir_ / c.name;
    const std::string quoted = "'" + path + "'";
    // (Reading the pipe here would block the test itself.)
    const bool regular = std::filesystem::is_regular_file(path);
    const std::string before = regular ? ReadFile(path) : "";

    int32_t pages = -1;
    Outcome count = Count(path, &pages);
    EXPECT_EQ(count.result, 0);
    EXPECT_EQ(count.code, c.code);
    EXPECT_EQ(pages, 0);
    EXPECT_THAT(count.message, HasSubstr(quoted));
    EXPECT_THAT(count.message, HasSubstr(c.text));

    const std::string out = dir_ / "merged.pdf";
    Outcome merge = Merge(good_ + "?" + path, out);
    EXPECT_EQ(merge.result, 0);
    EXPECT_EQ(merge.code, c.code);
    EXPECT_THAT(merge.message, HasSubstr(quoted));
    EXPECT_FALSE(std::filesystem::exists(out)) << "a failed merge leaves no output";

    Outcome footer = Footer(path);
    EXPECT_EQ(footer.result, 0);
    EXPECT_EQ(footer.code, c.code);
    EXPECT_THAT(footer.message, HasSubstr(quoted));
    if (regular) {
      EXPECT_EQ(ReadFile(path), before) << "a failed footer leaves the file as it was";
    }
  }
  // No temporary file is left behind in the folder by any failure.
  for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
  }
}

TEST_F(PdfMiscErrorsTest, RepairedCrossReferenceTableIsCountedWithANote) {
  // Point startxref at nonsense: qpdf rebuilds the table by scanning the file.
  std::string bytes = ReadFile(good_);
  const size_t at = bytes.rfind("startxref");
  ASSERT_NE(at, std::string::npos);
  bytes = bytes.substr(0, at) + "startxref\n99999\n%%EOF\n";
  const std::string broken = dir_ / "broken-xref.pdf";
  WriteFile(broken, bytes);

  int32_t pages = 0;
  Outcome count = Count(broken, &pages);
  EXPECT_EQ(count.result, 1);
  EXPECT_EQ(count.code, 0);
  EXPECT_EQ(pages, 2);
  EXPECT_TRUE(count.hadMessage) << "the repair is reported as a note";
  EXPECT_THAT(count.message, HasSubstr("repaired '" + broken + "'"));

  const std::string out = dir_ / "merged.pdf";
  EXPECT_EQ(Merge(broken + "?" + good_, out).result, 1);
  EXPECT_EQ(PdfInfoPages(out), 4);
}

TEST_F(PdfMiscErrorsTest, MergeListAndOutputProblems) {
  struct Case {
    std::string list, out;
    int32_t code;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"", dir_ / "out.pdf", PDFMISC_E_INVALID_ARGUMENT, "the merge list is empty"},
      {good_ + "??" + good_, dir_ / "out.pdf", PDFMISC_E_INVALID_ARGUMENT,
       "entry 2 of 3 of the merge list is empty"},
      {good_ + "?", dir_ / "out.pdf", PDFMISC_E_INVALID_ARGUMENT, "entry 2 of 2"},
      {good_, dir_ / "no/such/folder/out.pdf", PDFMISC_E_WRITE_FAILED, "No such file or directory"},
      {good_, dir_.path(), PDFMISC_E_WRITE_FAILED, "is a directory"},
      {good_, dir_.path() + "/", PDFMISC_E_INVALID_ARGUMENT, "names no file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list + " -> " + c.out);
    Outcome merge = Merge(c.list, c.out);
    EXPECT_EQ(merge.result, 0);
    EXPECT_EQ(merge.code, c.code);
    EXPECT_THAT(merge.message, HasSubstr(c.text));
  }
}

TEST_F(PdfMiscErrorsTest, FailedFooterKeepsTheOriginal) {
  const std::string before = ReadFile(good_);
  struct Case {
    std::u16string parameters;
    int32_t first;
    int32_t code;
    std::string text;
  };
  const std::vector<Case> cases = {
      {u"<root><parameters>", 1, PDFMISC_E_FOOTER_PARAMETERS, "not a well-formed XML record"},
      {u"", 1, PDFMISC_E_FOOTER_PARAMETERS, "not a well-formed XML record"},
      {u"<root><parameters><parameter name='footerleft'>abc</parameter></parameters></root>", 1,
       PDFMISC_E_FOOTER_PARAMETERS, "footer parameter 'footerleft' is 'abc'"},
      {u"<root><parameters><parameter name='footerwidth'>0</parameter></parameters></root>", 1,
       PDFMISC_E_FOOTER_PARAMETERS, "'footerwidth' is '0'"},
      {u"<root><parameters><parameter name='startnumber'>1.5</parameter></parameters></root>", 1,
       PDFMISC_E_FOOTER_PARAMETERS, "'startnumber' is '1.5'"},
      {kParameters, 0, PDFMISC_E_INVALID_ARGUMENT, "first page 0 is not a page of"},
      {kParameters, 3, PDFMISC_E_INVALID_ARGUMENT, "which has 2 pages"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(pdfmisc::Utf16ToUtf8(c.parameters));
    Outcome footer = Footer(good_, c.parameters, c.first);
    EXPECT_EQ(footer.result, 0);
    EXPECT_EQ(footer.code, c.code);
    EXPECT_THAT(footer.message, HasSubstr(c.text));
    EXPECT_EQ(ReadFile(good_), before);
  }

  // A folder that may not be written: the footer cannot be put in place, the file stays.
  if (::geteuid() != 0) {
    ::chmod(dir_.path().c_str(), 0555);
    Outcome footer = Footer(good_);
    ::chmod(dir_.path().c_str(), 0755);
    EXPECT_EQ(footer.code, PDFMISC_E_WRITE_FAILED);
    EXPECT_EQ(ReadFile(good_), before);
  }
}

TEST(PdfMiscArgumentsTest, NullPointersAreRefused) {
  int32_t pages = 7, code = 0;
  char16_t* message = nullptr;
  EXPECT_EQ(PDF_PageCount(nullptr, &pages, &code, &message), 0);
  EXPECT_EQ(code, PDFMISC_E_INVALID_ARGUMENT);
  EXPECT_EQ(pages, 0);
  EXPECT_EQ(Finish(0, code, message).message, "no file path given (null pointer)");

  EXPECT_EQ(PDF_PageCount("x.pdf", nullptr, &code, &message), 0);
  EXPECT_EQ(code, PDFMISC_E_INVALID_ARGUMENT);
  Finish(0, code, message);
  EXPECT_EQ(PDF_PageCount("", &pages, nullptr, nullptr), 0) << "no place for code or message";

  EXPECT_EQ(PDF_Merge(nullptr, "out.pdf", &code, &message), 0);
  EXPECT_EQ(code, PDFMISC_E_INVALID_ARGUMENT);
  Finish(0, code, message);
  EXPECT_EQ(PDF_AddFooter("x.pdf", nullptr, 1, 1, &code, &message), 0);
  EXPECT_EQ(code, PDFMISC_E_INVALID_ARGUMENT);
  Finish(0, code, message);

  EXPECT_EQ(FreePWChar(nullptr), 0);
  char16_t notOurs[] = u"not a message of the library";
  EXPECT_EQ(FreePWChar(notOurs), 0);
}

}  // namespace
}  // namespace tovrik::testing
