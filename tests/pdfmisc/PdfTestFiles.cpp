#include "pdfmisc/PdfTestFiles.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>
#include <regex>
#include <sstream>
#include <stdexcept>

// fontconfig keeps caches that LeakSanitizer reports as leaked when the process ends (the font
// set sorted for a pattern, values of its config); they are fontconfig's own, made once per
// process by Cairo and Pango. Leaks allocated anywhere else are still reported.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace tovrik::testing {

TempFolder::TempFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pdfmisc-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void WriteTextPdf(const std::string& path, int pages, const std::string& label) {
  WriteTextPdf(path, std::vector<PageSpec>(static_cast<size_t>(pages)), label);
}

void WriteTextPdf(const std::string& path, const std::vector<PageSpec>& pages,
                  const std::string& label) {
  const double firstWidth = pages.empty() ? 595.28 : pages[0].width;
  const double firstHeight = pages.empty() ? 841.89 : pages[0].height;
  cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), firstWidth, firstHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 14);
  for (size_t i = 0; i < pages.size(); ++i) {
    cairo_pdf_surface_set_size(surface, pages[i].width, pages[i].height);
    cairo_move_to(cr, 40, 60);
    cairo_show_text(cr, (label + " " + std::to_string(i + 1)).c_str());
    cairo_show_page(cr);
  }
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  const bool ok = cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  if (!ok) throw std::runtime_error("cairo could not write " + path);

  bool rotated = false;
  for (const PageSpec& page : pages) rotated = rotated || page.rotate != 0;
  if (!rotated) return;
  QPDF pdf;
  pdf.processFile(path.c_str());
  const std::vector<QPDFObjectHandle>& all = pdf.getAllPages();
  for (size_t i = 0; i < pages.size(); ++i) {
    if (pages[i].rotate != 0) {
      QPDFObjectHandle(all[i]).replaceKey("/Rotate", QPDFObjectHandle::newInteger(pages[i].rotate));
    }
  }
  const std::string rotatedPath = path + ".rotated";
  QPDFWriter writer(pdf, rotatedPath.c_str());
  writer.write();
  std::filesystem::rename(rotatedPath, path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string RunCommand(const std::string& command, int* status) {
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
  std::string output;
  std::array<char, 4096> buffer{};
  size_t n = 0;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    output.append(buffer.data(), n);
  const int result = ::pclose(pipe);
  if (status != nullptr) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return output;
}

std::string PageText(const std::string& path, int page) {
  std::string range = page > 0 ? " -f " + std::to_string(page) + " -l " + std::to_string(page) : "";
  return RunCommand("pdftotext -q" + range + " '" + path + "' - 2>/dev/null");
}

int PdfInfoPages(const std::string& path) {
  int status = 0;
  const std::string info = RunCommand("pdfinfo '" + path + "' 2>/dev/null", &status);
  std::smatch match;
  if (status != 0 || !std::regex_search(info, match, std::regex("Pages:\\s+(\\d+)"))) return -1;
  return std::stoi(match[1]);
}

PageWords WordsOnPage(const std::string& path, int page) {
  const std::string p = std::to_string(page);
  const std::string html =
      RunCommand("pdftotext -q -bbox -f " + p + " -l " + p + " '" + path + "' - 2>/dev/null");
  PageWords result;
  std::smatch match;
  if (std::regex_search(html, match,
                        std::regex("<page width=\"([0-9.]+)\" height=\"([0-9.]+)\">"))) {
    result.width = std::stod(match[1]);
    result.height = std::stod(match[2]);
  }
  const std::regex word(
      "<word xMin=\"([-0-9.]+)\" yMin=\"([-0-9.]+)\" xMax=\"([-0-9.]+)\" "
      "yMax=\"([-0-9.]+)\">([^<]*)</word>");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), word); it != std::sregex_iterator();
       ++it) {
    result.words.push_back({(*it)[5], std::stod((*it)[1]), std::stod((*it)[2]), std::stod((*it)[3]),
                            std::stod((*it)[4])});
  }
  return result;
}

}  // namespace tovrik::testing
