#include "printserver/PrintServer.h"

#include <httplib.h>
#include <uuid/uuid.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "printserver/Browser.h"
#include "printserver/JobRequest.h"
#include "printserver/PageRenderer.h"

namespace tovrik::printserver {
namespace {

using std::chrono::milliseconds;

std::string NewGuid() {
  uuid_t id;
  uuid_generate_random(id);
  char text[37];
  uuid_unparse_upper(id, text);
  return text;
}

long long MillisSince(Clock::time_point t) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - t).count();
}

enum class JobState { kQueued, kRunning, kDone };

const char* StateName(JobState s) {
  switch (s) {
    case JobState::kQueued:
      return "queued";
    case JobState::kRunning:
      return "running";
    default:
      return "done";
  }
}

struct Job {
  std::string id;
  JobSpec jobSpec;
  JobState state = JobState::kQueued;
  JobOutcome outcome;
  std::string path;
  std::atomic<bool> cancel{false};
  Clock::time_point accepted = Clock::now();
  Clock::time_point expires;  // a queued job still waiting then has timed out
  Clock::time_point finished;
  int slot = -1;
};

struct Slot {
  std::string state = "starting";  // starting, idle, busy, down
  pid_t pid = 0;
  int jobs = 0;  // jobs on the current browser
  uint64_t residentBytes = 0;
  PageRenderer* renderer = nullptr;  // while alive; Kill() and Interrupt() are thread-safe
};

}  // namespace

std::string DefaultOutputDirectory();

struct PrintServer::Impl {
  const PrintServerConfig config;
  httplib::Server http;
  std::thread httpThread;
  std::vector<std::thread> workers;
  std::thread sampler;
  int boundPort = 0;
  bool started = false;
  bool shutDown = false;

  std::mutex mutex;
  std::condition_variable changed;                   // any job or slot changed
  std::map<std::string, std::shared_ptr<Job>> jobs;  // guarded by mutex
  std::deque<std::shared_ptr<Job>> queue;            // guarded by mutex
  std::vector<Slot> slots;                           // guarded by mutex
  bool stopping = false;                             // guarded by mutex
  bool stopWorkers = false;                          // guarded by mutex
  uint64_t accepted = 0, printed = 0, failures = 0, restarts = 0, recycles = 0,
           refused = 0;    // guarded by mutex
  uint64_t peakBytes = 0;  // guarded by mutex

  explicit Impl(PrintServerConfig c) : config(std::move(c)) {}

  void Log(const std::string& line) { std::fprintf(stderr, "print-server: %s\n", line.c_str()); }

  Json JobJson(const Job& job) {
    Json j = {{"id", job.id}, {"state", StateName(job.state)}};
    if (job.state == JobState::kDone) {
      j["result"] = job.outcome.code;
      if (!job.outcome.reason.empty()) j["reason"] = job.outcome.reason;
      if (!job.path.empty()) j["path"] = job.path;
    }
    return j;
  }

  // Marks a job done; the caller holds the lock.
  void Finish(Job& job, JobOutcome outcome, std::string path) {
    job.state = JobState::kDone;
    job.outcome = std::move(outcome);
    job.path = std::move(path);
    job.finished = Clock::now();
    if (job.outcome.code == kResultPrinted) {
      ++printed;
    } else {
      ++failures;
    }
    changed.notify_all();
  }

  void RunWorker(int index);
  void RunSampler();
  void SetUpHttp();
  void Shutdown();
};

void PrintServer::Impl::RunWorker(int index) {
  BrowserOptions browser;
  browser.executable = config.chromium;
  browser.showOutput = config.browserLog;
  RendererOptions rendererOptions;
  rendererOptions.isolation = config.reuseTab ? Isolation::kReusedTab : Isolation::kContextPerJob;
  rendererOptions.quietWindow = config.quietWindow;
  std::unique_ptr<PageRenderer> renderer;
  auto backoff = milliseconds(500);

  auto dropRenderer = [&](const char* why) {
    {
      std::scoped_lock lock(mutex);
      slots[index].renderer = nullptr;
      slots[index].state = "starting";
      slots[index].pid = 0;
    }
    Log("browser " + std::to_string(index) + " replaced: " + why);
    renderer.reset();
  };

  for (;;) {
    {
      std::scoped_lock lock(mutex);
      if (stopWorkers) break;
    }
    if (!renderer) {
      try {
        renderer = std::make_unique<PageRenderer>(browser, rendererOptions);
        std::scoped_lock lock(mutex);
        Slot& slot = slots[index];
        slot.renderer = renderer.get();
        slot.pid = renderer->BrowserPid();
        slot.jobs = 0;
        slot.state = "idle";
        backoff = milliseconds(500);
        changed.notify_all();
      } catch (const std::exception& e) {
        Log("browser " + std::to_string(index) + " cannot start: " + e.what());
        std::unique_lock lock(mutex);
        slots[index].state = "down";
        changed.wait_for(lock, backoff, [&] { return stopWorkers; });
        backoff = std::min(backoff * 2, milliseconds(10000));
        continue;
      }
    }

    std::shared_ptr<Job> job;
    {
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return stopWorkers || !queue.empty(); });
      if (stopWorkers) break;
      job = queue.front();
      queue.pop_front();
      job->state = JobState::kRunning;
      job->slot = index;
      slots[index].state = "busy";
      changed.notify_all();
    }

    std::string path;
    JobOutcome outcome;
    try {
      std::filesystem::path dir =
          config.outputDirectory.empty() ? DefaultOutputDirectory() : config.outputDirectory;
      std::filesystem::create_directories(dir);
      path = (dir / (NewGuid() + ".pdf")).string();
      outcome = renderer->Print(job->jobSpec, path, job->cancel);
    } catch (const std::exception& e) {
      outcome = {kResultPrinterError, std::string("output directory: ") + e.what()};
    }
    Log("job " + job->id + " " + job->jobSpec.url + ": " + outcome.code + " in " +
        std::to_string(MillisSince(job->accepted)) + " ms" +
        (outcome.code == kResultPrinted ? " -> " + path : " (" + outcome.reason + ")"));

    bool healthy = renderer->Healthy();
    uint64_t bytes = healthy ? renderer->ResidentBytes() : 0;
    int jobsOnBrowser;
    {
      std::scoped_lock lock(mutex);
      Finish(*job, outcome, outcome.code == kResultPrinted ? path : std::string());
      Slot& slot = slots[index];
      jobsOnBrowser = ++slot.jobs;
      slot.residentBytes = bytes;
      slot.state = "idle";
      if (!healthy) ++restarts;
    }
    if (healthy) renderer->Tidy();  // the client has its result already
    if (!healthy) {
      dropRenderer("the browser exited");
    } else if (jobsOnBrowser >= config.recycleAfter || bytes > config.maxBrowserBytes) {
      {
        std::scoped_lock lock(mutex);
        ++recycles;
      }
      dropRenderer(bytes > config.maxBrowserBytes ? "memory limit" : "job count");
    }
  }
  {
    std::scoped_lock lock(mutex);
    slots[index].renderer = nullptr;
    slots[index].state = "stopped";
    slots[index].pid = 0;
  }
  renderer.reset();  // the browser's whole process group goes with it
}

void PrintServer::Impl::RunSampler() {
  std::unique_lock lock(mutex);
  while (!stopWorkers) {
    std::vector<pid_t> pids;
    for (const Slot& s : slots) {
      if (s.pid > 0) pids.push_back(s.pid);
    }
    lock.unlock();
    uint64_t total = 0;
    for (pid_t pid : pids) total += GroupResidentBytes(pid);
    lock.lock();
    peakBytes = std::max(peakBytes, total);
    // Jobs that waited past their time and results nobody came for.
    auto now = Clock::now();
    for (auto it = queue.begin(); it != queue.end();) {
      if ((*it)->expires <= now) {
        Finish(**it, {kResultTimeOut, "waited in the queue past its time-out"}, "");
        it = queue.erase(it);
      } else {
        ++it;
      }
    }
    for (auto it = jobs.begin(); it != jobs.end();) {
      const Job& j = *it->second;
      if (j.state == JobState::kDone && now - j.finished > config.keepResults) {
        it = jobs.erase(it);
      } else {
        ++it;
      }
    }
    changed.wait_for(lock, milliseconds(250), [&] { return stopWorkers; });
  }
}

void PrintServer::Impl::SetUpHttp() {
  auto reply = [](httplib::Response& res, int status, const Json& body) {
    res.status = status;
    res.set_content(body.dump(), "application/json");
  };
  http.new_task_queue = [] { return new httplib::ThreadPool(32); };

  http.Post("/jobs", [this, reply](const httplib::Request& req, httplib::Response& res) {
    Json body = Json::parse(req.body, nullptr, false);
    std::vector<std::string> warnings;
    JobSpec jobSpec;
    try {
      if (body.is_discarded()) throw BadRequest("the request is not JSON");
      jobSpec = JobSpecFromRequest(body, std::time(nullptr), warnings);
    } catch (const BadRequest& e) {
      Log(std::string("refused a job: ") + e.what());
      reply(res, 400, {{"result", kResultPrinterError}, {"reason", e.what()}});
      return;
    }
    auto job = std::make_shared<Job>();
    job->id = NewGuid();
    job->jobSpec = std::move(jobSpec);
    job->expires = job->accepted + job->jobSpec.loadTimeout + job->jobSpec.printTimeout +
                   job->jobSpec.waitBeforePrint;
    std::unique_lock lock(mutex);
    if (stopping) {
      ++refused;
      reply(res, 503, {{"result", kResultCancelled}, {"reason", "print server shutting down"}});
      return;
    }
    if (static_cast<int>(queue.size()) >= config.queueLimit) {
      ++refused;
      std::string reason = "queue full (" + std::to_string(queue.size()) + " jobs waiting, limit " +
                           std::to_string(config.queueLimit) + ")";
      lock.unlock();
      Log("refused " + job->jobSpec.url + ": " + reason);
      reply(res, 503, {{"result", kResultPrinterError}, {"reason", reason}});
      return;
    }
    ++accepted;
    jobs[job->id] = job;
    queue.push_back(job);
    changed.notify_all();
    lock.unlock();
    for (const std::string& w : warnings) Log("job " + job->id + ": " + w);
    reply(res, 202, {{"id", job->id}, {"state", "queued"}});
  });

  http.Get(R"(/jobs/([0-9A-Fa-f-]+))", [this, reply](const httplib::Request& req,
                                                     httplib::Response& res) {
    long long waitMs = 0;
    if (req.has_param("wait")) {
      waitMs = std::clamp(std::atoll(req.get_param_value("wait").c_str()), 0LL, 30000LL);
    }
    std::unique_lock lock(mutex);
    auto it = jobs.find(std::string(req.matches[1]));
    if (it == jobs.end()) {
      reply(res, 404, {{"reason", "unknown job"}});
      return;
    }
    std::shared_ptr<Job> job = it->second;
    changed.wait_for(lock, milliseconds(waitMs),
                     [&] { return job->state == JobState::kDone || stopping; });
    if (job->state != JobState::kDone && stopping) {
      // Pollers come back while the server finishes what it can.
      changed.wait_for(lock, milliseconds(waitMs), [&] { return job->state == JobState::kDone; });
    }
    reply(res, 200, JobJson(*job));
  });

  http.Delete(R"(/jobs/([0-9A-Fa-f-]+))",
              [this, reply](const httplib::Request& req, httplib::Response& res) {
                std::unique_lock lock(mutex);
                auto it = jobs.find(std::string(req.matches[1]));
                if (it == jobs.end()) {
                  reply(res, 404, {{"reason", "unknown job"}});
                  return;
                }
                std::shared_ptr<Job> job = it->second;
                jobs.erase(it);
                if (job->state == JobState::kQueued) {
                  queue.erase(std::remove(queue.begin(), queue.end(), job), queue.end());
                  Finish(*job, {kResultCancelled, "removed by its client"}, "");
                } else if (job->state == JobState::kRunning) {
                  job->cancel = true;
                  if (job->slot >= 0 && slots[job->slot].renderer)
                    slots[job->slot].renderer->Interrupt();
                }
                reply(res, 200, {{"id", job->id}, {"state", "removed"}});
              });

  http.Get("/health", [this, reply](const httplib::Request&, httplib::Response& res) {
    std::scoped_lock lock(mutex);
    Json pool = Json::array();
    uint64_t current = 0;
    for (size_t i = 0; i < slots.size(); ++i) {
      const Slot& s = slots[i];
      pool.push_back({{"slot", i},
                      {"state", s.state},
                      {"pid", s.pid},
                      {"jobs", s.jobs},
                      {"residentBytes", s.residentBytes}});
      current += s.residentBytes;
    }
    size_t running = 0;
    for (const Slot& s : slots) running += s.state == "busy";
    reply(res, 200,
          {{"status", stopping ? "stopping" : "ok"},
           {"pool", pool},
           {"jobs", accepted},
           {"printed", printed},
           {"failures", failures},
           {"refused", refused},
           {"restarts", restarts},
           {"recycles", recycles},
           {"running", running},
           {"queue", queue.size()},
           {"queueLimit", config.queueLimit},
           {"peakResidentBytes", peakBytes},
           {"outputDirectory",
            config.outputDirectory.empty() ? DefaultOutputDirectory() : config.outputDirectory}});
  });
}

void PrintServer::Impl::Shutdown() {
  if (!started || shutDown) return;
  shutDown = true;
  std::unique_lock lock(mutex);
  stopping = true;
  for (auto& job : queue) Finish(*job, {kResultCancelled, "print server shutting down"}, "");
  queue.clear();
  auto running = [&] {
    return std::count_if(jobs.begin(), jobs.end(),
                         [](const auto& j) { return j.second->state == JobState::kRunning; });
  };
  Log("shutting down: " + std::to_string(running()) + " jobs under way");
  changed.notify_all();
  changed.wait_for(lock, config.drainTimeout, [&] { return running() == 0; });
  if (running() > 0) {
    Log("cancelling the jobs still under way");
    for (auto& [id, job] : jobs) job->cancel = true;
    for (Slot& s : slots) {
      if (s.renderer) s.renderer->Interrupt();
    }
    changed.wait_for(lock, milliseconds(2000), [&] { return running() == 0; });
    // A job blocked inside the browser ends when its browser does.
    for (Slot& s : slots) {
      if (s.state == "busy" && s.renderer) s.renderer->Kill();
    }
    changed.wait_for(lock, milliseconds(5000), [&] { return running() == 0; });
  }
  stopWorkers = true;
  changed.notify_all();
  lock.unlock();
  // Give the clients waiting on a result the moment to collect it.
  std::this_thread::sleep_for(milliseconds(200));
  http.stop();
  if (httpThread.joinable()) httpThread.join();
  for (std::thread& w : workers) w.join();
  if (sampler.joinable()) sampler.join();
  Log("stopped");
}

PrintServer::PrintServer(PrintServerConfig config)
    : impl_(std::make_unique<Impl>(std::move(config))) {}

PrintServer::~PrintServer() { Shutdown(); }

void PrintServer::Start() {
  Impl& s = *impl_;
  if (s.started) return;
  s.SetUpHttp();
  if (s.config.port == 0) {
    s.boundPort = s.http.bind_to_any_port(s.config.host);
  } else if (s.http.bind_to_port(s.config.host, s.config.port)) {
    s.boundPort = s.config.port;
  }
  if (s.boundPort <= 0) {
    throw std::runtime_error("cannot listen on " + s.config.host + ":" +
                             std::to_string(s.config.port));
  }
  int poolSize = s.config.poolSize > 0
                     ? s.config.poolSize
                     : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  s.slots.resize(static_cast<size_t>(poolSize));
  s.started = true;
  for (int i = 0; i < poolSize; ++i) s.workers.emplace_back([&s, i] { s.RunWorker(i); });
  s.sampler = std::thread([&s] { s.RunSampler(); });
  s.httpThread = std::thread([&s] { s.http.listen_after_bind(); });
  // stop() only works once the server runs, and Shutdown may follow at once.
  while (!s.http.is_running()) std::this_thread::sleep_for(milliseconds(1));
  s.Log("listening on " + s.config.host + ":" + std::to_string(s.boundPort) + " with " +
        std::to_string(poolSize) + " browsers; output in " +
        (s.config.outputDirectory.empty() ? DefaultOutputDirectory() : s.config.outputDirectory));
}

int PrintServer::port() const { return impl_->boundPort; }

void PrintServer::Shutdown() { impl_->Shutdown(); }

}  // namespace tovrik::printserver
