// Prints the 20 article pages of the test site through MakePDF and the print server, and for
// comparison with `chromium --headless --print-to-pdf` started per page and with puppeteer-core
// (one warm browser, waitUntil load / networkidle0), each 1 and 2 pages at a time. The print
// server runs twice, a reused tab wiped between jobs ("MakePDF + print server") and a fresh
// context per job; all ways take turns within each round (--rounds N, default 2). Prints a table of
// median ms per page and pages per second, the goal ratios, and the browser pool's peak memory.
// Other arguments go to both print servers. Run through bench/printserver/run; set
// TOVRIK_PRINT_TRACE=1 to have the servers log every job's DevTools steps.

#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "pdf/CPDFFetcher.h"
#include "printserver/ChildProcess.h"
#include "printserver/ClientObjects.h"
#include "printserver/PdfTools.h"
#include "printserver/PrintServerProcess.h"
#include "printserver/TestSite.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Json = nlohmann::json;

namespace {

constexpr int kPages = 20;

struct Run {
  std::string name;
  int concurrency;
  std::vector<double> ms;  // per page
  double wallMs;
  int failures = 0;
  double Median() const {
    std::vector<double> s = ms;
    std::sort(s.begin(), s.end());
    return s.empty() ? 0 : s[s.size() / 2];
  }
  double PagesPerSecond() const { return wallMs > 0 ? ms.size() * 1000.0 / wallMs : 0; }
};

double Since(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

// Runs job(i) for every page, `concurrency` at a time.
template <typename Job>
Run Measure(const std::string& name, int concurrency, Job job) {
  Run run{name, concurrency, {}, 0};
  std::atomic<int> next{0};
  std::mutex mutex;
  auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int t = 0; t < concurrency; ++t) {
    threads.emplace_back([&] {
      for (int i; (i = next++) < kPages;) {
        auto t0 = Clock::now();
        bool ok = job(i + 1);
        double ms = Since(t0);
        std::scoped_lock lock(mutex);
        run.ms.push_back(ms);
        if (!ok) ++run.failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  run.wallMs = Since(start);
  return run;
}

bool CliPrint(const std::string& url, const fs::path& out) {
  char profile[] = "/tmp/tovrik-bench-cli-XXXXXX";
  if (!mkdtemp(profile)) return false;
  tovrik::printserver::ChildOptions options;
  options.argv = {"/usr/bin/chromium",
                  "--headless",
                  "--no-sandbox",
                  "--disable-gpu",
                  "--disable-quic",
                  "--no-first-run",
                  "--disable-background-networking",
                  "--disable-component-update",
                  "--disable-sync",
                  std::string("--user-data-dir=") + profile,
                  "--no-pdf-header-footer",
                  "--print-to-pdf=" + out.string(),
                  url};
  options.quiet = true;
  bool ok;
  {
    tovrik::printserver::ChildProcess child(options);
    auto status = child.WaitFor(std::chrono::milliseconds(60000));
    ok = status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0 && fs::exists(out);
  }
  fs::remove_all(profile);
  return ok;
}

Run Puppeteer(const std::string& script, const fs::path& urls, int concurrency,
              const std::string& waitUntil, const fs::path& out) {
  std::string output = tovrik::testing::CommandOutput("node '" + script + "' '" + urls.string() +
                                                      "' " + std::to_string(concurrency) + " " +
                                                      waitUntil + " '" + out.string() + "'");
  Run run{"puppeteer " + waitUntil, concurrency, {}, 0};
  Json result = Json::parse(output, nullptr, false);
  if (result.is_discarded()) {
    std::fprintf(stderr, "puppeteer run failed: %s\n", output.c_str());
    run.failures = kPages;
    return run;
  }
  run.ms = result["times"].get<std::vector<double>>();
  run.wallMs = result["wallMs"].get<double>();
  return run;
}

}  // namespace

int main(int argc, char** argv) {
  std::string script;
  std::vector<std::string> serverArgs = {"--pool", "2"};
  bool oursOnly = false;
  int rounds = 2;  // of ours, alternating the two isolation modes
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--node-script" && i + 1 < argc)
      script = argv[++i];
    else if (arg == "--ours-only")
      oursOnly = true;
    else if (arg == "--rounds" && i + 1 < argc)
      rounds = std::max(1, std::atoi(argv[++i]));
    else
      serverArgs.push_back(arg);  // passed to the print server, e.g. --isolation reuse-tab
  }
  fs::path work = fs::temp_directory_path() / ("tovrik-bench-" + std::to_string(getpid()));
  fs::create_directories(work / "out");
  tovrik::testing::TestSite site;
  {
    std::ofstream urls(work / "urls.txt");
    for (int i = 1; i <= kPages; ++i) urls << site.Url("/article/" + std::to_string(i)) << "\n";
  }

  // Ours twice, side by side: a fresh context per job (before) and a reused tab wiped between
  // jobs (after, the default), alternating in rounds so that other load on the machine falls
  // on both alike.
  std::vector<Run> runs;
  uint64_t peakBytes = 0;
  {
    const std::vector<std::pair<std::string, std::string>> modes = {
        {"ours, context per job", "context"}, {"MakePDF + print server", "reuse-tab"}};
    std::vector<std::unique_ptr<tovrik::testing::PrintServerProcess>> servers;
    for (const auto& [name, isolation] : modes) {
      std::vector<std::string> args = serverArgs;
      args.push_back("--isolation");
      args.push_back(isolation);
      fs::path home = work / ("home-" + isolation);
      fs::create_directories(home);
      servers.push_back(std::make_unique<tovrik::testing::PrintServerProcess>(
          tovrik::testing::PrintServerOptions{home.string(), args}));
    }
    tovrik::printserver::RegisterClientObjects();
    auto make = [&](int i) {
      std::string file, text, point;
      int32_t status = 0;
      bool ok = tovrik::CPDFFetcher().MakePDF(
          site.Url("/article/" + std::to_string(i)),
          std::string("<pdf><papersize>1</papersize></pdf>") + '\0', file, status, text, point);
      if (!ok)
        std::fprintf(stderr, "MakePDF page %d: %d %s%s\n", i, status, point.c_str(), text.c_str());
      return ok;
    };
    auto use = [&](size_t m) { setenv("TOVRIK_PRINT_SERVER", servers[m]->address().c_str(), 1); };
    for (size_t m = 0; m < modes.size(); ++m) {
      use(m);
      Measure("warm-up", 2, make);
    }
    // Every way in turn within each round, so that load from elsewhere on the machine falls
    // on all of them alike.
    for (int c : {1, 2}) {
      std::vector<Run> sums;
      auto add = [&](size_t k, const Run& r) {
        if (sums.size() <= k) sums.push_back(Run{r.name, c, {}, 0});
        sums[k].ms.insert(sums[k].ms.end(), r.ms.begin(), r.ms.end());
        sums[k].wallMs += r.wallMs;
        sums[k].failures += r.failures;
      };
      for (int round = 0; round < rounds; ++round) {
        size_t k = 0;
        for (size_t m = 0; m < modes.size(); ++m) {
          use(m);
          add(k++, Measure(modes[m].first, c, make));
        }
        if (oursOnly) continue;
        add(k++, Measure("chromium --print-to-pdf", c, [&](int i) {
              return CliPrint(
                  site.Url("/article/" + std::to_string(i)),
                  work / "out" / ("cli" + std::to_string(c) + "-" + std::to_string(i) + ".pdf"));
            }));
        if (script.empty()) continue;
        for (const char* wait : {"load", "networkidle0"})
          add(k++, Puppeteer(script, work / "urls.txt", c, wait, work / "out"));
      }
      for (Run& r : sums) runs.push_back(std::move(r));
    }
    Json health = Json::parse(servers.back()->Health());
    peakBytes = health.value("peakResidentBytes", uint64_t{0});
    std::printf("print server (reused tab): %s\n", health.dump().c_str());
  }
  std::printf("\n%-26s %4s %12s %10s %9s\n", "how", "tabs", "median ms", "pages/s", "failures");
  for (const Run& r : runs) {
    std::printf("%-26s %4d %12.0f %10.2f %9d\n", r.name.c_str(), r.concurrency, r.Median(),
                r.PagesPerSecond(), r.failures);
  }
  auto find = [&](const std::string& name, int c) -> const Run* {
    for (const Run& r : runs) {
      if (r.name == name && r.concurrency == c) return &r;
    }
    return nullptr;
  };
  std::printf("\ngoal ratios (ours vs. other, same concurrency):\n");
  for (int c : {1, 2}) {
    const Run* ours = find("MakePDF + print server", c);
    const Run* before = find("ours, context per job", c);
    if (before)
      std::printf("  %d tab(s): ms/page context per job/reused tab %5.2fx\n", c,
                  before->Median() / ours->Median());
    const Run* cli = find("chromium --print-to-pdf", c);
    const Run* load = find("puppeteer load", c);
    const Run* idle = find("puppeteer networkidle0", c);
    if (cli)
      std::printf("  %d tab(s): pages/s vs CLI           %5.2fx (goal >= 5)\n", c,
                  ours->PagesPerSecond() / cli->PagesPerSecond());
    if (idle)
      std::printf("  %d tab(s): ms/page networkidle0/ours %5.2fx (goal >= 2)\n", c,
                  idle->Median() / ours->Median());
    if (load)
      std::printf("  %d tab(s): ms/page ours/load         %5.2fx (goal <= 1.25)\n", c,
                  ours->Median() / load->Median());
  }
  std::printf(
      "\nbrowser pool peak resident memory (2 browsers, RSS summed over processes): %.0f MB\n",
      peakBytes / 1048576.0);
  fs::remove_all(work);
  return 0;
}
