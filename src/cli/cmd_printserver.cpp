// tovrik print-server: the machine's print server (a pool of headless Chromium browsers
// behind HTTP + JSON on loopback). Runs until SIGTERM or SIGINT, then drains and stops.

#include <signal.h>

#include <iostream>

#include "cli/Commands.h"
#include "printserver/PrintServer.h"

namespace tovrik::cli {

void AddPrintServerCommand(CLI::App& app) {
  auto config = std::make_shared<printserver::PrintServerConfig>();
  auto isolation = std::make_shared<std::string>("reuse-tab");
  auto maxMb = std::make_shared<uint64_t>(config->maxBrowserBytes >> 20);
  auto quietMs = std::make_shared<int>(static_cast<int>(config->quietWindow.count()));
  auto drainSeconds = std::make_shared<int>(static_cast<int>(config->drainTimeout.count() / 1000));

  auto* cmd = app.add_subcommand(
      "print-server", "Run the print server: headless Chromium printing web pages to PDF");
  cmd->add_option("--host", config->host, "Address to listen on")->capture_default_str();
  cmd->add_option("--port", config->port, "Port to listen on (0: any free port)")
      ->capture_default_str();
  cmd->add_option("--pool", config->poolSize, "Browsers in the pool (0: one per core)")
      ->capture_default_str();
  cmd->add_option("--queue-limit", config->queueLimit,
                  "Jobs that may wait for a browser; more are refused")
      ->capture_default_str();
  cmd->add_option("--recycle-after", config->recycleAfter, "Jobs after which a browser is replaced")
      ->capture_default_str()
      ->check(CLI::PositiveNumber);
  cmd->add_option("--max-browser-mb", *maxMb,
                  "Resident memory (MB) past which a browser is replaced after its job")
      ->capture_default_str();
  cmd->add_option("--output-dir", config->outputDirectory,
                  "Folder for the PDF files (default: registry HKLM\\SOFTWARE\\ActivePDFServer "
                  "DefaultPDFDirectory, else <state folder>/pdf-output)");
  cmd->add_option("--chromium", config->chromium, "Chromium executable")->capture_default_str();
  cmd->add_flag("--browser-log", config->browserLog, "Pass Chromium's own log to stderr");
  cmd->add_option("--isolation", *isolation,
                  "How jobs are kept apart: 'reuse-tab' (one tab in a context of its own, its "
                  "cookies, storage and session storage wiped after every job, thrown away "
                  "after a failure) or 'context' (a fresh browser context per job, 2-3x slower)")
      ->check(CLI::IsMember({"context", "reuse-tab"}))
      ->capture_default_str();
  cmd->add_option("--quiet-ms", *quietMs,
                  "After the load event, how long the network must be quiet before printing")
      ->capture_default_str();
  cmd->add_option("--drain-seconds", *drainSeconds,
                  "On SIGTERM, how long jobs under way may take before they are cancelled")
      ->capture_default_str();

  cmd->callback([=] {
    config->reuseTab = *isolation == "reuse-tab";
    config->maxBrowserBytes = *maxMb << 20;
    config->quietWindow = std::chrono::milliseconds(std::max(0, *quietMs));
    config->drainTimeout = std::chrono::seconds(std::max(0, *drainSeconds));
    // Every thread the server starts inherits this mask; the signals are taken by sigwait.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    printserver::PrintServer server(*config);
    try {
      server.Start();
    } catch (const std::exception& e) {
      std::cerr << "tovrik print-server: " << e.what() << "\n";
      ExitCode() = 1;
      return;
    }
    int received = 0;
    sigwait(&signals, &received);
    std::cerr << "print-server: " << (received == SIGTERM ? "SIGTERM" : "SIGINT") << " received\n";
    server.Shutdown();
  });
}

}  // namespace tovrik::cli
