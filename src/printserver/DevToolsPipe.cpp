#include "printserver/DevToolsPipe.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace tovrik::printserver {

DevToolsPipe::DevToolsPipe(int toBrowser, int fromBrowser)
    : toBrowser_(toBrowser), fromBrowser_(fromBrowser) {
  reader_ = std::thread([this] { ReadLoop(); });
}

DevToolsPipe::~DevToolsPipe() {
  // Closing our write end makes the browser exit; the read end is closed after the reader
  // has stopped, which it does at EOF (browser gone) or when told to through shutdown below.
  ::close(toBrowser_);
  {
    std::scoped_lock lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
  // The reader polls with a short time-out and checks closed_, so it ends even when the
  // browser keeps its end open.
  if (reader_.joinable()) reader_.join();
  ::close(fromBrowser_);
}

bool DevToolsPipe::Closed() const {
  std::scoped_lock lock(mutex_);
  return closed_;
}

void DevToolsPipe::ReadLoop() {
  std::string pending;
  char buffer[1 << 16];
  for (;;) {
    {
      std::scoped_lock lock(mutex_);
      if (closed_) break;
    }
    pollfd p{fromBrowser_, POLLIN, 0};
    int ready = ::poll(&p, 1, 100);
    if (ready < 0 && errno == EINTR) continue;
    if (ready == 0) continue;
    ssize_t n = ::read(fromBrowser_, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    size_t start = 0;
    for (size_t i = 0; i < static_cast<size_t>(n); ++i) {
      if (buffer[i] == '\0') {
        pending.append(buffer + start, i - start);
        Dispatch(std::move(pending));
        pending.clear();
        start = i + 1;
      }
    }
    pending.append(buffer + start, static_cast<size_t>(n) - start);
  }
  {
    std::scoped_lock lock(mutex_);
    closed_ = true;
  }
  changed_.notify_all();
}

void DevToolsPipe::Dispatch(std::string&& text) {
  Json message = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (message.is_discarded() || !message.is_object()) return;
  {
    std::scoped_lock lock(mutex_);
    auto id = message.find("id");
    if (id != message.end() && id->is_number_integer()) {
      auto waiting = replies_.find(id->get<int>());
      if (waiting != replies_.end()) waiting->second = std::move(message);
    } else if (message.contains("method")) {
      events_.push_back(std::move(message));
    }
  }
  changed_.notify_all();
}

Json DevToolsPipe::Call(const std::string& method, const Json& params, const std::string& sessionId,
                        Clock::time_point deadline) {
  int id;
  {
    std::scoped_lock lock(mutex_);
    if (closed_) throw PipeClosed("browser pipe closed before " + method);
    id = nextId_++;
    replies_.emplace(id, std::nullopt);
  }
  Json message = {{"id", id}, {"method", method}, {"params", params}};
  if (!sessionId.empty()) message["sessionId"] = sessionId;
  std::string text = message.dump();
  text.push_back('\0');
  {
    std::scoped_lock lock(writeMutex_);
    size_t written = 0;
    while (written < text.size()) {
      ssize_t n = ::write(toBrowser_, text.data() + written, text.size() - written);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        std::scoped_lock l(mutex_);
        replies_.erase(id);
        throw PipeClosed("browser pipe closed while sending " + method);
      }
      written += static_cast<size_t>(n);
    }
  }
  std::unique_lock lock(mutex_);
  auto it = replies_.find(id);
  bool done = changed_.wait_until(lock, deadline, [&] { return it->second || closed_; });
  Json reply = it->second ? std::move(*it->second) : Json();
  replies_.erase(it);
  if (reply.is_null()) {
    if (closed_) throw PipeClosed("browser pipe closed during " + method);
    if (!done) throw DeadlineExceeded(method + " did not answer in time");
  }
  if (reply.contains("error")) {
    const Json& error = reply["error"];
    throw DevToolsError(method + ": " + error.value("message", std::string("error")));
  }
  return reply.value("result", Json::object());
}

std::optional<Json> DevToolsPipe::NextEvent(Clock::time_point deadline) {
  std::unique_lock lock(mutex_);
  unsigned interrupts = interrupts_;
  changed_.wait_until(lock, deadline,
                      [&] { return !events_.empty() || closed_ || interrupts_ != interrupts; });
  if (!events_.empty()) {
    Json event = std::move(events_.front());
    events_.pop_front();
    return event;
  }
  if (closed_) throw PipeClosed("browser pipe closed");
  return std::nullopt;
}

void DevToolsPipe::ClearEvents() {
  std::scoped_lock lock(mutex_);
  events_.clear();
}

void DevToolsPipe::Interrupt() {
  {
    std::scoped_lock lock(mutex_);
    ++interrupts_;
  }
  changed_.notify_all();
}

}  // namespace tovrik::printserver
