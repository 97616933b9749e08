#pragma once
// Test support for the content server: a private state folder, a seeded embedded store, and
// `tovrik site` running as a child process on a free loopback port.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "contentserver/QueueRecord.h"

namespace tovrik::testing {

// A fresh folder set as $TOVRIK_HOME for the object's lifetime; removed afterwards and the
// previous value restored.
class ScopedTovrikHome {
 public:
  ScopedTovrikHome();
  ScopedTovrikHome(const ScopedTovrikHome&) = delete;
  ScopedTovrikHome& operator=(const ScopedTovrikHome&) = delete;
  ~ScopedTovrikHome();
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::string previous_;
  bool hadPrevious_ = false;
};

// Writes straight into the embedded store under home (created when missing).
int32_t SeedDocument(const std::filesystem::path& home, const std::string& name,
                     int32_t parentId = 0, const std::string& bodyHtml = "", int32_t sortOrder = 0);
int32_t SeedImage(const std::filesystem::path& home, const std::string& name, int32_t parentId,
                  const std::vector<uint8_t>& bytes, const std::string& contentType);
void SeedSetting(const std::filesystem::path& home, const std::string& name,
                 const std::string& value);
int32_t SeedQueueEntry(const std::filesystem::path& home, const QueueJob& job);
// A complete job for document documentId, as `tovrik content enqueue` would make it.
QueueJob MakeJob(int32_t documentId, bool parseTree, const std::string& name = "Printed");

// `tovrik content ARGS...` with TOVRIK_HOME=home; returns the exit code, stdout in out.
int RunContentCommand(const std::filesystem::path& home, const std::vector<std::string>& args,
                      std::string* out = nullptr);

// The path of the tovrik program: $TOVRIK_BINARY_DIR/src/cli/tovrik.
std::string TovrikProgram();

// `tovrik site --port 0 [extra]` serving home's store. The constructor waits (bounded) for the
// URL line and throws std::runtime_error when the site does not come up; the destructor stops
// the process (SIGTERM, then SIGKILL after a grace period).
class SiteProcess {
 public:
  explicit SiteProcess(const std::filesystem::path& home,
                       const std::vector<std::string>& extraArgs = {});
  SiteProcess(const SiteProcess&) = delete;
  SiteProcess& operator=(const SiteProcess&) = delete;
  ~SiteProcess();

  // "http://127.0.0.1:PORT/"
  const std::string& url() const { return url_; }
  int port() const { return port_; }

 private:
  void Stop();

  pid_t pid_ = -1;
  std::string url_;
  int port_ = 0;
};

}  // namespace tovrik::testing
