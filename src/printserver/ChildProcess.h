#pragma once
// A child program started in a process group of its own, so that it and everything it starts
// can be ended together. The object owns the group: destroying it sends SIGTERM to the group,
// waits a bounded time, then sends SIGKILL and reaps the child. Not thread-safe: one owner.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tovrik::printserver {

struct ChildOptions {
  std::vector<std::string> argv;              // argv[0] is the program path
  std::map<std::string, std::string> setEnv;  // added to (or replacing in) the inherited env
  std::map<int, int> fds;                     // child fd -> our fd, made available in the child
  bool quiet = false;                         // stdout and stderr to /dev/null
  // SIGKILL the child when the thread that started it dies, so that even a parent killed
  // outright leaves no child behind (the child's own helpers notice their parent going).
  bool dieWithParent = true;
};

class ChildProcess {
 public:
  // Starts the program; throws std::system_error when it cannot be started. A program that
  // does not exist is reported by the child exiting with status 127.
  explicit ChildProcess(const ChildOptions& options);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess();

  pid_t pid() const { return pid_; }
  // True while the child has not been reaped.
  bool Running();
  // Sends a signal to the whole group.
  void SignalGroup(int signal);
  // Waits for the child to exit until the deadline; its wait status, or nothing on time-out.
  std::optional<int> WaitFor(std::chrono::milliseconds timeout);
  // SIGTERM to the group, up to `grace` for the child to exit, then SIGKILL to the group.
  // Returns the child's wait status. Safe to call more than once.
  int Stop(std::chrono::milliseconds grace = std::chrono::milliseconds(2000));

 private:
  pid_t pid_ = -1;
  std::optional<int> status_;  // set once reaped
};

// Resident memory of every process in the group, in bytes (0 when none are left).
uint64_t GroupResidentBytes(pid_t groupId);

}  // namespace tovrik::printserver
