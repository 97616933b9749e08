#pragma once
// A small web site on a free loopback port for print tests and benchmarks. Pages:
//   /article/N     (N = 1..) an article of two to three printed Letter pages: headings,
//                  paragraphs, a list, a table, inline SVG, a PNG picture, external CSS
//   /twopages      two pages of text, each starting with "Page one"/"Page two" markers
//   /titled        a short page with a <title>
//   /slow          the document arrives only after `slowMs` (default: never in a test's time)
//   /stalled-image a page whose picture never finishes loading
//   /lazy          a page whose picture has loading="lazy" far below the first screen
//   /cookie-set, /cookie-show  sets a cookie / shows the cookies the browser sent
//   /missing       HTTP 404
// Runs its own thread; stops (and unblocks /slow) on destruction.

#include <memory>
#include <string>

namespace tovrik::testing {

class TestSite {
 public:
  TestSite();
  TestSite(const TestSite&) = delete;
  TestSite& operator=(const TestSite&) = delete;
  ~TestSite();

  int port() const;
  // "http://127.0.0.1:<port>" + path
  std::string Url(const std::string& path) const;
  // Number of requests for the lazy page's picture so far.
  int LazyImageRequests() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tovrik::testing
