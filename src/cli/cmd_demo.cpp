// tovrik demo: the main job on embedded defaults. In a fresh state folder it seeds the content
// store with a small document tree, starts `tovrik site` and `tovrik print-server` on
// loopback, sets the worker's registry values, enqueues a tree job with page-numbered footers
// and a preview job, runs the worker until both have ended, exports the stored PDF and prints
// where both PDFs are. Every step says what it does; a failing step says why and exits 1.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>

#include "cli/Commands.h"
#include "cli/DemoContent.h"
#include "cli/LocalServices.h"
#include "cli/WorkerLoop.h"
#include "config/WorkerConfig.h"
#include "config/cRegistry.h"
#include "contentserver/ContentStore.h"
#include "pdf/PdfMisc.h"
#include "platform/XmlDocument.h"

namespace tovrik::cli {
namespace {

namespace fs = std::filesystem;

constexpr int kSteps = 7;

void Step(int n, const std::string& what) {
  std::cout << "demo: [" << n << "/" << kSteps << "] " << what << std::endl;
}

void WriteFileAtomically(const fs::path& target, const std::vector<uint8_t>& bytes) {
  const fs::path temp = target.string() + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + temp.string());
  }
  fs::rename(temp, target);
}

int PagesOf(const fs::path& pdf) {
  int32_t status = 0;
  std::string text;
  const int32_t pages = getNumberOfPages(pdf.string(), status, text);
  if (status != 0) throw std::runtime_error(pdf.string() + " is not a readable PDF: " + text);
  return pages;
}

QueueJob Job(int32_t documentId, bool tree, bool preview, const std::string& name) {
  QueueJob job;
  job.optionsxml =
      "<root><papersize>9</papersize><title>Tovrik handbok</title><author>Tovrik demo</author>"
      "<subject>Demo</subject><keywords>tovrik, pdf</keywords><topmargin>15</topmargin>"
      "<bottommargin>25</bottommargin><leftmargin>15</leftmargin><rightmargin>15</rightmargin>"
      "</root>";
  job.issynchronous = preview ? "1" : "0";
  job.documentid = std::to_string(documentId);
  job.documentname = name;
  job.destinationcategoryid = "1";
  job.querystrings = "";
  job.parsetree = tree ? "1" : "0";
  job.autoarchive = "0";
  job.destinationdocumentid = "0";
  job.flags = "0";
  job.documentguid = tree ? "tovrik-handbok" : "";
  job.submitter = "demo";
  if (tree) {
    job.footerxml =
        "<root><usefooter>1</usefooter><startfrompage>2</startfrompage>"
        "<includecontextinnumbering>1</includecontextinnumbering>"
        "<htmlfont_normal>DejaVu Sans</htmlfont_normal><htmlfont_bold>DejaVu Sans</htmlfont_bold>"
        "<footertext>&lt;font size='2'&gt;Sida $currentpage av $totalpages &lt;b&gt;Tovrik "
        "handbok&lt;/b&gt;&lt;/font&gt;</footertext>"
        "<footerleft>15</footerleft><footertop>280</footertop><footerwidth>180</footerwidth>"
        "</root>";
  }
  return job;
}

int RunDemo(const fs::path& outDir) {
  const fs::path out = fs::absolute(outDir);
  const fs::path home = out / "state";
  const fs::path previewDir = out / "preview";
  const std::string self = SelfProgramPath();

  Step(1, "fresh state folder " + home.string());
  fs::remove_all(out);
  fs::create_directories(home);
  fs::create_directories(previewDir);
  ::setenv("TOVRIK_HOME", home.c_str(), 1);

  Step(2, "seeding the embedded content store with a document tree");
  int32_t root = 0, firstChapter = 0;
  {
    auto store = OpenContentStore("");
    Document picture;
    picture.name = "Diagram";
    picture.contentType = "image/png";
    picture.fileName = "diagram.png";
    picture.parentId = 0;
    picture.published = true;  // at the top of the tree, outside the printed handbook
    picture.hasContent = true;
    picture.content = DemoPicturePng();
    const int32_t pictureId = store->CreateDocument(picture);
    int sort = 0;
    for (const DemoDocument& d : DemoDocuments()) {
      Document doc;
      doc.name = d.name;
      doc.bodyHtml = d.bodyHtml;
      const auto at = doc.bodyHtml.find("$IMAGE");
      if (at != std::string::npos) doc.bodyHtml.replace(at, 6, std::to_string(pictureId));
      doc.parentId = root;
      doc.sortOrder = sort++;
      const int32_t id = store->CreateDocument(doc);
      if (root == 0) root = id;
      if (firstChapter == 0 && id != root) firstChapter = id;
      std::cout << "        document " << id << ": " << d.name << std::endl;
    }
  }

  // The print server reads its output folder from the registry when it starts.
  const fs::path pdfOut = home / "pdf-output";
  fs::create_directories(pdfOut);
  cRegistry registry;
  registry.SaveRegistryString(HKEY_LOCAL_MACHINE, kActivePDFServerKey, kDefaultPDFDirectoryValue,
                              pdfOut.string());

  Step(3, "starting tovrik site and tovrik print-server (headless Chromium) on loopback");
  LocalServices services(self, home, 1);
  ::setenv("TOVRIK_PRINT_SERVER", services.printServerAddress().c_str(), 1);
  std::cout << "        site: " << services.siteUrl() << std::endl
            << "        print server: " << services.printServerAddress() << std::endl;

  Step(4, "registry: baseurl, baseFilePath, DefaultPDFDirectory");
  const std::string baseUrl = "file://" + previewDir.string() + "/";
  registry.SaveRegistryString(HKEY_LOCAL_MACHINE, kPDFServerKey, kBaseURLValue, baseUrl);
  registry.SaveRegistryString(HKEY_LOCAL_MACHINE, kPDFServerKey, kBaseFilePathValue,
                              previewDir.string());

  Step(5, "enqueueing a tree job with footers and a preview job");
  int32_t treeEntry = 0, previewEntry = 0;
  {
    auto store = OpenContentStore("");
    treeEntry = store->Enqueue(Job(root, true, false, "Tovrik handbok"));
    previewEntry = store->Enqueue(Job(firstChapter, false, true, "Förhandsvisning"));
  }
  std::cout << "        entry " << treeEntry << ": document " << root
            << " and the documents below it, footers \"Sida $currentpage av $totalpages\""
            << std::endl
            << "        entry " << previewEntry << ": preview of document " << firstChapter
            << std::endl;

  Step(6, "running the worker until both entries have ended");
  for (int i = 0; i < 10; ++i) {
    const JobOutcome o = RunOneJob("", 1);
    if (o.queueEmpty) break;
    if (!o.result && o.entry == 0) throw std::runtime_error("the worker took no entry");
  }
  auto store = OpenContentStore("");
  std::optional<QueueEntry> tree = store->FindEntry(treeEntry);
  std::optional<QueueEntry> preview = store->FindEntry(previewEntry);
  for (const auto* entry : {&tree, &preview}) {
    if (!*entry || !(*entry)->outcome) throw std::runtime_error("an entry did not end");
    if ((*entry)->state != QueueState::kDone) {
      throw std::runtime_error("entry " + std::to_string((*entry)->id) +
                               " failed: " + (*entry)->outcome->errorMessage);
    }
  }

  Step(7, "exporting the stored PDF");
  const int32_t stored = tree->outcome->documentGenerated;
  std::optional<Document> document = store->ReadDocument(stored, true);
  if (!document || !document->hasContent) {
    throw std::runtime_error("stored document " + std::to_string(stored) + " has no content");
  }
  const fs::path exported = out / "tovrik-handbok.pdf";
  WriteFileAtomically(exported, document->content);
  const std::string previewUrl = preview->outcome->url;
  const fs::path previewFile = previewDir / previewUrl.substr(baseUrl.size());

  std::cout << "demo: done\n"
            << "  stored job:  entry " << treeEntry << " -> document " << stored << " ("
            << tree->outcome->containingDocuments << "), " << PagesOf(exported)
            << " pages with footers\n"
            << "               " << exported.string() << "\n"
            << "  preview job: entry " << previewEntry << " -> " << previewUrl << "\n"
            << "               " << previewFile.string() << " (" << PagesOf(previewFile)
            << " pages)" << std::endl;
  return 0;
}

}  // namespace

void AddDemoCommand(CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "demo", "Print a small seeded site to PDF end to end, on loopback, in a fresh folder");
  auto outDir = std::make_shared<std::string>("demo-out");
  cmd->add_option("--out", *outDir, "Folder for the state and the PDFs (emptied first)")
      ->capture_default_str();
  cmd->callback([outDir] {
    try {
      ExitCode() = RunDemo(*outDir);
    } catch (const std::exception& e) {
      std::cerr << "demo: FAILED: " << e.what() << std::endl;
      ExitCode() = 1;
    }
  });
}

}  // namespace tovrik::cli
