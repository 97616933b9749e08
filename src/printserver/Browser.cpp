#include "printserver/Browser.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace tovrik::printserver {
namespace {

std::filesystem::path MakeProfileFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tovrik-chromium-XXXXXX");
  if (::mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "cannot create browser profile");
  }
  return pattern;
}

struct Pipe {
  int read = -1;
  int write = -1;
  Pipe() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
      throw std::system_error(errno, std::generic_category(), "pipe");
    }
    read = fds[0];
    write = fds[1];
  }
  ~Pipe() {
    if (read >= 0) ::close(read);
    if (write >= 0) ::close(write);
  }
  int TakeRead() { return std::exchange(read, -1); }
  int TakeWrite() { return std::exchange(write, -1); }
};

// A browser that dies while we write to its pipe must give us an error, not SIGPIPE's
// default of ending the whole process.
void IgnoreBrokenPipes() {
  struct sigaction current {};
  if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
    signal(SIGPIPE, SIG_IGN);
  }
}

}  // namespace

Browser::Browser(const BrowserOptions& options) : profile_(MakeProfileFolder()) {
  IgnoreBrokenPipes();
  try {
    Pipe commands;  // we write, the browser reads on fd 3
    Pipe replies;   // the browser writes on fd 4, we read
    ChildOptions child;
    child.argv = {options.executable,
                  "--headless",
                  "--no-sandbox",
                  "--disable-gpu",
                  "--disable-quic",
                  "--no-first-run",
                  "--no-default-browser-check",
                  "--disable-background-networking",
                  "--disable-component-update",
                  "--disable-sync",
                  "--disable-extensions",
                  "--disable-dev-shm-usage",
                  "--mute-audio",
                  "--hide-scrollbars",
                  "--remote-debugging-pipe",
                  "--user-data-dir=" + profile_.string()};
    // A reused tab must not keep the previous job's page alive in the back/forward cache once
    // it has moved on to about:blank. Headless tabs count as hidden: no throttling of their
    // timers and renderers. No background services a print job has no use for.
    for (const char* arg :
         {"--disable-back-forward-cache", "--disable-background-timer-throttling",
          "--disable-backgrounding-occluded-windows", "--disable-renderer-backgrounding",
          "--disable-ipc-flooding-protection", "--disable-hang-monitor", "--disable-breakpad",
          "--disable-client-side-phishing-detection", "--disable-default-apps",
          "--metrics-recording-only",
          "--disable-features=Translate,OptimizationHints,MediaRouter"}) {
      child.argv.push_back(arg);
    }
    for (const std::string& arg : options.extraArgs) child.argv.push_back(arg);
    child.argv.push_back("about:blank");
    child.fds = {{3, commands.read}, {4, replies.write}};
    child.quiet = !options.showOutput;
    process_ = std::make_unique<ChildProcess>(child);
    pipe_ = std::make_unique<DevToolsPipe>(commands.TakeWrite(), replies.TakeRead());
    // Our copies of the child's ends close here (Pipe destructors), so EOF means "gone".
  } catch (...) {
    pipe_.reset();
    process_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(profile_, ignored);
    throw;
  }
  try {
    pipe_->Call("Browser.getVersion", Json::object(), "", Clock::now() + options.startTimeout);
  } catch (const std::exception& e) {
    pipe_.reset();
    process_.reset();
    std::error_code ignored;
    std::filesystem::remove_all(profile_, ignored);
    throw std::runtime_error(std::string("browser did not start: ") + e.what());
  }
}

Browser::~Browser() {
  pipe_.reset();  // closes the command pipe: the browser starts to exit
  process_->Stop(std::chrono::milliseconds(1500));
  process_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(profile_, ignored);
}

bool Browser::Alive() { return process_->Running() && !pipe_->Closed(); }

}  // namespace tovrik::printserver
