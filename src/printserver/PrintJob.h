#pragma once
// What the print server does for one job, in Chromium's terms, and how it ended. Built from
// the client's settings by PrintSettings; rendered by PageRenderer.

#include <chrono>
#include <string>

namespace tovrik::printserver {

// Result codes of a job as the clients' Wait returns them.
inline constexpr const char* kResultPrinted = "019";
inline constexpr const char* kResultConnectFailed = "011";
inline constexpr const char* kResultCancelled = "012";
inline constexpr const char* kResultPrinterError = "014";
inline constexpr const char* kResultTimeOut = "099";

struct PageSetup {
  bool landscape = false;
  double paperWidth = 8.5;  // inches, portrait; landscape swaps at print time
  double paperHeight = 11;
  double scale = 1.0;      // 0.1 .. 2
  double marginTop = 0.4;  // inches
  double marginBottom = 0.4;
  double marginLeft = 0.4;
  double marginRight = 0.4;
  std::string headerTemplate;  // HTML; empty: no header
  std::string footerTemplate;  // HTML; empty: no footer
};

struct JobSpec {
  std::string url;
  PageSetup page;
  std::string fontFamily;  // default family of pages that set none; empty: the browser's
  int fontSizePx = 0;      // default size; 0: the browser's
  std::chrono::milliseconds loadTimeout{60000};   // navigation and readiness
  std::chrono::milliseconds printTimeout{60000};  // printing and writing the file
  std::chrono::milliseconds waitBeforePrint{0};
  // Written into the document information when not empty.
  std::string title, author, subject, keywords;
};

struct JobOutcome {
  std::string code;    // one of the kResult... codes
  std::string reason;  // why, for failures (logged and reported by the server)
};

}  // namespace tovrik::printserver
