#include "contentserver/PgCluster.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace tovrik::testing {
namespace {

std::string PostgresBinaries() {
  if (const char* bin = std::getenv("TOVRIK_TEST_PG_BIN"); bin && *bin) return bin;
  std::vector<std::string> found;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
    if (std::filesystem::exists(entry.path() / "bin" / "initdb")) {
      found.push_back((entry.path() / "bin").string());
    }
  }
  if (found.empty()) throw std::runtime_error("no PostgreSQL server binaries found");
  std::sort(found.begin(), found.end());
  return found.back();
}

int FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) close(fd);
    throw std::runtime_error("cannot find a free loopback port");
  }
  close(fd);
  return ntohs(address.sin_port);
}

}  // namespace

PgCluster::PgCluster() : bin_(PostgresBinaries()), port_(FreeLoopbackPort()) {
  std::string pattern = (std::filesystem::temp_directory_path() / "tovrik-pgc-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  base_ = pattern;
  std::filesystem::create_directories(base_ / "sock");
  if (geteuid() == 0 &&
      std::system(("chown -R postgres:postgres " + base_.string()).c_str()) != 0) {
    throw std::runtime_error("cannot give " + base_.string() + " to the postgres user");
  }
  Run(bin_ + "/initdb -D " + (base_ / "data").string() +
      " -U postgres --auth=trust -E UTF8 --locale=C.UTF-8");
  Start();
}

PgCluster::~PgCluster() {
  if (running_) {
    try {
      Run(bin_ + "/pg_ctl -D " + (base_ / "data").string() + " -m immediate -w stop");
    } catch (const std::exception&) {
    }
  }
  std::error_code ignored;
  std::filesystem::remove_all(base_, ignored);
}

void PgCluster::Run(const std::string& command) const {
  const std::string log = (base_ / "tool.log").string();
  const std::string line =
      (geteuid() == 0 ? "runuser -u postgres -- " : "") + command + " >" + log + " 2>&1";
  if (std::system(line.c_str()) != 0) {
    std::ifstream in(log);
    std::stringstream text;
    text << in.rdbuf();
    throw std::runtime_error("'" + command + "' failed: " + text.str());
  }
}

void PgCluster::Stop() {
  Run(bin_ + "/pg_ctl -D " + (base_ / "data").string() + " -m fast -w -t 60 stop");
  running_ = false;
}

void PgCluster::Start() {
  Run(bin_ + "/pg_ctl -D " + (base_ / "data").string() + " -w -t 60 -l " +
      (base_ / "server.log").string() + " -o \"-p " + std::to_string(port_) + " -k " +
      (base_ / "sock").string() + " -c listen_addresses=127.0.0.1 -c fsync=off\" start");
  running_ = true;
}

void PgCluster::Restart() {
  Stop();
  Start();
}

std::string PgCluster::Uri(const std::string& database) const {
  return "postgresql://postgres@127.0.0.1:" + std::to_string(port_) + "/" + database;
}

}  // namespace tovrik::testing
