// tovrik worker: calls CWorker::StartJob in a loop, one queue entry per call, and logs one
// line per job on stderr. Sleeps with a bounded back-off while the queue is empty; on SIGTERM
// or SIGINT it finishes the job under way and exits.

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/Commands.h"
#include "cli/WorkerLoop.h"

namespace tovrik::cli {
namespace {

std::atomic<bool> g_stop{false};

void OnStopSignal(int) { g_stop = true; }

void InstallStopHandlers() {
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGINT, &sa, nullptr);
}

// Sleeps up to ms milliseconds, waking early when a stop was asked for.
void SleepUnlessStopped(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!g_stop && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min(ms, 50)));
  }
}

}  // namespace

void AddWorkerCommand(CLI::App& app) {
  auto* cmd = app.add_subcommand("worker", "Take PDF jobs from the queue and process them");
  struct Options {
    std::string server;
    int32_t connection = 1;
    bool once = false;
    bool untilEmpty = false;
    int maxIdleMs = 5000;
  };
  auto opts = std::make_shared<Options>();
  cmd->add_option("--server", opts->server,
                  "Content server: empty for the embedded store, a host name or a "
                  "postgresql:// URI");
  cmd->add_option("--connection", opts->connection, "Connection number passed to the server")
      ->capture_default_str();
  cmd->add_flag("--once", opts->once,
                "Run one StartJob call, print its result as one JSON line, exit 0 when true");
  cmd->add_flag("--until-empty", opts->untilEmpty,
                "Process entries until the queue is empty, then exit");
  cmd->add_option("--max-idle-ms", opts->maxIdleMs, "Longest sleep between polls of an empty queue")
      ->capture_default_str()
      ->check(CLI::Range(10, 600000));
  cmd->callback([opts] {
    if (opts->once) {
      const JobOutcome o = RunOneJob(opts->server, opts->connection);
      nlohmann::json line = {
          {"result", o.result}, {"status", o.status}, {"statusText", o.statusText}};
      std::cout << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
      ExitCode() = o.result ? 0 : 1;
      return;
    }
    InstallStopHandlers();
    int idleMs = 100;
    int jobs = 0, failures = 0;
    while (!g_stop) {
      const JobOutcome o = RunOneJob(opts->server, opts->connection);
      if (o.queueEmpty) {
        if (opts->untilEmpty) break;
        SleepUnlessStopped(idleMs);
        idleMs = std::min(idleMs * 2, opts->maxIdleMs);
        continue;
      }
      if (!o.result && o.entry == 0) {
        // No entry was taken (the content server is down or refused): retry after a pause.
        if (opts->untilEmpty) {
          ExitCode() = 1;
          break;
        }
        SleepUnlessStopped(idleMs);
        idleMs = std::min(idleMs * 2, opts->maxIdleMs);
        continue;
      }
      idleMs = 100;
      ++jobs;
      if (!o.result) ++failures;
    }
    std::cerr << "worker: stopped after " << jobs << " jobs (" << failures << " failed)"
              << std::endl;
  });
}

}  // namespace tovrik::cli
