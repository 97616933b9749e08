#include "printserver/ClientObjects.h"

#include <httplib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <thread>

#include "printserver/PrintJob.h"

namespace tovrik::printserver {
namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int16_t kDefaultTotalTimeout = 120;  // seconds, when Wait is given none
constexpr long long kPollMs = 5000;            // longest single wait on the server

void Log(const std::string& line) { std::fprintf(stderr, "print client: %s\n", line.c_str()); }

Json ParseSettings(const std::string& text) {
  if (text.empty()) return Json::object();
  Json j = Json::parse(text, nullptr, false);
  if (j.is_discarded() || !j.is_object()) {
    throw RaisedError(kErrInvalidArgument, "Invalid procedure call or argument: '" +
                                               text.substr(0, 80) +
                                               "' is not a Prt2Disk settings value");
  }
  return j;
}

class Prt2Disk final : public IPrt2Disk {
 public:
  void SetUseStaticPool(bool v) override { settings_["UseStaticPool"] = v; }
  void SetOrientation(int16_t v) override { settings_["orientation"] = v; }
  void SetPDFTitle(const std::string& v) override { settings_["PDFTitle"] = v; }
  void SetPDFAuthor(const std::string& v) override { settings_["PDFAuthor"] = v; }
  void SetPDFKeywords(const std::string& v) override { settings_["PDFKeywords"] = v; }
  void SetPDFSubject(const std::string& v) override { settings_["PDFSubject"] = v; }
  void SetPapersize(int32_t v) override { settings_["papersize"] = v; }
  void SetPrintquality(int32_t v) override { settings_["printquality"] = v; }
  void SetPrintresolution(int32_t v) override { settings_["printresolution"] = v; }
  void SetResolution(int32_t v) override { settings_["Resolution"] = v; }
  void SetTruetypeoption(int32_t v) override { settings_["truetypeoption"] = v; }
  void SetScaling(int32_t v) override { settings_["scaling"] = v; }
  void SetColorimageflags(int32_t v) override { settings_["colorimageflags"] = v; }
  void SetColorimageresolution(int32_t v) override { settings_["colorimageresolution"] = v; }

  std::string ToString() override { return settings_.dump(); }
  void FromString(const std::string& settings) override { settings_ = ParseSettings(settings); }
  std::string FullDocumentPath() override { return settings_.value("FullDocumentPath", ""); }

 private:
  Json settings_ = Json::object();
};

class WebGrabber final : public IWebGrabber {
 public:
  void SetURL(const std::string& v) override { url_ = v; }
  void SetEngineToUse(int16_t v) override { settings_["EngineToUse"] = v; }
  void SetIETopMargin(double v) override { settings_["IETopMargin"] = v; }
  void SetIELeftMargin(double v) override { settings_["IELeftMargin"] = v; }
  void SetIERightMargin(double v) override { settings_["IERightMargin"] = v; }
  void SetIEBottomMargin(double v) override { settings_["IEBottomMargin"] = v; }
  void SetIeheader(const std::string& v) override { settings_["ieheader"] = v; }
  void SetIefooter(const std::string& v) override { settings_["iefooter"] = v; }
  void SetPrintertimeout(int16_t v) override { settings_["printertimeout"] = v; }
  void SetTimeout(int16_t v) override { settings_["timeout"] = v; }
  void SetIEDomain(const std::string& v) override { settings_["IEDomain"] = v; }
  void SetWaitBeforePrint(int32_t v) override { settings_["WaitBeforePrint"] = v; }
  void MainFont(const std::string& name, int16_t size, int16_t bold, int16_t italic,
                int16_t underline, int16_t strikeout) override {
    settings_["MainFont"] = {{"name", name},           {"size", size},
                             {"bold", bold},           {"italic", italic},
                             {"underline", underline}, {"strikeout", strikeout}};
  }
  void SetPrt2DiskSettings(const std::string& v) override { prt2disk_ = v; }
  std::string Prt2DiskSettings() override { return prt2disk_; }

  int32_t DoPrint(const std::string& host, int32_t port) override;
  std::string Wait(const std::string& host, int32_t port, int16_t& totalTimeout,
                   const std::string& resultCodes) override;
  int32_t CleanUp(const std::string& host, int32_t port) override;

 private:
  std::string url_;
  Json settings_ = Json::object();
  std::string prt2disk_;
  std::string jobId_;         // the job the server accepted
  std::string failedResult_;  // DoPrint's failure, given back by Wait
};

std::unique_ptr<httplib::Client> Connect(const std::string& host, int32_t port, long long readMs) {
  ServerAddress a = EffectiveServerAddress(host, port);
  auto client = std::make_unique<httplib::Client>(a.host, a.port);
  client->set_connection_timeout(3, 0);
  client->set_read_timeout(static_cast<time_t>(readMs / 1000),
                           static_cast<time_t>(readMs % 1000) * 1000);
  client->set_write_timeout(10, 0);
  return client;
}

std::string Where(const std::string& host, int32_t port) {
  ServerAddress a = EffectiveServerAddress(host, port);
  return a.host + ":" + std::to_string(a.port);
}

int32_t WebGrabber::DoPrint(const std::string& host, int32_t port) {
  jobId_.clear();
  failedResult_.clear();
  Json request = {{"url", url_}, {"webgrabber", settings_}, {"prt2disk", ParseSettings(prt2disk_)}};
  auto client = Connect(host, port, 15000);
  auto res = client->Post("/jobs", request.dump(), "application/json");
  if (!res) {
    failedResult_ = kResultConnectFailed;
    Log("cannot reach the print server at " + Where(host, port) + ": " +
        httplib::to_string(res.error()));
    return 1;
  }
  Json body = Json::parse(res->body, nullptr, false);
  if (res->status == 202 && body.is_object() && body.contains("id")) {
    jobId_ = body["id"].get<std::string>();
    return 0;
  }
  failedResult_ =
      body.is_object() ? body.value("result", kResultPrinterError) : kResultPrinterError;
  Log("print server refused " + url_ + ": " +
      (body.is_object() ? body.value("reason", res->body) : res->body));
  return res->status;
}

std::string WebGrabber::Wait(const std::string& host, int32_t port, int16_t& totalTimeout,
                             const std::string& /*resultCodes*/) {
  if (jobId_.empty()) return failedResult_.empty() ? kResultConnectFailed : failedResult_;
  const int seconds = totalTimeout > 0 ? totalTimeout : kDefaultTotalTimeout;
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  int connectFailures = 0;
  for (;;) {
    long long left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      Log(url_ + ": no result within " + std::to_string(seconds) + " s, cancelling the job");
      CleanUp(host, port);
      return kResultTimeOut;
    }
    long long wait = std::min(left, kPollMs);
    auto client = Connect(host, port, wait + 10000);
    auto res = client->Get("/jobs/" + jobId_ + "?wait=" + std::to_string(wait));
    if (!res) {
      // A server that restarts or is briefly busy gets a few chances within the time-out.
      if (++connectFailures >= 3) {
        Log("lost the print server at " + Where(host, port) + ": " +
            httplib::to_string(res.error()));
        return kResultConnectFailed;
      }
      std::this_thread::sleep_for(milliseconds(200));
      continue;
    }
    connectFailures = 0;
    if (res->status == 404) {
      Log(url_ + ": the print server no longer knows the job");
      jobId_.clear();
      return kResultCancelled;
    }
    Json body = Json::parse(res->body, nullptr, false);
    if (!body.is_object()) return kResultPrinterError;
    if (body.value("state", "") != "done") continue;
    std::string result = body.value("result", kResultPrinterError);
    if (result == kResultPrinted) {
      Json settings = ParseSettings(prt2disk_);
      settings["FullDocumentPath"] = body.value("path", "");
      prt2disk_ = settings.dump();
    } else {
      Log(url_ + ": result " + result + " (" + body.value("reason", "") + ")");
    }
    return result;
  }
}

int32_t WebGrabber::CleanUp(const std::string& host, int32_t port) {
  if (jobId_.empty()) return 0;
  auto client = Connect(host, port, 5000);
  auto res = client->Delete("/jobs/" + jobId_);
  jobId_.clear();
  return res && (res->status == 200 || res->status == 404) ? 0 : 1;
}

bool IsThisMachine(const std::string& serverName) {
  return serverName.empty() || serverName == "." || serverName == "localhost" ||
         serverName == "127.0.0.1";
}

}  // namespace

ServerAddress EffectiveServerAddress(const std::string& host, int port) {
  const char* override = std::getenv("TOVRIK_PRINT_SERVER");
  if (override != nullptr && *override != '\0') {
    std::string text(override);
    auto colon = text.rfind(':');
    if (colon != std::string::npos && colon > 0) {
      int p = std::atoi(text.c_str() + colon + 1);
      if (p > 0 && p < 65536) return {text.substr(0, colon), p};
    }
    Log("ignoring TOVRIK_PRINT_SERVER='" + text + "': expected host:port");
  }
  return {host, port};
}

std::unique_ptr<IWebGrabber> MakeWebGrabber() { return std::make_unique<WebGrabber>(); }
std::unique_ptr<IPrt2Disk> MakePrt2Disk() { return std::make_unique<Prt2Disk>(); }

void RegisterClientObjects() {
  auto local = [](auto make) {
    return [make](const std::string& serverName) -> std::unique_ptr<ComObject> {
      if (!IsThisMachine(serverName)) {
        throw RaisedError(kServerUnavailable, "The RPC server is unavailable.");
      }
      return make();
    };
  };
  RegisterProvider(kWebGrabberProgId, local([] { return MakeWebGrabber(); }));
  RegisterProvider(kPrt2DiskProgId, local([] { return MakePrt2Disk(); }));
}

}  // namespace tovrik::printserver
