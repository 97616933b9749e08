#include "printserver/PrintServerProcess.h"

#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "printserver/ChildProcess.h"

namespace tovrik::testing {

int FreeLoopbackPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot find a free loopback port");
  }
  ::close(fd);
  return ntohs(addr.sin_port);
}

struct PrintServerProcess::Impl {
  std::unique_ptr<printserver::ChildProcess> child;
};

PrintServerProcess::PrintServerProcess(const PrintServerOptions& options)
    : impl_(std::make_unique<Impl>()) {
  const char* binaryDir = std::getenv("TOVRIK_BINARY_DIR");
  if (binaryDir == nullptr || *binaryDir == '\0') {
    throw std::runtime_error("TOVRIK_BINARY_DIR is not set (run the test through ctest)");
  }
  if (options.home.empty()) throw std::runtime_error("PrintServerProcess: no home folder");
  // A port can be taken between the probe and the server's bind: try a few.
  for (int attempt = 0; attempt < 3; ++attempt) {
    port_ = FreeLoopbackPort();
    printserver::ChildOptions child;
    child.argv = {std::string(binaryDir) + "/src/cli/tovrik", "print-server", "--port",
                  std::to_string(port_)};
    for (const std::string& arg : options.extraArgs) child.argv.push_back(arg);
    child.setEnv = {{"TOVRIK_HOME", options.home}};
    child.quiet = !options.showOutput;
    impl_->child = std::make_unique<printserver::ChildProcess>(child);
    auto deadline = std::chrono::steady_clock::now() + options.startTimeout;
    while (std::chrono::steady_clock::now() < deadline && impl_->child->Running()) {
      if (!Health().empty()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    bool exited = !impl_->child->Running();
    impl_->child->Stop();
    impl_->child.reset();
    if (!exited) break;  // it ran but never answered: trying again will not help
  }
  throw std::runtime_error("print server did not answer its health request");
}

PrintServerProcess::~PrintServerProcess() { Stop(); }

pid_t PrintServerProcess::pid() const { return impl_->child ? impl_->child->pid() : -1; }

std::string PrintServerProcess::Health() const {
  httplib::Client client("127.0.0.1", port_);
  client.set_connection_timeout(1, 0);
  client.set_read_timeout(5, 0);
  auto res = client.Get("/health");
  if (!res || res->status != 200) return {};
  return res->body;
}

int PrintServerProcess::Stop(std::chrono::milliseconds grace) {
  if (!impl_->child) return 0;
  int status = impl_->child->Stop(grace);
  impl_->child.reset();
  return status;
}

}  // namespace tovrik::testing
