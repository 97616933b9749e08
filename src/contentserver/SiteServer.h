#pragma once
// The published web site of a content store, served over HTTP: "default.asp?id=N" and
// "default_pdfget.asp?id=N" render document N as a readable page for print (title, body,
// print stylesheet), "file.asp?id=N" serves a document's stored content (images, PDFs).
// Unknown or unpublished documents give 404; extra query parameters are ignored. The store is
// opened per request, so the site sees every change at once. Bind, then Run on one thread;
// Stop may be called from any thread.

#include <memory>
#include <string>

#include "contentserver/Components.h"

namespace tovrik {

class SiteServer {
 public:
  explicit SiteServer(StoreOpener open);
  SiteServer(const SiteServer&) = delete;
  SiteServer& operator=(const SiteServer&) = delete;
  ~SiteServer();

  // Binds host:port (port 0: a free one) and returns the port; throws std::runtime_error.
  int Bind(const std::string& host, int port);
  // Serves until Stop().
  void Run();
  void Stop();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The HTML page of a document. The _pdfget variant asks for images at full resolution.
std::string RenderDocumentPage(const Document& document, bool pdfget);

}  // namespace tovrik
