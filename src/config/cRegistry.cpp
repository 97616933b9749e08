#include "config/cRegistry.h"

#include <cstdio>
#include <iostream>

namespace tovrik {
namespace {

constexpr uint32_t kLongestReadableValue = 255;

// The warning of a key that cannot be queried. A server process has no one to show a message
// box to, so it is one line on stderr.
void WarnKeyInfoFailed(int32_t code) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "%X", static_cast<uint32_t>(code));
  std::cerr << "Could not obtain information about registry key. WinError code: 0x" << hex << "\n";
}

using EnumFn = int32_t (*)(int32_t, uint32_t, uint32_t, std::string&);

std::unique_ptr<cRegistry::NameCollection> Enumerate(int32_t hKey, uint32_t count, uint32_t longest,
                                                     EnumFn enumerate) {
  auto names = std::make_unique<cRegistry::NameCollection>();
  for (uint32_t index = 0; index < count; ++index) {
    std::string name;
    if (enumerate(hKey, index, longest + 1, name) != ERROR_SUCCESS) continue;
    // A key changed by another process meanwhile may shift a name to the next index.
    try {
      names->Add(name, name);
    } catch (const RaisedError&) {
    }
  }
  return names;
}

}  // namespace

int32_t cRegistry::CreateKey(int32_t hive, const std::string& lpSubKeyName, int32_t desiredAccess,
                             int32_t& hKey) {
  return RegCreateKey(hive, lpSubKeyName, desiredAccess, hKey);
}

int32_t cRegistry::OpenKey(int32_t hive, const std::string& lpSubKeyName, int32_t desiredAccess,
                           int32_t& hKey) {
  return RegOpenKey(hive, lpSubKeyName, desiredAccess, hKey);
}

int32_t cRegistry::CloseKey(int32_t& hKey) {
  if (hKey == 0) return ERROR_SUCCESS;
  int32_t result = RegCloseKey(hKey);
  hKey = 0;
  return result;
}

int32_t cRegistry::QuerySubKeyInfo(int32_t hKey, uint32_t& count, uint32_t& longest) {
  uint32_t values = 0, longestValue = 0;
  int32_t result = RegQueryInfoKey(hKey, count, longest, values, longestValue);
  if (result != ERROR_SUCCESS) WarnKeyInfoFailed(result);
  return result;
}

int32_t cRegistry::QueryValueInfo(int32_t hKey, uint32_t& count, uint32_t& longest) {
  uint32_t keys = 0, longestKey = 0;
  int32_t result = RegQueryInfoKey(hKey, keys, longestKey, count, longest);
  if (result != ERROR_SUCCESS) WarnKeyInfoFailed(result);
  return result;
}

std::unique_ptr<cRegistry::NameCollection> cRegistry::EnumSubKeys(int32_t hKey) {
  uint32_t count = 0, longest = 0;
  if (QuerySubKeyInfo(hKey, count, longest) != ERROR_SUCCESS) return nullptr;
  return Enumerate(hKey, count, longest, &RegEnumKey);
}

std::unique_ptr<cRegistry::NameCollection> cRegistry::EnumKeyValues(int32_t hKey) {
  uint32_t count = 0, longest = 0;
  if (QueryValueInfo(hKey, count, longest) != ERROR_SUCCESS) return nullptr;
  return Enumerate(hKey, count, longest, &RegEnumValue);
}

int32_t cRegistry::GetSettingLong(const std::string& Appname, const std::string& Section,
                                  const std::string& KeyName, const Variant& Default) {
  const std::string path = std::string(kSettingsRoot) + Appname + "\\" + Section;
  int32_t hKey = 0;
  if (RegOpenKey(HKEY_CURRENT_USER, path, KEY_READ, hKey) != ERROR_SUCCESS) {
    return Default.ToInt32();
  }
  int32_t type = REG_DWORD;
  std::vector<uint8_t> data;
  int32_t result = RegQueryValue(hKey, KeyName, type, data, 4);
  CloseKey(hKey);
  if (result != ERROR_SUCCESS) return Default.ToInt32();
  uint32_t number = 0;
  for (size_t i = 0; i < data.size(); ++i) number |= uint32_t{data[i]} << (8 * i);
  return static_cast<int32_t>(number);
}

void cRegistry::SaveSettingLong(const std::string& Appname, const std::string& Section,
                                const std::string& KeyName, int32_t Setting) {
  SaveRegistryLong(HKEY_CURRENT_USER, std::string(kSettingsRoot) + Appname + "\\" + Section,
                   KeyName, Setting);
}

bool cRegistry::ReadValue(int32_t RootKey, const std::string& SubKey, const std::string& ValueName,
                          int32_t& type, std::vector<uint8_t>& data) {
  int32_t hKey = 0;
  if (RegOpenKey(RootKey, SubKey, KEY_READ, hKey) != ERROR_SUCCESS) return false;
  int32_t result = RegQueryValue(hKey, ValueName, type, data, kLongestReadableValue);
  CloseKey(hKey);
  if (result != ERROR_SUCCESS) {
    data.clear();
    return false;
  }
  if (data.empty()) data.push_back(0);
  return true;
}

void cRegistry::WriteValue(int32_t RootKey, const std::string& SubKey, const std::string& ValueName,
                           int32_t type, const std::vector<uint8_t>& data) {
  int32_t hKey = 0;
  if (RegCreateKey(RootKey, SubKey, KEY_WRITE, hKey) != ERROR_SUCCESS) return;
  RegSetValue(hKey, ValueName, type, data);
  CloseKey(hKey);
}

std::vector<uint8_t> cRegistry::StringToAnsiBytes(const std::string& text) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  bytes.push_back(0);
  return bytes;
}

// The text up to the first NUL. A value stored without its terminating NUL keeps its last
// character.
std::string cRegistry::AnsiBytesToString(const std::vector<uint8_t>& bytes) {
  std::string text(bytes.begin(), bytes.end());
  size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

int32_t cRegistry::ReadRegistryLong(int32_t RootKey, const std::string& SubKey,
                                    const std::string& ValueName, int32_t Default) {
  int32_t type = REG_DWORD;
  std::vector<uint8_t> data;
  if (!ReadValue(RootKey, SubKey, ValueName, type, data) || data.size() < 4) return Default;
  uint32_t number = uint32_t{data[0]} | uint32_t{data[1]} << 8 | uint32_t{data[2]} << 16 |
                    uint32_t{data[3]} << 24;
  return static_cast<int32_t>(number);
}

std::string cRegistry::ReadRegistryString(int32_t RootKey, const std::string& SubKey,
                                          const std::string& ValueName,
                                          const std::string& Default) {
  int32_t type = REG_SZ;
  std::vector<uint8_t> data;
  if (!ReadValue(RootKey, SubKey, ValueName, type, data)) return Default;
  return AnsiBytesToString(data);
}

void cRegistry::SaveRegistryString(int32_t RootKey, const std::string& SubKey,
                                   const std::string& ValueName, const std::string& Value) {
  WriteValue(RootKey, SubKey, ValueName, REG_SZ, StringToAnsiBytes(Value));
}

void cRegistry::SaveRegistryLong(int32_t RootKey, const std::string& SubKey,
                                 const std::string& ValueName, int32_t Value) {
  const uint32_t v = static_cast<uint32_t>(Value);
  WriteValue(RootKey, SubKey, ValueName, REG_DWORD,
             {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
              static_cast<uint8_t>(v >> 24)});
}

int32_t cRegistry::DeleteRegistryKey(int32_t RootKey, const std::string& Key,
                                     const std::string& SubKeyToDelete) {
  int32_t hKey = 0;
  int32_t opened = RegOpenKey(RootKey, Key, KEY_WRITE, hKey);
  // A missing Key means there is nothing to delete; any other failure is reported.
  if (opened == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
  if (opened != ERROR_SUCCESS) return opened;
  int32_t result = RegDeleteTree(hKey, SubKeyToDelete);
  CloseKey(hKey);
  return result;
}

std::string cRegistry::GetErrorString(int32_t LastErrorValue) {
  std::string text = RegistryErrorText(LastErrorValue);
  return text.empty() ? text : text + "\n";
}

}  // namespace tovrik
