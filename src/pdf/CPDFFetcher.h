#pragma once
// Prints one web page to one PDF file through the renderer objects "APWebGrabber.Object" and
// "APServer.Object" and the machine's print server at 127.0.0.1:64320. The pipeline makes one
// CPDFFetcher per job and calls MakePDF per page. Keeps no state between calls; one thread
// uses an instance at a time.

#include <cstdint>
#include <memory>
#include <string>

#include "platform/XmlDocument.h"

namespace tovrik {

class CPDFFetcher {
 public:
  // Prints URL with the PDF settings XML `InXml` (one trailing NUL is ignored; empty text gives
  // every default). Returns true with RetFile = the PDF's path, status 0 and "Success" when the
  // page was printed; false with the status pair of the print result otherwise (1002 "No url"
  // for an empty URL). errorPoint names each step as it begins and ends at
  // "WebGrabber.CleanUp: " after every completed call. Raised errors (object creation,
  // settings XML parse errors, overflowing settings, failing renderer calls) pass through with
  // errorPoint at the failing step and status, StatusText and RetFile as reset at the start.
  bool MakePDF(std::string URL, std::string InXml, std::string& RetFile, int32_t& status,
               std::string& StatusText, std::string& errorPoint);

 private:
  std::unique_ptr<DOMDocument40> getXMLDocument(const std::string& xml, bool raiseOnParseError);
  std::string getSetting(const DOMDocument40& document, const std::string& name);
  double mmToInch(int32_t millimetres);
};

}  // namespace tovrik
