#pragma once
// Real PDF files for tests, drawn with Cairo, and checks of PDF files through poppler's
// command-line tools (pdftotext, pdfinfo), so that what is checked is what a reader sees.

#include <string>
#include <vector>

namespace tovrik::testing {

// A folder under the system's temp folder, removed with everything in it on destruction.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

struct PageSpec {
  double width = 595.28;  // points (A4 portrait by default)
  double height = 841.89;
  int rotate = 0;  // stored as the page's /Rotate when not 0
};

// Writes a PDF whose page i (from 1) shows "<label> <i>" near its top-left corner.
void WriteTextPdf(const std::string& path, int pages, const std::string& label = "Page");
void WriteTextPdf(const std::string& path, const std::vector<PageSpec>& pages,
                  const std::string& label = "Page");

// The bytes of a file, and a file written from bytes.
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// Runs a shell command; returns its standard output, and its exit status through status.
std::string RunCommand(const std::string& command, int* status = nullptr);

// The text of one page (from 1) as pdftotext extracts it, or of the whole file for page 0.
std::string PageText(const std::string& path, int page = 0);

// The page count pdfinfo reports; -1 when pdfinfo cannot read the file.
int PdfInfoPages(const std::string& path);

// A word pdftotext found, with its box in points from the top-left corner of the page as shown.
struct Word {
  std::string text;
  double xMin, yMin, xMax, yMax;
};
struct PageWords {
  double width = 0, height = 0;  // the page as shown
  std::vector<Word> words;
};
PageWords WordsOnPage(const std::string& path, int page);

}  // namespace tovrik::testing
