#include "printserver/JobRequest.h"

#include <algorithm>
#include <cmath>

#include "printserver/PrintSettings.h"

namespace tovrik::printserver {
namespace {

using Json = nlohmann::json;
using std::chrono::milliseconds;

const Json& Member(const Json& object, const char* name) {
  static const Json kEmpty = Json::object();
  auto it = object.find(name);
  if (it == object.end()) return kEmpty;
  if (!it->is_object()) throw BadRequest(std::string("'") + name + "' must be an object");
  return *it;
}

// The number under `name`, or nothing when absent; a value of another kind is a bad request.
std::optional<double> Number(const Json& object, const char* name) {
  auto it = object.find(name);
  if (it == object.end() || it->is_null()) return std::nullopt;
  if (!it->is_number()) throw BadRequest(std::string("'") + name + "' must be a number");
  return it->get<double>();
}

std::string Text(const Json& object, const char* name) {
  auto it = object.find(name);
  if (it == object.end() || it->is_null()) return {};
  if (!it->is_string()) throw BadRequest(std::string("'") + name + "' must be text");
  return it->get<std::string>();
}

std::string Format(std::time_t now, const char* format) {
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  return std::strftime(text, sizeof text, format, &local) ? text : "";
}

}  // namespace

JobSpec JobSpecFromRequest(const Json& request, std::time_t now,
                           std::vector<std::string>& warnings) {
  if (!request.is_object()) throw BadRequest("the request must be a JSON object");
  const Json& grabber = Member(request, "webgrabber");
  const Json& prt2disk = Member(request, "prt2disk");
  JobSpec jobSpec;

  jobSpec.url = Text(request, "url");
  if (jobSpec.url.empty()) throw BadRequest("no URL to print");
  std::string lower = jobSpec.url.substr(0, 8);
  std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
  if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) {
    throw BadRequest("only http and https pages are printed, not '" + jobSpec.url + "'");
  }

  PageSetup& page = jobSpec.page;
  page.landscape = Number(prt2disk, "orientation").value_or(1) == 2;
  const PaperSize a4 = *PaperSizeOf(9);  // when none or an unknown one is asked for
  page.paperWidth = a4.width;
  page.paperHeight = a4.height;
  if (auto code = Number(prt2disk, "papersize")) {
    if (auto paper = PaperSizeOf(static_cast<int32_t>(*code))) {
      page.paperWidth = paper->width;
      page.paperHeight = paper->height;
    } else {
      warnings.push_back("unknown paper size " + std::to_string(static_cast<long>(*code)) +
                         ", printing on A4");
    }
  }
  if (auto percent = Number(prt2disk, "scaling")) {
    double clamped = std::clamp(*percent, 10.0, 200.0);
    if (clamped != *percent) {
      warnings.push_back("scaling " + std::to_string(static_cast<long>(*percent)) +
                         "% is outside 10..200%, using " +
                         std::to_string(static_cast<long>(clamped)) + "%");
    }
    page.scale = clamped / 100.0;
  }
  struct Margin {
    const char* name;
    double* target;
  };
  for (Margin m :
       {Margin{"IETopMargin", &page.marginTop}, Margin{"IEBottomMargin", &page.marginBottom},
        Margin{"IELeftMargin", &page.marginLeft}, Margin{"IERightMargin", &page.marginRight}}) {
    if (auto inches = Number(grabber, m.name)) {
      if (*inches < 0 || !std::isfinite(*inches)) {
        warnings.push_back(std::string(m.name) + " is negative, using 0");
        *m.target = 0;
      } else {
        *m.target = *inches;
      }
    }
  }

  double headerPt = 9;
  auto font = grabber.find("MainFont");
  if (font != grabber.end() && font->is_object()) {
    jobSpec.fontFamily = Text(*font, "name");
    if (auto size = Number(*font, "size"); size && *size > 0 && *size < 200) {
      jobSpec.fontSizePx = static_cast<int>(std::lround(*size * 96.0 / 72.0));
      headerPt = *size;
    }
  }
  const std::string date = Format(now, "%Y-%m-%d");
  const std::string time = Format(now, "%H:%M");
  page.headerTemplate = HeaderFooterTemplate(Text(grabber, "ieheader"), date, time, headerPt);
  page.footerTemplate = HeaderFooterTemplate(Text(grabber, "iefooter"), date, time, headerPt);

  if (auto s = Number(grabber, "timeout"); s && *s > 0) {
    jobSpec.loadTimeout = milliseconds(static_cast<long long>(*s * 1000));
  }
  if (auto s = Number(grabber, "printertimeout"); s && *s > 0) {
    jobSpec.printTimeout = milliseconds(static_cast<long long>(*s * 1000));
  }
  if (auto ms = Number(grabber, "WaitBeforePrint"); ms && *ms > 0) {
    jobSpec.waitBeforePrint = milliseconds(static_cast<long long>(std::min(*ms, 600000.0)));
  }

  jobSpec.title = Text(prt2disk, "PDFTitle");
  jobSpec.author = Text(prt2disk, "PDFAuthor");
  jobSpec.subject = Text(prt2disk, "PDFSubject");
  jobSpec.keywords = Text(prt2disk, "PDFKeywords");
  return jobSpec;
}

}  // namespace tovrik::printserver
