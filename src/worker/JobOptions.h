#pragma once
// The options of one queue entry (a pdfitem record), read in a fixed order, each under its own
// stage text, so a job that fails on a bad option says which option it was.

#include <cstdint>
#include <string>

#include "platform/XmlDocument.h"

namespace tovrik {

struct JobOptions {
  std::string optionsxml;  // renderer settings, with one NUL character appended
  bool issynchronous = false;
  int32_t documentid = 0;
  std::string documentname;
  int32_t destinationcategoryid = 0;
  std::string querystrings;
  bool parsetree = false;
  bool autoarchive = false;
  int32_t destinationdocumentid = 0;
  int32_t flags = 0;
  bool useFooter = false;
  int32_t startFromPage = 0;
  std::string footerParameters = "<root/>";
  std::string documentguid;  // documentname when the entry's value is empty
  std::string submitter;
  int32_t pictureResolution = 2;
};

// 2 when bit 0 of flags is set, else 1 when bit 1 is set, else 2.
int32_t PictureResolutionFromFlags(int32_t flags);

// Reads every option of the job document into options, setting errorPoint to each option's
// stage text before reading it. A missing option raises 91, a bad number 13 or 6. Returns
// false when the footer options set a status (status and StatusText say why); true otherwise.
bool ReadJobOptions(const DOMDocument40& jobDocument, JobOptions& options, int32_t& status,
                    std::string& StatusText, std::string& errorPoint);

}  // namespace tovrik
