#pragma once
// A private PostgreSQL server that a test can stop, start and restart: initdb into a fresh
// temporary folder, trust authentication for user postgres, a free loopback port. Run through
// `runuser -u postgres` when the tests run as root (the server refuses root). The binaries
// come from $TOVRIK_TEST_PG_BIN, else the newest /usr/lib/postgresql/*/bin.

#include <filesystem>
#include <string>

namespace tovrik::testing {

class PgCluster {
 public:
  // Creates and starts the server; throws std::runtime_error with the tool's log.
  PgCluster();
  PgCluster(const PgCluster&) = delete;
  PgCluster& operator=(const PgCluster&) = delete;
  // Stops the server (immediately) and removes its folder.
  ~PgCluster();

  void Stop();     // fast shutdown: sessions are told and closed
  void Start();    // on the same port
  void Restart();  // Stop and Start

  // "postgresql://postgres@127.0.0.1:PORT/database"
  std::string Uri(const std::string& database) const;
  int port() const { return port_; }

 private:
  void Run(const std::string& command) const;  // through runuser when root; throws

  std::filesystem::path base_;
  std::string bin_;
  int port_ = 0;
  bool running_ = false;
};

}  // namespace tovrik::testing
