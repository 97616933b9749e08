#pragma once
// The site and the print server of one state folder, started as child processes of the
// calling program on loopback (for `tovrik demo` and the pipeline benchmark). The object owns
// both process groups and stops them when destroyed.

#include <filesystem>
#include <memory>
#include <string>

#include "printserver/ChildProcess.h"

namespace tovrik::cli {

class LocalServices {
 public:
  // Starts `program site --port 0 --set-site-url` and `program print-server` on a free port
  // with `pool` browsers, both with TOVRIK_HOME=home, and waits (bounded) until both answer.
  // Throws std::runtime_error saying which did not start and why.
  LocalServices(const std::string& program, const std::filesystem::path& home, int pool);
  LocalServices(const LocalServices&) = delete;
  LocalServices& operator=(const LocalServices&) = delete;
  ~LocalServices();

  const std::string& siteUrl() const { return siteUrl_; }
  // "127.0.0.1:PORT", the form TOVRIK_PRINT_SERVER takes.
  std::string printServerAddress() const;

 private:
  std::unique_ptr<printserver::ChildProcess> site_;
  std::unique_ptr<printserver::ChildProcess> printServer_;
  std::string siteUrl_;
  int printPort_ = 0;
};

// The path of the running program (/proc/self/exe).
std::string SelfProgramPath();

}  // namespace tovrik::cli
