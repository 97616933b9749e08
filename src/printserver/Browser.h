#pragma once
// One headless Chromium driven over the DevTools pipe. The constructor starts the browser in
// a process group of its own with a fresh profile folder and waits (bounded) until it answers;
// the destructor ends the whole group and removes the profile. Internal to the print server.
// One thread drives a Browser at a time; the pipe inside may be read by its own thread.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "printserver/ChildProcess.h"
#include "printserver/DevToolsPipe.h"

namespace tovrik::printserver {

struct BrowserOptions {
  std::string executable = "/usr/bin/chromium";
  std::vector<std::string> extraArgs;
  bool showOutput = false;  // Chromium's own stderr (noisy) passed through
  std::chrono::milliseconds startTimeout{30000};
};

class Browser {
 public:
  // Throws std::runtime_error when the browser cannot be started or does not answer in time.
  explicit Browser(const BrowserOptions& options);
  Browser(const Browser&) = delete;
  Browser& operator=(const Browser&) = delete;
  ~Browser();

  DevToolsPipe& pipe() { return *pipe_; }
  pid_t pid() const { return process_->pid(); }
  // False once the browser process has exited or its pipe has closed.
  bool Alive();
  // Resident memory of the browser and all its helper processes.
  uint64_t ResidentBytes() const { return GroupResidentBytes(process_->pid()); }

 private:
  std::filesystem::path profile_;
  std::unique_ptr<ChildProcess> process_;
  std::unique_ptr<DevToolsPipe> pipe_;
};

}  // namespace tovrik::printserver
