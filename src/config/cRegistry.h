#pragma once
// cRegistry: the worker's access to the machine-wide settings store (platform/RegistryStore.h).
//
// Stateless: every operation opens what it needs and closes it again, except CreateKey and
// OpenKey, which hand an open key to the caller, who closes it with CloseKey. No operation
// raises: results are the store's Win32 codes (0 = success), the Save operations fail
// silently, and the Read and Get operations fall back to their Default. Key paths use "\"
// ("SOFTWARE\ActivePDFServer"); names and string data are UTF-8, stored as given with one
// terminating NUL. Values of more than 255 bytes do not read and yield the default.
// Any thread may use an instance.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/KeyedCollection.h"
#include "platform/RegistryStore.h"
#include "platform/Variant.h"

namespace tovrik {

class cRegistry {
 public:
  // Names in enumeration order, each under its own name as key (unique without case).
  using NameCollection = KeyedCollection<std::string>;

  // The key path under HKEY_CURRENT_USER below which GetSettingLong and SaveSettingLong keep
  // "Appname\Section".
  static constexpr const char* kSettingsRoot = "SOFTWARE\\Ostrevik\\Tovrik\\Settings\\";

  // Creates (or opens) a key, handing it to hKey; returns the store's code.
  int32_t CreateKey(int32_t hive, const std::string& lpSubKeyName, int32_t desiredAccess,
                    int32_t& hKey);
  // Opens an existing key; returns the store's code (ERROR_FILE_NOT_FOUND when missing).
  int32_t OpenKey(int32_t hive, const std::string& lpSubKeyName, int32_t desiredAccess,
                  int32_t& hKey);
  // Closes hKey and sets it to 0; a 0 handle returns 0 and does nothing.
  int32_t CloseKey(int32_t& hKey);

  // The sub-key names, or the value names ("" for the unnamed value), of an open key, in the
  // store's order. nullptr (no collection) when the key cannot be queried; a warning with the
  // error code then goes to stderr.
  std::unique_ptr<NameCollection> EnumSubKeys(int32_t hKey);
  std::unique_ptr<NameCollection> EnumKeyValues(int32_t hKey);

  // A 32-bit setting of "Appname\Section" under kSettingsRoot: the value (up to 4 bytes,
  // little-endian), else Default converted to a 32-bit number (an empty Default gives 0;
  // a Default that does not convert raises 13 or 6 like any conversion).
  int32_t GetSettingLong(const std::string& Appname, const std::string& Section,
                         const std::string& KeyName, const Variant& Default = Variant());
  void SaveSettingLong(const std::string& Appname, const std::string& Section,
                       const std::string& KeyName, int32_t Setting);

  // The value's first 4 bytes as a little-endian signed number; Default when it is missing,
  // shorter than 4 bytes or longer than 255. The value's type is not examined.
  int32_t ReadRegistryLong(int32_t RootKey, const std::string& SubKey, const std::string& ValueName,
                           int32_t Default);
  // The value's bytes up to the first NUL, as text; Default when it is missing or longer
  // than 255 bytes. The value's type is not examined.
  std::string ReadRegistryString(int32_t RootKey, const std::string& SubKey,
                                 const std::string& ValueName, const std::string& Default);
  // Stores Value and one NUL as REG_SZ, creating the key path as needed.
  void SaveRegistryString(int32_t RootKey, const std::string& SubKey, const std::string& ValueName,
                          const std::string& Value);
  // Stores the 4 bytes of Value, little-endian, as REG_DWORD.
  void SaveRegistryLong(int32_t RootKey, const std::string& SubKey, const std::string& ValueName,
                        int32_t Value);
  // Deletes SubKeyToDelete, with everything below it, under Key. 0 when Key does not exist;
  // otherwise the code of opening Key for writing or of the deletion.
  int32_t DeleteRegistryKey(int32_t RootKey, const std::string& Key,
                            const std::string& SubKeyToDelete);
  // The system text of an error code with its line end, "" for an unknown code.
  std::string GetErrorString(int32_t LastErrorValue);

 private:
  // Reads a value of up to 255 bytes; false when the key or value is missing or too long.
  // A value of 0 bytes reads as one NUL byte.
  bool ReadValue(int32_t RootKey, const std::string& SubKey, const std::string& ValueName,
                 int32_t& type, std::vector<uint8_t>& data);
  // Creates the key path and writes the value; failures are silent.
  void WriteValue(int32_t RootKey, const std::string& SubKey, const std::string& ValueName,
                  int32_t type, const std::vector<uint8_t>& data);
  int32_t QuerySubKeyInfo(int32_t hKey, uint32_t& count, uint32_t& longest);
  int32_t QueryValueInfo(int32_t hKey, uint32_t& count, uint32_t& longest);
  static std::vector<uint8_t> StringToAnsiBytes(const std::string& text);
  static std::string AnsiBytesToString(const std::vector<uint8_t>& bytes);
};

}  // namespace tovrik
