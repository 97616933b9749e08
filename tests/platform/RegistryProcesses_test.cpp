// Several processes writing one hive at once lose nothing and corrupt nothing.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "platform/RegistryStore.h"
#include "platform/RegistryTestHome.h"

namespace tovrik {
namespace {

constexpr int kProcesses = 3;
constexpr int kWritesEach = 120;

// One writer: creates the shared key path anew for every write (as cRegistry's saves do), sets
// one value of its own there and one under its own key, and reads a shared value back.
int Writer(int id) {
  for (int i = 0; i < kWritesEach; ++i) {
    int32_t h = 0;
    if (RegCreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared\\Deep", KEY_ALL_ACCESS, h) != 0)
      return 1;
    const std::string text = std::to_string(id) + ":" + std::to_string(i);
    if (RegSetValue(h, "p" + text, REG_SZ, {text.begin(), text.end()}) != 0) return 2;
    if (RegSetValue(h, "last", REG_DWORD, {uint8_t(id), 0, 0, 0}) != 0) return 3;
    int32_t type = 0;
    std::vector<uint8_t> data;
    if (RegQueryValue(h, "last", type, data) != 0 || data.size() != 4) return 4;
    RegCloseKey(h);
    if (RegCreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Own" + std::to_string(id), KEY_WRITE, h) != 0) {
      return 5;
    }
    if (RegSetValue(h, std::to_string(i), REG_DWORD, {uint8_t(i), 0, 0, 0}) != 0) return 6;
    RegCloseKey(h);
  }
  return 0;
}

TEST(RegistryProcessesTest, ConcurrentWritersLoseNothing) {
  testing::ScopedRegistryHome home;
  pid_t children[kProcesses];
  for (int id = 0; id < kProcesses; ++id) {
    children[id] = fork();
    ASSERT_GE(children[id], 0);
    if (children[id] == 0) _exit(Writer(id));
  }
  for (int id = 0; id < kProcesses; ++id) {
    int status = 0;
    ASSERT_EQ(waitpid(children[id], &status, 0), children[id]);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "writer " << id;
  }

  int32_t h = 0;
  ASSERT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared\\Deep", KEY_READ, h), 0);
  uint32_t keys = 0, longestKey = 0, values = 0, longestValue = 0;
  ASSERT_EQ(RegQueryInfoKey(h, keys, longestKey, values, longestValue), 0);
  EXPECT_EQ(values, uint32_t{kProcesses * kWritesEach + 1});
  for (int id = 0; id < kProcesses; ++id) {
    for (int i = 0; i < kWritesEach; ++i) {
      const std::string text = std::to_string(id) + ":" + std::to_string(i);
      int32_t type = 0;
      std::vector<uint8_t> data;
      ASSERT_EQ(RegQueryValue(h, "p" + text, type, data), 0) << text;
      EXPECT_EQ(std::string(data.begin(), data.end()), text);
    }
  }
  RegCloseKey(h);
  std::string name;
  ASSERT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ, h), 0);
  std::vector<std::string> subKeys;
  for (uint32_t i = 0; RegEnumKey(h, i, 100, name) == 0; ++i) subKeys.push_back(name);
  EXPECT_EQ(subKeys, (std::vector<std::string>{"Own0", "Own1", "Own2", "Shared"}));
  RegCloseKey(h);
}

}  // namespace
}  // namespace tovrik
