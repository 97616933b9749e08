#include "worker/PreviewFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "platform/RaisedError.h"

namespace tovrik {
namespace {

[[noreturn]] void RaiseFileError(const std::string& what, const std::string& path, int err) {
  throw RaisedError(75, "cannot " + what + " '" + path + "': " + std::strerror(err));
}

// Closes a descriptor on every path out.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

bool PreviewDirectoryUsable(const std::string& path) {
  struct stat st {};
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  return ::access(path.c_str(), R_OK | W_OK | X_OK) == 0;
}

bool IsOrdinaryFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void CopyFileAtomically(const std::string& source, const std::string& target) {
  Fd in;
  in.fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in.fd < 0) RaiseFileError("open", source, errno);

  std::random_device rd;
  const std::string temp = target + ".tmp-" + std::to_string(rd()) + std::to_string(::getpid());
  Fd out;
  out.fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (out.fd < 0) RaiseFileError("create", temp, errno);

  bool done = false;
  struct Cleanup {
    const std::string& temp;
    bool& done;
    ~Cleanup() {
      if (!done) ::unlink(temp.c_str());
    }
  } cleanup{temp, done};

  char buf[1 << 16];
  for (;;) {
    ssize_t n = ::read(in.fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) RaiseFileError("read", source, errno);
    if (n == 0) break;
    for (ssize_t off = 0; off < n;) {
      ssize_t w = ::write(out.fd, buf + off, static_cast<size_t>(n - off));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) RaiseFileError("write", temp, errno);
      off += w;
    }
  }
  if (::fsync(out.fd) != 0) RaiseFileError("write", temp, errno);
  if (::close(out.fd) != 0) {
    out.fd = -1;
    RaiseFileError("write", temp, errno);
  }
  out.fd = -1;
  if (::rename(temp.c_str(), target.c_str()) != 0) RaiseFileError("rename into", target, errno);
  done = true;
}

}  // namespace tovrik
