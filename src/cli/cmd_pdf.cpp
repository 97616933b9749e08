// tovrik pdf: page counts, merging and footers with libpdfmisc, through the worker's wrappers.
//
//   tovrik pdf pages FILE
//   tovrik pdf merge OUT FILE...
//   tovrik pdf footer FILE --params FILE.xml [--first N] [--total N]
//
// --params takes either a footer parameters record (<root><parameters><parameter name=...>)
// or the job's footer options (a root element with usefooter, startfrompage, footertext, ...),
// which are converted as the worker converts them; then --first defaults to startfrompage.
// Errors print "tovrik pdf: MESSAGE (code N)" on stderr and exit with code 1.

#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "pdf/PdfMisc.h"
#include "platform/XmlDocument.h"

namespace tovrik::cli {
namespace {

struct PdfArgs {
  std::string file;
  std::string out;
  std::vector<std::string> files;
  std::string params;
  int32_t first = 0;
  int32_t total = 0;
};

bool Fail(const std::string& text, int32_t status) {
  std::cerr << "tovrik pdf: " << text;
  if (status != 0) std::cerr << " (code " << status << ")";
  std::cerr << "\n";
  ExitCode() = 1;
  return false;
}

void Pages(const PdfArgs& args) {
  int32_t status = 0;
  std::string text;
  const int32_t pages = getNumberOfPages(args.file, status, text);
  if (status != 0) {
    Fail(text, status);
    return;
  }
  std::cout << pages << "\n";
}

void Merge(const PdfArgs& args) {
  std::string list;
  for (const std::string& file : args.files) {
    if (file.find('?') != std::string::npos) {
      Fail("cannot merge '" + file + "': a path to merge may not contain '?'", 0);
      return;
    }
    if (!list.empty()) list += "?";
    list += file;
  }
  int32_t status = 0;
  std::string text;
  if (!mergePDF(list, args.out, status, text)) {
    Fail(text, status);
    return;
  }
  const int32_t pages = getNumberOfPages(args.out, status, text);
  std::cout << args.out << ": " << args.files.size() << " files, " << pages << " pages\n";
}

void Footer(const PdfArgs& args, bool firstGiven) {
  std::ifstream in(args.params, std::ios::binary);
  if (!in) {
    Fail("cannot read '" + args.params + "'", 0);
    return;
  }
  const std::string record((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  int32_t status = 0;
  std::string text;
  std::string parameters = record;
  int32_t first = args.first;
  const auto doc = getXMLDocument(record, false);
  if (doc->documentElement() && doc->documentElement().selectSingleNode("usefooter")) {
    bool useFooter = false;
    int32_t startFromPage = 1;
    parameters = getFooterParameters(record, useFooter, startFromPage, status, text);
    if (status != 0) {
      Fail("cannot read the footer options in '" + args.params + "': " + text, status);
      return;
    }
    if (!useFooter) {
      std::cout << args.file
                << ": the footer options do not turn footers on (usefooter is not 1)\n";
      return;
    }
    if (!firstGiven) first = startFromPage;
  }
  if (first < 1) first = 1;
  int32_t total = args.total;
  if (total <= 0) {
    total = getNumberOfPages(args.file, status, text);
    if (status != 0) {
      Fail(text, status);
      return;
    }
  }
  if (!addFooter(args.file, parameters, first, total, status, text)) {
    Fail(text, status);
    return;
  }
  std::cout << args.file << ": footers on pages " << first << " to " << total << "\n";
}

}  // namespace

void AddPdfCommand(CLI::App& app) {
  auto args = std::make_shared<PdfArgs>();
  auto* cmd = app.add_subcommand("pdf", "Count pages, merge PDF files and stamp footers");
  cmd->require_subcommand(1);

  auto* pages = cmd->add_subcommand("pages", "Print the number of pages of a PDF file");
  pages->add_option("FILE", args->file, "PDF file")->required();
  pages->callback([args] { Pages(*args); });

  auto* merge = cmd->add_subcommand("merge", "Merge PDF files, in the order given, into OUT");
  merge->add_option("OUT", args->out, "the merged file to write (replaced when it exists)")
      ->required();
  merge->add_option("FILE", args->files, "PDF files to merge")->required();
  merge->callback([args] { Merge(*args); });

  auto* footer =
      cmd->add_subcommand("footer", "Stamp page-numbered footers onto a PDF file, in place");
  footer->add_option("FILE", args->file, "PDF file, rewritten in place")->required();
  footer
      ->add_option("--params", args->params,
                   "XML file: footer parameters record, or the job's footer options")
      ->required();
  auto* first = footer->add_option("--first", args->first,
                                   "first page to stamp (default 1, or startfrompage)");
  footer->add_option("--total", args->total,
                     "page count that $totalpages counts to (default: the file's)");
  footer->callback([args, first] { Footer(*args, first->count() > 0); });
}

}  // namespace tovrik::cli
