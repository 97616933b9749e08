#include "platform/RegistryStore.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/RegistryTestHome.h"

namespace tovrik {
namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

class RegistryStoreTest : public ::testing::Test {
 protected:
  // Creates a key with KEY_ALL_ACCESS and remembers to close it.
  int32_t Create(int32_t hive, const std::string& path) {
    int32_t h = 0;
    EXPECT_EQ(RegCreateKey(hive, path, KEY_ALL_ACCESS, h), ERROR_SUCCESS) << path;
    handles_.push_back(h);
    return h;
  }
  std::vector<std::string> SubKeys(int32_t h) {
    std::vector<std::string> names;
    std::string name;
    for (uint32_t i = 0; RegEnumKey(h, i, 300, name) == ERROR_SUCCESS; ++i) names.push_back(name);
    return names;
  }
  std::vector<std::string> Values(int32_t h) {
    std::vector<std::string> names;
    std::string name;
    for (uint32_t i = 0; RegEnumValue(h, i, 300, name) == ERROR_SUCCESS; ++i) names.push_back(name);
    return names;
  }
  void TearDown() override {
    for (int32_t h : handles_) RegCloseKey(h);
  }

  testing::ScopedRegistryHome home_;
  std::vector<int32_t> handles_;
};

TEST_F(RegistryStoreTest, HivesLiveInTheirFiles) {
  EXPECT_EQ(RegistryHiveFile(HKEY_LOCAL_MACHINE), home_.path() / "state/registry/HKLM.db");
  EXPECT_EQ(RegistryHiveFile(HKEY_CURRENT_USER), home_.path() / "home/.local/state/tovrik/HKCU.db");
  EXPECT_TRUE(RegistryHiveFile(0x80000003).empty());
  // Nothing is created by reading.
  int32_t h = 0;
  EXPECT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ, h), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(std::filesystem::exists(RegistryHiveFile(HKEY_LOCAL_MACHINE)));
  uint32_t counts[4] = {9, 9, 9, 9};
  EXPECT_EQ(RegQueryInfoKey(HKEY_LOCAL_MACHINE, counts[0], counts[1], counts[2], counts[3]), 0);
  EXPECT_EQ(counts[0] + counts[1] + counts[2] + counts[3], 0u);

  int32_t m = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Machine");
  int32_t u = Create(HKEY_CURRENT_USER, "SOFTWARE\\User");
  EXPECT_EQ(RegSetValue(m, "v", REG_SZ, Bytes("machine")), 0);
  EXPECT_EQ(RegSetValue(u, "v", REG_SZ, Bytes("user")), 0);
  EXPECT_TRUE(std::filesystem::exists(RegistryHiveFile(HKEY_LOCAL_MACHINE)));
  EXPECT_TRUE(std::filesystem::exists(RegistryHiveFile(HKEY_CURRENT_USER)));
  EXPECT_EQ(RegOpenKey(HKEY_CURRENT_USER, "SOFTWARE\\Machine", KEY_READ, h), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryStoreTest, ValuesRoundTripWithTypeAndBytes) {
  int32_t h = Create(HKEY_LOCAL_MACHINE, "SOFTWARE\\Ostrevik\\Tovrik");
  struct Case {
    std::string name;
    int32_t type;
    std::vector<uint8_t> data;
  };
  const Case cases[] = {
      {"text", REG_SZ, Bytes(std::string("abc\0", 4))},
      {"number", REG_DWORD, {0x02, 0x01, 0x00, 0x00}},
      {"empty", REG_SZ, {}},
      {"binary", REG_BINARY, {0x00, 0xFF, 0x00}},
      {"", REG_SZ, Bytes("unnamed")},
      {"Größe", REG_SZ, Bytes("ünïcödé")},
  };
  for (const Case& c : cases) ASSERT_EQ(RegSetValue(h, c.name, c.type, c.data), 0) << c.name;
  int32_t reader = 0;
  ASSERT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "software\\OSTREVIK\\tovrik\\", KEY_READ, reader), 0);
  handles_.push_back(reader);
  for (const Case& c : cases) {
    int32_t type = -1;
    std::vector<uint8_t> data{1, 2, 3};
    ASSERT_EQ(RegQueryValue(reader, c.name, type, data), 0) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(data, c.data) << c.name;
  }
  // Names compare without case, in and beyond ASCII; a replaced value keeps its first name.
  int32_t type = 0;
  std::vector<uint8_t> data;
  EXPECT_EQ(RegQueryValue(reader, "GRÖSSE", type, data), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValue(reader, "GRÖßE", type, data), 0);
  EXPECT_EQ(RegSetValue(h, "TEXT", REG_DWORD, {1, 0, 0, 0}), 0);
  EXPECT_EQ(Values(h),
            (std::vector<std::string>{"text", "number", "empty", "binary", "", "Größe"}));
  EXPECT_EQ(RegQueryValue(reader, "text", type, data), 0);
  EXPECT_EQ(type, REG_DWORD);

  uint32_t size = 0;
  EXPECT_EQ(RegQueryValue(reader, "", type, data, 3, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 7u);
  EXPECT_TRUE(data.empty());
  EXPECT_EQ(RegQueryValue(reader, "missing", type, data), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteValue(h, "NUMBER"), 0);
  EXPECT_EQ(RegDeleteValue(h, "number"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValue(reader, "number", type, data), ERROR_FILE_NOT_FOUND);
}

TEST_F(RegistryStoreTest, EnumerationAndInfo) {
  int32_t h = Create(HKEY_CURRENT_USER, "Root");
  for (const char* name : {"beta", "Alpha", "gamma\\deep", "Ärger", "delta"}) Create(h, name);
  EXPECT_EQ(SubKeys(h), (std::vector<std::string>{"Alpha", "beta", "delta", "gamma", "Ärger"}));
  for (const char* name : {"z", "a", "longest_name"}) RegSetValue(h, name, REG_SZ, {});
  EXPECT_EQ(Values(h), (std::vector<std::string>{"z", "a", "longest_name"}));
  uint32_t keys = 0, longestKey = 0, values = 0, longestValue = 0;
  ASSERT_EQ(RegQueryInfoKey(h, keys, longestKey, values, longestValue), 0);
  EXPECT_EQ(keys, 5u);
  EXPECT_EQ(longestKey, 6u);  // "Ärger" is 6 bytes of UTF-8
  EXPECT_EQ(values, 3u);
  EXPECT_EQ(longestValue, 12u);

  std::string name;
  EXPECT_EQ(RegEnumKey(h, 5, 300, name), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(RegEnumKey(h, 0, 5, name), ERROR_MORE_DATA);  // "Alpha" needs 6 with its NUL
  EXPECT_EQ(RegEnumKey(h, 0, 6, name), 0);
  EXPECT_EQ(RegEnumValue(h, 2, 12, name), ERROR_MORE_DATA);
  EXPECT_EQ(RegEnumValue(h, 3, 300, name), ERROR_NO_MORE_ITEMS);
}

TEST_F(RegistryStoreTest, PathsHandlesAndAccess) {
  int32_t h = 0;
  struct PathCase {
    const char* path;
    int32_t code;
  };
  for (const PathCase& c :
       {PathCase{"\\A", ERROR_BAD_PATHNAME}, PathCase{"A\\\\B", ERROR_BAD_PATHNAME},
        PathCase{"A\\B\\", ERROR_SUCCESS}, PathCase{"", ERROR_SUCCESS}}) {
    EXPECT_EQ(RegCreateKey(HKEY_LOCAL_MACHINE, c.path, KEY_READ, h), c.code) << c.path;
    if (c.code == 0) RegCloseKey(h);
  }
  EXPECT_EQ(RegCreateKey(HKEY_LOCAL_MACHINE, std::string(256, 'k'), KEY_READ, h),
            ERROR_INVALID_PARAMETER);
  bool created = false;
  int32_t a = 0;
  ASSERT_EQ(RegCreateKey(HKEY_LOCAL_MACHINE, "a\\b", KEY_READ, a, &created), 0);
  EXPECT_FALSE(created);
  EXPECT_EQ(RegSetValue(a, "v", REG_SZ, {}), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKey(a, "new", KEY_READ, h), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteTree(a, "x"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCloseKey(a), 0);
  EXPECT_EQ(RegCloseKey(a), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegSetValue(a, "v", REG_SZ, {}), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKey(0, "a", KEY_READ, h), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), 0);

  int32_t w = 0;
  ASSERT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, "A\\B", KEY_WRITE, w), 0);
  handles_.push_back(w);
  EXPECT_EQ(RegSetValue(w, "v", REG_SZ, {}), 0);
  int32_t type = 0;
  std::vector<uint8_t> data;
  EXPECT_EQ(RegQueryValue(w, "v", type, data), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKey(w, "child", KEY_READ, h, &created), 0);
  EXPECT_TRUE(created);
  RegCloseKey(h);
}

TEST_F(RegistryStoreTest, DeleteTreeRemovesEverythingBelow) {
  int32_t top = Create(HKEY_LOCAL_MACHINE, "Top");
  int32_t doomed = Create(HKEY_LOCAL_MACHINE, "Top\\Doomed");
  int32_t deep = Create(HKEY_LOCAL_MACHINE, "Top\\Doomed\\x\\y\\z");
  int32_t sibling = Create(HKEY_LOCAL_MACHINE, "Top\\DoomedToo");
  RegSetValue(doomed, "v", REG_SZ, Bytes("1"));
  RegSetValue(deep, "v", REG_SZ, Bytes("2"));
  RegSetValue(sibling, "v", REG_SZ, Bytes("3"));

  EXPECT_EQ(RegDeleteTree(top, "doomed"), 0);
  EXPECT_EQ(SubKeys(top), std::vector<std::string>{"DoomedToo"});
  int32_t type = 0;
  std::vector<uint8_t> data;
  EXPECT_EQ(RegQueryValue(sibling, "v", type, data), 0);
  // Handles into the deleted tree see it gone, and a new key of that name starts empty.
  EXPECT_EQ(RegQueryValue(deep, "v", type, data), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValue(doomed, "v", REG_SZ, {}), ERROR_KEY_DELETED);
  int32_t again = Create(HKEY_LOCAL_MACHINE, "Top\\Doomed");
  EXPECT_TRUE(Values(again).empty());
  EXPECT_TRUE(SubKeys(again).empty());
  EXPECT_EQ(RegQueryValue(doomed, "v", type, data), ERROR_KEY_DELETED);

  EXPECT_EQ(RegDeleteTree(top, "missing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteTree(top, ""), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteTree(HKEY_LOCAL_MACHINE, "TOP"), 0);
  EXPECT_TRUE(SubKeys(HKEY_LOCAL_MACHINE).empty());
}

TEST_F(RegistryStoreTest, ReadOnlyHiveDeniesWritesButReads) {
  if (geteuid() == 0) GTEST_SKIP() << "file permissions do not bind root";
  int32_t h = Create(HKEY_LOCAL_MACHINE, "K");
  ASSERT_EQ(RegSetValue(h, "v", REG_SZ, Bytes("x")), 0);
  const auto folder = RegistryHiveFile(HKEY_LOCAL_MACHINE).parent_path();
  using std::filesystem::perms;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::filesystem::permissions(entry.path(), perms::owner_read | perms::group_read);
  }
  std::filesystem::permissions(folder, perms::owner_read | perms::owner_exec);
  EXPECT_EQ(RegSetValue(h, "v", REG_SZ, Bytes("y")), ERROR_ACCESS_DENIED);
  int32_t type = 0;
  std::vector<uint8_t> data;
  EXPECT_EQ(RegQueryValue(h, "v", type, data), 0);
  EXPECT_EQ(data, Bytes("x"));
  std::filesystem::permissions(folder, perms::owner_all);
}

TEST(RegistryErrorTextTest, KnownAndUnknownCodes) {
  EXPECT_EQ(RegistryErrorText(ERROR_FILE_NOT_FOUND), "The system cannot find the file specified.");
  EXPECT_EQ(RegistryErrorText(ERROR_MORE_DATA), "More data is available.");
  EXPECT_EQ(RegistryErrorText(123456), "");
}

}  // namespace
}  // namespace tovrik
