#pragma once
// Fake renderer objects for pipeline tests: "printing" a URL writes a real PDF (made with
// Cairo) of a scripted number of pages into an output folder, or answers a scripted result
// code. Install with FakeRendererGuard for the guard's lifetime.

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/ObjectFactory.h"

namespace tovrik::testing {

struct FakeRenderer {
  std::filesystem::path outputDir;
  std::map<std::string, std::string> resultForUrl;  // default "019"
  std::map<std::string, int> pagesForUrl;           // default 1; below 0: not a PDF
  std::vector<std::string> printedUrls;
  std::vector<std::string> writtenFiles;
  int cleanUps = 0;
};

// Writes a PDF of `pages` Letter pages, page i showing "<label> page i".
void WriteTestPdf(const std::filesystem::path& path, int pages, const std::string& label);

class FakeRendererGuard {
 public:
  explicit FakeRendererGuard(std::shared_ptr<FakeRenderer> state);
  FakeRendererGuard(const FakeRendererGuard&) = delete;
  FakeRendererGuard& operator=(const FakeRendererGuard&) = delete;

 private:
  std::vector<std::unique_ptr<ScopedProvider>> providers_;
};

}  // namespace tovrik::testing
