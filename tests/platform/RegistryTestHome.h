#pragma once
// Gives a test its own registry hives: TOVRIK_HOME and HOME point at a fresh temporary
// folder for the life of the object, and are restored (and the folder removed) after.

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

namespace tovrik::testing {

class ScopedRegistryHome {
 public:
  ScopedRegistryHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tovrik-reg-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
    Swap("TOVRIK_HOME", savedState_, (path_ / "state").string());
    Swap("HOME", savedHome_, (path_ / "home").string());
  }
  ScopedRegistryHome(const ScopedRegistryHome&) = delete;
  ScopedRegistryHome& operator=(const ScopedRegistryHome&) = delete;
  ~ScopedRegistryHome() {
    Restore("TOVRIK_HOME", savedState_);
    Restore("HOME", savedHome_);
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  static void Swap(const char* name, std::optional<std::string>& saved, const std::string& value) {
    if (const char* old = std::getenv(name)) saved = old;
    setenv(name, value.c_str(), 1);
  }
  static void Restore(const char* name, const std::optional<std::string>& saved) {
    if (saved) {
      setenv(name, saved->c_str(), 1);
    } else {
      unsetenv(name);
    }
  }

  std::filesystem::path path_;
  std::optional<std::string> savedState_, savedHome_;
};

}  // namespace tovrik::testing
