#pragma once
// Prints web pages to PDF files with one browser: navigation, readiness, printing with the
// stream transfer, document information. Internal to the print server.
//
// Jobs are isolated from each other in one of two ways. The default reuses one tab, in a
// browser context of its own, for job after job: between jobs the tab's sessionStorage is
// cleared in every frame, the tab goes to about:blank, every kind of storage of each origin
// the job touched (local storage, IndexedDB, cache storage, service workers...) is cleared,
// and so are the context's cookies; the HTTP cache is off in that tab. A job that failed
// leaves no tab behind: the next one gets a fresh tab and context. The other way makes a
// fresh browser context per job ahead of time, which costs a new renderer per job (about
// 150-350 ms on 2 cores, partly hidden by making it early). One thread calls Print() and
// Tidy() at a time; Interrupt() may be called from any thread.
//
// With TOVRIK_PRINT_TRACE=1 in the environment every job logs the time of each DevTools step.

#include <sys/types.h>

#include <atomic>
#include <filesystem>
#include <memory>
#include <string>

#include "printserver/PrintJob.h"

namespace tovrik::printserver {

struct BrowserOptions;

enum class Isolation { kContextPerJob, kReusedTab };

struct RendererOptions {
  Isolation isolation = Isolation::kReusedTab;
  // After the load event: how long the network must stay quiet, and the most we wait for
  // that quiet before printing what has arrived.
  std::chrono::milliseconds quietWindow{40};
  std::chrono::milliseconds quietCap{5000};
};

class PageRenderer {
 public:
  // Starts the browser; throws std::runtime_error when it cannot.
  PageRenderer(const BrowserOptions& browser, const RendererOptions& options);
  PageRenderer(const PageRenderer&) = delete;
  PageRenderer& operator=(const PageRenderer&) = delete;
  ~PageRenderer();

  // Prints jobSpec.url into `output` (written under a temporary name, then renamed). Never
  // throws; a cancelled job (cancel set, then Interrupt()) ends with kResultCancelled.
  JobOutcome Print(const JobSpec& jobSpec, const std::filesystem::path& output,
                   const std::atomic<bool>& cancel);
  // Readies the browser for the next job (wipes or drops the last job's tab). Print() does
  // it first when nobody did; the server calls it after reporting a result, off the job's
  // path. Never throws.
  void Tidy();
  // Wakes a job waiting for page events so it sees its cancel flag.
  void Interrupt();
  // Kills the browser's process group at once (any thread): a job under way fails fast.
  void Kill();
  // False once the browser has exited or crashed: the renderer must be replaced.
  bool Healthy();
  pid_t BrowserPid() const;
  uint64_t ResidentBytes() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tovrik::printserver
