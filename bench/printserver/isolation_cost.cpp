// Measures what isolating print jobs costs in our own DevTools client: a fresh browser context
// per job against one reused tab whose cookies, cache and storage are cleared between jobs.
// Prints the median and mean milliseconds per page over the article pages of the test site.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <numeric>
#include <string>
#include <vector>

#include "printserver/Browser.h"
#include "printserver/PageRenderer.h"
#include "printserver/TestSite.h"

using namespace tovrik::printserver;

int main(int argc, char** argv) {
  int pages = argc > 1 ? std::atoi(argv[1]) : 20;
  // A second argument "reuse" or "context" measures that mode alone (e.g. under /usr/bin/time
  // for the CPU time of the browser tree).
  std::string only = argc > 2 ? argv[2] : "";
  tovrik::testing::TestSite site;
  auto out = std::filesystem::temp_directory_path() / "tovrik-isolation-cost";
  std::filesystem::create_directories(out);
  for (Isolation mode : {Isolation::kReusedTab, Isolation::kContextPerJob}) {
    if ((only == "reuse" && mode != Isolation::kReusedTab) ||
        (only == "context" && mode != Isolation::kContextPerJob))
      continue;
    RendererOptions options;
    options.isolation = mode;
    PageRenderer renderer(BrowserOptions{}, options);
    std::atomic<bool> cancel{false};
    std::vector<double> ms;
    for (int round = 0; round < 2; ++round) {  // the first round warms the browser up
      ms.clear();
      for (int i = 1; i <= pages; ++i) {
        JobSpec jobSpec;
        jobSpec.url = site.Url("/article/" + std::to_string(i));
        jobSpec.page.paperWidth = 8.5;
        jobSpec.page.paperHeight = 11;
        auto t0 = std::chrono::steady_clock::now();
        JobOutcome o = renderer.Print(jobSpec, out / ("p" + std::to_string(i) + ".pdf"), cancel);
        auto t1 = std::chrono::steady_clock::now();
        if (o.code != "019")
          std::fprintf(stderr, "page %d: %s %s\n", i, o.code.c_str(), o.reason.c_str());
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
      }
    }
    std::sort(ms.begin(), ms.end());
    double mean = std::accumulate(ms.begin(), ms.end(), 0.0) / static_cast<double>(ms.size());
    std::printf("%-18s median %6.1f ms  mean %6.1f ms per page (incl. preparing the next tab)\n",
                mode == Isolation::kReusedTab ? "reused tab" : "context per job", ms[ms.size() / 2],
                mean);
  }
  std::filesystem::remove_all(out);
}
