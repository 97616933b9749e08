#pragma once
// A DevTools protocol connection to one browser over --remote-debugging-pipe: we write
// commands to the browser's fd 3 and read replies and events from its fd 4, each message one
// JSON text ended by a NUL byte. Internal to the print server.
//
// Threads: a reader thread owns the read end; any thread may Call(). Events are queued and
// taken by NextEvent() on the job's thread, so a job's state lives on one thread only. Once
// the pipe closes (browser exited or crashed) every pending and later call fails with
// PipeClosed, and NextEvent() reports it at once.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

namespace tovrik::printserver {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

// The browser answered a command with an error.
class DevToolsError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// The pipe closed: the browser is gone.
class PipeClosed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// A command or a wait passed its deadline.
class DeadlineExceeded : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class DevToolsPipe {
 public:
  // Takes ownership of both descriptors: `toBrowser` is written, `fromBrowser` is read.
  DevToolsPipe(int toBrowser, int fromBrowser);
  DevToolsPipe(const DevToolsPipe&) = delete;
  DevToolsPipe& operator=(const DevToolsPipe&) = delete;
  ~DevToolsPipe();

  // Sends a command (to a session when sessionId is not empty) and waits for its reply until
  // the deadline. Returns the "result" object; throws DevToolsError, PipeClosed or
  // DeadlineExceeded.
  Json Call(const std::string& method, const Json& params, const std::string& sessionId,
            Clock::time_point deadline);

  // The next queued event (a message with "method"), waiting until the deadline; nothing on
  // time-out. Throws PipeClosed once the pipe has closed and the queue is empty.
  std::optional<Json> NextEvent(Clock::time_point deadline);
  // Drops queued events.
  void ClearEvents();
  // Wakes every waiter (used to cancel a job); a woken NextEvent returns nothing.
  void Interrupt();

  bool Closed() const;

 private:
  void ReadLoop();
  void Dispatch(std::string&& text);

  const int toBrowser_;
  const int fromBrowser_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int nextId_ = 1;                              // guarded by mutex_
  std::map<int, std::optional<Json>> replies_;  // guarded by mutex_: id -> reply once in
  std::deque<Json> events_;                     // guarded by mutex_
  bool closed_ = false;                         // guarded by mutex_
  unsigned interrupts_ = 0;                     // guarded by mutex_
  std::mutex writeMutex_;                       // one writer at a time on toBrowser_
  std::thread reader_;
};

}  // namespace tovrik::printserver
