#include "printserver/PageRenderer.h"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>
#include <vector>

#include "printserver/Browser.h"
#include "printserver/DocumentInfo.h"

namespace tovrik::printserver {
namespace {

using std::chrono::milliseconds;

// Runs in the page after the load event: makes lazy images and frames load, walks the page
// one screen at a time when scroll-driven loaders are present so they see every part, then
// waits for web fonts and for every image still loading. Each wait is bounded by the budget
// in milliseconds.
constexpr const char* kReadinessScript = R"JS(
(async (budget) => {
  const until = Date.now() + budget;
  const frame = () => new Promise(r => { requestAnimationFrame(() => r()); setTimeout(r, 50); });
  for (const el of document.querySelectorAll('img[loading="lazy"], iframe[loading="lazy"]'))
    el.loading = 'eager';
  const height = () => Math.max(document.documentElement.scrollHeight,
                                document.body ? document.body.scrollHeight : 0);
  if (window.__tovrikScrollWatchers > 0 && height() > innerHeight + 1) {
    for (let y = innerHeight; y < height() && Date.now() < until; y += innerHeight) {
      scrollTo(0, y);
      await frame();
    }
    scrollTo(0, 0);
  }
  const left = () => Math.max(0, until - Date.now());
  const bounded = p => Promise.race([p, new Promise(r => setTimeout(r, left()))]);
  if (document.fonts) await bounded(document.fonts.ready);
  const pending = [...document.images].filter(i => !i.complete);
  await bounded(Promise.all(pending.map(i => new Promise(r => {
    i.addEventListener('load', r, {once: true});
    i.addEventListener('error', r, {once: true});
  }))));
  return pending.length;
})
)JS";

// Runs in every document before its own scripts: counts the ways a page can load content as
// it is scrolled (intersection observers, scroll listeners), so that the readiness script
// walks the page only when something may be waiting for that.
constexpr const char* kLazyWatchScript = R"JS(
(() => {
  const w = window;
  w.__tovrikScrollWatchers = 0;
  const Observer = w.IntersectionObserver;
  if (Observer) {
    w.IntersectionObserver = class extends Observer {
      constructor(...args) { super(...args); w.__tovrikScrollWatchers++; }
    };
  }
  const add = EventTarget.prototype.addEventListener;
  EventTarget.prototype.addEventListener = function (type, ...rest) {
    if (type === 'scroll' || type === 'wheel') w.__tovrikScrollWatchers++;
    return add.call(this, type, ...rest);
  };
})();
)JS";

// Decodes standard base64; stops at the first character outside the alphabet.
std::string DecodeBase64(const std::string& in) {
  static const auto table = [] {
    std::array<int8_t, 256> t{};
    t.fill(-1);
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
      t[static_cast<unsigned char>(alphabet[i])] = static_cast<int8_t>(i);
    return t;
  }();
  std::string out;
  out.reserve(in.size() / 4 * 3);
  uint32_t acc = 0;
  int bits = 0;
  for (unsigned char c : in) {
    int v = table[c];
    if (v < 0) {
      if (c == '=' || c == '\n' || c == '\r') continue;
      break;
    }
    acc = (acc << 6) | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((acc >> bits) & 0xFF));
    }
  }
  return out;
}

// Per-job step timings, logged when TOVRIK_PRINT_TRACE is set: every DevTools round trip and
// every wait on the job's path, to see where a job's time goes.
class StepTrace {
 public:
  static bool Enabled() {
    static const bool on = [] {
      const char* v = std::getenv("TOVRIK_PRINT_TRACE");
      return v != nullptr && *v != '\0' && std::string(v) != "0";
    }();
    return on;
  }
  void Start() {
    steps_.clear();
    start_ = last_ = Clock::now();
  }
  // Records the time since the previous mark under `name`.
  void Mark(const std::string& name, double skipBelowMs = -1) {
    if (!Enabled()) return;
    auto now = Clock::now();
    if (std::chrono::duration<double, std::milli>(now - last_).count() < skipBelowMs) return;
    steps_.emplace_back(name, std::chrono::duration<double, std::milli>(now - last_).count());
    last_ = now;
  }
  void Log(const std::string& url, const std::string& code) {
    if (!Enabled()) return;
    std::string line = "print-server: trace " + url + " " + code + ":";
    char buf[64];
    for (const auto& [name, ms] : steps_) {
      std::snprintf(buf, sizeof buf, " %.1f", ms);
      line += " " + name + buf;
    }
    std::snprintf(buf, sizeof buf, " total %.1f ms\n",
                  std::chrono::duration<double, std::milli>(Clock::now() - start_).count());
    line += buf;
    std::fputs(line.c_str(), stderr);
  }

 private:
  std::vector<std::pair<std::string, double>> steps_;
  Clock::time_point start_, last_;
};

std::string OriginOf(const std::string& url) {
  auto scheme = url.find("://");
  if (scheme == std::string::npos) return {};
  auto end = url.find('/', scheme + 3);
  return url.substr(0, end);
}

// How a job stopped before its PDF was written.
struct JobFailure {
  std::string code;
  std::string reason;
};

}  // namespace

// A page target in a browser context of its own, attached with a flat session.
struct Tab {
  std::string contextId;
  std::string targetId;
  std::string sessionId;
  // The default font set on the tab so far (a reused tab keeps it from job to job).
  std::string fontFamily;
  int fontSizePx = 0;
};

struct PageRenderer::Impl {
  const RendererOptions options;
  std::unique_ptr<Browser> browser;
  Tab tab;                               // the tab of the job under way (job thread only)
  std::set<std::string> visitedOrigins;  // reused-tab mode: origins whose storage is cleared
  StepTrace trace;                       // the job under way (job thread only)
  bool releasePending = false;           // a job ran on the tab and Tidy() has not run since
  bool lastPrinted = false;              // how that job ended

  // Context mode keeps one spare tab made ahead of time by the preparer thread, which also
  // disposes of the contexts of finished jobs, so neither cost sits on a job's path.
  std::mutex tabMutex;
  std::condition_variable tabChanged;
  std::optional<Tab> spare;           // guarded by tabMutex
  std::string spareError;             // guarded by tabMutex: why the last attempt failed
  std::deque<std::string> toDispose;  // guarded by tabMutex
  bool stopPreparer = false;          // guarded by tabMutex
  std::thread preparer;

  Impl(const BrowserOptions& b, const RendererOptions& o)
      : options(o), browser(std::make_unique<Browser>(b)) {
    if (options.isolation == Isolation::kContextPerJob) {
      preparer = std::thread([this] { PrepareTabs(); });
    } else {
      tab = NewTab(Clock::now() + milliseconds(15000));
    }
  }

  ~Impl() {
    {
      std::scoped_lock lock(tabMutex);
      stopPreparer = true;
    }
    tabChanged.notify_all();
    pipe().Interrupt();
    if (preparer.joinable()) preparer.join();
  }

  DevToolsPipe& pipe() { return browser->pipe(); }

  Json Call(const std::string& method, const Json& params, Clock::time_point deadline,
            bool onSession = true) {
    trace.Mark("between", 0.5);
    Json result = pipe().Call(method, params, onSession ? tab.sessionId : std::string(), deadline);
    trace.Mark(method);
    return result;
  }

  Tab NewTab(Clock::time_point deadline) {
    Tab t;
    Json target = {{"url", "about:blank"}};
    // Both modes keep their tabs out of the default context: in reused-tab mode the tab's own
    // context is what the cookie wipe between jobs clears, and nothing else shares it.
    t.contextId =
        pipe()
            .Call("Target.createBrowserContext", {{"disposeOnDetach", true}}, "", deadline)
            .value("browserContextId", "");
    target["browserContextId"] = t.contextId;
    t.targetId = pipe().Call("Target.createTarget", target, "", deadline).value("targetId", "");
    t.sessionId = pipe()
                      .Call("Target.attachToTarget", {{"targetId", t.targetId}, {"flatten", true}},
                            "", deadline)
                      .value("sessionId", "");
    pipe().Call("Page.enable", Json::object(), t.sessionId, deadline);
    pipe().Call("Network.enable", Json::object(), t.sessionId, deadline);
    pipe().Call("Inspector.enable", Json::object(), t.sessionId, deadline);
    pipe().Call("Page.addScriptToEvaluateOnNewDocument", {{"source", kLazyWatchScript}},
                t.sessionId, deadline);
    if (options.isolation == Isolation::kReusedTab) {
      // No HTTP cache at all: nothing one job loads can be seen by the next, and there is
      // no cache to wipe between jobs.
      pipe().Call("Network.setCacheDisabled", {{"cacheDisabled", true}}, t.sessionId, deadline);
    }
    return t;
  }

  void PrepareTabs() {
    std::unique_lock lock(tabMutex);
    for (;;) {
      tabChanged.wait(lock, [&] {
        return stopPreparer || !toDispose.empty() || (!spare && spareError.empty());
      });
      if (stopPreparer) return;
      if (!toDispose.empty()) {
        std::string context = toDispose.front();
        toDispose.pop_front();
        lock.unlock();
        try {
          pipe().Call("Target.disposeBrowserContext", {{"browserContextId", context}}, "",
                      Clock::now() + milliseconds(10000));
        } catch (const std::exception&) {
          // A browser that cannot dispose of a context is about to be replaced anyway.
        }
        lock.lock();
        continue;
      }
      lock.unlock();
      std::optional<Tab> made;
      std::string error;
      try {
        made = NewTab(Clock::now() + milliseconds(15000));
      } catch (const std::exception& e) {
        error = e.what();
      }
      lock.lock();
      spare = std::move(made);
      spareError = error.empty() ? std::string() : "cannot open a tab: " + error;
      tabChanged.notify_all();
    }
  }

  // The tab for the next job: the spare one (waiting for it until the deadline if it is
  // still being made). Throws DeadlineExceeded or std::runtime_error.
  void TakeTab(const JobSpec& want, Clock::time_point deadline) {
    if (options.isolation == Isolation::kReusedTab) {
      if (!tab.sessionId.empty() && ((!tab.fontFamily.empty() && want.fontFamily.empty()) ||
                                     (tab.fontSizePx > 0 && want.fontSizePx == 0))) {
        DisposeTab(deadline);  // the browser's own default font cannot be asked back
      }
      if (tab.sessionId.empty()) tab = NewTab(deadline);
      pipe().ClearEvents();  // late events of the previous job's page
      return;
    }
    std::unique_lock lock(tabMutex);
    if (!spare && !spareError.empty()) {
      spareError.clear();  // try again
      tabChanged.notify_all();
    }
    if (!tabChanged.wait_until(lock, deadline, [&] { return spare || !spareError.empty(); })) {
      throw DeadlineExceeded("no tab ready in time");
    }
    if (!spare) throw std::runtime_error(spareError);
    tab = std::move(*spare);
    spare.reset();
    tabChanged.notify_all();  // the preparer makes the next one now
  }

  // Ends the tab of the job just done. Context mode disposes of the context (its cookies,
  // storage and cache go with it) in the background. Reused-tab mode wipes what a page can
  // leave behind for the next job: session and local storage of the page still shown, then
  // (with the page gone, so nothing can write again) cookies and every kind of storage of
  // each origin the job loaded from; the HTTP cache is off in these tabs. A tab that cannot
  // be wiped is closed with its context, and the next job gets a fresh one.
  void ReleaseTab(bool printed, Clock::time_point deadline) {
    if (tab.sessionId.empty()) return;
    if (options.isolation == Isolation::kReusedTab) {
      if (!printed) {
        // A page that failed may still be loading, running away or crashed: start afresh.
        DisposeTab(deadline);
        return;
      }
      try {
        WipeTab(deadline);
        return;
      } catch (const std::exception& e) {
        std::fprintf(stderr, "print-server: cannot wipe the tab, replacing it: %s\n", e.what());
      }
      DisposeTab(deadline);
      return;
    }
    {
      std::scoped_lock lock(tabMutex);
      toDispose.push_back(tab.contextId);
    }
    tabChanged.notify_all();
    tab = Tab();
  }

  // Reused-tab mode: closes the tab with its context; the next job opens a new one.
  void DisposeTab(Clock::time_point deadline) {
    visitedOrigins.clear();
    try {
      pipe().Call("Target.disposeBrowserContext", {{"browserContextId", tab.contextId}}, "",
                  deadline);
    } catch (const std::exception&) {
      // A browser that cannot dispose of a context is about to be replaced anyway.
    }
    tab = Tab();
  }

  void WipeTab(Clock::time_point deadline) {
    // sessionStorage belongs to the tab, not to the origin's storage: clear it in every
    // frame of the page while the page is still there (cross-origin frames included).
    Json frames = Call("Page.getFrameTree", Json::object(), deadline);
    std::vector<std::string> frameIds;
    std::vector<const Json*> todo = {&frames["frameTree"]};
    while (!todo.empty()) {
      const Json* node = todo.back();
      todo.pop_back();
      if (node->contains("frame")) {
        const Json& frame = (*node)["frame"];
        frameIds.push_back(frame.value("id", ""));
        // Frames whose loading we did not see (out-of-process ones) still get their storage
        // wiped.
        std::string origin = OriginOf(frame.value("securityOrigin", ""));
        if (!origin.empty()) visitedOrigins.insert(origin);
      }
      if (node->contains("childFrames")) {
        for (const Json& child : (*node)["childFrames"]) todo.push_back(&child);
      }
    }
    // In a world of our own, so a page that replaced Storage.prototype.clear cannot keep
    // its data.
    for (const std::string& id : frameIds) {
      Json world = Call("Page.createIsolatedWorld", {{"frameId", id}}, deadline);
      Call("Runtime.evaluate",
           {{"expression", "try { sessionStorage.clear(); } catch (e) {}"},
            {"contextId", world.value("executionContextId", 0)}},
           deadline);
    }
    Call("Page.navigate", {{"url", "about:blank"}}, deadline);
    for (const std::string& origin : visitedOrigins) {
      Call("Storage.clearDataForOrigin", {{"origin", origin}, {"storageTypes", "all"}}, deadline);
    }
    visitedOrigins.clear();
    Call("Network.clearBrowserCookies", Json::object(), deadline);
    try {
      // Not a leak of data, only of how many pages the tab has shown; it fails while
      // about:blank is still being committed, which is harmless.
      Call("Page.resetNavigationHistory", Json::object(), deadline);
    } catch (const DevToolsError&) {
    }
  }

  JobOutcome Run(const JobSpec& jobSpec, const std::filesystem::path& output,
                 const std::atomic<bool>& cancel);
  void Load(const JobSpec& jobSpec, const std::atomic<bool>& cancel, Clock::time_point deadline);
  void PrintToFile(const JobSpec& jobSpec, const std::filesystem::path& file,
                   Clock::time_point deadline);
};

namespace {

bool IsOurs(const Json& event, const std::string& sessionId, const std::string& targetId) {
  auto s = event.find("sessionId");
  if (s != event.end()) return s->get<std::string>() == sessionId;
  // Browser-level events that concern our target.
  const Json& params = event.value("params", Json::object());
  return params.value("targetId", "") == targetId || params.value("sessionId", "") == sessionId;
}

}  // namespace

void PageRenderer::Impl::Load(const JobSpec& jobSpec, const std::atomic<bool>& cancel,
                              Clock::time_point deadline) {
  std::set<std::string> inFlight;
  std::string loaderId;
  bool loaded = false;
  auto lastActivity = Clock::now();

  // Handles one event; throws JobFailure for a failure of the page itself.
  auto handle = [&](const Json& event) {
    if (!IsOurs(event, tab.sessionId, tab.targetId)) return;
    const std::string method = event.value("method", "");
    const Json& p = event.value("params", Json::object());
    if (method == "Network.requestWillBeSent") {
      inFlight.insert(p.value("requestId", ""));
      lastActivity = Clock::now();
      if (options.isolation == Isolation::kReusedTab) {
        // The origins of frames and of the requests themselves (a script may write storage
        // only for frames' origins, but cookies may be set by any response).
        std::string origin = OriginOf(p.value("documentURL", ""));
        if (!origin.empty()) visitedOrigins.insert(origin);
        if (p.contains("request")) {
          origin = OriginOf(p["request"].value("url", ""));
          if (!origin.empty()) visitedOrigins.insert(origin);
        }
      }
    } else if (method == "Network.loadingFinished" || method == "Network.loadingFailed") {
      std::string id = p.value("requestId", "");
      inFlight.erase(id);
      lastActivity = Clock::now();
      if (method == "Network.loadingFailed" && id == loaderId && !loaded) {
        throw JobFailure{kResultPrinterError,
                         "loading " + jobSpec.url + " failed: " + p.value("errorText", "")};
      }
    } else if (method == "Network.responseReceived") {
      if (p.value("requestId", "") == loaderId && p.value("type", "") == "Document") {
        int status = p["response"].value("status", 0);
        if (status >= 400) {
          throw JobFailure{kResultPrinterError,
                           jobSpec.url + " answered HTTP " + std::to_string(status)};
        }
      }
    } else if (method == "Page.loadEventFired") {
      loaded = true;
    } else if (method == "Page.javascriptDialogOpening") {
      // An alert or confirm would block the page until the time-out: dismiss it.
      pipe().Call("Page.handleJavaScriptDialog", {{"accept", true}}, tab.sessionId,
                  Clock::now() + milliseconds(5000));
    } else if (method == "Inspector.targetCrashed" || method == "Target.targetCrashed") {
      throw JobFailure{kResultPrinterError, "the page renderer crashed"};
    } else if (method == "Target.detachedFromTarget" || method == "Inspector.detached") {
      throw JobFailure{kResultPrinterError, "the page was closed by the browser"};
    }
  };
  auto waitEvent = [&](Clock::time_point until) {
    if (cancel) throw JobFailure{kResultCancelled, "print server shutting down"};
    std::optional<Json> event = pipe().NextEvent(std::min(until, deadline));
    if (cancel) throw JobFailure{kResultCancelled, "print server shutting down"};
    if (event) handle(*event);
    if (!event && Clock::now() >= deadline) throw DeadlineExceeded("page not ready in time");
  };

  // Only when it changes: each call makes the browser push new preferences to the renderer.
  if (!jobSpec.fontFamily.empty() && jobSpec.fontFamily != tab.fontFamily) {
    Call("Page.setFontFamilies", {{"fontFamilies", {{"standard", jobSpec.fontFamily}}}}, deadline);
    tab.fontFamily = jobSpec.fontFamily;
  }
  if (jobSpec.fontSizePx > 0 && jobSpec.fontSizePx != tab.fontSizePx) {
    Call("Page.setFontSizes", {{"fontSizes", {{"standard", jobSpec.fontSizePx}}}}, deadline);
    tab.fontSizePx = jobSpec.fontSizePx;
  }
  Json nav = Call("Page.navigate", {{"url", jobSpec.url}}, deadline);
  if (!nav.value("errorText", "").empty()) {
    throw JobFailure{kResultPrinterError,
                     "cannot load " + jobSpec.url + ": " + nav.value("errorText", "")};
  }
  loaderId = nav.value("loaderId", "");
  while (!loaded) waitEvent(deadline);
  const auto loadedAt = Clock::now();
  trace.Mark("until-load-event");

  // Readiness inside the page, while the events keep queueing.
  auto budget = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
  Json ready = Call("Runtime.evaluate",
                    {{"expression", std::string(kReadinessScript) + "(" +
                                        std::to_string(std::max<long long>(budget - 50, 0)) + ")"},
                     {"awaitPromise", true},
                     {"returnByValue", true}},
                    deadline);
  (void)ready;

  // Then the network must stay quiet for the window (bounded by the quiet cap). The events
  // that came in meanwhile tell whether anything started after the load event: when nothing
  // did and nothing is in flight, there is nothing to wait for.
  while (std::optional<Json> event = pipe().NextEvent(Clock::now())) handle(*event);
  const bool idleSinceLoad = inFlight.empty() && lastActivity <= loadedAt;
  auto quietUntil = std::min(deadline, Clock::now() + options.quietCap);
  for (; !idleSinceLoad;) {
    auto now = Clock::now();
    if (inFlight.empty() && now - lastActivity >= options.quietWindow) break;
    if (now >= quietUntil) {
      std::fprintf(stderr, "print-server: %s: %zu requests still open, printing anyway\n",
                   jobSpec.url.c_str(), inFlight.size());
      break;
    }
    auto next = inFlight.empty() ? lastActivity + options.quietWindow : quietUntil;
    if (cancel) throw JobFailure{kResultCancelled, "print server shutting down"};
    std::optional<Json> event = pipe().NextEvent(std::min(next, quietUntil));
    if (event) handle(*event);
  }

  trace.Mark("quiet-window");

  // The extra delay the job asked for, still cancellable and within the budget.
  if (jobSpec.waitBeforePrint.count() > 0) {
    // Not counted against the load time-out: the job asked for this time on top.
    auto until = Clock::now() + jobSpec.waitBeforePrint;
    while (Clock::now() < until) {
      if (cancel) throw JobFailure{kResultCancelled, "print server shutting down"};
      std::optional<Json> event = pipe().NextEvent(until);
      if (event) handle(*event);
    }
  }
}

void PageRenderer::Impl::PrintToFile(const JobSpec& jobSpec, const std::filesystem::path& file,
                                     Clock::time_point deadline) {
  const PageSetup& page = jobSpec.page;
  Json params = {{"landscape", page.landscape},
                 {"printBackground", true},
                 {"scale", page.scale},
                 {"paperWidth", page.paperWidth},
                 {"paperHeight", page.paperHeight},
                 {"marginTop", page.marginTop},
                 {"marginBottom", page.marginBottom},
                 {"marginLeft", page.marginLeft},
                 {"marginRight", page.marginRight},
                 {"transferMode", "ReturnAsStream"}};
  if (!page.headerTemplate.empty() || !page.footerTemplate.empty()) {
    params["displayHeaderFooter"] = true;
    // An empty template still needs a blank element, or Chromium prints its own default.
    params["headerTemplate"] = page.headerTemplate.empty() ? "<span></span>" : page.headerTemplate;
    params["footerTemplate"] = page.footerTemplate.empty() ? "<span></span>" : page.footerTemplate;
  }
  Json printed = Call("Page.printToPDF", params, deadline);
  std::string stream = printed.value("stream", "");
  if (stream.empty()) throw DevToolsError("Page.printToPDF returned no stream");

  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) {
    Call("IO.close", {{"handle", stream}}, deadline);
    throw std::runtime_error("cannot write '" + file.string() + "'");
  }
  for (;;) {
    Json chunk = Call("IO.read", {{"handle", stream}, {"size", 1 << 20}}, deadline);
    const std::string& data = chunk["data"].get_ref<const std::string&>();
    if (chunk.value("base64Encoded", false)) {
      std::string bytes = DecodeBase64(data);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    } else {
      out.write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    if (chunk.value("eof", false)) break;
  }
  Call("IO.close", {{"handle", stream}}, deadline);
  out.close();
  if (!out) throw std::runtime_error("cannot write '" + file.string() + "'");
}

JobOutcome PageRenderer::Impl::Run(const JobSpec& jobSpec, const std::filesystem::path& output,
                                   const std::atomic<bool>& cancel) {
  const auto start = Clock::now();
  const auto loadDeadline = start + jobSpec.loadTimeout;
  const std::filesystem::path partial = output.string() + ".part";
  std::error_code ignored;
  try {
    trace.Start();
    TakeTab(jobSpec, loadDeadline);
    trace.Mark("take-tab");
    Load(jobSpec, cancel, loadDeadline);
    const auto printDeadline = Clock::now() + jobSpec.printTimeout;
    PrintToFile(jobSpec, partial, printDeadline);
    WriteDocumentInfo(partial, jobSpec.title, jobSpec.author, jobSpec.subject, jobSpec.keywords);
    std::filesystem::rename(partial, output);
    trace.Mark("document-info");
  } catch (const JobFailure& f) {
    std::filesystem::remove(partial, ignored);
    return {f.code, f.reason};
  } catch (const DeadlineExceeded& e) {
    std::filesystem::remove(partial, ignored);
    if (cancel) return {kResultCancelled, "print server shutting down"};
    return {kResultTimeOut, jobSpec.url + ": " + e.what()};
  } catch (const PipeClosed& e) {
    std::filesystem::remove(partial, ignored);
    if (cancel) return {kResultCancelled, "print server shutting down"};
    return {kResultPrinterError, std::string("the browser exited: ") + e.what()};
  } catch (const std::exception& e) {
    std::filesystem::remove(partial, ignored);
    if (cancel) return {kResultCancelled, "print server shutting down"};
    return {kResultPrinterError, jobSpec.url + ": " + e.what()};
  }
  return {kResultPrinted, ""};
}

PageRenderer::PageRenderer(const BrowserOptions& browser, const RendererOptions& options)
    : impl_(std::make_unique<Impl>(browser, options)) {}

PageRenderer::~PageRenderer() = default;

JobOutcome PageRenderer::Print(const JobSpec& jobSpec, const std::filesystem::path& output,
                               const std::atomic<bool>& cancel) {
  Tidy();  // never a job on a tab the previous job left as it was
  JobOutcome outcome = impl_->Run(jobSpec, output, cancel);
  impl_->trace.Log(jobSpec.url, outcome.code);
  impl_->releasePending = true;
  impl_->lastPrinted = outcome.code == kResultPrinted;
  return outcome;
}

void PageRenderer::Tidy() {
  if (!impl_->releasePending) return;
  impl_->releasePending = false;
  impl_->trace.Start();
  // Isolation for the next job: the tab is wiped, or goes with its context.
  try {
    if (impl_->browser->Alive())
      impl_->ReleaseTab(impl_->lastPrinted, Clock::now() + milliseconds(5000));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "print-server: cannot release the tab: %s\n", e.what());
  }
  if (impl_->options.isolation == Isolation::kContextPerJob) impl_->tab = Tab();
  impl_->trace.Log("(between jobs)", "wipe");
}

void PageRenderer::Interrupt() { impl_->pipe().Interrupt(); }

void PageRenderer::Kill() { ::kill(-impl_->browser->pid(), SIGKILL); }

bool PageRenderer::Healthy() { return impl_->browser->Alive(); }

pid_t PageRenderer::BrowserPid() const { return impl_->browser->pid(); }

uint64_t PageRenderer::ResidentBytes() const { return impl_->browser->ResidentBytes(); }

}  // namespace tovrik::printserver
