#pragma once
// The print request the client objects send and the job the server makes of it. Internal to
// the print server and its client objects.
//
// A request is a JSON object {"url": text, "webgrabber": {...}, "prt2disk": {...}} whose two
// members hold the properties set on the two client objects under their member names
// (IETopMargin, ieheader, timeout, MainFont {name, size, ...}, orientation, papersize,
// PDFTitle, ...). Properties that were never set are absent and take the server's defaults.

#include <ctime>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "printserver/PrintJob.h"

namespace tovrik::printserver {

// A request that cannot be printed (no URL, a URL that is not http or https, a value of the
// wrong kind). The message says which and why.
class BadRequest : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// Builds the job of a request; `now` fills the date and time codes of headers and footers.
// Values outside what Chromium can print (unknown paper, scaling beyond 10..200 %, negative
// margins) are brought into range and noted in `warnings`. Throws BadRequest.
JobSpec JobSpecFromRequest(const nlohmann::json& request, std::time_t now,
                           std::vector<std::string>& warnings);

}  // namespace tovrik::printserver
