#pragma once
// Prints web pages to PDF files with one browser: navigation, readiness, printing with the
// stream transfer, document information. Internal to the print server.
//
// Jobs are isolated from each other by a fresh browser context per job (no cookies, storage
// or cache shared), made ahead of time right after the previous job so its cost is off the
// job's path when the server is not saturated. The reused-tab mode (storage and cookies
// cleared between jobs) is kept for measurement. One thread calls Print() at a time;
// Interrupt() may be called from any thread.

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
  Isolation isolation = Isolation::kContextPerJob;
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

  // Prints spec.url into `output` (written under a temporary name, then renamed). Never
  // throws; a cancelled job (cancel set, then Interrupt()) ends with kResultCancelled.
  JobOutcome Print(const JobSpec& spec, const std::filesystem::path& output,
                   const std::atomic<bool>& cancel);
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
