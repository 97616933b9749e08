// Jobs of 1, 5 and 20 pages end to end on the embedded store, with the real site, print
// server (Chromium) and PDF library: seconds per job, split into rendering, page counts,
// merge, footers, save and the rest (the worker's own work, queue calls, settings, URL list).
//
//   pipeline_bench --program build/src/cli/tovrik [--repeat 3]

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "cli/LocalServices.h"
#include "config/WorkerConfig.h"
#include "config/cRegistry.h"
#include "contentserver/Components.h"
#include "contentserver/ContentStore.h"
#include "pdf/ActivePDF.h"
#include "pdf/PdfMiscLibrary.h"
#include "printserver/ClientObjects.h"
#include "worker/CWorker.h"

namespace tovrik {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Seconds spent per part during the current job.
std::map<std::string, double> g_spent;

struct Timer {
  const char* part;
  Clock::time_point start = Clock::now();
  explicit Timer(const char* p) : part(p) {}
  ~Timer() { g_spent[part] += std::chrono::duration<double>(Clock::now() - start).count(); }
};

class TimedWebGrabber : public IWebGrabber {
 public:
  explicit TimedWebGrabber(std::unique_ptr<IWebGrabber> t) : t_(std::move(t)) {}
  void SetURL(const std::string& v) override { t_->SetURL(v); }
  void SetEngineToUse(int16_t v) override { t_->SetEngineToUse(v); }
  void SetIETopMargin(double v) override { t_->SetIETopMargin(v); }
  void SetIELeftMargin(double v) override { t_->SetIELeftMargin(v); }
  void SetIERightMargin(double v) override { t_->SetIERightMargin(v); }
  void SetIEBottomMargin(double v) override { t_->SetIEBottomMargin(v); }
  void SetIeheader(const std::string& v) override { t_->SetIeheader(v); }
  void SetIefooter(const std::string& v) override { t_->SetIefooter(v); }
  void SetPrintertimeout(int16_t v) override { t_->SetPrintertimeout(v); }
  void SetTimeout(int16_t v) override { t_->SetTimeout(v); }
  void SetIEDomain(const std::string& v) override { t_->SetIEDomain(v); }
  void SetWaitBeforePrint(int32_t v) override { t_->SetWaitBeforePrint(v); }
  void MainFont(const std::string& n, int16_t s, int16_t b, int16_t i, int16_t u,
                int16_t k) override {
    t_->MainFont(n, s, b, i, u, k);
  }
  void SetPrt2DiskSettings(const std::string& v) override { t_->SetPrt2DiskSettings(v); }
  std::string Prt2DiskSettings() override { return t_->Prt2DiskSettings(); }
  int32_t DoPrint(const std::string& h, int32_t p) override {
    Timer t("render");
    return t_->DoPrint(h, p);
  }
  std::string Wait(const std::string& h, int32_t p, int16_t& total,
                   const std::string& codes) override {
    Timer t("render");
    return t_->Wait(h, p, total, codes);
  }
  int32_t CleanUp(const std::string& h, int32_t p) override {
    Timer t("render");
    return t_->CleanUp(h, p);
  }

 private:
  std::unique_ptr<IWebGrabber> t_;
};

class TimedPdfMisc : public PdfMiscLibraryWrapper {
 public:
  using PdfMiscLibraryWrapper::PdfMiscLibraryWrapper;
  int32_t PageCount(const char* p, int32_t* n, int32_t* e, char16_t** m) override {
    Timer t("count");
    return PdfMiscLibraryWrapper::PageCount(p, n, e, m);
  }
  int32_t Merge(const char* l, const char* o, int32_t* e, char16_t** m) override {
    Timer t("merge");
    return PdfMiscLibraryWrapper::Merge(l, o, e, m);
  }
  int32_t AddFooter(const char* p, const char16_t* f, int32_t a, int32_t b, int32_t* e,
                    char16_t** m) override {
    Timer t("footers");
    return PdfMiscLibraryWrapper::AddFooter(p, f, a, b, e, m);
  }
};

class TimedDocumentManager : public DocumentManager {
 public:
  using DocumentManager::DocumentManager;
  Variant SaveDocument(int32_t c, const Variant& s, const std::string& r, Variant& n, Variant& t,
                       Variant& x) override {
    Timer timer("save");
    return DocumentManager::SaveDocument(c, s, r, n, t, x);
  }
};

class TimedDocumentManagerBin : public DocumentManagerBin {
 public:
  using DocumentManagerBin::DocumentManagerBin;
  Variant SaveContent(int32_t c, const Variant& s, IRequest* w, const std::string& r,
                      const Variant& content, int32_t x, Variant& n, Variant& t) override {
    Timer timer("save");
    return DocumentManagerBin::SaveContent(c, s, w, r, content, x, n, t);
  }
};

class TimedSessionManager : public SessionManager {
 public:
  using SessionManager::SessionManager;
  int32_t OpenSession(int32_t c, const std::string& r, Variant& n, Variant& t) override {
    Timer timer("queue");
    return SessionManager::OpenSession(c, r, n, t);
  }
};

class TimedPDFQueue : public PDFQueue {
 public:
  using PDFQueue::PDFQueue;
  std::string NextInQueue(int32_t c, int32_t s, const std::string& r, int32_t& st,
                          std::string& t) override {
    Timer timer("queue");
    return PDFQueue::NextInQueue(c, s, r, st, t);
  }
  void SetProcessingStarted(int32_t c, int32_t s, const std::string& r, int32_t& st,
                            std::string& t) override {
    Timer timer("queue");
    PDFQueue::SetProcessingStarted(c, s, r, st, t);
  }
  void SetProcessingEnded(int32_t c, int32_t s, const std::string& r, int32_t& st,
                          std::string& t) override {
    Timer timer("queue");
    PDFQueue::SetProcessingEnded(c, s, r, st, t);
  }
};

std::string Article(int n) {
  std::string html = "<h2>Artikel " + std::to_string(n) + "</h2>";
  for (int i = 0; i < 5; ++i) {
    html +=
        "<p>Tovrik skriver ut webbplatsens sidor till PDF och sammanfogar dem. The worker "
        "prints every page of the published site, merges the files and stamps footers with "
        "page numbers, then stores the result as a document of the content server.</p>";
  }
  html +=
      "<table><tr><th>Steg</th><th>Tid</th></tr><tr><td>Utskrift</td><td>0,3 s</td></tr>"
      "<tr><td>Sammanfogning</td><td>0,01 s</td></tr></table>";
  return html;
}

// A document with pages - 1 children, each one printed page.
int32_t SeedTree(ContentStore& store, int pages) {
  Document root;
  root.name = "Rot " + std::to_string(pages);
  root.bodyHtml = Article(0);
  const int32_t rootId = store.CreateDocument(root);
  for (int i = 1; i < pages; ++i) {
    Document child;
    child.name = "Artikel " + std::to_string(i);
    child.bodyHtml = Article(i);
    child.parentId = rootId;
    child.sortOrder = i;
    store.CreateDocument(child);
  }
  return rootId;
}

QueueJob FooterJob(int32_t documentId) {
  QueueJob job;
  job.optionsxml = "<root><papersize>9</papersize></root>";
  job.issynchronous = "0";
  job.documentid = std::to_string(documentId);
  job.documentname = "Bench";
  job.destinationcategoryid = "1";
  job.querystrings = "";
  job.parsetree = "1";
  job.autoarchive = "0";
  job.destinationdocumentid = "0";
  job.flags = "0";
  job.documentguid = "";
  job.submitter = "bench";
  job.footerxml =
      "<root><usefooter>1</usefooter><footertext>Sida $currentpage av $totalpages</footertext>"
      "<footerleft>15</footerleft><footertop>280</footertop><footerwidth>180</footerwidth></root>";
  return job;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

int Run(const std::string& program, int repeat) {
  char pattern[] = "/tmp/tovrik-pipeline-bench-XXXXXX";
  const fs::path home = mkdtemp(pattern);
  setenv("TOVRIK_HOME", home.c_str(), 1);
  fs::create_directories(home / "pdf-output");
  cRegistry().SaveRegistryString(HKEY_LOCAL_MACHINE, kActivePDFServerKey, kDefaultPDFDirectoryValue,
                                 (home / "pdf-output").string());
  std::map<int, int32_t> roots;
  {
    auto store = OpenContentStore("");
    for (int pages : {1, 5, 20}) roots[pages] = SeedTree(*store, pages);
  }
  int status = 0;
  {
    cli::LocalServices services(program, home, 1);
    setenv("TOVRIK_PRINT_SERVER", services.printServerAddress().c_str(), 1);

    RegisterContentServerProviders();
    printserver::RegisterClientObjects();
    const StoreOpener open = StoreOpenerFor("");
    ScopedProvider grabber(kWebGrabberProgId, [](const std::string&) {
      return std::make_unique<TimedWebGrabber>(printserver::MakeWebGrabber());
    });
    ScopedProvider manager(kDocumentManagerProgId, [open](const std::string&) {
      return std::make_unique<TimedDocumentManager>(open);
    });
    ScopedProvider managerBin(kDocumentManagerBinProgId, [open](const std::string&) {
      return std::make_unique<TimedDocumentManagerBin>(open);
    });
    ScopedProvider sessions(kSessionManagerProgId, [open](const std::string&) {
      return std::make_unique<TimedSessionManager>(open);
    });
    ScopedProvider queue(kPDFQueueProgId, [open](const std::string&) {
      return std::make_unique<TimedPDFQueue>(open);
    });
    TimedPdfMisc pdfmisc(LinkedPdfMiscLibrary());
    ScopedPdfMiscLibrary usePdfmisc(pdfmisc);

    const char* parts[] = {"render", "count", "merge", "footers", "save", "queue"};
    std::printf("%-6s %9s %9s %9s %9s %9s %9s %9s %9s %7s\n", "pages", "job s", "render", "count",
                "merge", "footers", "save", "queue", "rest", "rest %");
    for (int pages : {1, 5, 20}) {
      std::map<std::string, std::vector<double>> samples;
      // One warm-up job per size, not counted.
      for (int i = 0; i <= repeat; ++i) {
        {
          auto store = OpenContentStore("");
          store->Enqueue(FooterJob(roots[pages]));
        }
        g_spent.clear();
        CWorker worker;
        int32_t s = 0;
        std::string text;
        const auto start = Clock::now();
        const bool ok = worker.StartJob("", 1, s, text);
        const double total = std::chrono::duration<double>(Clock::now() - start).count();
        if (!ok || worker.LastJob().pages != pages) {
          std::cerr << "pipeline_bench: job of " << pages << " pages failed: " << text << "\n";
          status = 1;
          break;
        }
        if (i == 0) continue;
        double known = 0;
        for (const char* p : parts) {
          samples[p].push_back(g_spent[p]);
          known += g_spent[p];
        }
        samples["job"].push_back(total);
        samples["rest"].push_back(total - known);
      }
      if (status != 0) break;
      const double job = Median(samples["job"]);
      const double rest = Median(samples["rest"]);
      std::printf("%-6d %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %9.3f %6.1f%%\n", pages, job,
                  Median(samples["render"]), Median(samples["count"]), Median(samples["merge"]),
                  Median(samples["footers"]), Median(samples["save"]), Median(samples["queue"]),
                  rest, job > 0 ? 100.0 * rest / job : 0.0);
    }
  }
  fs::remove_all(home);
  return status;
}

}  // namespace
}  // namespace tovrik

int main(int argc, char** argv) {
  std::string program;
  int repeat = 3;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--program" && i + 1 < argc) program = argv[++i];
    if (a == "--repeat" && i + 1 < argc) repeat = std::max(1, std::atoi(argv[++i]));
  }
  if (program.empty()) {
    std::cerr << "usage: pipeline_bench --program PATH/tovrik [--repeat N]\n";
    return 2;
  }
  try {
    return tovrik::Run(program, repeat);
  } catch (const std::exception& e) {
    std::cerr << "pipeline_bench: " << e.what() << "\n";
    return 1;
  }
}
