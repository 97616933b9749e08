#include "config/RegistryTool.h"

#include <gtest/gtest.h>

#include <sstream>

#include "config/cRegistry.h"
#include "platform/RegistryTestHome.h"

namespace tovrik {
namespace {

// The message of the RegistryToolError that fn throws, or "" when it throws none.
template <class Fn>
std::string ErrorOf(Fn fn) {
  try {
    fn();
  } catch (const RegistryToolError& e) {
    return e.what();
  }
  return "";
}

TEST(RegistryToolTest, ParsesHiveNames) {
  struct Case {
    const char* key;
    int32_t hive;
    const char* subKey;
  };
  for (const Case& c :
       {Case{"HKLM\\SOFTWARE\\A", HKEY_LOCAL_MACHINE, "SOFTWARE\\A"},
        Case{"hkey_local_machine\\x", HKEY_LOCAL_MACHINE, "x"}, Case{"HKCU", HKEY_CURRENT_USER, ""},
        Case{"HKEY_CURRENT_USER\\", HKEY_CURRENT_USER, ""}}) {
    RegistryPath path = ParseRegistryPath(c.key);
    EXPECT_EQ(path.hive, c.hive) << c.key;
    EXPECT_EQ(path.subKey, c.subKey) << c.key;
  }
  EXPECT_EQ(ErrorOf([] { ParseRegistryPath("HKXX\\A"); }),
            "unknown hive 'HKXX' in 'HKXX\\A' (keys begin with HKLM\\ or HKCU\\)");
}

TEST(RegistryToolTest, SetGetListDelete) {
  testing::ScopedRegistryHome home;
  const std::string key = "HKLM\\SOFTWARE\\Ostrevik\\Tovrik\\PDFServer";
  RegistrySet(key, "baseurl", "http://localhost:8080/preview", false);
  RegistrySet(key, "retries", "-3", true);
  RegistrySet(key, "mask", "0xFFFFFFFF", true);
  RegistrySet(key, "", "default", false);
  RegistrySet(key + "\\Sub", "x", "1", false);
  EXPECT_EQ(RegistryGet(key, "BASEURL"), "http://localhost:8080/preview");
  EXPECT_EQ(RegistryGet(key, "retries"), "-3");
  EXPECT_EQ(RegistryGet(key, "mask"), "-1");
  // What the tool stores, the worker reads.
  EXPECT_EQ(cRegistry().ReadRegistryString(HKEY_LOCAL_MACHINE,
                                           "SOFTWARE\\Ostrevik\\Tovrik\\PDFServer", "baseurl", ""),
            "http://localhost:8080/preview");
  EXPECT_EQ(cRegistry().ReadRegistryLong(HKEY_LOCAL_MACHINE,
                                         "SOFTWARE\\Ostrevik\\Tovrik\\PDFServer", "retries", 0),
            -3);

  std::ostringstream list;
  RegistryList(key, list);
  EXPECT_EQ(list.str(), key + "\n" +
                            "    baseurl    REG_SZ    http://localhost:8080/preview\n"
                            "    retries    REG_DWORD    -3\n"
                            "    mask    REG_DWORD    -1\n"
                            "    (Default)    REG_SZ    default\n" +
                            key + "\\Sub\n");

  for (const char* bad : {"abc", "", "0x", "4294967296", "-2147483649", "12x", "0x1FFFFFFFF"}) {
    EXPECT_EQ(ErrorOf([&] { RegistrySet(key, "n", bad, true); }),
              "'" + std::string(bad) +
                  "' is not a 32-bit number (--dword takes a decimal number or 0x and "
                  "hexadecimal digits)");
  }
  EXPECT_EQ(ErrorOf([&] { RegistryGet(key, "n"); }),
            "value 'n' not found in 'HKLM\\SOFTWARE\\Ostrevik\\Tovrik\\PDFServer'");
  EXPECT_EQ(ErrorOf([&] { RegistryGet("HKLM\\SOFTWARE\\Nope", "n"); }),
            "key 'HKLM\\SOFTWARE\\Nope' not found");

  const std::string mask = "mask";
  RegistryDelete(key, &mask);
  EXPECT_EQ(ErrorOf([&] { RegistryDelete(key, &mask); }),
            "value 'mask' not found in 'HKLM\\SOFTWARE\\Ostrevik\\Tovrik\\PDFServer'");
  RegistryDelete("HKLM\\SOFTWARE\\Ostrevik", nullptr);
  EXPECT_EQ(ErrorOf([&] { RegistryGet(key, "baseurl"); }), "key '" + key + "' not found");
  EXPECT_EQ(ErrorOf([&] { RegistryDelete("HKLM\\SOFTWARE\\Ostrevik", nullptr); }),
            "key 'HKLM\\SOFTWARE\\Ostrevik' not found");
  EXPECT_EQ(ErrorOf([&] { RegistryDelete("HKLM\\", nullptr); }),
            "will not delete the whole hive 'HKLM\\'");
  EXPECT_EQ(ErrorOf([&] { RegistrySet("HKLM\\\\bad", "v", "1", false); }),
            "cannot create key 'HKLM\\\\bad': The specified path is invalid. (161)");
}

}  // namespace
}  // namespace tovrik
