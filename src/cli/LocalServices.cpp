#include "cli/LocalServices.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <thread>

namespace tovrik::cli {
namespace {

namespace fs = std::filesystem;
using printserver::ChildOptions;
using printserver::ChildProcess;

int FreeLoopbackPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                  ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
  if (fd >= 0) ::close(fd);
  if (!ok) throw std::runtime_error("no free loopback port");
  return ntohs(addr.sin_port);
}

// Reads one line from fd within the time-out; throws when none comes.
std::string ReadLine(int fd, std::chrono::seconds timeout, const std::string& what) {
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 200) <= 0) continue;
    char c;
    if (::read(fd, &c, 1) <= 0) break;
    if (c == '\n') return line;
    line += c;
  }
  throw std::runtime_error(what + " did not start (no address within " +
                           std::to_string(timeout.count()) + " s)");
}

void WaitForHealth(int port, std::chrono::seconds timeout, ChildProcess& server) {
  httplib::Client client("127.0.0.1", port);
  client.set_connection_timeout(1, 0);
  client.set_read_timeout(5, 0);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!server.Running()) throw std::runtime_error("the print server exited during start-up");
    auto res = client.Get("/health");
    if (res && res->status == 200) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  throw std::runtime_error("the print server did not answer its health request within " +
                           std::to_string(timeout.count()) + " s");
}

}  // namespace

LocalServices::LocalServices(const std::string& program, const fs::path& home, int pool) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) throw std::runtime_error("cannot make a pipe");
  ChildOptions siteOptions;
  siteOptions.argv = {program, "site", "--port", "0", "--set-site-url"};
  siteOptions.setEnv = {{"TOVRIK_HOME", home.string()}};
  siteOptions.fds = {{1, pipeFds[1]}};
  try {
    site_ = std::make_unique<ChildProcess>(siteOptions);
  } catch (...) {
    ::close(pipeFds[0]);
    ::close(pipeFds[1]);
    throw;
  }
  ::close(pipeFds[1]);
  try {
    siteUrl_ = ReadLine(pipeFds[0], std::chrono::seconds(20), "the site");
  } catch (...) {
    ::close(pipeFds[0]);
    throw;
  }
  ::close(pipeFds[0]);

  printPort_ = FreeLoopbackPort();
  ChildOptions printOptions;
  printOptions.argv = {program,  "print-server",      "--port", std::to_string(printPort_),
                       "--pool", std::to_string(pool)};
  printOptions.setEnv = {{"TOVRIK_HOME", home.string()}};
  printServer_ = std::make_unique<ChildProcess>(printOptions);
  WaitForHealth(printPort_, std::chrono::seconds(60), *printServer_);
}

LocalServices::~LocalServices() {
  if (printServer_) printServer_->Stop(std::chrono::milliseconds(15000));
  if (site_) site_->Stop();
}

std::string LocalServices::printServerAddress() const {
  return "127.0.0.1:" + std::to_string(printPort_);
}

std::string SelfProgramPath() {
  std::error_code ec;
  fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) throw std::runtime_error("cannot find the running program: " + ec.message());
  return self.string();
}

}  // namespace tovrik::cli
