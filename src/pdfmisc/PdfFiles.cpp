#include "pdfmisc/PdfFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <qpdf/PDFVersion.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFSystemError.hh>
#include <qpdf/QPDFWriter.hh>

#include "pdfmisc/PdfError.h"
#include "pdfmisc/pdfmisc.h"

namespace tovrik::pdfmisc {
namespace {

std::string ErrnoText(int error) { return std::strerror(error); }

// The process's umask, read without changing it (umask(2) cannot read it alone, and setting
// it would race with other threads).
mode_t CurrentUmask() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      try {
        return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
      } catch (const std::exception&) {
        break;
      }
    }
  }
  return 022;
}

}  // namespace

void Log(std::string_view line) {
  static const bool enabled = [] {
    const char* setting = std::getenv("PDFMISC_LOG");
    return setting == nullptr || std::string_view(setting) != "0";
  }();
  if (!enabled) return;
  std::string text = "pdfmisc: ";
  text += line;
  text += '\n';
  // One write(2), so that lines from concurrent calls stay whole; a failed log is ignored.
  ssize_t ignored = ::write(STDERR_FILENO, text.data(), text.size());
  (void)ignored;
}

void CheckInputFile(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    throw PdfError(PDFMISC_E_FILE_NOT_FOUND,
                   "cannot open " + Quoted(path) + ": " + ErrnoText(errno));
  }
  if (S_ISDIR(info.st_mode)) {
    throw PdfError(PDFMISC_E_FILE_NOT_FOUND, Quoted(path) + " is a directory, not a PDF file");
  }
  if (!S_ISREG(info.st_mode)) {
    throw PdfError(PDFMISC_E_FILE_NOT_FOUND, Quoted(path) + " is not a regular file");
  }
  if (::access(path.c_str(), R_OK) != 0) {
    throw PdfError(PDFMISC_E_FILE_NOT_FOUND,
                   "cannot open " + Quoted(path) + ": " + ErrnoText(errno));
  }
  if (info.st_size == 0) {
    throw PdfError(PDFMISC_E_NOT_PDF, Quoted(path) + " is empty, not a PDF file");
  }
}

std::unique_ptr<QPDF> OpenPdf(const std::string& path, bool immediateCopy) {
  CheckInputFile(path);
  auto pdf = std::make_unique<QPDF>();
  try {
    pdf->setSuppressWarnings(true);
    pdf->setImmediateCopyFrom(immediateCopy);
    pdf->processFile(path.c_str());
  } catch (...) {
    RethrowAsPdfError(path, "read");
  }
  return pdf;
}

void RethrowAsPdfError(const std::string& path, const std::string& action) {
  try {
    throw;
  } catch (const PdfError&) {
    throw;
  } catch (const QPDFExc& e) {
    const std::string file = e.getFilename().empty() ? path : e.getFilename();
    std::string detail = e.getMessageDetail();
    if (e.getFilePosition() > 0)
      detail += " (at offset " + std::to_string(e.getFilePosition()) + ")";
    if (e.getErrorCode() == qpdf_e_password) {
      throw PdfError(PDFMISC_E_ENCRYPTED,
                     Quoted(file) + " is encrypted and cannot be opened without its password");
    }
    if (e.getErrorCode() == qpdf_e_system) {
      throw PdfError(action == "write" ? PDFMISC_E_WRITE_FAILED : PDFMISC_E_FILE_NOT_FOUND,
                     "cannot " + action + " " + Quoted(file) + ": " + detail);
    }
    throw PdfError(PDFMISC_E_NOT_PDF, "cannot read " + Quoted(file) + " as a PDF file: " + detail);
  } catch (const QPDFSystemError& e) {
    throw PdfError(action == "write" ? PDFMISC_E_WRITE_FAILED : PDFMISC_E_FILE_NOT_FOUND,
                   "cannot " + action + " " + Quoted(path) + ": " + ErrnoText(e.getErrno()));
  } catch (const std::bad_alloc&) {
    throw PdfError(PDFMISC_E_OUT_OF_MEMORY, "out of memory while working on " + Quoted(path));
  } catch (const std::logic_error& e) {
    throw PdfError(PDFMISC_E_INTERNAL, "internal error on " + Quoted(path) + ": " + e.what());
  } catch (const std::exception& e) {
    // qpdf reports many kinds of damage found late (in the page tree or in stream data) as
    // plain runtime errors.
    throw PdfError(PDFMISC_E_NOT_PDF,
                   "cannot read " + Quoted(path) + " as a PDF file: " + e.what());
  } catch (...) {
    throw PdfError(PDFMISC_E_INTERNAL, "unknown failure on " + Quoted(path));
  }
}

std::string TakeRepairNote(QPDF& pdf, const std::string& path) {
  if (!pdf.anyWarnings()) return "";
  constexpr size_t kShown = 3;
  const std::vector<QPDFExc> warnings = pdf.getWarnings();
  std::string note = "repaired " + Quoted(path) + ": ";
  for (size_t i = 0; i < warnings.size() && i < kShown; ++i) {
    if (i > 0) note += "; ";
    note += warnings[i].getMessageDetail();
  }
  if (warnings.size() > kShown) {
    note += " (and " + std::to_string(warnings.size() - kShown) + " more problems)";
  }
  Log(note);
  return note;
}

AtomicFile::AtomicFile(std::string finalPath, mode_t mode, bool applyUmask)
    : finalPath_(std::move(finalPath)) {
  namespace fs = std::filesystem;
  const fs::path target(finalPath_);
  if (finalPath_.empty() || target.filename().empty()) {
    throw PdfError(PDFMISC_E_INVALID_ARGUMENT,
                   "output path " + Quoted(finalPath_) + " names no file");
  }
  struct stat info {};
  if (::stat(finalPath_.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    throw PdfError(PDFMISC_E_WRITE_FAILED,
                   "cannot write " + Quoted(finalPath_) + ": it is a directory");
  }
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    throw PdfError(PDFMISC_E_WRITE_FAILED, "cannot create a file in " + Quoted(folder.string()) +
                                               " for " + Quoted(finalPath_) + ": " +
                                               ErrnoText(errno));
  }
  tempPath_ = pattern;
  ::fchmod(fd, applyUmask ? (mode & ~CurrentUmask()) : mode);
  stream_ = ::fdopen(fd, "wb");
  if (stream_ == nullptr) {
    const int error = errno;
    ::close(fd);
    ::unlink(tempPath_.c_str());
    throw PdfError(PDFMISC_E_WRITE_FAILED,
                   "cannot write " + Quoted(tempPath_) + ": " + ErrnoText(error));
  }
}

AtomicFile::~AtomicFile() {
  if (stream_ != nullptr) std::fclose(stream_);
  if (!committed_) ::unlink(tempPath_.c_str());
}

void AtomicFile::Commit() {
  int error = 0;
  if (std::fflush(stream_) != 0) error = errno;
  if (error == 0 && ::fsync(::fileno(stream_)) != 0) error = errno;
  if (std::fclose(stream_) != 0 && error == 0) error = errno;
  stream_ = nullptr;
  if (error == 0 && ::rename(tempPath_.c_str(), finalPath_.c_str()) != 0) error = errno;
  if (error != 0) {
    throw PdfError(PDFMISC_E_WRITE_FAILED,
                   "cannot write " + Quoted(finalPath_) + ": " + ErrnoText(error));
  }
  committed_ = true;
}

void WritePdf(QPDF& pdf, AtomicFile& out, const PDFVersion* minimumVersion,
              const std::string& input) {
  try {
    QPDFWriter writer(pdf, out.tempPath().c_str(), out.stream(), false);
    if (minimumVersion != nullptr) writer.setMinimumPDFVersion(*minimumVersion);
    writer.write();
  } catch (const QPDFSystemError& e) {
    throw PdfError(PDFMISC_E_WRITE_FAILED,
                   "cannot write " + Quoted(out.finalPath()) + ": " + ErrnoText(e.getErrno()));
  } catch (...) {
    RethrowAsPdfError(input, "read");
  }
  out.Commit();
}

}  // namespace tovrik::pdfmisc
