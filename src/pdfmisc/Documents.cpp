// Page count and merge.

#include <chrono>
#include <qpdf/PDFVersion.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <vector>

#include "pdfmisc/Operations.h"
#include "pdfmisc/PdfError.h"
#include "pdfmisc/PdfFiles.h"
#include "pdfmisc/pdfmisc.h"

namespace tovrik::pdfmisc {
namespace {

// Merges of at least this many files log a line when they finish.
constexpr size_t kLoggedMergeSize = 100;

std::vector<std::string> SplitMergeList(const std::string& mergeList) {
  if (mergeList.empty()) {
    throw PdfError(PDFMISC_E_INVALID_ARGUMENT, "the merge list is empty");
  }
  std::vector<std::string> paths;
  size_t start = 0;
  while (true) {
    const size_t end = mergeList.find('?', start);
    paths.push_back(mergeList.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  for (size_t i = 0; i < paths.size(); ++i) {
    if (paths[i].empty()) {
      throw PdfError(PDFMISC_E_INVALID_ARGUMENT, "entry " + std::to_string(i + 1) + " of " +
                                                     std::to_string(paths.size()) +
                                                     " of the merge list is empty");
    }
  }
  return paths;
}

void AppendNote(std::string& notes, const std::string& note) {
  if (note.empty()) return;
  if (!notes.empty()) notes += "; ";
  notes += note;
}

}  // namespace

int32_t CountPages(const std::string& path, std::string& note) {
  std::unique_ptr<QPDF> pdf = OpenPdf(path);
  size_t pages = 0;
  try {
    pages = pdf->getAllPages().size();
  } catch (...) {
    RethrowAsPdfError(path, "read");
  }
  note = TakeRepairNote(*pdf, path);
  return static_cast<int32_t>(pages);
}

std::string MergeFiles(const std::string& mergeList, const std::string& outputPath) {
  const auto started = std::chrono::steady_clock::now();
  const std::vector<std::string> paths = SplitMergeList(mergeList);
  // The output file first, so that an unusable output folder fails before any work.
  AtomicFile out(outputPath, 0666, /*applyUmask=*/true);

  QPDF merged;
  merged.setSuppressWarnings(true);
  merged.emptyPDF();
  QPDFPageDocumentHelper mergedPages(merged);
  PDFVersion version(1, 3);
  std::string notes;
  size_t pageCount = 0;
  for (const std::string& path : paths) {
    // Each source is read in full into the merged document (stream data included) and closed
    // before the next is opened, so the number of open files does not grow with the list.
    std::unique_ptr<QPDF> source = OpenPdf(path, /*immediateCopy=*/true);
    try {
      version.updateIfGreater(source->getVersionAsPDFVersion());
      for (QPDFPageObjectHelper& page : QPDFPageDocumentHelper(*source).getAllPages()) {
        mergedPages.addPage(page, false);
        ++pageCount;
      }
    } catch (...) {
      RethrowAsPdfError(path, "read");
    }
    AppendNote(notes, TakeRepairNote(*source, path));
  }
  WritePdf(merged, out, &version, paths.front());
  AppendNote(notes, TakeRepairNote(merged, outputPath));

  if (paths.size() >= kLoggedMergeSize) {
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    Log("merged " + std::to_string(paths.size()) + " files (" + std::to_string(pageCount) +
        " pages) into " + Quoted(outputPath) + " in " + std::to_string(took.count()) + " ms");
  }
  return notes;
}

}  // namespace tovrik::pdfmisc
