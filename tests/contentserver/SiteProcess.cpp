#include "contentserver/SiteProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "contentserver/SqliteContentStore.h"
#include "contentserver/StoreDate.h"

namespace tovrik::testing {
namespace {

SqliteContentStore OpenStore(const std::filesystem::path& home) {
  std::filesystem::create_directories(home);
  return SqliteContentStore((home / "content.db").string());
}

// Starts argv with TOVRIK_HOME=home, stdout to a pipe (or inherited when outFd is null).
pid_t Spawn(const std::filesystem::path& home, const std::vector<std::string>& args, int* outFd) {
  int fds[2] = {-1, -1};
  if (outFd && pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  std::vector<std::string> argv = args;
  std::vector<char*> raw;
  for (std::string& a : argv) raw.push_back(a.data());
  raw.push_back(nullptr);
  const std::string homeValue = home.string();
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    setpgid(0, 0);
    // A test killed outright (a time-out) must not leave its site running.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (outFd) dup2(fds[1], STDOUT_FILENO);
    setenv("TOVRIK_HOME", homeValue.c_str(), 1);
    execv(raw[0], raw.data());
    _exit(127);
  }
  if (outFd) {
    close(fds[1]);
    *outFd = fds[0];
  }
  return pid;
}

}  // namespace

ScopedTovrikHome::ScopedTovrikHome() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tovrik-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  if (const char* old = std::getenv("TOVRIK_HOME")) {
    previous_ = old;
    hadPrevious_ = true;
  }
  setenv("TOVRIK_HOME", path_.c_str(), 1);
}

ScopedTovrikHome::~ScopedTovrikHome() {
  if (hadPrevious_) {
    setenv("TOVRIK_HOME", previous_.c_str(), 1);
  } else {
    unsetenv("TOVRIK_HOME");
  }
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

int32_t SeedDocument(const std::filesystem::path& home, const std::string& name, int32_t parentId,
                     const std::string& bodyHtml, int32_t sortOrder) {
  Document d;
  d.name = name;
  d.parentId = parentId;
  d.bodyHtml = bodyHtml;
  d.sortOrder = sortOrder;
  d.publishDate = StoreDateNow();
  return OpenStore(home).CreateDocument(d);
}

int32_t SeedImage(const std::filesystem::path& home, const std::string& name, int32_t parentId,
                  const std::vector<uint8_t>& bytes, const std::string& contentType) {
  Document d;
  d.name = name;
  d.parentId = parentId;
  d.contentType = contentType;
  d.content = bytes;
  d.hasContent = true;
  d.publishDate = StoreDateNow();
  return OpenStore(home).CreateDocument(d);
}

void SeedSetting(const std::filesystem::path& home, const std::string& name,
                 const std::string& value) {
  OpenStore(home).WriteSetting(name, value);
}

int32_t SeedQueueEntry(const std::filesystem::path& home, const QueueJob& job) {
  return OpenStore(home).Enqueue(job);
}

QueueJob MakeJob(int32_t documentId, bool parseTree, const std::string& name) {
  QueueJob job;
  job.optionsxml = "<root/>";
  job.issynchronous = "0";
  job.documentid = std::to_string(documentId);
  job.documentname = name;
  job.destinationcategoryid = "0";
  job.querystrings = "";
  job.parsetree = parseTree ? "1" : "0";
  job.autoarchive = "0";
  job.destinationdocumentid = "0";
  job.flags = "0";
  job.documentguid = "";
  job.submitter = "tests";
  return job;
}

std::string TovrikProgram() {
  const char* dir = std::getenv("TOVRIK_BINARY_DIR");
  if (!dir || !*dir) throw std::runtime_error("TOVRIK_BINARY_DIR is not set (run under ctest)");
  return std::string(dir) + "/src/cli/tovrik";
}

int RunContentCommand(const std::filesystem::path& home, const std::vector<std::string>& args,
                      std::string* out) {
  std::vector<std::string> argv = {TovrikProgram(), "content"};
  argv.insert(argv.end(), args.begin(), args.end());
  int fd = -1;
  pid_t pid = Spawn(home, argv, &fd);
  std::string text;
  char buf[4096];
  ssize_t n;
  while ((n = read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  close(fd);
  int status = 0;
  waitpid(pid, &status, 0);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
}

SiteProcess::SiteProcess(const std::filesystem::path& home,
                         const std::vector<std::string>& extraArgs) {
  std::vector<std::string> argv = {TovrikProgram(), "site", "--port", "0"};
  argv.insert(argv.end(), extraArgs.begin(), extraArgs.end());
  int fd = -1;
  pid_ = Spawn(home, argv, &fd);
  std::string line;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char buf[256];
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<size_t>(n));
  }
  close(fd);
  const size_t end = line.find('\n');
  const size_t colon = line.rfind(':', end);
  if (end == std::string::npos || colon == std::string::npos) {
    Stop();
    throw std::runtime_error("tovrik site did not print its URL");
  }
  url_ = line.substr(0, end);
  port_ = std::atoi(line.c_str() + colon + 1);
}

SiteProcess::~SiteProcess() { Stop(); }

void SiteProcess::Stop() {
  if (pid_ <= 0) return;
  kill(-pid_, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(-pid_, SIGKILL);
  waitpid(pid_, nullptr, 0);
  pid_ = -1;
}

}  // namespace tovrik::testing
