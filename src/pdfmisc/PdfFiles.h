#pragma once
// Reading PDF inputs with qpdf and writing outputs through a temporary file, with every
// failure turned into a PdfError that names the file.

#include <sys/types.h>

#include <cstdio>
#include <exception>
#include <memory>
#include <string>

class PDFVersion;
class QPDF;

namespace tovrik::pdfmisc {

// Checks that path names a regular, non-empty file that this process may read. Throws
// PdfError: FILE_NOT_FOUND (missing, a directory, a device or pipe, unreadable) or NOT_PDF
// (empty). Non-regular files are refused because reading a pipe could block forever.
void CheckInputFile(const std::string& path);

// Opens path with qpdf (after CheckInputFile), repairing what qpdf can repair. The file stays
// open for the QPDF's lifetime, or until its objects are copied when immediateCopy is set.
// Throws PdfError for anything qpdf cannot read.
std::unique_ptr<QPDF> OpenPdf(const std::string& path, bool immediateCopy = false);

// Turns the exception in flight (from qpdf, the C++ library or ours) into a PdfError about
// the file `path` while doing `action` ("read", "write"). Call inside a catch block only.
[[noreturn]] void RethrowAsPdfError(const std::string& path, const std::string& action);

// The repairs qpdf made while reading `pdf` (its warnings), logged once on stderr and returned
// as one line for the caller's message; empty when there were none. Clears the warnings.
std::string TakeRepairNote(QPDF& pdf, const std::string& path);

// A new file written to a temporary name in the folder of finalPath and renamed over
// finalPath by Commit. Until Commit succeeds, finalPath is untouched; the destructor removes
// the temporary file when Commit was not reached or failed. Not copyable; one thread.
class AtomicFile {
 public:
  // Creates the temporary file with permissions `mode` (before the umask when
  // applyUmask). Throws PdfError(WRITE_FAILED) when the folder does not take it.
  AtomicFile(std::string finalPath, mode_t mode, bool applyUmask);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  FILE* stream() const { return stream_; }
  const std::string& tempPath() const { return tempPath_; }
  const std::string& finalPath() const { return finalPath_; }

  // Flushes the data to disk, closes the file and renames it into place.
  void Commit();

 private:
  const std::string finalPath_;
  std::string tempPath_;
  FILE* stream_ = nullptr;
  bool committed_ = false;
};

// Writes `pdf` into `out`, at least at PDF version minimumVersion when given, and commits it.
// Read errors during the write (stream data of a damaged input) name their input file;
// `input` names the input when qpdf does not.
void WritePdf(QPDF& pdf, AtomicFile& out, const PDFVersion* minimumVersion,
              const std::string& input);

}  // namespace tovrik::pdfmisc
