#include "contentserver/SiteServer.h"

#include <httplib.h>

#include <iostream>
#include <stdexcept>

#include "platform/NumberConversion.h"
#include "platform/RaisedError.h"
#include "platform/XmlDocument.h"

namespace tovrik {
namespace {

// Base styles for the screen and the rules the print engine applies to every page.
constexpr const char* kStyles = R"css(
body { font-family: "DejaVu Serif", Georgia, serif; line-height: 1.45; margin: 2em auto;
       max-width: 46em; padding: 0 1em; color: #111; }
h1 { font-family: "DejaVu Sans", Arial, sans-serif; font-size: 1.8em; margin: 0 0 .6em; }
img { max-width: 100%; height: auto; }
table { border-collapse: collapse; }
td, th { border: 1px solid #999; padding: .2em .5em; }
.meta { color: #555; font-size: .85em; margin-bottom: 1.5em; }
)css";

constexpr const char* kPrintStyles = R"css(
@page { margin: 18mm 15mm; }
body { margin: 0; max-width: none; padding: 0; font-size: 11pt; }
a { color: inherit; text-decoration: none; }
h1, h2, h3 { page-break-after: avoid; break-after: avoid; }
img, table, figure, pre { page-break-inside: avoid; break-inside: avoid; }
nav, .noprint { display: none; }
)css";

std::optional<int32_t> IdOf(const httplib::Request& request) {
  if (!request.has_param("id")) return std::nullopt;
  try {
    return ToInt32(request.get_param_value("id"));
  } catch (const RaisedError&) {
    return std::nullopt;
  }
}

void NotFound(httplib::Response& response, const std::string& why) {
  response.status = 404;
  response.set_content(
      "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Not found"
      "</title></head><body><h1>Not found</h1><p>" +
          XmlEscape(why) + "</p></body></html>",
      "text/html; charset=utf-8");
}

}  // namespace

std::string RenderDocumentPage(const Document& d, bool pdfget) {
  std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">";
  page += "<title>" + XmlEscape(d.name) + "</title>";
  page += "<style>" + std::string(kStyles) + "</style>";
  page += "<style media=\"print\">" + std::string(kPrintStyles) + "</style>";
  page += "</head><body class=\"";
  page += pdfget ? "pdfget" : "screen";
  page += "\"><article>\n<h1>" + XmlEscape(d.name) + "</h1>\n";
  if (!d.publishDate.empty()) {
    page += "<div class=\"meta\">" + XmlEscape(d.publishDate) + "</div>\n";
  }
  if (d.contentType.rfind("image/", 0) == 0 && d.contentSize > 0) {
    page += "<p><img src=\"file.asp?id=" + std::to_string(d.id) + "\" alt=\"" + XmlEscape(d.name) +
            "\"></p>\n";
  } else if (d.contentType != "text/html" && d.contentSize > 0) {
    page += "<p><a href=\"file.asp?id=" + std::to_string(d.id) + "\">" +
            XmlEscape(d.fileName.empty() ? d.name : d.fileName) + "</a></p>\n";
  }
  // The body is the site's own HTML, written by its editors, and goes out as it is.
  page += d.bodyHtml;
  page += "\n</article></body></html>\n";
  return page;
}

struct SiteServer::Impl {
  explicit Impl(StoreOpener o) : open(std::move(o)) {}

  // Runs one request against the store; store failures give 500 with the reason.
  template <class F>
  void Serve(const httplib::Request& request, httplib::Response& response, F&& body) {
    try {
      body();
    } catch (const std::exception& e) {
      std::cerr << "tovrik site: " << request.method << " " << request.path << ": " << e.what()
                << "\n";
      response.status = 500;
      response.set_content(std::string("content store failure: ") + e.what(),
                           "text/plain; charset=utf-8");
    }
  }

  void Page(const httplib::Request& request, httplib::Response& response, bool pdfget) {
    Serve(request, response, [&] {
      std::optional<int32_t> id = IdOf(request);
      if (!id) return NotFound(response, "No document id");
      std::optional<Document> d = open()->ReadDocument(*id, false);
      if (!d || !d->published) return NotFound(response, "No document " + std::to_string(*id));
      response.set_content(RenderDocumentPage(*d, pdfget), "text/html; charset=utf-8");
    });
  }

  void File(const httplib::Request& request, httplib::Response& response) {
    Serve(request, response, [&] {
      std::optional<int32_t> id = IdOf(request);
      if (!id) return NotFound(response, "No document id");
      std::optional<Document> d = open()->ReadDocument(*id, true);
      if (!d || !d->published || !d->hasContent) {
        return NotFound(response, "No content for document " + std::to_string(*id));
      }
      response.set_content(std::string(d->content.begin(), d->content.end()), d->contentType);
    });
  }

  const StoreOpener open;
  httplib::Server server;
};

SiteServer::SiteServer(StoreOpener open) : impl_(std::make_unique<Impl>(std::move(open))) {
  Impl* impl = impl_.get();
  impl->server.Get("/default.asp", [impl](const httplib::Request& q, httplib::Response& r) {
    impl->Page(q, r, false);
  });
  impl->server.Get("/default_pdfget.asp", [impl](const httplib::Request& q, httplib::Response& r) {
    impl->Page(q, r, true);
  });
  impl->server.Get("/file.asp",
                   [impl](const httplib::Request& q, httplib::Response& r) { impl->File(q, r); });
}

SiteServer::~SiteServer() { Stop(); }

int SiteServer::Bind(const std::string& host, int port) {
  int bound = port == 0 ? impl_->server.bind_to_any_port(host.c_str())
                        : (impl_->server.bind_to_port(host.c_str(), port) ? port : -1);
  if (bound <= 0) {
    throw std::runtime_error("cannot listen on " + host + ":" + std::to_string(port));
  }
  return bound;
}

void SiteServer::Run() { impl_->server.listen_after_bind(); }

void SiteServer::Stop() { impl_->server.stop(); }

}  // namespace tovrik
