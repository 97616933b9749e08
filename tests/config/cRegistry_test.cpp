#include "config/cRegistry.h"

#include <gtest/gtest.h>

#include "platform/RegistryTestHome.h"

namespace tovrik {
namespace {

constexpr const char* kKey = "SOFTWARE\\Ostrevik\\Test";

class cRegistryTest : public ::testing::Test {
 protected:
  // Stores raw bytes the way another writer might.
  void Store(const std::string& value, int32_t type, std::vector<uint8_t> data) {
    int32_t h = 0;
    ASSERT_EQ(RegCreateKey(HKEY_LOCAL_MACHINE, kKey, KEY_WRITE, h), 0);
    ASSERT_EQ(RegSetValue(h, value, type, data), 0);
    RegCloseKey(h);
  }
  std::vector<uint8_t> Raw(const std::string& value, int32_t& type) {
    int32_t h = 0;
    std::vector<uint8_t> data;
    EXPECT_EQ(RegOpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_READ, h), 0);
    EXPECT_EQ(RegQueryValue(h, value, type, data), 0);
    RegCloseKey(h);
    return data;
  }

  testing::ScopedRegistryHome home_;
  cRegistry registry_;
};

TEST_F(cRegistryTest, StringsRoundTripAndFallBackToDefault) {
  registry_.SaveRegistryString(HKEY_LOCAL_MACHINE, kKey, "abc", "abc");
  int32_t type = 0;
  EXPECT_EQ(Raw("abc", type), (std::vector<uint8_t>{'a', 'b', 'c', 0}));
  EXPECT_EQ(type, REG_SZ);

  Store("empty", REG_SZ, {});
  Store("nul only", REG_SZ, {0});
  Store("unterminated", REG_SZ, {'x', 'y'});
  Store("inner nul", REG_SZ, {'a', 0, 'b', 0});
  Store("dword", REG_DWORD, {'h', 'i', 0, 0});
  Store("longest", REG_SZ, std::vector<uint8_t>(255, 'L'));
  Store("too long", REG_SZ, std::vector<uint8_t>(256, 'L'));
  registry_.SaveRegistryString(HKEY_LOCAL_MACHINE, kKey, "utf8", "Größe €");
  registry_.SaveRegistryString(HKEY_LOCAL_MACHINE, kKey, "254", std::string(254, 'x'));
  struct Case {
    const char* key;
    const char* value;
    std::string expected;
  };
  const Case cases[] = {
      {kKey, "abc", "abc"},
      {kKey, "ABC", "abc"},
      {kKey, "empty", ""},
      {kKey, "nul only", ""},
      {kKey, "unterminated", "xy"},
      {kKey, "inner nul", "a"},
      {kKey, "dword", "hi"},
      {kKey, "longest", std::string(255, 'L')},
      {kKey, "254", std::string(254, 'x')},
      {kKey, "utf8", "Größe €"},
      {kKey, "too long", "DEFAULT"},
      {kKey, "missing", "DEFAULT"},
      {"SOFTWARE\\Missing", "abc", "DEFAULT"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(registry_.ReadRegistryString(HKEY_LOCAL_MACHINE, c.key, c.value, "DEFAULT"),
              c.expected)
        << c.value;
  }
  EXPECT_EQ(registry_.ReadRegistryString(HKEY_CURRENT_USER, kKey, "abc", "user"), "user");
}

TEST_F(cRegistryTest, LongsRoundTripAndFallBackToDefault) {
  registry_.SaveRegistryLong(HKEY_LOCAL_MACHINE, kKey, "negative", -2);
  int32_t type = 0;
  EXPECT_EQ(Raw("negative", type), (std::vector<uint8_t>{0xFE, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(type, REG_DWORD);
  Store("258", REG_DWORD, {2, 1, 0, 0});
  Store("three bytes", REG_DWORD, {2, 1, 0});
  Store("text", REG_SZ, {'a', 'b', 'c', 0});
  Store("five bytes", REG_BINARY, {1, 0, 0, 0, 9});
  struct Case {
    const char* value;
    int32_t expected;
  };
  for (const Case& c : {Case{"negative", -2}, Case{"258", 258}, Case{"three bytes", 77},
                        Case{"text", 0x00636261}, Case{"five bytes", 1}, Case{"missing", 77}}) {
    EXPECT_EQ(registry_.ReadRegistryLong(HKEY_LOCAL_MACHINE, kKey, c.value, 77), c.expected)
        << c.value;
  }
}

TEST_F(cRegistryTest, PerUserSettings) {
  EXPECT_EQ(registry_.GetSettingLong("App", "Section", "n"), 0);
  EXPECT_EQ(registry_.GetSettingLong("App", "Section", "n", Variant(int32_t{7})), 7);
  EXPECT_EQ(registry_.GetSettingLong("App", "Section", "n", Variant("12")), 12);
  registry_.SaveSettingLong("App", "Section", "n", 123456);
  EXPECT_EQ(registry_.GetSettingLong("App", "Section", "n", Variant(int32_t{7})), 123456);
  EXPECT_EQ(registry_.GetSettingLong("app", "SECTION", "N"), 123456);
  EXPECT_EQ(registry_.ReadRegistryLong(
                HKEY_CURRENT_USER, std::string(cRegistry::kSettingsRoot) + "App\\Section", "n", 0),
            123456);
  // More than 4 bytes does not read; fewer fill the low bytes.
  registry_.SaveRegistryString(HKEY_CURRENT_USER,
                               std::string(cRegistry::kSettingsRoot) + "App\\Section", "s", "abcd");
  EXPECT_EQ(registry_.GetSettingLong("App", "Section", "s", Variant(int32_t{-1})), -1);
  registry_.SaveRegistryString(HKEY_CURRENT_USER,
                               std::string(cRegistry::kSettingsRoot) + "App\\Section", "t", "a");
  EXPECT_EQ(registry_.GetSettingLong("App", "Section", "t"), 'a');
  EXPECT_EQ(registry_.ReadRegistryLong(
                HKEY_LOCAL_MACHINE, std::string(cRegistry::kSettingsRoot) + "App\\Section", "n", 0),
            0);
}

TEST_F(cRegistryTest, KeysEnumerationAndDeletion) {
  int32_t h = 0;
  EXPECT_EQ(registry_.CloseKey(h), 0);
  ASSERT_EQ(registry_.CreateKey(HKEY_LOCAL_MACHINE, kKey, KEY_ALL_ACCESS, h), 0);
  ASSERT_NE(h, 0);
  auto none = registry_.EnumSubKeys(h);
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->Count(), 0);
  registry_.SaveRegistryString(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\b\\deep", "v", "1");
  registry_.SaveRegistryString(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\A", "v", "1");
  registry_.SaveRegistryString(HKEY_LOCAL_MACHINE, kKey, "second", "");
  registry_.SaveRegistryString(HKEY_LOCAL_MACHINE, kKey, "", "unnamed");
  auto keys = registry_.EnumSubKeys(h);
  ASSERT_NE(keys, nullptr);
  EXPECT_EQ(keys->Count(), 2);
  EXPECT_EQ(keys->Item("a"), "A");
  EXPECT_EQ(keys->KeyAt(1), "b");
  auto values = registry_.EnumKeyValues(h);
  ASSERT_NE(values, nullptr);
  ASSERT_EQ(values->Count(), 2);
  EXPECT_EQ(values->KeyAt(0), "second");
  EXPECT_EQ(values->Item(""), "");
  EXPECT_EQ(registry_.CloseKey(h), 0);
  EXPECT_EQ(h, 0);

  EXPECT_EQ(registry_.OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nope", KEY_READ, h),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(registry_.DeleteRegistryKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Nope", "x"), 0);
  EXPECT_EQ(registry_.DeleteRegistryKey(HKEY_LOCAL_MACHINE, kKey, "x"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(registry_.DeleteRegistryKey(HKEY_LOCAL_MACHINE, kKey, "B"), 0);
  EXPECT_EQ(registry_.ReadRegistryString(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\b\\deep", "v",
                                         "gone"),
            "gone");
  EXPECT_EQ(registry_.ReadRegistryString(HKEY_LOCAL_MACHINE, std::string(kKey) + "\\A", "v", ""),
            "1");
}

TEST_F(cRegistryTest, EnumerationOfABadHandleWarnsAndGivesNoCollection) {
  ::testing::internal::CaptureStderr();
  auto keys = registry_.EnumSubKeys(12345);
  auto values = registry_.EnumKeyValues(0);
  const std::string warning = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(keys, nullptr);
  EXPECT_EQ(values, nullptr);
  EXPECT_EQ(warning,
            "Could not obtain information about registry key. WinError code: 0x6\n"
            "Could not obtain information about registry key. WinError code: 0x6\n");
}

TEST_F(cRegistryTest, ErrorStrings) {
  EXPECT_EQ(registry_.GetErrorString(2), "The system cannot find the file specified.\n");
  EXPECT_EQ(registry_.GetErrorString(5), "Access is denied.\n");
  EXPECT_EQ(registry_.GetErrorString(999999), "");
}

}  // namespace
}  // namespace tovrik
