#pragma once
// The folder that holds all embedded state (registry hives, content store, print output):
// $TOVRIK_HOME when set and not empty, else /var/lib/tovrik. Read on every call, so a test
// that sets the variable sees its own folder.

#include <filesystem>

namespace tovrik {

std::filesystem::path StateFolder();

}  // namespace tovrik
