#pragma once
// Starts `tovrik print-server` as a child process on a free loopback port, for tests that need
// a real print server. The binary is $TOVRIK_BINARY_DIR/src/cli/tovrik (set by ctest). The
// constructor waits (bounded) for the server's health answer and throws std::runtime_error
// when it does not come; the destructor stops the server (SIGTERM, then SIGKILL of its process
// group). Nothing global is changed: give the address to the client objects yourself, e.g.
// through the TOVRIK_PRINT_SERVER variable of the process under test.

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace tovrik::testing {

struct PrintServerOptions {
  std::string home;                    // TOVRIK_HOME of the server (required)
  std::vector<std::string> extraArgs;  // e.g. {"--pool", "1"}
  std::chrono::milliseconds startTimeout{60000};
  bool showOutput = true;  // the server's log on our stderr
};

class PrintServerProcess {
 public:
  explicit PrintServerProcess(const PrintServerOptions& options);
  PrintServerProcess(const PrintServerProcess&) = delete;
  PrintServerProcess& operator=(const PrintServerProcess&) = delete;
  ~PrintServerProcess();

  int port() const { return port_; }
  std::string host() const { return "127.0.0.1"; }
  // "127.0.0.1:<port>", the form TOVRIK_PRINT_SERVER takes.
  std::string address() const { return host() + ":" + std::to_string(port_); }
  pid_t pid() const;
  // The health answer (JSON text); empty when the server does not answer.
  std::string Health() const;
  // Stops the server now (SIGTERM, bounded wait, then SIGKILL of the group); returns the
  // wait status. Safe to call more than once.
  int Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(15000));

 private:
  int port_ = 0;
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A loopback port that was free a moment ago.
int FreeLoopbackPort();

}  // namespace tovrik::testing
