#pragma once
// The machine's print server: a pool of headless Chromium browsers that print web pages to PDF
// files, behind a small HTTP + JSON interface on loopback (see PROTOCOL.md). Jobs beyond the
// pool wait in a bounded queue; every job is bounded by its time-outs. Browsers that crash are
// replaced, and browsers are recycled after a number of jobs or past a memory limit.
// Start() and Shutdown() are called from one controlling thread; the server runs its own
// threads (one per browser, the HTTP server's, a sampler).

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace tovrik::printserver {

struct PrintServerConfig {
  std::string host = "127.0.0.1";
  int port = 64320;        // 0: any free port (see port())
  int poolSize = 0;        // browsers; 0: the number of cores
  int queueLimit = 64;     // waiting jobs beyond the pool; more are refused ("014")
  int recycleAfter = 200;  // jobs per browser before it is replaced
  uint64_t maxBrowserBytes = 1536ull << 20;  // resident memory that makes a browser recycle
  std::string outputDirectory;  // empty: registry DefaultPDFDirectory, else state folder
  std::string chromium = "/usr/bin/chromium";
  bool browserLog = false;  // Chromium's own stderr
  bool reuseTab = true;     // isolation by wiping one tab between jobs, not a context per job
  std::chrono::milliseconds quietWindow{40};
  std::chrono::milliseconds drainTimeout{10000};  // SIGTERM: time for jobs under way to finish
  std::chrono::seconds keepResults{600};          // finished jobs nobody cleaned up
};

class PrintServer {
 public:
  explicit PrintServer(PrintServerConfig config);
  PrintServer(const PrintServer&) = delete;
  PrintServer& operator=(const PrintServer&) = delete;
  ~PrintServer();  // Shutdown()

  // Binds the address and starts the pool and the HTTP server. Throws std::runtime_error
  // when the address cannot be bound.
  void Start();
  int port() const;
  // Refuses new jobs, cancels waiting ones ("012"), lets running ones finish within the drain
  // time, cancels the rest ("012"), then stops every browser (whole process groups). Safe to
  // call more than once.
  void Shutdown();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Where the server writes its PDF files when not told: the registry value
// HKLM\SOFTWARE\ActivePDFServer DefaultPDFDirectory, else <state folder>/pdf-output.
std::string DefaultOutputDirectory();

}  // namespace tovrik::printserver
