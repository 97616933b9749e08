// tovrik content: admin commands for the content store: init, documents, settings, the PDF
// queue and its reports, export of stored documents.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/Commands.h"
#include "contentserver/ContentStore.h"
#include "contentserver/PostgresContentStore.h"
#include "contentserver/QueueRecord.h"
#include "contentserver/StoreDate.h"
#include "platform/NumberConversion.h"
#include "platform/RaisedError.h"

namespace tovrik::cli {
namespace {

// Bad input from the command line: reported as it stands, exit code 1.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

int32_t ParseNumber(const std::string& option, const std::string& text) {
  try {
    return ToInt32(text);
  } catch (const RaisedError&) {
    throw UsageError(option + " needs a 32-bit number, not '" + text + "'");
  }
}

std::string ReadTextFile(const std::string& option, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw UsageError(option + ": cannot read '" + path + "'");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<uint8_t> ReadBinaryFile(const std::string& option, const std::string& path) {
  std::string text = ReadTextFile(option, path);
  return std::vector<uint8_t>(text.begin(), text.end());
}

// Writes bytes to a temporary name beside path, then renames it into place.
void WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path temp =
      target.parent_path() / ("." + target.filename().string() + ".tmp" + std::to_string(getpid()));
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) throw UsageError("cannot write '" + temp.string() + "'");
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      fs::remove(temp, ignored);
      throw UsageError("cannot write '" + temp.string() + "'");
    }
  }
  std::error_code ec;
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    throw UsageError("cannot move the export into '" + path + "'");
  }
}

std::string GuessContentType(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == ".png") return "image/png";
  if (ext == ".jpg" || ext == ".jpeg") return "image/jpeg";
  if (ext == ".gif") return "image/gif";
  if (ext == ".svg") return "image/svg+xml";
  if (ext == ".pdf") return "application/pdf";
  if (ext == ".css") return "text/css";
  return "application/octet-stream";
}

nlohmann::json OutcomeJson(const QueueEntry& e) {
  if (!e.outcome) return nullptr;
  return {{"documentGenerated", e.outcome->documentGenerated},
          {"containingDocuments", e.outcome->containingDocuments},
          {"url", e.outcome->url},
          {"error", e.outcome->error},
          {"errorMessage", e.outcome->errorMessage}};
}

nlohmann::json EntryJson(const QueueEntry& e) {
  nlohmann::json job = nlohmann::json::object();
  for (const QueueField& field : QueueFields()) {
    if (const auto& value = e.job.*field.member) job[field.name] = *value;
  }
  if (!e.job.extraXml.empty()) job["otherElements"] = e.job.extraXml;
  return {{"id", e.id},
          {"state", QueueStateName(e.state)},
          {"attempts", e.attempts},
          {"leaseSession", e.leaseSession},
          {"leaseExpires", LocalTimeText(e.leaseExpiresMs)},
          {"enqueued", LocalTimeText(e.enqueuedMs)},
          {"started", LocalTimeText(e.startedMs)},
          {"ended", LocalTimeText(e.endedMs)},
          {"job", job},
          {"outcome", OutcomeJson(e)}};
}

std::string Field(const std::optional<std::string>& value) { return value ? *value : "-"; }

// Runs a command body: bad input and store failures print one line and exit 1.
template <class F>
void Run(const char* name, F&& body) {
  try {
    body();
  } catch (const std::exception& e) {
    std::cerr << "tovrik content " << name << ": " << e.what() << "\n";
    ExitCode() = 1;
  }
}

struct EnqueueOptions {
  std::string xmlFile, document, name, category = "0", destination = "0", querystrings, flags = "0",
                                       guid, submitter, optionsFile, footerFile;
  bool tree = false, preview = false;
};

QueueJob JobFromOptions(const EnqueueOptions& o, CLI::App& cmd) {
  if (!o.xmlFile.empty()) {
    for (const char* job : {"--document", "--tree", "--preview", "--name", "--category",
                            "--destination", "--querystrings", "--flags", "--guid", "--submitter",
                            "--options-file", "--footer-file"}) {
      if (cmd.count(job) > 0) throw UsageError(std::string("--xml cannot be combined with ") + job);
    }
    std::vector<std::string> warnings;
    QueueJob job;
    try {
      job = QueueJobFromRecord(ReadTextFile("--xml", o.xmlFile), &warnings);
    } catch (const std::invalid_argument& e) {
      throw UsageError("--xml '" + o.xmlFile + "': " + e.what());
    }
    for (const std::string& w : warnings)
      std::cerr << "tovrik content enqueue: warning: " << w << "\n";
    return job;
  }
  if (o.document.empty()) throw UsageError("give --document ID (or --xml FILE)");
  const int32_t document = ParseNumber("--document", o.document);
  QueueJob job;
  job.optionsxml =
      o.optionsFile.empty() ? "<root/>" : ReadTextFile("--options-file", o.optionsFile);
  job.issynchronous = o.preview ? "1" : "0";
  job.documentid = std::to_string(document);
  job.documentname = o.name.empty() ? "Document " + std::to_string(document) : o.name;
  job.destinationcategoryid = std::to_string(ParseNumber("--category", o.category));
  job.querystrings = o.querystrings;
  job.parsetree = o.tree ? "1" : "0";
  job.autoarchive = "0";
  job.destinationdocumentid = std::to_string(ParseNumber("--destination", o.destination));
  job.flags = std::to_string(ParseNumber("--flags", o.flags));
  if (!o.footerFile.empty()) job.footerxml = ReadTextFile("--footer-file", o.footerFile);
  job.documentguid = o.guid;
  const char* user = std::getenv("USER");
  job.submitter = !o.submitter.empty() ? o.submitter : (user && *user ? user : "tovrik");
  return job;
}

}  // namespace

void AddContentCommand(CLI::App& app) {
  auto* content = app.add_subcommand(
      "content",
      "Admin commands for the content store ($TOVRIK_HOME/content.db, or the PostgreSQL "
      "database named by --server)");
  content->require_subcommand(1);
  // --server may also follow the command: `tovrik content init --server db1`.
  content->fallthrough();
  auto server = std::make_shared<std::string>();
  content->add_option("--server", *server,
                      "content server: empty for the embedded store, a host name (database "
                      "tovrik on it) or a postgresql:// URI");
  auto open = [server] { return OpenContentStore(*server); };

  auto* init = content->add_subcommand(
      "init", "Create the content store, or bring a PostgreSQL schema up to this version");
  init->callback([open, server] {
    Run("init", [&] {
      if (server->empty()) {
        std::cout << open()->Location() << "\n";
        return;
      }
      const PgTarget target = PgTargetFor(*server);
      const SchemaMigration m = MigratePostgresSchema(target);
      std::cerr << "tovrik content init: " << target.display << ": "
                << (m.from == m.to ? "schema version " + std::to_string(m.to) + ", up to date"
                    : m.from == 0  ? "created schema version " + std::to_string(m.to)
                                   : "migrated schema version " + std::to_string(m.from) + " to " +
                                        std::to_string(m.to))
                << "\n";
      std::cout << open()->Location() << "\n";
    });
  });

  struct AddOptions {
    std::string name, parent, bodyFile, file, contentType, sort = "0", category = "0", publishDate;
    bool unpublished = false;
  };
  auto add = std::make_shared<AddOptions>();
  auto* addDoc = content->add_subcommand("add-document", "Add a document; prints its number");
  addDoc->add_option("--name", add->name, "document name (title)");
  addDoc->add_option("--parent", add->parent, "number of the parent document");
  addDoc->add_option("--body-file", add->bodyFile, "HTML file with the page body");
  addDoc->add_option("--file", add->file, "binary content (an image, a PDF)");
  addDoc->add_option("--content-type", add->contentType, "content type (default: from --file)");
  addDoc->add_option("--sort", add->sort, "sort order among its siblings");
  addDoc->add_option("--category", add->category, "category number");
  addDoc->add_option("--publish-date", add->publishDate, "YYYY-MM-DD [HH:MM:SS] (default: now)");
  addDoc->add_flag("--unpublished", add->unpublished, "keep it off the site");
  addDoc->callback([open, add] {
    Run("add-document", [&] {
      if (add->name.empty()) throw UsageError("give --name");
      Document d;
      d.name = add->name;
      if (!add->parent.empty()) d.parentId = ParseNumber("--parent", add->parent);
      d.sortOrder = ParseNumber("--sort", add->sort);
      d.categoryId = ParseNumber("--category", add->category);
      if (!add->bodyFile.empty()) d.bodyHtml = ReadTextFile("--body-file", add->bodyFile);
      if (!add->file.empty()) {
        d.content = ReadBinaryFile("--file", add->file);
        d.fileName = std::filesystem::path(add->file).filename().string();
        d.contentType = GuessContentType(add->file);
      }
      if (!add->contentType.empty()) d.contentType = add->contentType;
      d.publishDate = add->publishDate.empty() ? StoreDateNow() : add->publishDate;
      if (!IsStoreDate(d.publishDate)) {
        throw UsageError("--publish-date needs YYYY-MM-DD [HH:MM:SS], not '" + d.publishDate + "'");
      }
      d.published = !add->unpublished;
      auto store = open();
      if (d.parentId != 0 && !store->ReadDocument(d.parentId, false)) {
        throw UsageError("no document " + std::to_string(d.parentId) + " for --parent");
      }
      std::cout << store->CreateDocument(d) << "\n";
    });
  });

  auto setting = std::make_shared<std::pair<std::string, std::string>>();
  auto* set = content->add_subcommand("set-setting", "Set a setting (e.g. SiteURL)");
  set->add_option("NAME", setting->first)->required();
  set->add_option("VALUE", setting->second)->required();
  set->callback([open, setting] {
    Run("set-setting", [&] { open()->WriteSetting(setting->first, setting->second); });
  });
  auto* get = content->add_subcommand("get-setting", "Print a setting");
  get->add_option("NAME", setting->first)->required();
  get->callback([open, setting] {
    Run("get-setting", [&] {
      std::optional<std::string> value = open()->ReadSetting(setting->first);
      if (!value) throw UsageError("the setting '" + setting->first + "' is not set");
      std::cout << *value << "\n";
    });
  });

  auto eo = std::make_shared<EnqueueOptions>();
  auto* enqueue = content->add_subcommand("enqueue", "Queue a PDF job; prints the entry number");
  enqueue->add_option("--xml", eo->xmlFile, "a whole pdfitem record, kept as it is");
  enqueue->add_option("--document", eo->document, "document (or root of the tree) to print");
  enqueue->add_flag("--tree", eo->tree, "print the document and every document below it");
  enqueue->add_flag("--preview", eo->preview, "synchronous preview job");
  enqueue->add_option("--name", eo->name, "name of the stored document");
  enqueue->add_option("--category", eo->category, "category of the stored document");
  enqueue->add_option("--destination", eo->destination, "document whose content is replaced");
  enqueue->add_option("--querystrings", eo->querystrings, "text appended to every page URL");
  enqueue->add_option("--flags", eo->flags, "job flags (1: screen images, 2: print images)");
  enqueue->add_option("--guid", eo->guid, "file name stem of the stored PDF");
  enqueue->add_option("--submitter", eo->submitter, "who asked for the job");
  enqueue->add_option("--options-file", eo->optionsFile, "renderer settings XML");
  enqueue->add_option("--footer-file", eo->footerFile, "footer options XML");
  enqueue->callback([open, eo, enqueue] {
    Run("enqueue", [&] {
      QueueJob job = JobFromOptions(*eo, *enqueue);
      std::cout << open()->Enqueue(job) << "\n";
    });
  });

  auto json = std::make_shared<bool>(false);
  auto* queue = content->add_subcommand("queue", "List the queue entries with state and outcome");
  queue->add_flag("--json", *json, "one JSON array");
  queue->callback([open, json] {
    Run("queue", [&] {
      std::vector<QueueEntry> entries = open()->ListEntries();
      if (*json) {
        nlohmann::json out = nlohmann::json::array();
        for (const QueueEntry& e : entries) out.push_back(EntryJson(e));
        std::cout << out.dump(2) << "\n";
        return;
      }
      std::printf("%-6s %-10s %-3s %-8s %-4s %-24s %s\n", "ENTRY", "STATE", "TRY", "DOCUMENT",
                  "TREE", "NAME", "OUTCOME");
      for (const QueueEntry& e : entries) {
        std::string outcome;
        if (e.outcome) {
          outcome =
              e.outcome->error == 0
                  ? "document " + std::to_string(e.outcome->documentGenerated) +
                        (e.outcome->url.empty() ? "" : " " + e.outcome->url)
                  : "error " + std::to_string(e.outcome->error) + ": " + e.outcome->errorMessage;
        } else if (e.leaseSession != 0 && e.state != QueueState::kWaiting) {
          outcome = "session " + std::to_string(e.leaseSession);
        }
        std::printf("%-6d %-10s %-3d %-8s %-4s %-24s %s\n", e.id, QueueStateName(e.state),
                    e.attempts, Field(e.job.documentid).c_str(), Field(e.job.parsetree).c_str(),
                    Field(e.job.documentname).c_str(), outcome.c_str());
      }
    });
  });

  auto shown = std::make_shared<std::string>();
  auto showJson = std::make_shared<bool>(false);
  auto* show = content->add_subcommand("show", "Show one entry with its outcome and reports");
  show->add_option("ENTRY", *shown)->required();
  show->add_flag("--json", *showJson, "as JSON");
  show->callback([open, shown, showJson] {
    Run("show", [&] {
      const int32_t id = ParseNumber("ENTRY", *shown);
      auto store = open();
      std::optional<QueueEntry> e = store->FindEntry(id);
      if (!e) throw UsageError("no queue entry " + std::to_string(id));
      nlohmann::json out = EntryJson(*e);
      out["reports"] = nlohmann::json::array();
      for (const QueueReport& r : store->ReportsOf(id)) {
        out["reports"].push_back({{"kind", r.kind},
                                  {"session", r.sessionId},
                                  {"attempt", r.attempt},
                                  {"received", LocalTimeText(r.receivedMs)},
                                  {"accepted", r.accepted},
                                  {"status", r.status},
                                  {"statusText", r.statusText},
                                  {"request", r.request}});
      }
      if (*showJson) {
        std::cout << out.dump(2) << "\n";
        return;
      }
      std::cout << "entry " << e->id << ": " << QueueStateName(e->state) << ", attempts "
                << e->attempts << "\n";
      for (const QueueField& field : QueueFields()) {
        if (const auto& value = e->job.*field.member)
          std::cout << "  " << field.name << ": " << *value << "\n";
      }
      if (e->outcome) std::cout << "outcome: " << OutcomeJson(*e).dump() << "\n";
      for (const auto& r : out["reports"]) std::cout << "report: " << r.dump() << "\n";
    });
  });

  auto exportId = std::make_shared<std::string>();
  auto exportOut = std::make_shared<std::string>();
  auto* exportDoc = content->add_subcommand("export-document", "Write a document's stored content");
  exportDoc->add_option("ID", *exportId)->required();
  exportDoc->add_option("--out", *exportOut, "file to write")->required();
  exportDoc->callback([open, exportId, exportOut] {
    Run("export-document", [&] {
      const int32_t id = ParseNumber("ID", *exportId);
      std::optional<Document> d = open()->ReadDocument(id, true);
      if (!d) throw UsageError("no document " + std::to_string(id));
      std::vector<uint8_t> bytes = d->content;
      if (!d->hasContent) {
        if (d->bodyHtml.empty()) {
          throw UsageError("document " + std::to_string(id) + " has no stored content");
        }
        bytes.assign(d->bodyHtml.begin(), d->bodyHtml.end());
      }
      WriteFileAtomically(*exportOut, bytes);
      std::cerr << "tovrik content export-document: " << bytes.size() << " bytes to " << *exportOut
                << "\n";
    });
  });
}

}  // namespace tovrik::cli
