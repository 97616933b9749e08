#include "printserver/ChildProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>

extern char** environ;

namespace tovrik::printserver {
namespace {

std::vector<std::string> MergedEnvironment(const std::map<std::string, std::string>& setEnv) {
  std::vector<std::string> env;
  for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
    std::string entry(*e);
    std::string name = entry.substr(0, entry.find('='));
    if (setEnv.count(name) == 0) env.push_back(entry);
  }
  for (const auto& [name, value] : setEnv) env.push_back(name + "=" + value);
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  for (std::string& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

}  // namespace

ChildProcess::ChildProcess(const ChildOptions& options) {
  if (options.argv.empty()) throw std::invalid_argument("ChildProcess: empty argv");
  // Everything the child needs is prepared before fork: only async-signal-safe calls follow.
  std::vector<std::string> args = options.argv;
  std::vector<std::string> env = MergedEnvironment(options.setEnv);
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  std::vector<std::pair<int, int>> fds(options.fds.begin(), options.fds.end());
  int highest = 2;
  for (const auto& [target, source] : fds) highest = std::max({highest, target, source});

  const pid_t parent = getpid();
  pid_t pid = fork();
  if (pid < 0) throw std::system_error(errno, std::generic_category(), "fork");
  if (pid == 0) {
    setpgid(0, 0);
    if (options.dieWithParent) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(126);  // the parent died before prctl took effect
    }
    // Move the sources above every target first, so no dup2 overwrites a later source.
    int spare = highest + 1;
    for (auto& fd : fds) {
      int moved = fcntl(fd.second, F_DUPFD, spare);
      if (moved < 0) _exit(126);
      fd.second = moved;
      spare = moved + 1;
    }
    for (const auto& [target, source] : fds) {
      if (dup2(source, target) < 0) _exit(126);
    }
    if (options.quiet) {
      int devnull = open("/dev/null", O_RDWR);
      if (devnull >= 0) {
        dup2(devnull, 1);
        dup2(devnull, 2);
      }
    }
    int devnullIn = open("/dev/null", O_RDONLY);
    if (devnullIn >= 0) dup2(devnullIn, 0);
    // Close everything else (listening sockets, other pipes) so nothing leaks into the child.
    int firstFree = 3;
    for (const auto& fd : fds) firstFree = std::max(firstFree, fd.first + 1);
    for (int fd = 3; fd < firstFree; ++fd) {
      bool kept = false;
      for (const auto& f : fds) kept = kept || f.first == fd;
      if (!kept) close(fd);
    }
    close_range(static_cast<unsigned>(firstFree), ~0U, 0);
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  // Also set the group from the parent, so a signal sent right away reaches the group.
  setpgid(pid, pid);
  pid_ = pid;
}

ChildProcess::~ChildProcess() { Stop(std::chrono::milliseconds(2000)); }

bool ChildProcess::Running() {
  if (status_) return false;
  int status = 0;
  pid_t r = waitpid(pid_, &status, WNOHANG);
  if (r == pid_) {
    status_ = status;
    return false;
  }
  return true;
}

void ChildProcess::SignalGroup(int signal) {
  if (pid_ > 0) kill(-pid_, signal);
}

std::optional<int> ChildProcess::WaitFor(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Running()) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return status_;
}

int ChildProcess::Stop(std::chrono::milliseconds grace) {
  if (pid_ <= 0) return 0;
  if (Running()) {
    SignalGroup(SIGTERM);
    if (!WaitFor(grace)) {
      SignalGroup(SIGKILL);
      WaitFor(std::chrono::milliseconds(5000));
    }
  }
  // Whatever the child left behind in its group goes too (a no-op when the group is empty).
  SignalGroup(SIGKILL);
  return status_.value_or(-1);
}

uint64_t GroupResidentBytes(pid_t groupId) {
  uint64_t total = 0;
  DIR* proc = opendir("/proc");
  if (proc == nullptr) return 0;
  const long pageSize = sysconf(_SC_PAGESIZE);
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (end == entry->d_name || *end != '\0') continue;
    if (getpgid(static_cast<pid_t>(pid)) != groupId) continue;
    std::ifstream statm("/proc/" + std::string(entry->d_name) + "/statm");
    uint64_t size = 0, resident = 0;
    if (statm >> size >> resident) total += resident * static_cast<uint64_t>(pageSize);
  }
  closedir(proc);
  return total;
}

}  // namespace tovrik::printserver
